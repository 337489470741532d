// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsarea.h"
#include "sshdlogreducer.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

Q_DECLARE_METATYPE(QHostAddress)

namespace
{
QByteArray journalTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + "000";
}

QByteArray entry(int pid, const QByteArray &message, const QDateTime &time)
{
    return journalTime(time) + "+0000 host sshd[" + QByteArray::number(pid) + "]: " + message + '\n';
}

QByteArray login(int pid, const QByteArray &user, const QByteArray &ip, const QDateTime &time)
{
    return entry(pid, "Accepted password for " + user + " from " + ip + " port 22 ssh2", time) +
        entry(pid, "pam_unix(sshd:session): session opened for user " + user + " by (uid=0)", time);
}

QByteArray logout(int pid, const QDateTime &time)
{
    return entry(pid, "pam_unix(sshd:session): session closed for user x", time);
}
}

class ConnectionsAreaTest : public QObject
{
    Q_OBJECT

    FakeActionRunner *m_runner = nullptr;
    KCMOS::MessagesManager *m_messages = nullptr;
    SSHConnectionsArea *m_area = nullptr;
    QByteArray m_journal;

    QTableView *view() const { return m_area->findChild<QTableView *>(QStringLiteral("connectionsView")); }
    QMenu *menu() const { return m_area->findChild<QMenu *>(); }
    QAction *action(const QString &text) const
    {
        const auto actions = menu()->actions();
        for (QAction *action : actions) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }
    QList<FakeActionRunner::Call> journalReads() const { return m_runner->callsWith(QStringLiteral("system_logs_arguments")); }
    QList<FakeActionRunner::Call> kills() const { return m_runner->callsWith(QStringLiteral("kill_pid")); }
    /// Builds the area over the given journal and shows it after the first refresh.
    void makeArea(const QByteArray &journal)
    {
        m_journal = journal;
        m_area = new SSHConnectionsArea(m_messages, nullptr);
        m_area->resize(900, 400);
        m_area->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_area));
        m_area->updateData();
    }
    /// Opens the context menu on the given view row (or below the rows for -1).
    void requestMenu(int row)
    {
        menu()->hide();
        const QPoint position = row < 0 ? QPoint(5, view()->viewport()->height() - 5) : view()->visualRect(view()->model()->index(row, 0)).center();
        Q_EMIT view()->customContextMenuRequested(position);
    }

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<QHostAddress>(); }
    void init()
    {
        m_runner = new FakeActionRunner;
        m_runner->setHandler([this](const FakeActionRunner::Call &call) {
            if (call.keys().contains(QStringLiteral("system_logs_arguments"))) {
                // The whole journal the first time, nothing new afterwards.
                const QByteArray journal = journalReads().size() == 1 ? m_journal + "-- cursor: c1\n" : QByteArray("-- No entries --\n");
                return FakeActionRunner::success({{QStringLiteral("output"), SshdLog::Reducer::reduce(journal)}});
            }
            return FakeActionRunner::success();
        });
        m_messages = new KCMOS::MessagesManager;
    }
    void cleanup()
    {
        delete m_area;
        m_area = nullptr;
        qDeleteAll(m_messages->messages());
        delete m_messages;
        delete m_runner;
    }

    void firstRefreshKeepsOnlyConnectionsStillOpen()
    {
        const QDateTime past = QDateTime::currentDateTime().addSecs(-3600);
        makeArea(login(100, "gone", "10.0.0.1", past) + logout(100, past.addSecs(60)) + login(200, "here", "119.137.62.142", past));
        QCOMPARE(view()->model()->rowCount(), 1);
        QCOMPARE(view()->model()->index(0, 0).data().toString(), QStringLiteral("here"));
        QCOMPARE(view()->model()->index(0, 7).data().toString(), QStringLiteral("Still connected"));
        QCOMPARE(journalReads().size(), 1);
        QVERIFY(m_area->findChild<QStatusBar *>()->currentMessage().startsWith(QLatin1String("Updated at ")));
        // Set SSH_SETTINGS_SCREENSHOT_DIR to keep a picture of the tab.
        const QString directory = qEnvironmentVariable("SSH_SETTINGS_SCREENSHOT_DIR");
        if (!directory.isEmpty()) {
            QVERIFY(m_area->grab().save(directory + QStringLiteral("/connections-tab.png")));
        }
    }

    void contextMenu()
    {
        const QDateTime now = QDateTime::currentDateTime();
        makeArea(login(100, "zed", "10.0.0.1", now) + login(200, "amy", "10.0.0.2", now) + logout(200, now.addSecs(60)));
        QCOMPARE(view()->model()->rowCount(), 2);
        view()->sortByColumn(0, Qt::AscendingOrder);

        // Row 0 now shows amy, whose connection is closed.
        requestMenu(0);
        QVERIFY(menu()->isVisible());
        QVERIFY(!action(QStringLiteral("Disconnect"))->isVisible());
        QVERIFY(action(QStringLiteral("Block IP"))->isVisible());

        requestMenu(1);
        QVERIFY(menu()->isVisible());
        QVERIFY(action(QStringLiteral("Disconnect"))->isVisible());

        requestMenu(-1);
        QVERIFY(!menu()->isVisible());

        m_area->disableBlockIpAction();
        requestMenu(1);
        QVERIFY(menu()->isVisible());
        QVERIFY(!action(QStringLiteral("Block IP"))->isVisible());
        menu()->hide();
    }

    void disconnectActsOnShownRow_data()
    {
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("message");
        QTest::newRow("ascending") << Qt::AscendingOrder << 200 << "Successfully disconnected 10.0.0.2:22";
        QTest::newRow("descending") << Qt::DescendingOrder << 100 << "Successfully disconnected 10.0.0.1:22";
    }
    void disconnectActsOnShownRow()
    {
        QFETCH(Qt::SortOrder, order);
        QFETCH(int, pid);
        QFETCH(QString, message);
        const QDateTime now = QDateTime::currentDateTime();
        makeArea(login(100, "zed", "10.0.0.1", now) + login(200, "amy", "10.0.0.2", now));
        view()->sortByColumn(0, order);
        view()->setCurrentIndex(view()->model()->index(0, 3));
        action(QStringLiteral("Disconnect"))->trigger();

        QCOMPARE(kills().size(), 1);
        QCOMPARE(kills().at(0).argument(QStringLiteral("kill_pid")), QVariant(pid));
        // The closing is read at once.
        QCOMPARE(journalReads().size(), 2);
        QVERIFY(journalReads().at(1).argument(QStringLiteral("system_logs_arguments")).toStringList().contains(QStringLiteral("--after-cursor=c1")));
        QCOMPARE(m_messages->messages().size(), 1);
        QCOMPARE(m_messages->messages().at(0)->text(), message);
    }

    void blockIp()
    {
        const QDateTime now = QDateTime::currentDateTime();
        makeArea(login(100, "zed", "10.0.0.1", now) + login(200, "amy", "2001:db8::7", now));
        view()->sortByColumn(0, Qt::AscendingOrder);
        view()->setCurrentIndex(view()->model()->index(0, 0));
        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        QSignalSpy focus(m_area, &SSHConnectionsArea::focusOnAccessArea);
        action(QStringLiteral("Block IP"))->trigger();

        QCOMPARE(blocked.size(), 1);
        QCOMPARE(blocked.at(0).at(0).value<QHostAddress>(), QHostAddress(QStringLiteral("2001:db8::7")));
        QVERIFY(kills().isEmpty());
        QCOMPARE(m_messages->messages().size(), 1);
        KCMOS::MessageWidget *message = m_messages->messages().at(0);
        QCOMPARE(message->messageType(), KCMOS::Information);
        QCOMPARE(message->text(),
                 QStringLiteral("IP-address added into <a href=\"forbidden\"><span style=\" text-decoration: underline; color:#007af4;\">forbidden "
                                "list</span></a>.\nFuture connections from this address will be blocked.\nClick 'Apply' button to apply changes."));
        Q_EMIT message->linkActivated(QStringLiteral("forbidden"));
        QCOMPARE(focus.size(), 1);
    }

    void failedAttempts()
    {
        const QDateTime now = QDateTime::currentDateTime();
        QByteArray journal;
        for (int i = 0; i < 3; ++i) {
            journal += entry(300 + i, "Failed password for invalid user u" + QByteArray::number(i) + " from 203.0.113.9 port 4 ssh2", now.addSecs(i));
        }
        journal += entry(400, "Failed password for root from 2001:db8::66 port 5 ssh2", now.addSecs(-60));
        makeArea(journal);
        auto *attempts = m_area->findChild<QTableView *>(QStringLiteral("attemptsView"));
        QAbstractItemModel *model = attempts->model();
        // Sorted by failures, most first; sortable by any column.
        const auto row = [model](int r) {
            QStringList texts;
            for (int column : {0, 1, 2, 5}) {
                texts.append(model->index(r, column).data().toString());
            }
            return texts.join(QLatin1Char(' '));
        };
        QCOMPARE(row(0), QStringLiteral("203.0.113.9 3 3 No"));
        QCOMPARE(row(1), QStringLiteral("2001:db8::66 1 1 No"));
        QCOMPARE(model->index(0, 3).data().toDateTime().toSecsSinceEpoch(), now.toSecsSinceEpoch());
        QCOMPARE(model->index(0, 4).data().toDateTime().toSecsSinceEpoch(), now.addSecs(2).toSecsSinceEpoch());
        attempts->sortByColumn(4, Qt::AscendingOrder);
        QCOMPARE(row(0), QStringLiteral("2001:db8::66 1 1 No"));

        // "Block IP" denies the row's address through the access lists, which then show it denied.
        QList<QHostAddress> denied;
        m_area->setDeniedCheck([&denied](const QHostAddress &address) {
            return denied.contains(address);
        });
        connect(m_area, &SSHConnectionsArea::ipBlocked, this, [&denied](const QHostAddress &address) {
            denied.append(address);
        });
        attempts->setCurrentIndex(model->index(0, 1));
        attempts->actions().constFirst()->trigger();
        QCOMPARE(denied, QList<QHostAddress> {QHostAddress(QStringLiteral("2001:db8::66"))});
        QCOMPARE(row(0), QStringLiteral("2001:db8::66 1 1 Yes"));
        QCOMPARE(m_messages->messages().size(), 1);
        m_area->disableBlockIpAction();
        QVERIFY(attempts->actions().isEmpty());
    }

    void deniedInAccessLists_data()
    {
        QTest::addColumn<QVariant>("lists");
        QTest::addColumn<bool>("denied");
        const auto deny = [](const QVariant &words) {
            return QVariant(QVariantMap {{QStringLiteral("DenyUsers"), words}});
        };
        QTest::newRow("any user") << deny(QStringLiteral("alice *@2001:db8::7")) << true;
        QTest::newRow("other spelling") << deny(QStringList {QStringLiteral("*@2001:db8:0::7")}) << true;
        QTest::newRow("one user only") << deny(QStringLiteral("bob@2001:db8::7")) << false;
        QTest::newRow("allow list") << QVariant(QVariantMap {{QStringLiteral("AllowUsers"), QStringLiteral("*@2001:db8::7")}}) << false;
        QTest::newRow("nothing") << QVariant() << false;
    }
    void deniedInAccessLists()
    {
        QFETCH(QVariant, lists);
        QFETCH(bool, denied);
        QCOMPARE(SSHConnectionsArea::isDenied(lists, QHostAddress(QStringLiteral("2001:db8::7"))), denied);
    }

    void refreshRunsOnlyWhileEnabledAndEmptyViewHasNoActions()
    {
        makeArea(QByteArray());
        // Without a usable row the actions do nothing.
        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        action(QStringLiteral("Disconnect"))->trigger();
        action(QStringLiteral("Block IP"))->trigger();
        QVERIFY(kills().isEmpty() && blocked.isEmpty() && m_messages->messages().isEmpty());
        QStatusBar *statusBar = m_area->findChild<QStatusBar *>();
        // Without restoreAutoUpdate() the timer does not run.
        QTest::qWait(2300);
        QCOMPARE(journalReads().size(), 1);

        m_area->restoreAutoUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(journalReads().size(), 2, 3000);
        const QString first = statusBar->currentMessage();
        QTRY_COMPARE_WITH_TIMEOUT(journalReads().size(), 3, 3000);
        QVERIFY(statusBar->currentMessage().startsWith(QLatin1String("Updated at ")));
        QVERIFY(statusBar->currentMessage() != first);

        m_area->disableAutoUpdate();
        QTest::qWait(100);
        const int reads = journalReads().size();
        QTest::qWait(2300);
        QCOMPARE(journalReads().size(), reads);
    }
};

QTEST_MAIN(ConnectionsAreaTest)
#include "connectionsareatest.moc"
