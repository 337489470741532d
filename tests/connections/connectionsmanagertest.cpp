// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsmanager.h"
#include "sshconnectionsmodel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace
{
QByteArray entry(int pid, const QByteArray &message, const QByteArray &time = "2024-03-01T10:15:30.123456", const QByteArray &ident = "sshd")
{
    return time + "+0000 host " + ident + "[" + QByteArray::number(pid) + "]: " + message;
}

QDateTime utc(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toLocalTime();
}

/// A manager whose "who -pu" output and device directory are given by the test.
class TestManager : public SSHConnectionsManager
{
public:
    TestManager() : SSHConnectionsManager(nullptr) { }
    QString whoOutput;
    QString devices = QStringLiteral("/dev/");
    int whoRuns = 0;

protected:
    QString readWhoOutput() override
    {
        ++whoRuns;
        return whoOutput;
    }
    QString deviceDirectory() const override { return devices; }
};

/// Answers journal reads with the given outputs, one per read, then with nothing new.
struct JournalFeed
{
    FakeActionRunner runner;
    QList<QByteArray> outputs;

    JournalFeed()
    {
        runner.setHandler([this](const FakeActionRunner::Call &call) {
            if (!call.keys().contains(QStringLiteral("system_logs_arguments"))) {
                return FakeActionRunner::success();
            }
            const QByteArray output = outputs.isEmpty() ? QByteArray("-- No entries --\n") : outputs.takeFirst();
            return FakeActionRunner::success({{QStringLiteral("output"), output}});
        });
    }
    QStringList arguments(int read) const
    {
        return runner.callsWith(QStringLiteral("system_logs_arguments")).at(read).argument(QStringLiteral("system_logs_arguments")).toStringList();
    }
};

SSHConnectionData openConnection(pid_t pid, const QDateTime &opened)
{
    SSHConnectionData data;
    data.syslogPid = pid;
    data.user = QStringLiteral("bob");
    data.address = ServerAddress(QStringLiteral("2001:db8::1"), QStringLiteral("50022"), nullptr);
    data.failedTriesCount = 2;
    data.openDateTime = opened;
    return data;
}

QByteArray lines(const QList<QByteArray> &list)
{
    QByteArray result;
    for (const QByteArray &line : list) {
        result += line + '\n';
    }
    return result;
}
}

class ConnectionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labServerCorpus()
    {
        QFile file(QStringLiteral(CORPUS_DIR "/journal-lab-server-2k.txt"));
        if (!file.open(QIODevice::ReadOnly)) {
            QSKIP("The journal corpus journal-lab-server-2k.txt is not beside the clone (../shared/corpus)");
        }
        JournalFeed feed;
        feed.outputs = {file.readAll()};
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        QSignalSpy closed(&manager, &SSHConnectionsManager::connectionClosed);
        manager.readConnections();

        QCOMPARE(opened.size(), 1);
        const auto connection = opened.at(0).at(0).value<SSHConnectionData>();
        QCOMPARE(connection.user, QStringLiteral("fztu"));
        QCOMPARE(connection.address.toString(), QStringLiteral("119.137.62.142:49116"));
        QCOMPARE(connection.syslogPid, 24680);
        QCOMPARE(connection.failedTriesCount, 0);
        // The microseconds round to the nearest millisecond.
        QCOMPARE(connection.openDateTime, utc(QStringLiteral("2016-12-10T09:32:20.001Z")));
        QVERIFY(connection.closeDateTime.isNull());
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).value<pid_t>(), 24680);
        QCOMPARE(closed.at(0).at(1).toDateTime(), utc(QStringLiteral("2016-12-10T09:45:06.001Z")));
        QVERIFY(manager.journalCursor().startsWith(QLatin1String("s=0f1e2d3c4b5a6978")));
        // Processes that failed and went away leave nothing behind.
        QVERIFY2(manager.pendingCount() < 20, qPrintable(QString::number(manager.pendingCount())));
    }

    void refreshDuringAReadIsSkipped()
    {
        // A refresh tick delivered inside the job's event loop must not read again.
        FakeActionRunner runner;
        TestManager manager;
        int reads = 0;
        runner.setHandler([&](const FakeActionRunner::Call &) {
            if (++reads == 1) {
                manager.readConnections();
            }
            return FakeActionRunner::success(
                {{QStringLiteral("output"),
                  lines({"2024-03-01T10:15:29.000001+0000 host sshd[812]: Accepted password for alice from 10.0.0.7 port 622 ssh2",
                         "2024-03-01T10:15:30.000001+0000 host sshd[812]: pam_unix(sshd:session): session opened for user alice", "-- cursor: s=1"})}});
        });
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        manager.readConnections();
        QCOMPARE(reads, 1);
        QCOMPARE(opened.size(), 1);
    }

    void journalArguments()
    {
        JournalFeed feed;
        feed.outputs = {lines({"-- cursor: s=1;i=a", "-- cursor: s=2;i=b"}), QByteArray()};
        TestManager manager;
        manager.readConnections();
        const QStringList base = {
            QStringLiteral("--identifier=sshd"), QStringLiteral("--identifier=sshd-session"), QStringLiteral("--boot"), QStringLiteral("--utc"),
            QStringLiteral("--show-cursor"),     QStringLiteral("--output=short-iso-precise")};
        QCOMPARE(feed.arguments(0), base);
        QCOMPARE(feed.runner.calls.at(0).action, SSHSettings::actionName(SSHSettings::ActionKind::Access));
        QCOMPARE(feed.runner.calls.at(0).keys(), QStringList {QStringLiteral("system_logs_arguments")});
        // The last cursor line wins.
        QCOMPARE(manager.journalCursor(), QStringLiteral("s=2;i=b"));
        manager.readConnections();
        QCOMPARE(feed.arguments(1), base + QStringList {QStringLiteral("--after-cursor=s=2;i=b")});
    }

    void cursorKeptWhenReadGivesNothing_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QVariantMap>("data");
        QTest::addColumn<QString>("warning");
        const QString output = QStringLiteral("output");
        QTest::newRow("job fails") << true << QVariantMap() << "^Failed to read journalctl";
        QTest::newRow("no output") << false << QVariantMap {{QStringLiteral("other"), QByteArray("x")}} << "^Reading journalctl sent no data";
        QTest::newRow("output not bytes") << false << QVariantMap {{output, QVariant::fromValue(QPoint(1, 2))}}
                                          << "^Reading journalctl sent data with type inconvertible";
        QTest::newRow("only a note") << false << QVariantMap {{output, QByteArray("-- No entries --\n")}} << QString();
    }
    void cursorKeptWhenReadGivesNothing()
    {
        QFETCH(bool, fails);
        QFETCH(QVariantMap, data);
        QFETCH(QString, warning);
        FakeActionRunner runner;
        runner.setHandler([&](const FakeActionRunner::Call &) {
            if (runner.calls.size() == 1) {
                return FakeActionRunner::success({{QStringLiteral("output"), QByteArray("-- cursor: first\n")}});
            }
            return fails ? FakeActionRunner::failure(QStringLiteral("not authorized")) : FakeActionRunner::success(data);
        });
        TestManager manager;
        manager.readConnections();
        for (int i = 0; !warning.isEmpty() && i < 2; ++i) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning)); // both later reads fail the same way
        }
        manager.readConnections();
        QCOMPARE(manager.journalCursor(), QStringLiteral("first"));
        manager.readConnections();
        QVERIFY(runner.calls.last().argument(QStringLiteral("system_logs_arguments")).toStringList().contains(QStringLiteral("--after-cursor=first")));
    }

    void pairing_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("failed");

        const QByteArray failed = entry(812, "Failed password for bob from 192.168.1.5 port 40000 ssh2");
        const QByteArray accepted = entry(812, "Accepted password for bob from 192.168.1.5 port 40000 ssh2");
        const QByteArray opened = entry(812, "pam_unix(sshd:session): session opened for user bob by (uid=0)", "2024-03-01T10:15:31.250000");
        QTest::newRow("failures in an earlier read") << QList<QByteArray> {lines({failed}), lines({failed}), lines({accepted}), lines({opened})} << "bob"
                                                     << "192.168.1.5:40000" << 2;
        QTest::newRow("ipv6 client") << QList<QByteArray> {lines({entry(812, "Accepted password for eve from 2001:db8:a::f1 port 50022 ssh2"), opened})}
                                     << "eve"
                                     << "2001:db8:a::f1:50022" << 0;
        QTest::newRow("sshd-session identifier")
            << QList<QByteArray> {lines(
                   {entry(812, "Accepted password for amy from 10.0.0.7 port 622 ssh2", "2024-03-01T10:15:30.1", "sshd-session"),
                    entry(812, "pam_unix(sshd:session): session opened for user amy(uid=1000) by amy(uid=0)", "2024-03-01T10:15:31.250000", "sshd-session")})}
            << "amy"
            << "10.0.0.7:622" << 0;
        QTest::newRow("trailing blanks and carriage-return-free noise")
            << QList<QByteArray> {"\n\n  " + lines({accepted, "garbage line", opened}) + "  \n"} << "bob"
            << "192.168.1.5:40000" << 0;
    }
    void pairing()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QString, user);
        QFETCH(QString, address);
        QFETCH(int, failed);

        JournalFeed feed;
        feed.outputs = reads;
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        if (reads.constFirst().contains("garbage line")) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not match.*garbage line")));
        }
        for (int i = 0; i < reads.size(); ++i) {
            manager.readConnections();
        }
        QCOMPARE(opened.size(), 1);
        const auto connection = opened.at(0).at(0).value<SSHConnectionData>();
        QCOMPARE(connection.user, user);
        QCOMPARE(connection.address.toString(), address);
        QVERIFY(connection.address.isValid());
        QCOMPARE(connection.failedTriesCount, failed);
        QCOMPARE(connection.syslogPid, 812);
        QCOMPARE(connection.openDateTime, utc(QStringLiteral("2024-03-01T10:15:31.250Z")));
        QCOMPARE(manager.pendingCount(), 0);
    }

    void linesThatOpenNothing()
    {
        JournalFeed feed;
        feed.outputs = {lines({
            // Only failures: never a connection.
            entry(1, "Failed password for root from 10.1.1.1 port 2 ssh2"),
            entry(1, "pam_unix(sshd:session): session opened for user root by (uid=0)"),
            // A key login: the session has no password authentication.
            entry(2, "Accepted publickey for amy from 10.0.0.2 port 5 ssh2"),
            entry(2, "pam_unix(sshd:session): session opened for user amy by (uid=0)"),
            // Not UTC, so not read at all.
            "2024-03-01T10:15:30.123456+0100 host sshd[3]: Accepted password for x from 10.0.0.3 port 7 ssh2",
            entry(3, "pam_unix(sshd:session): session opened for user x by (uid=0)"),
            // Malformed pieces.
            "2024-03-01 10:15:30 host sshd[4]: Accepted password for y from 10.0.0.4 port 7 ssh2",
            "2024-03-01T10:15:30.5+0000 host sshd[x]: Accepted password for y from 10.0.0.4 port 7 ssh2",
            "-- No entries --",
            "-- Boot 1234 --",
            // A close is announced for any pid; the model decides what it means.
            entry(77, "pam_unix(sshd:session): session closed for user bob", "2024-03-01T11:00:00.5"),
        })};
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        QSignalSpy closed(&manager, &SSHConnectionsManager::connectionClosed);
        for (const char *pid : {"1", "2", "3"}) {
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(QStringLiteral("^Session somehow opened without password, cannot observe data:.*sshd\\[%1\\]").arg(QLatin1String(pid))));
        }
        for (const char *line : {"\\+0100", "10:15:30 host", "sshd\\[x\\]"}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not match.*") + QLatin1String(line)));
        }
        manager.readConnections();
        QCOMPARE(opened.size(), 0);
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).value<pid_t>(), 77);
        QCOMPARE(closed.at(0).at(1).toDateTime(), utc(QStringLiteral("2024-03-01T11:00:00.500Z")));
        QVERIFY(manager.journalCursor().isNull());
    }

    void pendingEntriesEndWithTheirProcess_data()
    {
        QTest::addColumn<QByteArray>("ending");
        QTest::newRow("received disconnect") << QByteArray("Received disconnect from 1.2.3.4: 11: Bye Bye [preauth]");
        QTest::newRow("error received disconnect") << QByteArray("error: Received disconnect from 1.2.3.4: 3: No more user methods available. [preauth]");
        QTest::newRow("disconnected") << QByteArray("Disconnected from authenticating user root 1.2.3.4 port 5 [preauth]");
        QTest::newRow("connection closed") << QByteArray("Connection closed by authenticating user root 1.2.3.4 port 5 [preauth]");
        QTest::newRow("connection reset") << QByteArray("Connection reset by authenticating user root 1.2.3.4 port 5 [preauth]");
        QTest::newRow("disconnecting") << QByteArray("Disconnecting: Too many authentication failures for root [preauth]");
        QTest::newRow("maximum attempts") << QByteArray("error: maximum authentication attempts exceeded for root from 1.2.3.4 port 5 ssh2 [preauth]");
        QTest::newRow("pam failures") << QByteArray("PAM 5 more authentication failures; logname= uid=0 euid=0 tty=ssh ruser= rhost=1.2.3.4  user=root");
        QTest::newRow("fatal") << QByteArray("fatal: Write failed: Connection reset by peer [preauth]");
    }
    void pendingEntriesEndWithTheirProcess()
    {
        QFETCH(QByteArray, ending);
        JournalFeed feed;
        const QByteArray failed = entry(900, "Failed password for root from 1.2.3.4 port 5 ssh2");
        feed.outputs = {lines({failed, failed, "-- cursor: a"}),
                        lines({entry(900, ending), entry(900, "Failed password for bob from 1.2.3.4 port 6 ssh2"),
                               entry(900, "Accepted password for bob from 1.2.3.4 port 6 ssh2"),
                               entry(900, "pam_unix(sshd:session): session opened for user bob by (uid=0)")})};
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        manager.readConnections();
        QCOMPARE(manager.pendingCount(), 1);
        manager.readConnections();
        QCOMPARE(manager.pendingCount(), 0);
        // A later process with the same pid starts afresh.
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).value<SSHConnectionData>().failedTriesCount, 1);
    }

    void pendingEntriesAreCapped()
    {
        const int processes = SSHConnectionsManager::MaxPendingConnections + 500;
        QByteArray journal;
        for (int pid = 1; pid <= processes; ++pid) {
            journal += entry(pid, "Failed password for root from 1.2.3.4 port 5 ssh2") + '\n';
        }
        // The newest survive: the last process can still log in with its count.
        journal += entry(processes, "Accepted password for root from 1.2.3.4 port 5 ssh2") + '\n';
        journal += entry(processes, "pam_unix(sshd:session): session opened for user root by (uid=0)") + '\n';
        JournalFeed feed;
        feed.outputs = {journal};
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        manager.readConnections();
        QCOMPARE(manager.pendingCount(), SSHConnectionsManager::MaxPendingConnections - 1);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).value<SSHConnectionData>().failedTriesCount, 1);
    }

    void readIdleTime()
    {
        QTemporaryDir devices;
        QVERIFY(devices.isValid());
        QVERIFY(QDir(devices.path()).mkpath(QStringLiteral("pts")));
        const auto makeTerminal = [&](const QString &name, const QDateTime &access) {
            QFile file(devices.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(access, QFileDevice::FileAccessTime));
        };
        const QDateTime access3 = QDateTime::fromMSecsSinceEpoch(1700000000123);
        const QDateTime access4 = QDateTime::fromMSecsSinceEpoch(1700000500456);
        makeTerminal(QStringLiteral("pts/3"), access3);
        makeTerminal(QStringLiteral("pts/4"), access4);

        TestManager manager;
        manager.devices = devices.path() + QLatin1Char('/');
        manager.whoOutput = QStringLiteral("bob      pts/3        Mar  1 10:15 00:01         101 (192.168.1.5)\n"
                                           "amy      pts/9        Mar  1 10:16   .           102 (10.0.0.7)\n"
                                           "carl     pts/1        Mar  1 10:17   .           103 (10.0.0.8)\n"
                                           "carl     pts/4        Mar  1 10:17   .           103 (10.0.0.8)\n"
                                           "short    pts/5        10:17 104\n"
                                           "dan      pts/3        Mar  1 10:18   .           105 (10.0.0.9)\n");

        const auto connection = [](pid_t pid, const QDateTime &activity, const QDateTime &closed = QDateTime()) {
            SSHConnectionData data;
            data.syslogPid = pid;
            data.lastActivityTime = activity;
            data.closeDateTime = closed;
            return data;
        };
        const QDateTime earlier = QDateTime::fromMSecsSinceEpoch(1600000000000);
        const QList<SSHConnectionData> connections = {
            connection(101, QDateTime()), // terminal read: announced
            connection(102, earlier), // terminal missing: back to unknown
            connection(103, QDateTime()), // the later row wins: pts/4
            connection(104, earlier), // row too short: not in who, back to unknown
            connection(105, access3), // unchanged: nothing
            connection(106, QDateTime()), // no terminal, already unknown: nothing
            connection(107, earlier, earlier), // closed: skipped
        };
        QSignalSpy changed(&manager, &SSHConnectionsManager::idleTimeChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot get stat of TTY .*pts/9")));
        manager.readIdleTime(connections);

        QCOMPARE(changed.size(), 4);
        const QList<QPair<pid_t, QDateTime>> expected = {{101, access3}, {102, QDateTime()}, {103, access4}, {104, QDateTime()}};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(changed.at(i).at(0).value<pid_t>(), expected.at(i).first);
            QCOMPARE(changed.at(i).at(1).toDateTime(), expected.at(i).second);
        }

        // Nothing to report once every connection shows what who says.
        manager.whoOutput.clear();
        changed.clear();
        manager.readIdleTime({connection(106, QDateTime())});
        QCOMPARE(changed.size(), 0);
    }

    void killConnection_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("type");
        QTest::newRow("success") << true << "Successfully disconnected 192.168.1.5:40000" << int(KCMOS::Positive);
        QTest::newRow("failure") << false << "Failed to disconnect 192.168.1.5:40000: no such process" << int(KCMOS::Error);
    }
    void killConnection()
    {
        QFETCH(bool, succeeds);
        QFETCH(QString, message);
        QFETCH(int, type);
        FakeActionRunner runner;
        runner.setHandler([succeeds](const FakeActionRunner::Call &) {
            return succeeds ? FakeActionRunner::success() : FakeActionRunner::failure(QStringLiteral("no such process"));
        });
        KCMOS::MessagesManager messages;
        TestManager manager;
        SSHConnectionData connection;
        connection.syslogPid = 812;
        connection.address = ServerAddress(QStringLiteral("192.168.1.5"), QStringLiteral("40000"), nullptr);
        if (!succeeds) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to kill 812 .*no such process")));
        }
        manager.killConnection(connection, &messages);

        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(runner.calls.at(0).action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
        QCOMPARE(runner.calls.at(0).keys(), QStringList {QStringLiteral("kill_pid")});
        QCOMPARE(runner.calls.at(0).argument(QStringLiteral("kill_pid")), QVariant(812));
        QCOMPARE(messages.messages().size(), 1);
        QCOMPARE(messages.messages().at(0)->text(), message);
        QCOMPARE(int(messages.messages().at(0)->messageType()), type);
        qDeleteAll(messages.messages());
    }

    // The model the manager feeds.
    void modelDisplayValues()
    {
        SSHConnectionsModel model(nullptr);
        const QDateTime opened = QDateTime::currentDateTime().addMSecs(-3723004);
        model.addConnection(openConnection(812, opened));
        QStringList texts;
        for (int column = 0; column < model.columnCount(); ++column) {
            texts.append(model.data(model.index(0, column)).toString());
        }
        QCOMPARE(texts,
                 QStringList({QStringLiteral("bob"), QStringLiteral("2001:db8::1"), QStringLiteral("50022"), QStringLiteral("2"), QString(),
                              opened.toString(Qt::ISODateWithMs), QStringLiteral("Still connected")}));
        QCOMPARE(model.data(model.index(0, 5)).toDateTime(), opened);
        const QString toolTip = model.data(model.index(0, 5), Qt::ToolTipRole).toString();
        QVERIFY2(toolTip.startsWith(QLatin1String("Elapsed 1h2m3s")), qPrintable(toolTip));
        QVERIFY(!model.data(model.index(0, 4), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(model.index(1, 0)).isValid());

        QCOMPARE(model.connection(model.index(0, 3)).syslogPid, 812);
        QTest::ignoreMessage(QtWarningMsg, "Incorrect or out-of-range index passed to connection method");
        QCOMPARE(model.connection(QModelIndex()).syslogPid, 0);
    }

    void elapsedText_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "Elapsed 0h0m0s0ms";
        QTest::newRow("59m59.999s") << qint64(3599999) << "Elapsed 0h59m59s999ms";
        QTest::newRow("past a day") << qint64(90061001) << "Elapsed 25h1m1s1ms";
    }
    void elapsedText()
    {
        QFETCH(qint64, elapsed);
        QFETCH(QString, text);
        QCOMPARE(SSHConnectionsModel::elapsedText(elapsed), text);
    }

    void modelClosing()
    {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-3600);
        SSHConnectionsModel model(nullptr);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);
        model.addConnection(openConnection(10, before.addSecs(-60)));
        model.addConnection(openConnection(20, before));
        model.addConnection(openConnection(30, after));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

        // Closed before the model existed: the row goes.
        model.removeConnection(10, before);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(model.connections().at(0).syslogPid, 20);
        // Closed since: the row stays with its close time.
        model.removeConnection(30, after);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1, 6)).toDateTime(), after);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 6));
        // Unknown pid: only a warning.
        QTest::ignoreMessage(QtWarningMsg, "Session closed without being opened: 99");
        model.removeConnection(99, after);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(changed.size() + removed.size(), 2);
    }

    void modelIdleTime()
    {
        SSHConnectionsModel model(nullptr);
        model.addConnection(openConnection(10, QDateTime::currentDateTime()));
        model.addConnection(openConnection(20, QDateTime::currentDateTime()));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QDateTime activity = QDateTime::fromMSecsSinceEpoch(1700000000123);
        model.updateIdleTime(20, activity);
        QCOMPARE(model.data(model.index(1, 4)).toDateTime(), activity);
        QVERIFY(model.data(model.index(0, 4)).toDateTime().isNull());
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 4));
        model.updateIdleTime(20, QDateTime());
        QVERIFY(model.connections().at(1).lastActivityTime.isNull());
        QTest::ignoreMessage(QtWarningMsg, "Trying to update idle time for non-existemt PID 99");
        model.updateIdleTime(99, activity);
        QCOMPARE(changed.size(), 2);
    }
};

QTEST_MAIN(ConnectionsTest)
#include "connectionsmanagertest.moc"
