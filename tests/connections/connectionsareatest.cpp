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
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <utility>

Q_DECLARE_METATYPE(QHostAddress)
Q_DECLARE_METATYPE(SSHAttemptsModel::DenyState)

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
    QTableView *attemptsView() const
    {
        return m_area->findChild<QTableView *>(QStringLiteral("attemptsView"));
    }
    QPushButton *button(const char *name) const
    {
        return m_area->findChild<QPushButton *>(QLatin1String(name));
    }
    /// Clicks a cell of the view, as a user selects.
    static void clickCell(QTableView *view, int row, int column)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, column)).center());
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
        m_area->resize(900, 600);
        m_area->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_area));
        m_area->updateData();
        QVERIFY(FakeActionRunner::settle());
    }
    /// Opens the context menu on the given view row (or below the rows for -1).
    void requestMenu(int row)
    {
        menu()->hide();
        const QRect last = view()->visualRect(view()->model()->index(view()->model()->rowCount() - 1, 0));
        const QPoint position = row < 0 ? QPoint(5, last.bottom() + 5) : view()->visualRect(view()->model()->index(row, 0)).center();
        QVERIFY(position.y() < view()->viewport()->height());
        Q_EMIT view()->customContextMenuRequested(position);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<QHostAddress>();
        // Refreshed by the tests alone, but where a test asks for the timer.
        SSHConnectionsArea::setRefreshIntervalForTesting(3600 * 1000);
    }
    void init()
    {
        m_untiedKill = false;
        m_runner = new FakeActionRunner;
        m_runner->setHandler([this](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::JournalArguments)) {
                // The whole journal the first time, nothing new afterwards unless a test adds to it.
                QByteArray journal = std::exchange(m_journal, QByteArray("-- No entries --\n"));
                if (journalReads().size() == 1) {
                    journal += "-- cursor: c1\n";
                }
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
        // eve's closed connection, in the middle either way, is listed with its end; below the rows there is no menu.
        QCOMPARE(view()->model()->index(1, 7).data().toDateTime().toSecsSinceEpoch(), now.addSecs(60).toSecsSinceEpoch());
        view()->selectRow(0);
        requestMenu(0);
        QVERIFY(menu()->isVisible());
        requestMenu(-1);
        QVERIFY(!menu()->isVisible());
        m_untiedKill = untied;
        const int reads = journalReads().size();
        ModalDriver driver;
        driver.answer(answer);
        button("disconnectButton")->click();
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
        // The closing is read once the helper answers.
        QCOMPARE(journalReads().size(), reads + 1);
        QCOMPARE(m_messages->messages().at(0)->text(), said);
        QCOMPARE(m_messages->messages().at(0)->messageType(), untied ? KCMOS::Warning : KCMOS::Positive);

        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        QSignalSpy focus(m_area, &SSHConnectionsArea::focusOnAccessArea);
        // Denying names the address in one message, which the next deny replaces.
        for (int row : {0, 2}) {
            view()->selectRow(row);
            button("denyConnectionButton")->click();
        }
        QCOMPARE(blocked.size(), 2);
        QCOMPARE(blocked.at(0).at(0).value<QHostAddress>(), QHostAddress(address));
        QCOMPARE(m_messages->messages().size(), 2);
        KCMOS::MessageWidget *message = m_messages->messages().at(1);
        QCOMPARE(message->messageType(), KCMOS::Information);
        const QString last = view()->model()->index(2, 1).data().toString();
        QCOMPARE(message->text(),
                 QStringLiteral("A deny entry for %1 was added to the <a href=\"access\">access list</a>. Press Apply to write it; connections from %1 are "
                                "refused from then on.")
                     .arg(last));
        Q_EMIT message->linkActivated(QStringLiteral("access"));
        QCOMPARE(focus.size(), 1);

        m_area->disableBlockIpAction();
        requestMenu(0);
        QVERIFY(menu()->isVisible() && !action(QStringLiteral("Deny Address"))->isVisible() && button("denyConnectionButton")->isHidden());
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

        // Deny Address adds a deny entry for the row's address: "After Apply" until it is written, "Yes" once it is.
        using DenyState = SSHAttemptsModel::DenyState;
        QList<QHostAddress> denied;
        bool written = false;
        m_area->setDeniedCheck([&](const QHostAddress &address) {
            return !denied.contains(address) ? DenyState::NotDenied : written ? DenyState::Denied : DenyState::DeniedOnApply;
        });
        connect(m_area, &SSHConnectionsArea::ipBlocked, this, [&denied](const QHostAddress &address) {
            denied.append(address);
        });
        clickCell(attempts, 0, 1);
        button("denyAttemptButton")->click();
        QCOMPARE(denied, QList<QHostAddress>{QHostAddress(QStringLiteral("2001:db8::66"))});
        QCOMPARE(row(0), QStringLiteral("2001:db8::66 1 1 Yes, after Apply"));
        QVERIFY(!button("denyAttemptButton")->isEnabled());
        written = true;
        m_area->updateData();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(row(0), QStringLiteral("2001:db8::66 1 1 Yes"));
        QCOMPARE(m_messages->messages().size(), 1);
        m_area->disableBlockIpAction();
        QVERIFY(attempts->actions().isEmpty() && button("denyAttemptButton")->isHidden());
    }

    // Both views select whole rows; the buttons below them act on the selected row where they can.
    void buttonsFollowSelection_data()
    {
        QTest::addColumn<QString>("clicked"); // the view a cell of is clicked, "" for none
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("enabled"); // Disconnect, Deny Address below connections, Deny Address below attempts
        QTest::newRow("nothing selected") << QString() << 0 << "- - -";
        QTest::newRow("open connection") << "connections" << 0 << "on on -";
        QTest::newRow("closed connection") << "connections" << 1 << "- on -";
        QTest::newRow("open connection from a denied address") << "connections" << 2 << "on - -";
        QTest::newRow("failed logins of an address") << "attempts" << 1 << "- - on";
        QTest::newRow("failed logins of a denied address") << "attempts" << 0 << "- - -";
    }
    void buttonsFollowSelection()
    {
        QFETCH(QString, clicked);
        QFETCH(int, row);
        QFETCH(QString, enabled);
        const QDateTime now = QDateTime::currentDateTime();
        // Newest first: amy open, eve closed, zed open from a denied address.
        makeArea(login(100, "zed", "10.0.0.9", now.addSecs(-20)) + login(300, "eve", "10.0.0.3", now.addSecs(-10)) + login(200, "amy", "10.0.0.1", now)
                 + entry(300, "pam_unix(sshd:session): session closed for user eve", now.addSecs(1))
                 + entry(400, "Failed password for root from 203.0.113.9 port 5 ssh2", now)
                 + entry(401, "Failed password for root from 10.0.0.9 port 5 ssh2", now)
                 + entry(401, "Failed password for root from 10.0.0.9 port 5 ssh2", now));
        m_area->setDeniedCheck([](const QHostAddress &address) {
            return address == QHostAddress(QStringLiteral("10.0.0.9")) ? SSHAttemptsModel::DenyState::DeniedOnApply : SSHAttemptsModel::DenyState::NotDenied;
        });
        QCOMPARE(view()->model()->index(2, 0).data().toString(), QStringLiteral("zed"));
        QCOMPARE(attemptsView()->model()->index(0, 0).data().toString(), QStringLiteral("10.0.0.9"));
        if (!clicked.isEmpty()) {
            QTableView *target = clicked == QLatin1String("connections") ? view() : attemptsView();
            clickCell(target, row, 2);
            QCOMPARE(target->selectionModel()->selectedRows().size(), 1);
            QCOMPARE(target->selectionModel()->selectedIndexes().size(), target->model()->columnCount());
        }
        QStringList states;
        for (const char *name : {"disconnectButton", "denyConnectionButton", "denyAttemptButton"}) {
            states.append(button(name)->isEnabled() ? QStringLiteral("on") : QStringLiteral("-"));
        }
        QCOMPARE(states.join(QLatin1Char(' ')), enabled);
        QCOMPARE(action(QStringLiteral("Disconnect"))->isEnabled(), button("disconnectButton")->isEnabled());
        QCOMPARE(attemptsView()->actions().constFirst()->isEnabled(), button("denyAttemptButton")->isEnabled());
        // A live row's end turns its Disconnect off.
        if (enabled.startsWith(QLatin1String("on"))) {
            m_journal = entry(row == 0 ? 200 : 100, "pam_unix(sshd:session): session closed for user x", now.addSecs(2));
            m_area->updateData();
            QVERIFY(FakeActionRunner::settle());
            QVERIFY(view()->model()->index(row, 7).data().userType() == QMetaType::QDateTime && !button("disconnectButton")->isEnabled());
        }
    }

    void denyState_data()
    {
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("changed"); // the keywords whose lists differ from the written ones
        QTest::addColumn<SSHAttemptsModel::DenyState>("state");
        const auto deny = [](const QVariant &words) {
            return QVariant(QVariantMap{{QStringLiteral("DenyUsers"), words}});
        };
        using DenyState = SSHAttemptsModel::DenyState;
        QTest::newRow("any user") << deny(QStringLiteral("alice *@2001:db8::7")) << QVariant() << DenyState::Denied;
        QTest::newRow("other spelling, in a list") << deny(QStringList{QStringLiteral("bob@h"), QStringLiteral("alice\t*@2001:db8:0::7")}) << QVariant()
                                                   << DenyState::Denied;
        QTest::newRow("its network") << deny(QStringLiteral("*@2001:db8::/32")) << QVariant() << DenyState::Denied;
        QTest::newRow("a wildcard") << deny(QStringLiteral("*@2001:db8::*")) << QVariant() << DenyState::Denied;
        QTest::newRow("all but it") << deny(QStringLiteral("*@!2001:db8::7,2001:db8::/32")) << QVariant() << DenyState::NotDenied;
        QTest::newRow("one user only") << deny(QStringLiteral("bob@2001:db8::7")) << QVariant() << DenyState::NotDenied;
        QTest::newRow("allow list") << QVariant(QVariantMap{{QStringLiteral("AllowUsers"), QStringLiteral("*@2001:db8::7")}}) << QVariant()
                                    << DenyState::NotDenied;
        QTest::newRow("added, not written") << deny(QStringLiteral("bob@2001:db8::7")) << deny(QStringLiteral("bob@2001:db8::7 *@2001:db8::7"))
                                            << DenyState::DeniedOnApply;
        QTest::newRow("removed, not written") << deny(QStringLiteral("*@2001:db8::7")) << deny(QString()) << DenyState::AllowedOnApply;
        QTest::newRow("other list changed") << deny(QStringLiteral("*@2001:db8::7")) << QVariant(QVariantMap{{QStringLiteral("AllowUsers"), QString()}})
                                            << DenyState::Denied;
    }
    void denyState()
    {
        QFETCH(QVariant, written);
        QFETCH(QVariant, changed);
        QFETCH(SSHAttemptsModel::DenyState, state);
        QCOMPARE(SSHConnectionsArea::denyState(written, changed, QHostAddress(QStringLiteral("2001:db8::7"))), state);
    }

    void refreshRunsWhileShownAndEmptyViewHasNoActions()
    {
        SSHConnectionsArea::setRefreshIntervalForTesting(10);
        makeArea(QByteArray());
        SSHConnectionsArea::setRefreshIntervalForTesting(3600 * 1000);
        // Without a usable row the actions do nothing.
        QSignalSpy blocked(m_area, &SSHConnectionsArea::ipBlocked);
        action(QStringLiteral("Disconnect"))->trigger();
        action(QStringLiteral("Deny Address"))->trigger();
        QVERIFY(kills().isEmpty() && blocked.isEmpty() && m_messages->messages().isEmpty());
        // Shown, it refreshes by itself; hidden, it stops.
        QTRY_VERIFY(journalReads().size() >= 2);
        QVERIFY(journalReads().at(1).argument(Arg::JournalArguments).toStringList().contains(QStringLiteral("--after-cursor=c1")));
        m_area->hide();
        QTest::qWait(30); // a tick sent before the stop arrives
        QVERIFY(FakeActionRunner::settle());
        const int reads = journalReads().size();
        QTest::qWait(50);
        QCOMPARE(journalReads().size(), reads);
    }
};

QTEST_MAIN(ConnectionsAreaTest)
#include "connectionsareatest.moc"
