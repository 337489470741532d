// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "journalfilter.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsmanager.h"
#include "sshconnectionsmodel.h"
#include "sshsettingsprotocol.h"
#include "testfiles.h"

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
    return TestFiles::read(QStringLiteral(DATA_DIR "/") + name);
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
    QString processes = QStringLiteral("/nonexistent/");

protected:
    QString readWhoOutput() override
    {
        return whoOutput;
    }
    QString deviceDirectory() const override
    {
        return devices;
    }
    QString processDirectory() const override
    {
        return processes;
    }
};

SSHConnectionData openConnection(pid_t pid, const QDateTime &opened)
{
    SSHConnectionData data;
    data.syslogPid = pid;
    data.user = QStringLiteral("bob");
    data.address = ServerAddress(QStringLiteral("2001:db8::1"), QStringLiteral("50022"), nullptr);
    data.method = QStringLiteral("publickey");
    data.keyType = QStringLiteral("ED25519");
    data.fingerprint = QStringLiteral("SHA256:abc");
    data.failedTriesCount = 2;
    data.openDateTime = opened;
    return data;
}
}

class ConnectionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Real journals of both sshd generations, read in one or more reads, through the manager into the model.
    void realJournals_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("connections"); // user address authentication failures ended, in the order they opened
        QTest::addColumn<QString>("endedAfterFirstRead");
        QTest::addColumn<QString>("attempts"); // addresses failures

        const QByteArray lab = readData(QStringLiteral("journal-lab-server-2k.txt"));
        QTest::newRow("lab server") << QList<QByteArray>{lab} << QStringList{QStringLiteral("fztu 119.137.62.142 Password 0 closed")} << "closed"
                                    << "24 522";
        for (const QString &generation : {QStringLiteral("debian12"), QStringLiteral("debian13")}) {
            const QByteArray read1 = readData(generation + QStringLiteral("-read1.json"));
            const QByteArray read2 = readData(generation + QStringLiteral("-read2.json"));
            const QStringList logins = {QStringLiteral("sshe2e 127.0.0.1 Key 0 closed"),
                                        QStringLiteral("sshe2e 127.0.0.1 Key 0 open"),
                                        QStringLiteral("sshe2e 127.0.0.1 Password 2 closed"),
                                        QStringLiteral("sshe2e ::1 Keyboard-interactive 0 closed")};
            QTest::addRow("%s JSON, one read", qPrintable(generation)) << QList<QByteArray>{read1 + read2} << logins << "closed open closed closed"
                                                                       << "2 20";
            QTest::addRow("%s JSON, failures and login in two reads", qPrintable(generation)) << QList<QByteArray>{read1, read2} << logins << "closed open"
                                                                                              << "2 20";
            // The first session is open after a read that ends with its login; the next read closes its row.
            const int split = read1.indexOf('\n', read1.indexOf("Accepted publickey")) + 1;
            QTest::addRow("%s JSON, the end in the next read", qPrintable(generation))
                << QList<QByteArray>{read1.left(split), QByteArray(read1.mid(split) + read2)} << logins << "open"
                << "2 20";
            QTest::addRow("%s text", qPrintable(generation))
                << QList<QByteArray>{readData(generation + QStringLiteral("-journal.txt"))} << logins << "closed open closed closed"
                << "2 20";
        }
    }
    void realJournals()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, connections);
        QFETCH(QString, endedAfterFirstRead);
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
        SSHConnectionsModel model(nullptr);
        connect(&manager, &SSHConnectionsManager::connectionOpened, &model, &SSHConnectionsModel::addConnection);
        connect(&manager, &SSHConnectionsManager::connectionClosed, &model, &SSHConnectionsModel::closeConnection);
        QSignalSpy closed(&manager, &SSHConnectionsManager::connectionClosed);
        QSignalSpy attemptsChanged(&manager, &SSHConnectionsManager::attemptsChanged);
        const auto ended = [&model](int row) {
            const QVariant shown = model.index(row, SSHConnectionsModel::ConnectionCloseDateTimeProperty).data();
            return shown.userType() == QMetaType::QDateTime      ? QStringLiteral("closed")
                : shown.toString() == QLatin1String("Connected") ? QStringLiteral("open")
                                                                 : shown.toString();
        };
        for (int i = 0; i < reads.size(); ++i) {
            manager.readConnections();
            QVERIFY(FakeActionRunner::settle());
            if (i == 0) {
                QStringList states;
                for (int row = 0; row < model.rowCount(); ++row) {
                    states.append(ended(row));
                }
                QCOMPARE(states.join(QLatin1Char(' ')), endedAfterFirstRead);
            }
        }
        QCOMPARE(attemptsChanged.size(), reads.size());
        QHash<int, QDateTime> closeTimes;
        for (const QList<QVariant> &signal : std::as_const(closed)) {
            closeTimes.insert(signal.at(0).value<pid_t>(), signal.at(1).toDateTime());
        }
        QStringList seen;
        for (int row = 0; row < model.rowCount(); ++row) {
            const SSHConnectionData c = model.connections().at(row);
            const QString authentication = model.index(row, SSHConnectionsModel::ConnectionAuthenticationProperty).data().toString();
            seen.append(QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(c.user, c.address.ip().toString(), authentication.section(QStringLiteral(" ("), 0, 0))
                            .arg(c.failedTriesCount)
                            .arg(ended(row)));
            // A closed row shows the time the journal gave; a key its type and fingerprint.
            QVERIFY(c.openDateTime.isValid() && c.syslogPid > 1 && c.closeDateTime == closeTimes.value(c.syslogPid));
            QVERIFY(c.closeDateTime.isNull() || model.index(row, SSHConnectionsModel::ConnectionCloseDateTimeProperty).data().toDateTime() >= c.openDateTime);
            QVERIFY2(c.method != QLatin1String("publickey") || authentication.startsWith(QStringLiteral("Key (ED25519, SHA256:")), qPrintable(authentication));
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
        // pid 201, the unprivileged process of connection 108, holds pts/4; its name has blanks and parentheses.
        QVERIFY(QDir(devices.path()).mkpath(QStringLiteral("proc/201")));
        QFile stat(devices.filePath(QStringLiteral("proc/201/stat")));
        QVERIFY(stat.open(QIODevice::WriteOnly) && stat.write("201 (sshd: b) (x) S 108 201 201 0 -1 4194560\n") > 0);
        stat.close();
        TestManager manager;
        manager.devices = devices.path() + QLatin1Char('/');
        manager.processes = devices.filePath(QStringLiteral("proc/"));
        // Both time formats of who: the C locale's and a locale's month names.
        manager.whoOutput = QStringLiteral(
            "bob      pts/3        2024-03-01 10:15 00:01         101 (192.168.1.5)\n"
            "amy      pts/9        Mar  1 10:16   .           102 (10.0.0.7)\n"
            "carl     pts/1        2024-03-01 10:17   .           103 (10.0.0.8)\n"
            "carl     pts/4        Mar  1 10:17   .           103\n"
            "dan      pts/3        2024-03-01 10:18   .           105 (10.0.0.9)\n"
            "eve      pts/4        2024-03-01 10:19   .           201 (10.0.0.10)\n");
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
            connection(108, QDateTime()), // the terminal of its child process
        };
        QSignalSpy changed(&manager, &SSHConnectionsManager::idleTimeChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot get stat of TTY .*pts/9")));
        manager.readIdleTime(connections);
        const QList<QPair<pid_t, QDateTime>> expected = {{101, access3}, {102, QDateTime()}, {103, access4}, {108, access4}};
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
        runner.setHandler([](const FakeActionRunner::Call &call) {
            return call.keys().contains(Arg::KillPid) ? FakeActionRunner::failure(QStringLiteral("no such process")) : FakeActionRunner::success();
        });
        KCMOS::MessagesManager messages;
        TestManager manager;
        SSHConnectionData connection;
        connection.syslogPid = 812;
        connection.user = QStringLiteral("ann");
        connection.address = ServerAddress(QStringLiteral("192.168.1.5"), QStringLiteral("40000"), nullptr);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to kill 812 .*no such process")));
        manager.killConnection(connection, &messages);
        QTest::ignoreMessage(QtWarningMsg, "Reading journalctl sent no records");
        QVERIFY(FakeActionRunner::settle());
        // Asked once, then the journal is read again either way.
        QCOMPARE(runner.calls.size(), 2);
        QCOMPARE(runner.calls.at(0).arguments, (SSHSettings::ActionArguments{{Arg::KillPid, 812}}));
        QCOMPARE(runner.calls.at(1).keys(), QStringList{Arg::JournalArguments});
        QCOMPARE(messages.messages().at(0)->text(), QStringLiteral("The SSH session of ann from 192.168.1.5 was not ended: no such process"));
        QCOMPARE(messages.messages().at(0)->messageType(), KCMOS::Error);
        qDeleteAll(messages.messages());
    }

    // How a login is shown: method, key type and fingerprint of the journal in words.
    void authenticationWords_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("keyType");
        QTest::addColumn<QString>("fingerprint");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("toolTip");
        const QString hash = QStringLiteral("SHA256:6/LinQFQUdDXPk0v0gcaGQXDvbpyPl7Yjev1YIYM5E8");
        QTest::newRow("key") << "publickey"
                             << "ED25519" << hash << "Key (ED25519, SHA256:6/LinQFQ\u2026)"
                             << QString(QStringLiteral("Key (ED25519, ") + hash + QLatin1Char(')'));
        QTest::newRow("certificate") << "publickey"
                                     << "RSA-CERT" << hash << "Certificate (RSA, SHA256:6/LinQFQ\u2026)"
                                     << QString(QStringLiteral("Certificate (RSA, ") + hash + QLatin1Char(')'));
        QTest::newRow("short fingerprint") << "publickey"
                                           << "ECDSA"
                                           << "SHA256:abc"
                                           << "Key (ECDSA, SHA256:abc)"
                                           << "Key (ECDSA, SHA256:abc)";
        QTest::newRow("host key") << "hostbased"
                                  << "ED25519"
                                  << "SHA256:abc"
                                  << "Host key (ED25519, SHA256:abc)"
                                  << "Host key (ED25519, SHA256:abc)";
        QTest::newRow("password") << "password" << QString() << QString() << "Password"
                                  << "Password";
        QTest::newRow("keyboard-interactive, PAM") << "keyboard-interactive/pam" << QString() << QString() << "Keyboard-interactive"
                                                   << "Keyboard-interactive";
        QTest::newRow("Kerberos") << "gssapi-with-mic" << QString() << QString() << "Kerberos"
                                  << "Kerberos";
        QTest::newRow("empty password") << "none" << QString() << QString() << "Empty password"
                                        << "Empty password";
        QTest::newRow("unknown, as logged") << "otp" << QString() << QString() << "otp"
                                            << "otp";
    }
    void authenticationWords()
    {
        QFETCH(QString, method);
        QFETCH(QString, keyType);
        QFETCH(QString, fingerprint);
        QFETCH(QString, shown);
        QFETCH(QString, toolTip);
        SSHConnectionsModel model(nullptr);
        SSHConnectionData connection = openConnection(812, QDateTime::currentDateTime());
        connection.method = method;
        connection.keyType = keyType;
        connection.fingerprint = fingerprint;
        model.addConnection(connection);
        const QModelIndex cell = model.index(0, SSHConnectionsModel::ConnectionAuthenticationProperty);
        QCOMPARE(cell.data().toString(), shown);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), toolTip);
    }

    // The model the manager feeds.
    void model()
    {
        SSHConnectionsModel model(nullptr);
        const QDateTime opened = QDateTime::currentDateTime().addMSecs(-3723004);
        const QDateTime closed = opened.addSecs(90);
        model.addConnection(openConnection(812, opened));
        const auto texts = [&model](int row) {
            QStringList texts;
            for (int column = 0; column < model.columnCount(); ++column) {
                texts.append(model.index(row, column).data().toString());
            }
            return texts;
        };
        QCOMPARE(texts(0),
                 QStringList({QStringLiteral("bob"),
                              QStringLiteral("2001:db8::1"),
                              QStringLiteral("50022"),
                              QStringLiteral("Key (ED25519, SHA256:abc)"),
                              QStringLiteral("2"),
                              QString(),
                              opened.toString(Qt::ISODateWithMs),
                              QStringLiteral("Connected")}));
        const QModelIndex started = model.index(0, SSHConnectionsModel::ConnectionOpenDateTimeProperty);
        QCOMPARE(started.data(Qt::ToolTipRole).toString(), QStringLiteral("Connected for 1 h 2 min 3 s"));
        const QDateTime activity = QDateTime::fromMSecsSinceEpoch(1700000000123);
        model.updateIdleTime(812, activity);
        QCOMPARE(model.index(0, SSHConnectionsModel::ConnectionLastActivityTimeProperty).data().toDateTime(), activity);

        // The close stamps the row; its activity goes, open rows sort after closed ones.
        model.addConnection(openConnection(813, opened));
        model.closeConnection(812, closed);
        QCOMPARE(model.index(0, SSHConnectionsModel::ConnectionCloseDateTimeProperty).data().toDateTime(), closed);
        QCOMPARE(model.index(0, SSHConnectionsModel::ConnectionLastActivityTimeProperty).data(), QVariant());
        QCOMPARE(started.data(Qt::ToolTipRole).toString(), QStringLiteral("Lasted 1 min 30 s"));
        QVERIFY(model.index(0, SSHConnectionsModel::ConnectionCloseDateTimeProperty).data(SSHConnectionsModel::SortRole).toLongLong()
                < model.index(1, SSHConnectionsModel::ConnectionCloseDateTimeProperty).data(SSHConnectionsModel::SortRole).toLongLong());
        QTest::ignoreMessage(QtWarningMsg, "Session closed without being opened: 812");
        model.closeConnection(812, closed.addSecs(1));
        QTest::ignoreMessage(QtWarningMsg, "Session closed without being opened: 99");
        model.closeConnection(99, closed);

        // Closed rows are bounded: the oldest go, open ones stay.
        for (int pid = 1000; pid < 1000 + SSHConnectionsModel::MaxClosedRows; ++pid) {
            model.addConnection(openConnection(pid, opened));
            model.closeConnection(pid, closed);
        }
        QCOMPARE(model.rowCount(), SSHConnectionsModel::MaxClosedRows + 1);
        QCOMPARE(model.connections().at(0).syslogPid, 813);
        QCOMPARE(model.connections().at(1).syslogPid, 1000);
    }
};

QTEST_MAIN(ConnectionsTest)
#include "connectionsmanagertest.moc"
