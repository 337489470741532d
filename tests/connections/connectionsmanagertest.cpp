// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "journalfilter.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsmanager.h"
#include "sshconnectionsmodel.h"
#include "sshsettingsprotocol.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

namespace
{
QByteArray readData(const QString &name)
{
    QFile file(QStringLiteral(DATA_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A manager whose "who -pu" output and device directory are given by the test.
class TestManager : public SSHConnectionsManager
{
public:
    TestManager()
        : SSHConnectionsManager(nullptr)
    {
    }
    QString whoOutput;
    QString devices = QStringLiteral("/dev/");

protected:
    QString readWhoOutput() override
    {
        return whoOutput;
    }
    QString deviceDirectory() const override
    {
        return devices;
    }
};

SSHConnectionData openConnection(pid_t pid, const QDateTime &opened)
{
    SSHConnectionData data;
    data.syslogPid = pid;
    data.user = QStringLiteral("bob");
    data.address = ServerAddress(QStringLiteral("2001:db8::1"), QStringLiteral("50022"), nullptr);
    data.authentication = QStringLiteral("publickey ED25519 SHA256:abc");
    data.failedTriesCount = 2;
    data.openDateTime = opened;
    return data;
}
}

class ConnectionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Real journals of both sshd generations, read in one or two reads.
    void realJournals_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("connections"); // user address method failures closed
        QTest::addColumn<QString>("attempts"); // addresses failures

        const QByteArray lab = readData(QStringLiteral("journal-lab-server-2k.txt"));
        const QStringList labConnections = {QStringLiteral("fztu 119.137.62.142 password 0 closed")};
        QTest::newRow("lab server") << QList<QByteArray>{lab} << labConnections << "24 522";
        for (const QString &generation : {QStringLiteral("debian12"), QStringLiteral("debian13")}) {
            const QByteArray read1 = readData(generation + QStringLiteral("-read1.json"));
            const QByteArray read2 = readData(generation + QStringLiteral("-read2.json"));
            const QStringList logins = {QStringLiteral("sshe2e 127.0.0.1 publickey ED25519 0 closed"),
                                        QStringLiteral("sshe2e 127.0.0.1 publickey ED25519 0 -"),
                                        QStringLiteral("sshe2e 127.0.0.1 password 2 closed"),
                                        QStringLiteral("sshe2e ::1 keyboard-interactive/pam 0 closed")};
            QTest::addRow("%s JSON, one read", qPrintable(generation)) << QList<QByteArray>{read1 + read2} << logins << "2 20";
            QTest::addRow("%s JSON, failures and login in two reads", qPrintable(generation)) << QList<QByteArray>{read1, read2} << logins << "2 20";
            QTest::addRow("%s text", qPrintable(generation)) << QList<QByteArray>{readData(generation + QStringLiteral("-journal.txt"))} << logins << "2 20";
        }
    }
    void realJournals()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, connections);
        QFETCH(QString, attempts);
        QVERIFY2(!reads.constFirst().isEmpty(), "tests/data is incomplete");
        // The helper's side: the module's arguments through the helper's check, each journal through the helper's own filter.
        FakeActionRunner helper;
        QStringList lastArguments;
        helper.setHandler([&](const FakeActionRunner::Call &call) {
            const QStringList arguments = call.argument(Arg::JournalArguments).toStringList();
            QString error;
            if (!SshdLog::isJournalRequest(arguments, &error)) {
                return FakeActionRunner::failure(error);
            }
            lastArguments = arguments;
            return FakeActionRunner::success({{Reply::Output, JournalFilter::reduce(reads.value(helper.calls.size() - 1))}});
        });
        TestManager manager;
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        QSignalSpy closed(&manager, &SSHConnectionsManager::connectionClosed);
        QSignalSpy attemptsChanged(&manager, &SSHConnectionsManager::attemptsChanged);
        for (int i = 0; i < reads.size(); ++i) {
            manager.readConnections();
            QVERIFY(FakeActionRunner::settle());
        }
        QCOMPARE(attemptsChanged.size(), reads.size());
        QHash<int, QDateTime> closeTimes;
        for (const QList<QVariant> &signal : std::as_const(closed)) {
            closeTimes.insert(signal.at(0).value<pid_t>(), signal.at(1).toDateTime());
        }
        QStringList seen;
        for (const QList<QVariant> &signal : std::as_const(opened)) {
            const auto c = signal.at(0).value<SSHConnectionData>();
            seen.append(QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(c.user, c.address.ip().toString(), c.authentication.section(QLatin1Char(' '), 0, 1))
                            .arg(c.failedTriesCount)
                            .arg(closeTimes.contains(c.syslogPid) ? QStringLiteral("closed") : QStringLiteral("-")));
            QVERIFY(c.openDateTime.isValid() && c.syslogPid > 1 && closeTimes.value(c.syslogPid, c.openDateTime) >= c.openDateTime);
            QVERIFY(!c.authentication.startsWith(QLatin1String("publickey"))
                    || c.authentication.section(QLatin1Char(' '), 2).startsWith(QLatin1String("SHA256:")));
        }
        QCOMPARE(seen, connections);
        qint64 failures = 0;
        const QList<SshdLog::AddressAttempts> perAddress = manager.attempts();
        for (const SshdLog::AddressAttempts &entry : perAddress) {
            failures += entry.failures;
        }
        QCOMPARE(QStringLiteral("%1 %2").arg(perAddress.size()).arg(failures), attempts);
        QVERIFY(reads.size() == 1 || lastArguments.constLast().startsWith(QLatin1String("--after-cursor=")));
    }

    void refreshDuringAReadIsSkipped()
    {
        // A refresh tick while a read waits for its answer must not read again.
        FakeActionRunner runner;
        TestManager manager;
        runner.setHandler([&](const FakeActionRunner::Call &) {
            return FakeActionRunner::success(
                {{Reply::Output, JournalFilter::reduce("2024-03-01T10:15:29.000001+0000 h sshd[812]: Accepted password for al from 10.0.0.7 port 6 ssh2\n")}});
        });
        QSignalSpy opened(&manager, &SSHConnectionsManager::connectionOpened);
        manager.readConnections();
        manager.readConnections();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(opened.size(), 1);
    }

    void cursorKeptWhenReadGivesNothing_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QVariantMap>("data");
        QTest::addColumn<QString>("warning");
        QTest::newRow("job fails") << true << QVariantMap() << "^Failed to read journalctl";
        QTest::newRow("no output") << false << QVariantMap{{QStringLiteral("other"), QByteArray("x")}} << "^Reading journalctl sent no records";
        QTest::newRow("raw journal, not records") << false << QVariantMap{{Reply::Output, QByteArray("-- cursor: second\n")}}
                                                  << "^Reading journalctl sent no records";
        QTest::newRow("nothing new") << false << QVariantMap{{Reply::Output, JournalFilter::reduce(QByteArray())}} << QString();
    }
    void cursorKeptWhenReadGivesNothing()
    {
        QFETCH(bool, fails);
        QFETCH(QVariantMap, data);
        QFETCH(QString, warning);
        FakeActionRunner runner;
        runner.setHandler([&](const FakeActionRunner::Call &) {
            if (runner.calls.size() == 1) {
                return FakeActionRunner::success({{Reply::Output, JournalFilter::reduce("-- cursor: first\n")}});
            }
            return fails ? FakeActionRunner::failure(QStringLiteral("not authorized")) : FakeActionRunner::success(data);
        });
        TestManager manager;
        manager.readConnections();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(runner.calls.at(0).keys(), QStringList{Arg::JournalArguments});
        QCOMPARE(runner.calls.at(0).argument(Arg::JournalArguments).toStringList(), SshdLog::journalArguments(QString()));
        if (!warning.isEmpty()) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning)); // both later reads fail the same way: logged once
        }
        manager.readConnections();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(manager.journalCursor(), QStringLiteral("first"));
        manager.readConnections();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(runner.calls.last().argument(Arg::JournalArguments).toStringList(), SshdLog::journalArguments(QStringLiteral("first")));
    }

    void readIdleTime()
    {
        QTemporaryDir devices;
        QVERIFY(devices.isValid() && QDir(devices.path()).mkpath(QStringLiteral("pts")));
        const QDateTime access3 = QDateTime::fromMSecsSinceEpoch(1700000000123);
        const QDateTime access4 = QDateTime::fromMSecsSinceEpoch(1700000500456);
        for (const auto &[name, access] : {std::pair{"pts/3", access3}, std::pair{"pts/4", access4}}) {
            QFile file(devices.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.setFileTime(access, QFileDevice::FileAccessTime));
        }
        TestManager manager;
        manager.devices = devices.path() + QLatin1Char('/');
        // Both time formats of who: the C locale's and a locale's month names.
        manager.whoOutput = QStringLiteral(
            "bob      pts/3        2024-03-01 10:15 00:01         101 (192.168.1.5)\n"
            "amy      pts/9        Mar  1 10:16   .           102 (10.0.0.7)\n"
            "carl     pts/1        2024-03-01 10:17   .           103 (10.0.0.8)\n"
            "carl     pts/4        Mar  1 10:17   .           103\n"
            "dan      pts/3        2024-03-01 10:18   .           105 (10.0.0.9)\n");
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
            connection(105, access3), // unchanged: nothing
            connection(106, QDateTime()), // no terminal, already unknown: nothing
            connection(107, earlier, earlier), // closed: skipped
        };
        QSignalSpy changed(&manager, &SSHConnectionsManager::idleTimeChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot get stat of TTY .*pts/9")));
        manager.readIdleTime(connections);
        const QList<QPair<pid_t, QDateTime>> expected = {{101, access3}, {102, QDateTime()}, {103, access4}};
        QCOMPARE(changed.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(changed.at(i).at(0).value<pid_t>(), expected.at(i).first);
            QCOMPARE(changed.at(i).at(1).toDateTime(), expected.at(i).second);
        }
    }

    // The success is shown by the area's test and proven against a real session end to end.
    void failedKillIsSaid()
    {
        FakeActionRunner runner;
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("no such process"));
        });
        KCMOS::MessagesManager messages;
        TestManager manager;
        SSHConnectionData connection;
        connection.syslogPid = 812;
        connection.user = QStringLiteral("ann");
        connection.address = ServerAddress(QStringLiteral("192.168.1.5"), QStringLiteral("40000"), nullptr);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to kill 812 .*no such process")));
        manager.killConnection(connection, &messages);
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(runner.calls.at(0).arguments, (SSHSettings::ActionArguments{{Arg::KillPid, 812}}));
        QCOMPARE(messages.messages().at(0)->text(), QStringLiteral("The SSH session of ann from 192.168.1.5 was not ended: no such process"));
        QCOMPARE(messages.messages().at(0)->messageType(), KCMOS::Error);
        qDeleteAll(messages.messages());
    }

    // The model the manager feeds.
    void model()
    {
        SSHConnectionsModel model(nullptr);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-3600);
        const QDateTime opened = QDateTime::currentDateTime().addMSecs(-3723004);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);
        model.addConnection(openConnection(10, before.addSecs(-60)));
        model.addConnection(openConnection(812, opened));
        QStringList texts;
        for (int column = 0; column < model.columnCount(); ++column) {
            texts.append(model.data(model.index(1, column)).toString());
        }
        QCOMPARE(texts,
                 QStringList({QStringLiteral("bob"),
                              QStringLiteral("2001:db8::1"),
                              QStringLiteral("50022"),
                              QStringLiteral("publickey ED25519 SHA256:abc"),
                              QStringLiteral("2"),
                              QString(),
                              opened.toString(Qt::ISODateWithMs),
                              QStringLiteral("Still connected")}));
        QCOMPARE(SSHConnectionsModel::shortAuthentication(QStringLiteral("publickey RSA SHA256:0123456789abcdef")),
                 QStringLiteral("publickey RSA SHA256:0123456789ab\u2026"));
        const QString toolTip = model.data(model.index(1, SSHConnectionsModel::ConnectionOpenDateTimeProperty), Qt::ToolTipRole).toString();
        QVERIFY2(toolTip.startsWith(QLatin1String("Elapsed 1h2m3s")), qPrintable(toolTip));
        QCOMPARE(SSHConnectionsModel::elapsedText(90061001), QStringLiteral("Elapsed 25h1m1s1ms"));

        // Closed before the model existed: the row goes; closed since: it stays with its close time.
        model.removeConnection(10, before);
        QCOMPARE(model.rowCount(), 1);
        model.removeConnection(812, after);
        QCOMPARE(model.data(model.index(0, SSHConnectionsModel::ConnectionCloseDateTimeProperty)).toDateTime(), after);
        const QDateTime activity = QDateTime::fromMSecsSinceEpoch(1700000000123);
        model.updateIdleTime(812, activity);
        QCOMPARE(model.data(model.index(0, SSHConnectionsModel::ConnectionLastActivityTimeProperty)).toDateTime(), activity);
        QTest::ignoreMessage(QtWarningMsg, "Session closed without being opened: 99");
        model.removeConnection(99, after);
        QTest::ignoreMessage(QtWarningMsg, "Trying to update idle time for unknown PID 99");
        model.updateIdleTime(99, activity);
        QTest::ignoreMessage(QtWarningMsg, "Incorrect or out-of-range index passed to connection method");
        QCOMPARE(model.connection(QModelIndex()).syslogPid, 0);
        QCOMPARE(model.rowCount(), 1);
    }
};

QTEST_MAIN(ConnectionsTest)
#include "connectionsmanagertest.moc"
