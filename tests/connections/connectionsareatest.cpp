// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "modaldriver.h"
#include "serveraddress.h"
#include "sshconnectionsarea.h"
#include "sshdlogreducer.h"
#include "sshsettingsprotocol.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>

Q_DECLARE_METATYPE(QHostAddress)

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;

QByteArray entry(int pid, const QByteArray &message, const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz000+0000")).toLatin1() + " host sshd[" + QByteArray::number(pid) + "]: " + message
        + '\n';
}

QByteArray login(int pid, const QByteArray &user, const QByteArray &ip, const QDateTime &time)
{
    return entry(pid, "Accepted password for " + user + " from " + ip + " port 22 ssh2", time);
}
}

class ConnectionsAreaTest : public QObject
{
    Q_OBJECT

    FakeActionRunner *m_runner = nullptr;
    KCMOS::MessagesManager *m_messages = nullptr;
    SSHConnectionsArea *m_area = nullptr;
    QByteArray m_journal;
    bool m_untiedKill = false; ///< the kill is answered with another caller's denial

    QTableView *view() const
    {
        return m_area->findChild<QTableView *>(QStringLiteral("connectionsView"));
    }
    QMenu *menu() const
    {
        return m_area->findChild<QMenu *>();
    }
    QAction *action(const QString &text) const
    {
        const auto actions = menu()->actions();
        return *std::find_if(actions.begin(), actions.end(), [&text](QAction *action) {
            return action->text() == text;
        });
    }
    QList<FakeActionRunner::Call> journalReads() const
    {
        return m_runner->callsWith(Arg::JournalArguments);
    }
    QList<FakeActionRunner::Call> kills() const
    {
        return m_runner->callsWith(Arg::KillPid);
    }
    /// Builds the area over the given journal and shows it after the first refresh.
    void makeArea(const QByteArray &journal)
    {
        m_journal = journal;
        m_area = new SSHConnectionsArea(m_messages, nullptr);
        m_area->resize(900, 400);
        m_area->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_area));
        m_area->updateData();
        QVERIFY(FakeActionRunner::settle());
    }
    /// Opens the context menu on the given view row (or below the rows for -1).
    void requestMenu(int row)
    {
        menu()->hide();
        const QPoint position = row < 0 ? QPoint(5, view()->viewport()->height() - 5) : view()->visualRect(view()->model()->index(row, 0)).center();
        Q_EMIT view()->customContextMenuRequested(position);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<QHostAddress>();
        SSHConnectionsArea::setRefreshIntervalForTesting(10);
    }
    void init()
    {
        m_untiedKill = false;
        m_runner = new FakeActionRunner;
        m_runner->setHandler([this](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::JournalArguments)) {
                // The whole journal the first time, nothing new afterwards.
                const QByteArray journal = journalReads().size() == 1 ? m_journal + "-- cursor: c1\n" : QByteArray("-- No entries --\n");
                return FakeActionRunner::success({{SSHSettings::Protocol::Reply::Output, SshdLog::Reducer::reduce(journal)}});
            }
            if (call.keys().contains(Arg::KillPid) && m_untiedKill) {
                return FakeActionRunner::untied(FakeActionRunner::failure(QStringLiteral("authorization denied"), 4), QString(32, QLatin1Char('e')));
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

    void actionsActOnShownRow_data()
    {
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("answer"); // to the question before Disconnect
        QTest::addColumn<bool>("untied"); // the answer to the kill is another caller's
        QTest::addColumn<QString>("said");
        QTest::newRow("ascending") << Qt::AscendingOrder << 200 << "2001:db8::7"
                                   << "Disconnect" << false << "The SSH session of amy from 2001:db8::7 was ended.";
        QTest::newRow("descending") << Qt::DescendingOrder << 100 << "10.0.0.1"
                                    << "Disconnect" << false << "The SSH session of zed from 10.0.0.1 was ended.";
        QTest::newRow("cancelled") << Qt::DescendingOrder << 100 << "10.0.0.1"
                                   << "Cancel" << false << QString();
        QTest::newRow("outcome unknown") << Qt::AscendingOrder << 200 << "2001:db8::7"
                                         << "Disconnect" << true
                                         << "Whether the SSH session of amy from 2001:db8::7 was ended is not known; the connections shown were read again.";
    }
    void actionsActOnShownRow()
    {
        QFETCH(Qt::SortOrder, order);
        QFETCH(int, pid);
        QFETCH(QString, address);
        QFETCH(QString, answer);
        QFETCH(bool, untied);
        QFETCH(QString, said);
        const QDateTime now = QDateTime::currentDateTime();
        makeArea(login(100, "zed", "10.0.0.1", now) + login(200, "amy", "2001:db8::7", now) + login(300, "eve", "10.0.0.3", now)
                 + entry(300, "pam_unix(sshd:session): session closed for user eve", now.addSecs(60)));
        QCOMPARE(view()->model()->rowCount(), 3);
        view()->sortByColumn(0, order);
        // eve's closed connection, in the middle either way, can only be blocked; below the rows there is no menu.
        requestMenu(1);
        QVERIFY(menu()->isVisible() && !action(QStringLiteral("Disconnect"))->isVisible() && action(QStringLiteral("Block IP"))->isVisible());
        requestMenu(0);
        QVERIFY(menu()->isVisible() && action(QStringLiteral("Disconnect"))->isVisible());
        requestMenu(-1);
        QVERIFY(!menu()->isVisible());

        view()->setCurrentIndex(view()->model()->index(0, 3));
        m_untiedKill = untied;
        ModalDriver driver;
        driver.answer(answer);
        action(QStringLiteral("Disconnect"))->trigger();
        QVERIFY(FakeActionRunner::settle());
        // Asked first, naming the user and the address; Cancel is the default.
        QCOMPARE(driver.seenTexts, QStringList{QStringLiteral("End the SSH session of %1 from %2?").arg(QLatin1String(pid == 100 ? "zed" : "amy"), address)});
        QCOMPARE(driver.seenDefaults, QStringList{QStringLiteral("Cancel")});
        QCOMPARE(kills().size(), said.isEmpty() ? 0 : 1);
        if (said.isEmpty()) {
            QVERIFY(m_messages->messages().isEmpty());
            return;
        }
        QCOMPARE(kills().at(0).argument(Arg::KillPid), QVariant(pid));
        // The closing is read at once.
        QCOMPARE(journalReads().size(), 2);
        QCOMPARE(m_messages->messages().at(0)->text(), said);
        QCOMPARE(m_messages->messages().at(0)->messageType(), untied ? KCMOS::Warning : KCMOS::Positive);

        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        QSignalSpy focus(m_area, &SSHConnectionsArea::focusOnAccessArea);
        action(QStringLiteral("Block IP"))->trigger();
        QCOMPARE(blocked.size(), 1);
        QCOMPARE(blocked.at(0).at(0).value<QHostAddress>(), QHostAddress(address));
        KCMOS::MessageWidget *message = m_messages->messages().at(1);
        QCOMPARE(message->messageType(), KCMOS::Information);
        QVERIFY(message->text().startsWith(QLatin1String("IP address added to the <a href=\"forbidden\">")));
        Q_EMIT message->linkActivated(QStringLiteral("forbidden"));
        QCOMPARE(focus.size(), 1);

        m_area->disableBlockIpAction();
        requestMenu(0);
        QVERIFY(menu()->isVisible() && !action(QStringLiteral("Block IP"))->isVisible());
        menu()->hide();
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
        QCOMPARE(denied, QList<QHostAddress>{QHostAddress(QStringLiteral("2001:db8::66"))});
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
            return QVariant(QVariantMap{{QStringLiteral("DenyUsers"), words}});
        };
        QTest::newRow("any user") << deny(QStringLiteral("alice *@2001:db8::7")) << true;
        QTest::newRow("other spelling") << deny(QStringList{QStringLiteral("*@2001:db8:0::7")}) << true;
        QTest::newRow("its network") << deny(QStringLiteral("*@2001:db8::/32")) << true;
        QTest::newRow("a wildcard") << deny(QStringLiteral("*@2001:db8::*")) << true;
        QTest::newRow("all but it") << deny(QStringLiteral("*@!2001:db8::7,2001:db8::/32")) << false;
        QTest::newRow("one user only") << deny(QStringLiteral("bob@2001:db8::7")) << false;
        QTest::newRow("allow list") << QVariant(QVariantMap{{QStringLiteral("AllowUsers"), QStringLiteral("*@2001:db8::7")}}) << false;
    }
    void deniedInAccessLists()
    {
        QFETCH(QVariant, lists);
        QFETCH(bool, denied);
        QCOMPARE(SSHConnectionsArea::isDenied(lists, QHostAddress(QStringLiteral("2001:db8::7"))), denied);
    }

    void refreshRunsWhileEnabledAndEmptyViewHasNoActions()
    {
        makeArea(QByteArray());
        // Without a usable row the actions do nothing.
        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        action(QStringLiteral("Disconnect"))->trigger();
        action(QStringLiteral("Block IP"))->trigger();
        QVERIFY(kills().isEmpty() && blocked.isEmpty() && m_messages->messages().isEmpty());
        m_area->restoreAutoUpdate();
        QTRY_VERIFY(journalReads().size() >= 2);
        QVERIFY(journalReads().at(1).argument(Arg::JournalArguments).toStringList().contains(QStringLiteral("--after-cursor=c1")));
        m_area->disableAutoUpdate();
    }
};

QTEST_MAIN(ConnectionsAreaTest)
#include "connectionsareatest.moc"
