// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"
#include "pendingchanges.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"
#include "testsandbox.h"
#include "writerlock.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using ConfigType = OptionCatalog::ConfigType;
Q_DECLARE_METATYPE(BlockEdit)

namespace
{
// Starting points of the round trips: Debian's layout, local overrides in a
// drop-in, and an almost empty file.
const QList<QPair<const char *, QByteArray>> s_dropins = {
    {"debian", QByteArray()},
    {"dropin", QByteArray("# local policy\nPasswordAuthentication no\nPort 2200\nAllowUsers root\nListenAddress 127.0.0.1:22\nBanner /etc/issue\n")},
    {"minimal", QByteArray("\t# nothing here\n")},
};
}

// Answers every connection with an SSH banner, from a thread of its own: the engine blocks the test's.
class BannerServer : public QThread
{
public:
    ~BannerServer() override
    {
        quit();
        wait();
    }
    quint16 listen()
    {
        start();
        m_ready.acquire();
        return m_port;
    }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                socket->write("SSH-2.0-test\r\n");
            }
        });
        m_port = server.serverPort();
        m_ready.release();
        exec();
    }

private:
    QSemaphore m_ready;
    quint16 m_port = 0;
};

class EngineTest : public QObject
{
    Q_OBJECT

    static void prepare(TestSandbox &sandbox, const char *kind, const QByteArray &dropin)
    {
        if (qstrcmp(kind, "minimal") == 0) {
            sandbox.write(QStringLiteral("etc/ssh/sshd_config"), dropin);
        } else if (!dropin.isEmpty()) {
            sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"), dropin);
        }
    }

    static void executable(const TestSandbox &sandbox, const char *name, const QByteArray &script)
    {
        sandbox.write(QLatin1String(name), "#!/bin/sh\n" + script);
        QFile::setPermissions(sandbox.path(QLatin1String(name)), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    // sshd as the engine runs it: @p script first, then the real one.
    static void wrapSshd(TestSandbox &sandbox, const QByteArray &script)
    {
        executable(sandbox, "sshd", script + "\nexec " + QFile::encodeName(sandbox.paths.sshd) + " \"$@\"\n");
        sandbox.paths.sshd = sandbox.path(QStringLiteral("sshd"));
    }

    // sshd -T on the sandbox's configuration, for the connection @p connection (-C) when given.
    static ProgramResult sshdDump(const TestSandbox &sandbox, const QString &connection = QString())
    {
        const QStringList match = connection.isEmpty() ? QStringList() : QStringList{QStringLiteral("-C"), connection};
        return runProgram(sandbox.paths.sshd,
                          QStringList{QStringLiteral("-T"), QStringLiteral("-f"), sandbox.paths.serverConfig} + match + sandbox.paths.sshdExtraArguments);
    }

    static Engine::Transaction transactionOf(const QVariantMap &changes)
    {
        Engine::Transaction transaction;
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            transaction.changes.append({it.key(), it.value()});
        }
        return transaction;
    }

    static QStringList everyServerKeyword()
    {
        QStringList keywords;
        for (const auto &option : OptionCatalog::options(ConfigType::Server)) {
            keywords.append(option.keyword);
        }
        return keywords;
    }

    // Stand-ins for the service programs and the tool. systemctl answers queries from @p units
    // (loaded services, active sockets); every command is appended to "calls".
    static void recordPrograms(TestSandbox &sandbox, bool systemd, const QByteArray &units = "ssh.service")
    {
        const QByteArray log = QFile::encodeName(sandbox.path(QStringLiteral("calls")));
        for (const char *name : {"init", "systemctl", "systemd-run", "tool"}) {
            executable(sandbox,
                       name,
                       "case \"$1\" in\nis-active) case ' " + units + " ' in *\" $2 \"*) exit 0;; esac\n"
                           // A countdown's timer runs from its systemd-run until stopped or the machine goes down.
                           "awk -v u=\"systemd-run --unit=${2%.timer} \" -v s=\"systemctl stop $2\" '/^reboot$/ || $0 == s {on = 0} index($0, u) == 1 {on = 1} "
                           "END {exit !on}' " + log + " 2>/dev/null && exit 0; exit 3;;\nshow) case ' " + units
                           + " ' in *\" $4 \"*) echo loaded;; *) echo not-found;; esac;;\n*) echo " + name + " \"$@\" >> " + log + ";;\nesac\n");
        }
        sandbox.paths.initScript = sandbox.path(QStringLiteral("init"));
        sandbox.paths.systemctl = sandbox.path(QStringLiteral("systemctl"));
        sandbox.paths.systemdRun = sandbox.path(QStringLiteral("systemd-run"));
        sandbox.paths.tool = sandbox.path(QStringLiteral("tool"));
        if (systemd) {
            QDir().mkpath(sandbox.paths.systemdRunDir);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestSandbox().isValid());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("dropin");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("changes"); // one transaction
        QTest::addColumn<QVariantMap>("expected"); // read back; invalid: not compared (defaults that depend on the rest)

        const auto s = [](const char *text) {
            return QVariant(QString::fromLatin1(text));
        };
        const auto l = [](const char *words) {
            return QVariant(QString::fromLatin1(words).split(QLatin1Char(' '), Qt::SkipEmptyParts));
        };
        QList<std::tuple<ConfigType, QVariantMap, QVariantMap>> edits;
        const auto edit = [&edits](ConfigType type, const char *keyword, const QVariant &value, const QVariant &expected) {
            edits.append({type, {{QLatin1String(keyword), value}}, {{QLatin1String(keyword), expected}}});
        };
        for (const char *keyword : {"Port", "LoginGraceTime"}) {
            edit(ConfigType::Server, keyword, s("2222"), s("2222"));
        }
        edit(ConfigType::Server, "Port", 2201, s("2201"));
        edit(ConfigType::Server, "Port", s("2222 22"), s("2222 22"));
        edit(ConfigType::Server, "LoginGraceTime", s("0"), s("0"));
        edit(ConfigType::Server, "PermitTunnel", s("point-to-point"), s("point-to-point"));
        for (const char *value : {"/etc/issue.net", "none"}) {
            edit(ConfigType::Server, "Banner", s(value), s(value));
        }
        edit(ConfigType::Server, "AddressFamily", s("inet"), s("inet"));
        edit(ConfigType::Server, "Subsystem", false, s("no"));
        edit(ConfigType::Server, "Subsystem", true, s("yes"));
        edit(ConfigType::Server, "ListenAddress", l("127.0.0.1:2222 ::1:22"), l("127.0.0.1:2222 [::1]:22"));
        edit(ConfigType::Server, "ListenAddress", l("[::]:22"), l("[::]:22"));
        edit(ConfigType::Server, "ListenAddress", l(""), QVariant());
        edit(ConfigType::Server, "AuthorizedKeysFile", l(".ssh/authorized_keys /etc/ssh/keys/%u"), l(".ssh/authorized_keys /etc/ssh/keys/%u"));
        edit(ConfigType::Server, "AllowUsers", s("alice@* *@10.0.0.7"), l("alice@* *@10.0.0.7"));
        edit(ConfigType::Server, "AllowUsers", s(""), l(""));
        edit(ConfigType::Server, "AllowGroups", s("wheel ssh-users"), l("wheel ssh-users"));
        edit(ConfigType::Client, "Port", s("2222"), s("2222"));
        edit(ConfigType::Client, "ServerAliveInterval", s("30"), s("30"));
        // One edit per kind, read back through sshd -T / ssh -G.
        edit(ConfigType::Server, "MaxAuthTries", s("4"), s("4"));
        edit(ConfigType::Server, "ClientAliveInterval", s("1h30m"), s("5400"));
        edit(ConfigType::Server, "LogLevel", s("verbose"), s("VERBOSE"));
        edit(ConfigType::Server, "AllowTcpForwarding", s("local"), s("local"));
        edit(ConfigType::Server, "Ciphers", s("aes256-gcm@openssh.com,aes128-ctr"), s("aes256-gcm@openssh.com,aes128-ctr"));
        edit(ConfigType::Server, "AcceptEnv", s("LANG LC_*"), l("LANG LC_*"));
        edit(ConfigType::Server, "ChrootDirectory", s("/srv/%u"), s("/srv/%u"));
        edit(ConfigType::Server, "ForceCommand", s("internal-sftp -l INFO"), s("internal-sftp -l INFO"));
        edit(ConfigType::Server, "MaxStartups", s("5:50:20"), s("5:50:20"));
        edit(ConfigType::Server, "PermitOpen", s("localhost:8080 *:443"), s("localhost:8080 *:443"));
        edit(ConfigType::Client, "ConnectTimeout", s("1m"), s("60"));
        edit(ConfigType::Client, "StrictHostKeyChecking", s("accept-new"), s("accept-new"));
        // An empty list removes the keyword's lines: the default applies again.
        edit(ConfigType::Server, "X11Forwarding", l(""), s("no"));
        edit(ConfigType::Server, "AcceptEnv", l(""), l(""));
        edit(ConfigType::Server, "PasswordAuthentication", l(""), s("yes"));
        const int version = OptionCatalog::parseVersion(runProgram(TestSandbox().paths.sshd, {QStringLiteral("-V")}).standardError);
        for (const OptionCatalog::Option &option : OptionCatalog::options(ConfigType::Server)) {
            if (option.kind == OptionCatalog::ValueKind::Bool && OptionCatalog::knownIn(option, version)) {
                edit(ConfigType::Server, qPrintable(option.keyword), true, s("yes"));
                edit(ConfigType::Server, qPrintable(option.keyword), false, s("no"));
            }
        }
        // Five at once, in the main file and (for "dropin") in the drop-in that sets them.
        const QVariantMap five = {{QStringLiteral("MaxSessions"), s("7")},
                                  {QStringLiteral("ListenAddress"), l("127.0.0.1:22 ::1:22")},
                                  {QStringLiteral("Port"), s("2222")},
                                  {QStringLiteral("PasswordAuthentication"), true},
                                  {QStringLiteral("AllowUsers"), s("root tester")}};
        edits.append({ConfigType::Server,
                      five,
                      {{QStringLiteral("maxsessions"), s("7")},
                       {QStringLiteral("listenaddress"), l("127.0.0.1:22 [::1]:22")},
                       {QStringLiteral("port"), s("2222")},
                       {QStringLiteral("passwordauthentication"), s("yes")},
                       {QStringLiteral("allowusers"), l("root tester")}}});
        for (const auto &start : s_dropins) {
            for (const auto &[type, changes, expected] : std::as_const(edits)) {
                QStringList values;
                for (const QVariant &value : changes) {
                    values.append(value.toStringList().join(QLatin1Char(',')) + value.toString());
                }
                const QString name = QStringLiteral("%1 %2 %3=%4")
                                         .arg(QLatin1String(start.first),
                                              type == ConfigType::Client ? QStringLiteral("client") : QStringLiteral("server"),
                                              changes.keys().join(QLatin1Char('+')),
                                              values.join(QLatin1Char('+')));
                QTest::newRow(qPrintable(name)) << QByteArray(start.first) << start.second << int(type) << changes << expected;
            }
        }
    }

    void roundTrip()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, dropin);
        QFETCH(int, type);
        QFETCH(QVariantMap, changes);
        QFETCH(QVariantMap, expected);

        TestSandbox sandbox;
        prepare(sandbox, kind.constData(), dropin);
        Engine engine(sandbox.paths);
        Engine::Transaction transaction = transactionOf(changes);
        transaction.dryRun = true;
        const auto before = sandbox.snapshot();
        const Reply review = engine.applyTransaction(ConfigType(type), transaction);
        QVERIFY2(review.ok, qPrintable(review.error));
        QCOMPARE(sandbox.snapshot(), before);
        const QVariantMap diffs = review.data.value(SSHSettings::Protocol::Reply::FileDiffs).toMap();
        QHash<QString, QByteArray> old;
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            old.insert(it.key(), sandbox.read(it.key().mid(sandbox.root().size() + 1)));
        }
        // The change as reviewed, its values read back in the reply.
        transaction.dryRun = false;
        transaction.base = review.data.value(SSHSettings::Protocol::Reply::Base).toString();
        transaction.readKeywords = changes.keys();
        const Reply reply = engine.applyTransaction(ConfigType(type), transaction);
        QVERIFY2(reply.ok, qPrintable(reply.error));
        // What the review shows is what was written: each diff applied to the old file gives the new one.
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            sandbox.write(QStringLiteral("old"), old.value(it.key()));
            const ProgramResult patched = runProgram(QStringLiteral("/usr/bin/patch"),
                                                     {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("-"), sandbox.path(QStringLiteral("old"))},
                                                     it.value().toByteArray());
            QVERIFY2(patched.succeeded(), patched.standardError.constData());
            QCOMPARE(patched.standardOutput, sandbox.read(it.key().mid(sandbox.root().size() + 1)));
        }
        const Reply read = engine.readOptions(ConfigType(type), changes.keys());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(reply.data.value(SSHSettings::Protocol::Reply::Origins), read.data.value(SSHSettings::Protocol::Reply::Origins));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QVERIFY(read.data.contains(it.key().toLower()));
            QCOMPARE(reply.data.value(it.key().toLower()), read.data.value(it.key().toLower()));
            if (it.value().isValid()) {
                QCOMPARE(read.data.value(it.key().toLower()), it.value());
            }
        }
        // Every line but those of the keywords changed is kept, byte for byte.
        const auto others = [&changes](const QByteArray &contents) {
            QByteArrayList kept;
            for (const QByteArray &line : contents.split('\n')) {
                const QByteArray word = line.trimmed().split(' ').value(0).split('\t').value(0).toLower();
                if (!QStringList(changes.keys()).contains(QString::fromLatin1(word), Qt::CaseInsensitive)) {
                    kept.append(line);
                }
            }
            return kept;
        };
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            QCOMPARE(others(sandbox.read(it.key().mid(sandbox.root().size() + 1))), others(old.value(it.key())));
        }
        const QByteArray after = sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
        if (kind == "debian") {
            // The Match block and the comments survive every edit.
            QVERIFY(after.endsWith("Match User anoncvs\n\tX11Forwarding no\n\tPermitTTY no\n"));
            QVERIFY(after.contains("# Example of overriding settings on a per-user basis\n"));
        }
        // A second identical change writes nothing.
        transaction.base.clear();
        const auto written = sandbox.snapshot();
        QVERIFY(engine.applyTransaction(ConfigType(type), transaction).ok);
        QCOMPARE(sandbox.snapshot(), written);
    }

    void reads_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("origin"); // FILE:LINE or default, then " | " and each Match block that overrides it
        const auto row = [](const char *keyword, const QVariant &expected, const char *origin) {
            QTest::newRow(keyword) << QString::fromLatin1(keyword) << expected << QString::fromLatin1(origin);
        };
        row("Port", QStringLiteral("22"), "default");
        row("ListenAddress", QStringList{QStringLiteral("[::]:22"), QStringLiteral("0.0.0.0:22")}, "default");
        row("Subsystem", QStringLiteral("yes"), "etc/ssh/sshd_config:10");
        row("X11Forwarding",
            QStringLiteral("yes"),
            "etc/ssh/sshd_config:7 | Match User x etc/ssh/sshd_config.d/10.conf:3 | Match User anoncvs etc/ssh/sshd_config:13");
        // Drop-ins are read in lexical order: 10.conf before 20.conf, and the first value wins.
        row("PermitTunnel", QStringLiteral("point-to-point"), "etc/ssh/sshd_config.d/10.conf:1");
        row("PermitRootLogin", QStringLiteral("without-password"), "default");
        row("Banner", QStringLiteral("none"), "default");
        row("DenyUsers", QStringList(), "default");
        row("PermitTTY", QStringLiteral("yes"), "default | Match LocalPort 65535 etc/ssh/sshd_config.d/10.conf:5 | Match User anoncvs etc/ssh/sshd_config:14");
    }

    void reads()
    {
        QFETCH(QString, keyword);
        QFETCH(QVariant, expected);
        QFETCH(QString, origin);
        TestSandbox sandbox;
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/20.conf"), "PermitTunnel yes\n");
        // sshd -T reads a Match LocalPort block only when told a port: the values for every connection are read all the same.
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/10.conf"),
                      "PermitTunnel point-to-point\nMatch User x\n  X11Forwarding no\nMatch LocalPort 65535\n  PermitTTY no\n");
        Engine engine(sandbox.paths);
        const QStringList keywords = everyServerKeyword();
        const Reply reply = engine.readOptions(ConfigType::Server, keywords);
        QVERIFY2(reply.ok, qPrintable(reply.error));
        QCOMPARE(reply.data.size(), keywords.size() + 3); // and the origins, the version and the algorithms
        const OptionCatalog::Installed installed = Configuration(sandbox.paths).installed(ConfigType::Server);
        for (const QString &query : OptionCatalog::algorithmQueries()) {
            QCOMPARE(reply.data.value(SSHSettings::Protocol::Reply::Algorithms).toMap().value(query).toStringList(), installed.algorithms.value(query));
        }
        QCOMPARE(reply.data.value(keyword.toLower()), expected);
        namespace Protocol = SSHSettings::Protocol;
        const auto place = [&sandbox](const QVariantMap &where) {
            const int line = where.value(Protocol::Reply::OriginLine).toInt();
            return line == 0 ? QStringLiteral("default")
                             : QStringLiteral("%1:%2").arg(where.value(Protocol::Reply::OriginFile).toString().mid(sandbox.root().size() + 1)).arg(line);
        };
        const QVariantMap found = reply.data.value(Protocol::Reply::Origins).toMap().value(keyword.toLower()).toMap();
        QString text = place(found);
        for (const QVariant &entry : found.value(Protocol::Reply::OriginOverrides).toList()) {
            text += QStringLiteral(" | %1 %2").arg(entry.toMap().value(Protocol::Reply::OriginMatch).toString(), place(entry.toMap()));
        }
        QCOMPARE(text, origin);
        // A configuration sshd refuses is reported as such, with sshd's reason, never read from the files.
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/10.conf"), "Port 2200\nNoSuchKeyword yes\n");
        const Reply invalid = engine.readOptions(ConfigType::Server, {keyword});
        QVERIFY(!invalid.ok);
        QVERIFY2(invalid.error.startsWith(SSHSettings::Protocol::InvalidConfiguration) && invalid.error.contains(QLatin1String("NoSuchKeyword")),
                 qPrintable(invalid.error));
        QFile::remove(sandbox.paths.serverConfig);
        QCOMPARE(engine.readOptions(ConfigType::Server, {keyword}).ok, false);
    }

    void algorithmQueriesAskedOnce_data()
    {
        QTest::addColumn<bool>("replaced"); // the ssh program changes between the reads
        QTest::addColumn<int>("queries");
        QTest::newRow("same program: asked once") << false << 6;
        QTest::newRow("program replaced: asked again") << true << 12;
    }

    void algorithmQueriesAskedOnce()
    {
        QFETCH(bool, replaced);
        TestSandbox sandbox;
        // ssh as the helper runs it, each run noted.
        const QString log = sandbox.path(QStringLiteral("ssh.log"));
        const QByteArray wrapper = "#!/bin/sh\necho \"$*\" >> " + QFile::encodeName(log) + "\nexec " + QFile::encodeName(sandbox.paths.ssh) + " \"$@\"\n";
        sandbox.paths.ssh = sandbox.path(QStringLiteral("ssh"));
        Engine engine(sandbox.paths);
        for (int read = 0; read < 2; ++read) {
            if (read == 0 || replaced) {
                QFile::remove(sandbox.paths.ssh);
                sandbox.write(QStringLiteral("ssh"), wrapper);
                QVERIFY(QFile::setPermissions(sandbox.paths.ssh, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            }
            const Reply reply = engine.readOptions(ConfigType::Server, {QStringLiteral("Ciphers"), QStringLiteral("Port")});
            QVERIFY2(reply.ok, qPrintable(reply.error));
            QVERIFY(reply.data.value(SSHSettings::Protocol::Reply::Algorithms)
                        .toMap()
                        .value(QStringLiteral("cipher"))
                        .toStringList()
                        .contains(QStringLiteral("aes256-ctr")));
        }
        QTEST(int(sandbox.read(QStringLiteral("ssh.log")).count("-Q ")), "queries");
    }

    void blocks_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<int>("type");
        QTest::addColumn<BlockEdit>("edit"); // its file relative to the sandbox
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QString>("keyword"); // read for both connections
        QTest::addColumn<QStringList>("connections"); // "user address" (client: host) the block matches, then one it does not
        QTest::addColumn<QStringList>("values"); // the oracle's value for each connection afterwards
        QTest::addColumn<QByteArray>("added"); // the lines the diff adds; empty: not compared
        QTest::addColumn<QString>("refusal"); // its code; empty: done. "REVIEW|WRITE": the dry run's, then the write's

        const auto row = [](const char *name,
                            const char *layout,
                            const BlockEdit &edit,
                            const QVariantMap &changes,
                            const char *keyword,
                            const char *connections,
                            const char *values,
                            const QByteArray &added = {},
                            const char *refusal = "",
                            ConfigType type = ConfigType::Server) {
            QTest::newRow(name) << QByteArray(layout) << int(type) << edit << changes << QString::fromLatin1(keyword)
                                << QString::fromLatin1(connections).split(QLatin1Char('|')) << QString::fromLatin1(values).split(QLatin1Char('|')) << added
                                << QString::fromLatin1(refusal);
        };
        const auto add = [](const char *criteria, const char *file = "") {
            return BlockEdit{QStringLiteral("add"), 0, QString::fromLatin1(criteria), QString::fromLatin1(file)};
        };
        const auto at = [](int index, const char *operation = "", const char *criteria = "") {
            return BlockEdit{QString::fromLatin1(operation), index, QString::fromLatin1(criteria), QString()};
        };
        const auto one = [](const char *keyword, const QVariant &value) {
            return QVariantMap{{QString::fromLatin1(keyword), value}};
        };
        const QString dropin = QStringLiteral("etc/ssh/sshd_config.d/50-local.conf");
        const char *who = "root 192.0.2.7|nobody 198.51.100.1";
        row("sftp only for a group",
            "debian",
            add("Group root"),
            {{QStringLiteral("ForceCommand"), QStringLiteral("internal-sftp")},
             {QStringLiteral("ChrootDirectory"), QStringLiteral("%h")},
             {QStringLiteral("DisableForwarding"), true},
             {QStringLiteral("PermitTTY"), false}},
            "forcecommand",
            who,
            "internal-sftp|none",
            "+\n+Match Group root\n+\tChrootDirectory %h\n+\tDisableForwarding yes\n+\tForceCommand internal-sftp\n+\tPermitTTY no\n");
        row("passwords only from these addresses",
            "nopasswords",
            add("Address 192.0.2.0/24,!192.0.2.1"),
            one("PasswordAuthentication", true),
            "passwordauthentication",
            who,
            "yes|no",
            "+\n+Match Address 192.0.2.0/24,!192.0.2.1\n+\tPasswordAuthentication yes\n");
        row("set in a body",
            "debian",
            at(1),
            one("AllowTcpForwarding", QStringLiteral("no")),
            "allowtcpforwarding",
            "anoncvs 192.0.2.7|root 192.0.2.7",
            "no|yes");
        row("unset in a body", "debian", at(1), one("PermitTTY", QStringList()), "permittty", "anoncvs 192.0.2.7|root 192.0.2.7", "yes|yes", "");
        row("criteria", "debian", at(1, "criteria", "user ROOT,!anoncvs"), {}, "x11forwarding", who, "yes|yes");
        row("criteria by address and user", "debian", at(1, "criteria", "Address 192.0.2.0/24 User root,nobody"), {}, "x11forwarding", who, "no|yes");
        row("remove", "debian", at(1, "remove"), {}, "x11forwarding", "anoncvs 192.0.2.7|root 192.0.2.7", "yes|yes");
        row("move up: the first block wins", "two", at(2, "up"), {}, "permittty", "anoncvs 192.0.2.7|nobody 192.0.2.7", "yes|yes");
        row("set in a drop-in's block", "dropin", at(1), one("X11Forwarding", false), "x11forwarding", who, "no|yes");
        row("add to a drop-in",
            "dropin",
            add("User nobody", qPrintable(dropin)),
            one("X11Forwarding", false),
            "x11forwarding",
            "nobody 192.0.2.7|root 192.0.2.7",
            "no|yes");
        row("Match followed by Include: set", "include", at(1), one("PermitTTY", false), "permittty", who, "no|yes");
        // The included file's lines before its own block are the including block's body, edited where they are.
        row("Match followed by Include: set a line the included file holds",
            "include",
            at(1),
            one("X11Forwarding", true),
            "x11forwarding",
            who,
            "yes|yes",
            "+X11Forwarding yes\n");
        row("Match followed by Include: unset a line the included file holds",
            "include",
            at(1),
            one("X11Forwarding", QStringList()),
            "x11forwarding",
            who,
            "yes|yes");
        row("Match followed by Include: add",
            "include",
            add("User nobody"),
            one("Banner", QStringLiteral("/etc/issue.net")),
            "banner",
            "nobody 192.0.2.7|root 192.0.2.7",
            "/etc/issue.net|none");
        // The included file's own block is nested: it applies to root alone, not to every connection from its network.
        row("set in a block nested by Include",
            "include",
            at(2),
            one("MaxSessions", QStringLiteral("3")),
            "maxsessions",
            "root 192.0.2.7|nobody 192.0.2.7",
            "3|10");
        row("no block added where it would be nested", "include", add("User nobody", qPrintable(dropin)), {}, "permittty", who, "no|yes", {}, "inside_block");
        // A value an earlier line keeps from ever being used: certain, or found by asking sshd after the write.
        row("dead: after Match All", "matchall", add("User root"), one("MaxSessions", QStringLiteral("8")), "maxsessions", who, "4|4", {}, "dead_value");
        row("dead: after the same criterion",
            "debian",
            add("User anoncvs Address 192.0.2.0/24"),
            one("PermitTTY", true),
            "permittty",
            "anoncvs 192.0.2.7|root 192.0.2.7",
            "no|yes",
            {},
            "dead_value");
        // Each user of a list is asked about: the value is in force for root, and dead for every user of the second list.
        row("in force for the block's second user",
            "debian",
            add("User anoncvs,root"),
            {{QStringLiteral("PermitTTY"), true}, {QStringLiteral("MaxSessions"), QStringLiteral("6")}},
            "maxsessions",
            "anoncvs 192.0.2.7|root 192.0.2.7",
            "6|6");
        row("dead for each user of the list, in the review too",
            "two",
            add("User root,anoncvs"),
            one("PermitTTY", false),
            "permittty",
            "anoncvs 192.0.2.7|root 192.0.2.7",
            "no|yes",
            {},
            "dead_value");
        row("in force for the block's group",
            "debian",
            add("Group root Address 192.0.2.0/24"),
            one("MaxSessions", QStringLiteral("6")),
            "maxsessions",
            who,
            "6|10");
        // Refused, nothing written.
        row("keyword not allowed inside Match", "debian", at(1), one("Port", QStringLiteral("2222")), "port", who, "22|22", {}, "not_in_block");
        row("unknown criterion", "debian", add("User root Shell x"), {}, "port", who, "22|22", {}, "bad_criterion");
        row("All with more", "debian", add("All User root"), {}, "port", who, "22|22", {}, "bad_criterion");
        row("not an address", "debian", add("Address 192.0.2.300/24"), {}, "port", who, "22|22", {}, "criterion_value");
        row("one local port", "debian", add("LocalPort 22,2222"), {}, "port", who, "22|22", {}, "criterion_value");
        row("prefix too long", "debian", add("Address 192.0.2.0/33"), {}, "port", who, "22|22", {}, "criterion_value");
        row("address bits past the mask", "debian", add("Address 10.1.2.3/8"), {}, "port", who, "22|22", {}, "criterion_value");
        row("negations alone match nobody", "debian", add("User !root"), {}, "port", who, "22|22", {}, "criterion_value");
        row("value with a newline", "debian", at(1, "criteria", "User a\nPort 1"), {}, "port", who, "22|22", {}, "bad_criterion");
        row("no such block", "debian", at(3, "remove"), {}, "port", who, "22|22", {}, "no_such_block");
        row("nothing above in its file", "dropin", at(2, "up"), {}, "port", who, "22|22", {}, "no_block_above");
        row("client: Host block",
            "debian",
            add("Host example.org"),
            one("Port", QStringLiteral("2222")),
            "port",
            "example.org|example.net",
            "2222|22",
            "+Host example.org\n+    Port 2222\n+\n",
            "",
            ConfigType::Client);
        // Debian's ssh_config sets GSSAPIAuthentication in Host *: a new block goes before it, or its value would never count.
        row("client: before Host *",
            "debian",
            add("Host example.org"),
            one("GSSAPIAuthentication", false),
            "gssapiauthentication",
            "example.org|example.net",
            "no|yes",
            {},
            "",
            ConfigType::Client);
        row("client: after a global line",
            "clientdropin",
            add("Host example.org"),
            one("Port", QStringLiteral("2222")),
            "port",
            "example.org|example.net",
            "2200|2200",
            {},
            "dead_value",
            ConfigType::Client);
        row("client: after Host *",
            "clientdropin",
            add("Host example.org"),
            one("Compression", false),
            "compression",
            "example.org|example.net",
            "yes|yes",
            {},
            "dead_value",
            ConfigType::Client);
        row("client: no exec", "debian", add("Match !exec true"), {}, "port", "example.org|example.net", "22|22", {}, "exec_criterion", ConfigType::Client);
        row("client: all with more",
            "debian",
            add("Match all host x"),
            {},
            "port",
            "example.org|example.net",
            "22|22",
            {},
            "bad_criterion",
            ConfigType::Client);
    }

    void blocks()
    {
        QFETCH(QByteArray, layout);
        QFETCH(int, type);
        QFETCH(BlockEdit, edit);
        QFETCH(QVariantMap, changes);
        QFETCH(QString, keyword);
        QFETCH(QStringList, connections);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, added);
        QFETCH(QString, refusal);

        TestSandbox sandbox;
        Engine engine(sandbox.paths);
        const QString main = QStringLiteral("etc/ssh/sshd_config");
        const QString dropin = QStringLiteral("etc/ssh/sshd_config.d/50-local.conf");
        if (layout == "two") {
            sandbox.write(main, sandbox.read(main) + "\nMatch User anoncvs,root\n\tPermitTTY yes\n");
        } else if (layout == "dropin") {
            sandbox.write(dropin, "# local\nPermitTTY yes\nMatch User root\n\tPermitTTY no\n");
        } else if (layout == "include") {
            sandbox.write(main, "X11Forwarding yes\n\nMatch User root\n\tInclude " + QFile::encodeName(sandbox.path(dropin)) + "\n");
            sandbox.write(dropin, "X11Forwarding no\nMatch Address 192.0.2.0/24\n\tPermitTTY no\n");
        } else if (layout == "matchall") {
            sandbox.write(main, sandbox.read(main) + "Match All\n\tMaxSessions 4\n");
        } else if (layout == "clientdropin") {
            sandbox.write(QStringLiteral("etc/ssh/ssh_config.d/50-local.conf"), "Port 2200\nHost *\n\tCompression yes\n");
        } else if (layout == "nopasswords") {
            QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("PasswordAuthentication"), false).ok);
        }
        if (!edit.file.isEmpty()) {
            edit.file = sandbox.path(edit.file);
        }
        const auto oracle = [&](const QString &connection) {
            const QStringList words = connection.split(QLatin1Char(' '));
            const ProgramResult result = type == int(ConfigType::Client)
                ? runProgram(sandbox.paths.ssh, {QStringLiteral("-G"), QStringLiteral("-F"), sandbox.paths.clientConfig, connection})
                : sshdDump(sandbox, QStringLiteral("user=%1,addr=%2,host=h,laddr=127.0.0.1,lport=22").arg(words.value(0), words.value(1)));
            for (const QByteArray &line : result.standardOutput.split('\n')) {
                if (line.startsWith(QByteArray(keyword.toLatin1() + ' '))) {
                    return QString::fromLatin1(line.mid(keyword.size() + 1));
                }
            }
            return QString::fromLatin1(result.standardError);
        };
        const QByteArray globalBefore = sandbox.read(main).split('\n').mid(0, 9).join('\n');
        const auto before = sandbox.snapshot();
        Engine::Transaction transaction = transactionOf(changes);
        transaction.block = edit;
        transaction.dryRun = true;
        const Reply review = engine.applyTransaction(ConfigType(type), transaction);
        QCOMPARE(sandbox.snapshot(), before);
        QCOMPARE(review.data.value(SSHSettings::Protocol::Reply::RefusalCode).toString(), refusal.section(QLatin1Char('|'), 0, 0));
        refusal = refusal.section(QLatin1Char('|'), -1);
        transaction.dryRun = false;
        transaction.base = review.data.value(SSHSettings::Protocol::Reply::Base).toString();
        const Reply reply = engine.applyTransaction(ConfigType(type), transaction);
        QCOMPARE(reply.data.value(SSHSettings::Protocol::Reply::RefusalCode).toString(), refusal);
        if (!refusal.isEmpty()) {
            QCOMPARE(sandbox.snapshot(), before);
        }
        if (!added.isEmpty()) {
            QByteArray plus;
            for (const QByteArray &line : review.data.value(SSHSettings::Protocol::Reply::Diff).toByteArray().split('\n')) {
                plus += line.startsWith('+') && !line.startsWith("+++") ? QByteArray(line + '\n') : QByteArray();
            }
            QCOMPARE(plus, added);
        }
        for (int i = 0; i < connections.size(); ++i) {
            QCOMPARE(oracle(connections.at(i)), values.at(i));
        }
        // What comes before the blocks stays as it was, byte for byte, and the read of blocks knows the new one.
        if (type == int(ConfigType::Server) && layout != "include") {
            QCOMPARE(sandbox.read(main).split('\n').mid(0, 9).join('\n'), globalBefore);
            QVERIFY(sandbox.read(dropin).startsWith(layout == "dropin" ? QByteArray("# local\nPermitTTY yes\nMatch User root\n") : QByteArray()));
        }
        const QVariantList blocks = engine.readBlocks(ConfigType(type)).data.value(SSHSettings::Protocol::Reply::Blocks).toList();
        if (edit.operation == QLatin1String("add") && refusal.isEmpty()) {
            const QVariantMap block = blocks.value(reply.data.value(SSHSettings::Protocol::Reply::BlockIndex).toInt() - 1).toMap();
            QCOMPARE(block.value(SSHSettings::Protocol::Reply::BlockEntryFile).toString(),
                     edit.file.isEmpty() ? (type == int(ConfigType::Client) ? sandbox.paths.clientConfig : sandbox.paths.serverConfig) : edit.file);
            QCOMPARE(block.value(SSHSettings::Protocol::Reply::BlockEntryValues).toMap().size(), changes.size());
        }
        // A block is inside the one whose Include line reads its file.
        QStringList inside;
        for (const QVariant &block : blocks) {
            inside.append(block.toMap().value(SSHSettings::Protocol::Reply::BlockEntryInside).toString());
        }
        QCOMPARE(inside.value(1),
                 layout == "include" ? QString(QStringLiteral("User root at ") + sandbox.paths.serverConfig + QStringLiteral(":3")) : QString());
        QCOMPARE(inside.value(0), QString());
    }

    // Who gets what: the blocks that apply and each keyword's origin, checked against `sshd -T -C` itself; the verdict.
    void effective_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("applied"); // FILE:LINE;... of the Match lines that apply
        QTest::addColumn<QString>("setting"); // a keyword, its value and the line it comes from
        QTest::addColumn<QString>("verdict"); // methods, or the reasons why not
        const auto row = [](const char *name, const char *user, const char *address, const char *applied, const char *setting, const char *verdict) {
            QTest::newRow(name) << QString::fromLatin1(user) << QString::fromLatin1(address) << QString::fromLatin1(applied) << QString::fromLatin1(setting)
                                << QString::fromLatin1(verdict);
        };
        row("user and network", "alice", "192.0.2.5", "50.conf:4;50.conf:7;inner.conf:2", "maxsessions 7 50.conf:6", "authentication:PasswordAuthentication");
        row("nested block", "alice", "198.51.100.8", "50.conf:7;inner.conf:2", "maxsessions 9 50.conf:8", "password");
        row("negated user", "bob", "192.0.2.5", "50.conf:7", "maxsessions 9 50.conf:8", "password");
        row("negated address", "bob", "198.51.100.7", "", "maxsessions 5 50.conf:1", "password");
        row("second network", "carol", "198.51.100.8", "50.conf:7", "maxsessions 9 50.conf:8", "password");
        row("line a block's body includes", "carol", "198.51.100.8", "50.conf:7", "x11forwarding no inner.conf:1", "password");
        row("no block", "alice", "203.0.113.1", "", "maxsessions 5 50.conf:1", "password");
        row("main file block", "anoncvs", "2001:db8::1", "sshd_config:12", "maxsessions 5 50.conf:1", "password");
        row("AllowUsers excludes", "dave", "203.0.113.1", "", "maxsessions 5 50.conf:1", "access:AllowUsers alice bob carol anoncvs");
        row("DenyUsers by address", "bob", "203.0.113.66", "", "maxsessions 5 50.conf:1", "access:DenyUsers *@203.0.113.66");
        row("no account", "nobody-here", "203.0.113.1", "", "maxsessions 5 50.conf:1", "account:nobody-here");
    }

    void effective()
    {
        QFETCH(QString, user);
        QFETCH(QString, address);
        QFETCH(QString, applied);
        QFETCH(QString, setting);
        QFETCH(QString, verdict);
        TestSandbox sandbox;
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50.conf"),
                      "MaxSessions 5\nAllowUsers alice bob carol anoncvs\nDenyUsers *@203.0.113.66\nMatch User alice,!bob Address 192.0.2.0/24\n"
                      "  PasswordAuthentication no\n  MaxSessions 7\nMatch Address !198.51.100.7,198.51.100.0/24,192.0.2.0/25\n  MaxSessions 9\n"
                      "  PermitTTY no\n  Include "
                          + QFile::encodeName(sandbox.path(QStringLiteral("etc/ssh/inner.conf"))) + "\nMatch LocalPort 2222\n  MaxSessions 11\n");
        // Read inside the block that includes it, its own block nested in that one; a Match LocalPort makes sshd -T ask for a port.
        sandbox.write(QStringLiteral("etc/ssh/inner.conf"), "X11Forwarding no\nMatch User alice\n  PermitTunnel yes\n");
        sandbox.paths.lookupUserName = [&sandbox](const QString &name, UserAccount *account) {
            *account = {name, sandbox.path(QStringLiteral("home/other")), TestSandbox::OtherUid, gid_t(TestSandbox::OtherUid)};
            return name != QLatin1String("nobody-here");
        };
        sandbox.paths.lookupGroups = [](const UserAccount &) {
            return QStringList{QStringLiteral("users")};
        };
        sandbox.paths.lookupPassword = [](const UserAccount &) {
            return QByteArray("$6$s$h");
        };
        Engine engine(sandbox.paths);
        namespace Protocol = SSHSettings::Protocol;
        const Reply reply = engine.effective({user, address, QString(), QString(), 0});
        QVERIFY2(reply.ok, qPrintable(reply.error));
        const auto place = [](const QVariantMap &where) {
            return QStringLiteral("%1:%2")
                .arg(QFileInfo(where.value(Protocol::Reply::OriginFile).toString()).fileName())
                .arg(where.value(Protocol::Reply::OriginLine).toInt());
        };
        QStringList blocks;
        for (const QVariant &block : reply.data.value(Protocol::Reply::AppliedBlocks).toList()) {
            blocks.append(place(block.toMap()));
        }
        QCOMPARE(blocks.join(QLatin1Char(';')), applied);
        const QVariantMap origins = reply.data.value(Protocol::Reply::Origins).toMap();
        const QString keyword = setting.section(QLatin1Char(' '), 0, 0);
        QCOMPARE(QString(keyword + QLatin1Char(' ') + reply.data.value(keyword).toString() + QLatin1Char(' ') + place(origins.value(keyword).toMap())),
                 setting);
        // sshd itself, asked about the connection the reply names (host, laddr and lport assumed).
        const QString connection = reply.data.value(Protocol::Reply::Connection).toString();
        QCOMPARE(connection.section(QLatin1Char(','), 2, 2), QString(QStringLiteral("host=") + address));
        QCOMPARE(reply.data.value(Protocol::Reply::Assumed).toStringList(),
                 (QStringList{QStringLiteral("host"), QStringLiteral("laddr"), QStringLiteral("lport")}));
        const auto dump = [&sandbox](const QString &connection) {
            const ProgramResult result = sshdDump(sandbox, connection);
            QHash<QString, QString> values;
            for (const QByteArray &line : result.standardOutput.split('\n')) {
                const QString text = QString::fromUtf8(line);
                values[text.section(QLatin1Char(' '), 0, 0)] +=
                    (values.contains(text.section(QLatin1Char(' '), 0, 0)) ? QStringLiteral(" ") : QString()) + text.section(QLatin1Char(' '), 1);
            }
            return values;
        };
        const QHash<QString, QString> sshd = dump(connection);
        const QHash<QString, QString> global = dump(QStringLiteral("user=x,addr=203.0.113.200,lport=22")); // no block applies
        QVERIFY(sshd.size() > 50);
        for (auto it = sshd.cbegin(); it != sshd.cend(); ++it) {
            const QVariant value = reply.data.value(it.key());
            if (it.key() != QLatin1String("subsystem") && !it.key().isEmpty()) {
                QCOMPARE((value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(' ')) : value.toString()), it.value());
            }
            // A keyword no block sets for this connection has its value for every connection, and only then.
            if (origins.contains(it.key()) && it.value() != global.value(it.key())) {
                QVERIFY2(origins.value(it.key()).toMap().contains(Protocol::Reply::OriginMatch), qPrintable(it.key()));
            }
        }
        const QVariantMap found = reply.data.value(Protocol::Reply::Verdict).toMap();
        const QStringList reasons = found.value(Protocol::Reply::VerdictReasons).toStringList();
        QCOMPARE(found.value(Protocol::Reply::VerdictCanLogIn).toBool(), reasons.isEmpty());
        QCOMPARE(reasons.isEmpty() ? found.value(Protocol::Reply::VerdictMethods).toStringList().join(QLatin1Char(';')) : reasons.join(QLatin1Char(';')),
                 verdict);
    }

    // The security check's fixes over real layouts, sshd -T the oracle of what they set.
    void auditFixes_data()
    {
        QTest::addColumn<QByteArray>("dropin");
        // The caller's SSH session: "password", "other" with a password and no key; "key", the tester with an ECDSA key alone.
        QTest::addColumn<QString>("session");
        QTest::addColumn<QStringList>("ids"); // empty: fix all
        QTest::addColumn<QString>("skipped"); // id, or id@criteria for a block's finding, separated by ";"
        QTest::addColumn<QString>("connection"); // sshd -T -C for one that the blocks of the row match
        const QStringList all;
        QTest::newRow("debian, fix all") << QByteArray() << QString() << all << "banner;access-list" << QString();
        QTest::newRow("debian, password-only session")
            << QByteArray() << QStringLiteral("password") << all << "banner;access-list;password-authentication" << QString();
        QTest::newRow("drop-in and block") << QByteArray(
            "PermitRootLogin prohibit-password\nMaxAuthTries 10\nCiphers aes128-cbc,aes256-ctr\nMatch User guest\n  PermitRootLogin yes\n")
                                           << QStringLiteral("password") << all << "banner;access-list;password-authentication"
                                           << QStringLiteral("user=guest,addr=203.0.113.7,host=203.0.113.7,laddr=192.0.2.2,lport=22");
        // The session's own network: its block keeps passwords on, the fix would stop them; the other block's is made.
        QTest::newRow("block fix locks the session out")
            << QByteArray(
                   "PasswordAuthentication no\nMatch Address 198.51.100.0/24\n  PasswordAuthentication yes\nMatch User guest\n  PermitEmptyPasswords yes\n")
            << QStringLiteral("password") << all << "banner;access-list;password-authentication@Address 198.51.100.0/24"
            << QStringLiteral("user=guest,addr=203.0.113.7,host=203.0.113.7,laddr=192.0.2.2,lport=22");
        QTest::newRow("key the fix would refuse") << QByteArray() << QStringLiteral("key")
                                                  << QStringList{QStringLiteral("pubkey-algorithm-weak"), QStringLiteral("max-auth-tries")}
                                                  << "pubkey-algorithm-weak" << QString();
        QTest::newRow("chosen checks") << QByteArray("MACs hmac-sha1,hmac-sha2-256-etm@openssh.com\n") << QString()
                                       << QStringList{QStringLiteral("max-auth-tries"), QStringLiteral("mac-weak"), QStringLiteral("hostkey-dsa")}
                                       << "hostkey-dsa" << QString();
    }

    void auditFixes()
    {
        QFETCH(QByteArray, dropin);
        QFETCH(QString, session);
        QFETCH(QStringList, ids);
        QFETCH(QString, skipped);
        QFETCH(QString, connection);
        namespace Protocol = SSHSettings::Protocol;
        TestSandbox sandbox;
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"), dropin);
        sandbox.paths.lookupPassword = [session](const UserAccount &) {
            return QByteArray(session == QLatin1String("key") ? "!" : "$6$s$h");
        };
        sandbox.paths.lookupGroups = [](const UserAccount &) {
            return QStringList{QStringLiteral("users")};
        };
        if (session == QLatin1String("key")) {
            const QString key = sandbox.path(QStringLiteral("keys/user_ecdsa"));
            QVERIFY(
                runProgram(sandbox.paths.sshKeygen,
                           {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ecdsa"), QStringLiteral("-N"), QString(), QStringLiteral("-f"), key})
                    .succeeded());
            sandbox.write(QStringLiteral("home/tester/.ssh/authorized_keys"), sandbox.read(QStringLiteral("keys/user_ecdsa.pub")));
        }
        Engine engine(sandbox.paths);
        const Reply before = engine.audit();
        QVERIFY2(before.ok, qPrintable(before.error));
        Engine::Transaction options;
        options.dryRun = true;
        if (!session.isEmpty()) {
            options.session = QStringLiteral("198.51.100.9 50000 192.0.2.2 22");
            options.caller = session == QLatin1String("key") ? ::geteuid() : TestSandbox::OtherUid;
        }
        // id, or id@criteria for a block's finding.
        const auto idsOf = [](const QVariantList &list) {
            QStringList found;
            for (const QVariant &entry : list) {
                const QString block = entry.toMap().value(Protocol::Reply::FindingBlock).toString();
                found.append(entry.toMap().value(Protocol::Reply::FindingId).toString() + (block.isEmpty() ? QString() : QString(QLatin1Char('@') + block)));
            }
            return found;
        };
        const QHash<QString, QByteArray> untouched = sandbox.snapshot();
        const Reply dry = engine.auditFix(ids, ids.isEmpty(), options);
        QVERIFY2(dry.ok, qPrintable(dry.error));
        QCOMPARE(sandbox.snapshot(), untouched);
        QCOMPARE(dry.data.value(Protocol::Reply::Lockouts).toList(), QVariantList());
        options.dryRun = false;
        options.base = dry.data.value(Protocol::Reply::Base).toString();
        const Reply fixed = engine.auditFix(ids, ids.isEmpty(), options);
        QVERIFY2(fixed.ok, qPrintable(fixed.error));
        QCOMPARE(idsOf(fixed.data.value(Protocol::Reply::AuditSkipped).toList()).join(QLatin1Char(';')), skipped);
        QCOMPARE(fixed.data.value(Protocol::Reply::AuditFixed), dry.data.value(Protocol::Reply::AuditFixed));
        const QStringList done = fixed.data.value(Protocol::Reply::AuditFixed).toStringList();
        QVERIFY(!done.isEmpty());
        // sshd -T for every connection, and -C for one the row's blocks match.
        Configuration::Values values;
        Configuration::Values matched;
        QString error;
        QVERIFY2(Configuration(sandbox.paths).effectiveValues(ConfigType::Server, sandbox.paths.serverConfig, &values, &error), qPrintable(error));
        QVERIFY2(connection.isEmpty()
                     || Configuration(sandbox.paths).effectiveValues(ConfigType::Server, sandbox.paths.serverConfig, &matched, &error, connection),
                 qPrintable(error));
        const Reply after = engine.audit();
        QVERIFY2(after.ok, qPrintable(after.error));
        const QStringList remaining = idsOf(after.data.value(Protocol::Reply::Findings).toList());
        const QStringList left = skipped.split(QLatin1Char(';'));
        int inBlocks = 0;
        for (const QVariant &entry : before.data.value(Protocol::Reply::Findings).toList()) {
            const QVariantMap finding = entry.toMap();
            const QString id = finding.value(Protocol::Reply::FindingId).toString();
            const QString block = finding.value(Protocol::Reply::FindingBlock).toString();
            const QString key = block.isEmpty() ? id : QString(id + QLatin1Char('@') + block);
            const bool chosen = ids.isEmpty() || ids.contains(id);
            // Every chosen finding is fixed or said to be skipped, a block's in that block; nothing else is touched.
            QCOMPARE(done.contains(id) || left.contains(key), chosen);
            QCOMPARE(remaining.contains(key), !chosen || left.contains(key));
            const QByteArray keyword = finding.value(Protocol::Reply::FindingSubject).toString().toLower().toLatin1();
            const Configuration::Values &oracle = block.isEmpty() ? values : matched;
            if (chosen && !left.contains(key) && oracle.contains(keyword)) {
                QCOMPARE(QString::fromUtf8(oracle.value(keyword).value(0)).toLower(), finding.value(Protocol::Reply::FindingRecommended).toString().toLower());
                inBlocks += block.isEmpty() ? 0 : 1;
            }
        }
        QCOMPARE(inBlocks > 0, !connection.isEmpty());
        // The copy of the main file's last working state is tightened with it.
        if (done.contains(QStringLiteral("sshd-config-mode"))) {
            for (const QString &file : {sandbox.paths.serverConfig, sandbox.paths.serverBackup}) {
                QCOMPARE(QFileInfo(file).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
            }
        }
    }

    // The dry run of a block operation in a session warns of what it would stop, as sshd -T -C for the session then says.
    void blockReviewLockouts_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QString>("lockouts"); // kinds
        QTest::newRow("the session's user") << QStringLiteral("User other") << QStringLiteral("authentication");
        QTest::newRow("the session's address") << QStringLiteral("Address 192.0.2.0/24") << QStringLiteral("authentication");
        QTest::newRow("another user") << QStringLiteral("User tester") << QString();
        QTest::newRow("another network") << QStringLiteral("Address 198.51.100.0/24") << QString();
    }

    void blockReviewLockouts()
    {
        QFETCH(QString, criteria);
        QFETCH(QString, lockouts);
        TestSandbox sandbox;
        sandbox.paths.lookupPassword = [](const UserAccount &) {
            return QByteArray("$6$s$h");
        };
        Engine engine(sandbox.paths);
        Engine::Transaction transaction;
        transaction.changes = {{QStringLiteral("PasswordAuthentication"), false}};
        transaction.block = {QStringLiteral("add"), 0, criteria, QString()};
        transaction.dryRun = true;
        transaction.session = QStringLiteral("192.0.2.10 50022 192.0.2.2 22");
        transaction.caller = TestSandbox::OtherUid;
        const Reply review = engine.applyTransaction(ConfigType::Server, transaction);
        QVERIFY2(review.ok, qPrintable(review.error));
        QStringList kinds;
        for (const QVariant &lockout : review.data.value(SSHSettings::Protocol::Reply::Lockouts).toList()) {
            kinds.append(lockout.toMap().value(SSHSettings::Protocol::Reply::LockoutKind).toString());
        }
        QCOMPARE(kinds.join(QLatin1Char(' ')), lockouts);
        transaction.dryRun = false;
        QVERIFY(engine.applyTransaction(ConfigType::Server, transaction).ok);
        const ProgramResult sshd = sshdDump(sandbox, QStringLiteral("user=other,addr=192.0.2.10,host=192.0.2.10,laddr=192.0.2.2,lport=22"));
        QCOMPARE(sshd.standardOutput.contains("\npasswordauthentication no\n"), !lockouts.isEmpty());
    }

    void invalidConfigurationIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("brokenFile");
        QTest::newRow("drop-in") << QStringLiteral("etc/ssh/sshd_config.d/99-typo.conf");
        QTest::newRow("main file") << QStringLiteral("etc/ssh/sshd_config");
    }

    void invalidConfigurationIsNeverReplaced()
    {
        QFETCH(QString, brokenFile);
        TestSandbox sandbox;
        Engine engine(sandbox.paths);
        const QByteArray working = sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("UseDNS"), true).ok);
        // Then broken by hand: any change must leave every file as it is.
        sandbox.write(brokenFile, "PermitRootLogin maybe\n" + sandbox.read(brokenFile));
        const auto before = sandbox.snapshot();
        const auto inode = [&sandbox] {
            struct stat status = {};
            return ::stat(QFile::encodeName(sandbox.paths.serverConfig).constData(), &status) == 0 ? status.st_ino : ino_t(0);
        };
        const ino_t original = inode();
        const Reply reply = engine.changeOption(ConfigType::Server, QStringLiteral("Port"), QStringLiteral("2222"));
        QVERIFY(!reply.ok);
        QVERIFY2(reply.error.contains(sandbox.path(brokenFile)), qPrintable(reply.error));
        QCOMPARE(sandbox.snapshot(), before);
        // Refused before any rename: the old file was never replaced, not even for a moment.
        QCOMPARE(inode(), original);
        // The change that mends it is made, but the backup stays the last configuration that worked.
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("PermitRootLogin"), QStringLiteral("no")).ok);
        QCOMPARE(sandbox.read(QStringLiteral("etc/ssh/sshd_config.bak")), working);
    }

    void backupsAndRestore()
    {
        TestSandbox sandbox;
        const QByteArray original = sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
        const QString dropin = QStringLiteral("etc/ssh/sshd_config.d/50-local.conf");
        sandbox.write(dropin, "PasswordAuthentication no\n");
        Engine engine(sandbox.paths);
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("Port"), QStringLiteral("2222")).ok);
        QCOMPARE(sandbox.read(QStringLiteral("etc/ssh/sshd_config.bak")), original);
        const QByteArray second = sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
        // A change in a drop-in: the whole configuration before it is the backup set.
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("PasswordAuthentication"), true).ok);
        QCOMPARE(sandbox.read(dropin), QByteArray("PasswordAuthentication yes\n"));
        QCOMPARE(sandbox.read(QStringLiteral("etc/ssh/sshd_config.bak")), second);
        QCOMPARE(QFileInfo(sandbox.paths.backupDir).permissions() & QFileDevice::ReadOther, 0);
        QVERIFY(!QFileInfo(sandbox.paths.backupDir).absoluteFilePath().startsWith(sandbox.path(QStringLiteral("etc"))));

        // Restore works, and puts back the drop-in too, when sshd_config is missing.
        QVERIFY(QFile::remove(sandbox.paths.serverConfig));
        const Reply restored = engine.restore(ConfigType::Server, true);
        QVERIFY2(restored.ok, qPrintable(restored.error));
        QCOMPARE(sandbox.read(QStringLiteral("etc/ssh/sshd_config")), second);
        QCOMPARE(sandbox.read(dropin), QByteArray("PasswordAuthentication no\n"));

        // Each restore keeps what it replaced; only the newest few are kept.
        for (int i = 0; i < ConfigBackups::KeptReplaced + 2; ++i) {
            const bool fromBackup = i % 2 == 1;
            const Reply reply = engine.restore(ConfigType::Server, fromBackup);
            QVERIFY2(reply.ok, qPrintable(reply.error));
            QCOMPARE(sandbox.read(QStringLiteral("etc/ssh/sshd_config")), fromBackup ? second : original);
            QVERIFY(QFile::exists(reply.data.value(SSHSettings::Protocol::Reply::Previous).toString() + QLatin1String("/sshd_config")));
        }
        const QStringList kept = QDir(sandbox.paths.backupDir).entryList({QStringLiteral("server-replaced-*")}, QDir::Dirs);
        QCOMPARE(kept.size(), ConfigBackups::KeptReplaced);
    }

    // A set replaced again and again, on a plain folder and on overlay mounts (where a set of the
    // lower layer can be neither exchanged nor renamed): always the newest, nothing left beside it.
    void backupReplacement_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::newRow("plain folder") << QString();
        QTest::newRow("overlay, set made on it") << QStringLiteral("overlay");
        QTest::newRow("overlay, set in the lower layer") << QStringLiteral("lower");
    }

    void backupReplacement()
    {
        QFETCH(QString, layout);
        QTemporaryDir dir;
        const QString merged = dir.path() + QLatin1String("/merged");
        QString folder = dir.path() + QLatin1String("/backups");
        const auto set = [](int n) {
            return QList<SavedFile>{{QStringLiteral("/etc/ssh/sshd_config"), "Port " + QByteArray::number(2200 + n) + '\n', 0600, 0, 0}};
        };
        QString error;
        if (!layout.isEmpty()) {
            if (geteuid() != 0) {
                QSKIP("mounting an overlay needs root");
            }
            for (const char *part : {"lower", "upper", "work", "merged"}) {
                QVERIFY(QDir().mkpath(dir.path() + QLatin1Char('/') + QLatin1String(part)));
            }
            if (layout == QLatin1String("lower")) {
                QVERIFY2(ConfigBackups(dir.path() + QLatin1String("/lower/backups")).save(QStringLiteral("server"), set(0), &error), qPrintable(error));
            }
            const QByteArray options = QFile::encodeName(QStringLiteral("lowerdir=%1/lower,upperdir=%1/upper,workdir=%1/work").arg(dir.path()));
            if (::mount("overlay", QFile::encodeName(merged).constData(), "overlay", 0, options.constData()) != 0) {
                QSKIP(qPrintable(QStringLiteral("cannot mount an overlay here: %1").arg(QString::fromLocal8Bit(strerror(errno)))));
            }
            folder = merged + QLatin1String("/backups");
        }
        const auto unmount = qScopeGuard([&] {
            ::umount2(QFile::encodeName(merged).constData(), MNT_DETACH);
        });
        const ConfigBackups backups(folder);
        for (int n = 1; n <= 3; ++n) {
            QVERIFY2(backups.save(QStringLiteral("server"), set(n), &error), qPrintable(error));
            QList<SavedFile> loaded;
            Refusal refusal;
            QVERIFY2(backups.load(QStringLiteral("server"), &loaded, &refusal), qPrintable(refusal.text()));
            QCOMPARE(loaded.size(), 1);
            QCOMPARE(loaded.constFirst().contents, set(n).constFirst().contents);
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{QStringLiteral("server")});
        }
    }

    // A set that names files outside the configuration, links, folders of users or unsafe modes:
    // the whole restore is refused with the reason, and nothing in the tree changes.
    void restoreTrustsNothing_data()
    {
        QTest::addColumn<QString>("attack");
        QTest::addColumn<int>("mode"); ///< of the drop-in in the set
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *attack, int mode, const char *reason) {
            QTest::newRow(attack) << QString::fromLatin1(attack) << mode << QString::fromLatin1(reason);
        };
        row("included folder of another user", 0644, "is owned by another user");
        row("included file swapped for a link", 0644, "is owned by another user");
        row("folder on the way is a link", 0644, "is a symbolic link or no folder");
        row("drop-in linked into a folder of another user", 0644, "is owned by another user");
        row("drop-in link in a folder others may write", 0644, "is a link in a folder others may write");
        row("planted manifest entry", 0644, "etc/planted-by-set is not a file of the server configuration");
        row("setuid", 04755, "would get mode 4755");
        row("setgid", 02644, "would get mode 2644");
        row("sticky", 01644, "would get mode 1644");
        row("stored name is a link", 0644, "is a symbolic link");
        row("stored name outside the set", 0644, "is damaged");
    }

    void restoreTrustsNothing()
    {
        QFETCH(QString, attack);
        QFETCH(int, mode);
        QFETCH(QString, reason);
        if (geteuid() != 0) {
            QSKIP("a folder of another user needs root");
        }
        TestSandbox sandbox;
        const QByteArray root = QFile::encodeName(sandbox.root());
        const QString users = sandbox.path(QStringLiteral("home/other/conf"));
        QVERIFY(QDir().mkpath(users) && QDir().mkpath(sandbox.path(QStringLiteral("etc/sudoers.d"))) && QDir().mkpath(sandbox.path(QStringLiteral("outside"))));
        QVERIFY(::chown(QFile::encodeName(users).constData(), TestSandbox::OtherUid, TestSandbox::OtherUid) == 0);
        sandbox.write(QStringLiteral("etc/sudoers.d/README"), "# rules\n");
        const auto link = [&sandbox](const char *target, const char *name) {
            QVERIFY(QFile::link(sandbox.path(QLatin1String(target)), sandbox.path(QLatin1String(name))));
        };
        // The drop-in the set puts back, where each attack places it; the configuration names it.
        QString dropin = QStringLiteral("etc/ssh/sshd_config.d/10.conf");
        QByteArray include;
        if (attack.startsWith(QLatin1String("included"))) {
            dropin = QStringLiteral("home/other/conf/10.conf");
            include = "Include " + root + "/home/other/conf/*.conf\n";
        } else if (attack == QLatin1String("folder on the way is a link")) {
            link("outside", "etc/ssh/conf.d");
            dropin = QStringLiteral("etc/ssh/conf.d/10.conf");
            include = "Include " + root + "/etc/ssh/conf.d/*.conf\n";
        } else if (attack == QLatin1String("drop-in linked into a folder of another user")) {
            link("home/other/conf/10.conf", "etc/ssh/sshd_config.d/10.conf");
            dropin = QStringLiteral("home/other/conf/10.conf");
        } else if (attack == QLatin1String("drop-in link in a folder others may write")) {
            link("outside/10.conf", "etc/ssh/sshd_config.d/10.conf");
            QVERIFY(::chmod(QFile::encodeName(sandbox.path(QStringLiteral("etc/ssh/sshd_config.d"))).constData(), 01777) == 0);
            dropin = QStringLiteral("outside/10.conf");
        }
        const QByteArray main = include + sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
        sandbox.write(QStringLiteral("etc/ssh/sshd_config"), main + "MaxSessions 3\n");
        sandbox.write(dropin, "PermitTunnel no\n");
        if (attack.startsWith(QLatin1String("drop-in link"))) {
            dropin = QStringLiteral("etc/ssh/sshd_config.d/10.conf");
        }
        QList<SavedFile> set = {{sandbox.paths.serverConfig, main, 0644, 0, 0}, {sandbox.path(dropin), "PermitTunnel yes\n", mode_t(mode), 0, 0}};
        if (attack == QLatin1String("planted manifest entry")) {
            set.append({sandbox.path(QStringLiteral("etc/planted-by-set")), "PermitTunnel yes\n", 0644, 0, 0});
        }
        QString error;
        QVERIFY2(ConfigBackups(sandbox.paths.backupDir).save(QStringLiteral("server"), set, &error), qPrintable(error));
        const QString stored = sandbox.paths.backupDir + QLatin1String("/server/10.conf");
        if (attack == QLatin1String("included file swapped for a link")) {
            QVERIFY(QFile::remove(sandbox.path(dropin)));
            link("etc/sudoers.d/README", "home/other/conf/10.conf");
        } else if (attack == QLatin1String("stored name is a link")) {
            QVERIFY(QFile::remove(stored) && QFile::link(sandbox.path(QStringLiteral("etc/sudoers.d/README")), stored));
        } else if (attack == QLatin1String("stored name outside the set")) {
            const QString manifest = QStringLiteral("var/backups/ssh-settings/server/manifest");
            sandbox.write(manifest, sandbox.read(manifest).replace(" 10.conf ", " %2E%2E ")); // ".."
        }
        const auto before = sandbox.snapshot();
        Engine engine(sandbox.paths);
        const Reply reply = engine.restore(ConfigType::Server, true);
        QVERIFY(!reply.ok);
        QVERIFY2(reply.error.contains(reason), qPrintable(reply.error));
        // Nothing restored, for a reason of its own: a file's mode, place or way there, a damaged set (or a link in it).
        QCOMPARE(reply.refusal().code, QStringLiteral("nothing_restored"));
        QVERIFY2(QStringList({QStringLiteral("unsafe_mode"),
                              QStringLiteral("not_config_file"),
                              QStringLiteral("unsafe_write"),
                              QStringLiteral("backup_damaged"),
                              QStringLiteral("failed")})
                     .contains(reply.refusal().arguments.value(0)),
                 qPrintable(reply.refusal().arguments.join(QLatin1Char(' '))));
        QCOMPARE(sandbox.snapshot(), before);
    }

    void writesKeepOwnerModeAndLinks()
    {
        if (geteuid() != 0) {
            QSKIP("giving a file to another owner needs root");
        }
        TestSandbox sandbox;
        const QByteArray path = QFile::encodeName(sandbox.paths.serverConfig);
        QVERIFY(::chmod(path.constData(), 0600) == 0);
        QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        // sshd records the mode of every file it checks.
        const QString log = sandbox.path(QStringLiteral("modes"));
        wrapSshd(sandbox, "for a; do [ -f \"$a\" ] && stat -c %a \"$a\" >> " + QFile::encodeName(log) + "; done");
        Engine engine(sandbox.paths);
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("UseDNS"), true).ok);
        struct stat st {
        };
        QVERIFY(::stat(path.constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
        QCOMPARE(int(st.st_uid), 65534);
        QCOMPARE(int(st.st_gid), 65534);
        QVERIFY(sandbox.read(QStringLiteral("etc/ssh/sshd_config")).contains("\nUseDNS yes\n"));
        // The candidate checked before the main file was replaced had its mode too.
        QVERIFY2(!sandbox.read(QStringLiteral("modes")).contains("644"), sandbox.read(QStringLiteral("modes")).constData());

        // A drop-in that is a link is edited through its target, also when the change is refused.
        sandbox.write(QStringLiteral("keys/20-real.conf"), "PermitTunnel no\nListenAddress 127.0.0.1:22\n");
        const QString link = sandbox.path(QStringLiteral("etc/ssh/sshd_config.d/20-link.conf"));
        QVERIFY(QFile::link(sandbox.path(QStringLiteral("keys/20-real.conf")), link));
        QVERIFY(engine.changeOption(ConfigType::Server, QStringLiteral("PermitTunnel"), QStringLiteral("yes")).ok);
        QCOMPARE(sandbox.read(QStringLiteral("keys/20-real.conf")), QByteArray("PermitTunnel yes\nListenAddress 127.0.0.1:22\n"));
    }

    void failedRollbackIsReported()
    {
        // The drop-in's folder vanishes while sshd reads back a change that is then refused.
        TestSandbox sandbox;
        QDir().mkpath(sandbox.path(QStringLiteral("conf")));
        sandbox.write(QStringLiteral("conf/20.conf"), "ListenAddress 127.0.0.1:22\n");
        QVERIFY(QFile::link(sandbox.path(QStringLiteral("conf/20.conf")), sandbox.path(QStringLiteral("etc/ssh/sshd_config.d/20-link.conf"))));
        const QByteArray conf = QFile::encodeName(sandbox.path(QStringLiteral("conf")));
        wrapSshd(sandbox, "[ \"$1\" != -T ] || { mv " + conf + ' ' + conf + ".gone; touch " + conf + "; }");
        Engine engine(sandbox.paths);
        const Reply reply = engine.changeOption(ConfigType::Server, QStringLiteral("ListenAddress"), QStringList{QStringLiteral("127.0.0.1:2222")});
        QVERIFY(!reply.ok);
        QVERIFY2(reply.error.contains(QLatin1String("20-link.conf could not be put back")), qPrintable(reply.error));
    }

    void serviceCommands_data()
    {
        QTest::addColumn<bool>("systemd");
        QTest::addColumn<bool>("validConfig");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("called");

        QTest::addColumn<QString>("units"); // what the stand-in systemctl knows: loaded services, active sockets

        QTest::newRow("init script start") << false << true << "start" << true << QByteArray("init start\n") << "";
        QTest::newRow("init script stop") << false << true << "stop" << true << QByteArray("init stop\n") << "";
        QTest::newRow("Debian restart") << true << true << "restart" << true << QByteArray("systemctl restart ssh.service\n") << "ssh.service";
        QTest::newRow("sshd.service elsewhere") << true << true << "restart" << true << QByteArray("systemctl restart sshd.service\n") << "sshd.service";
        QTest::newRow("socket activated") << true << true << "stop" << true << QByteArray("systemctl stop ssh.socket\n") << "ssh.service ssh.socket";
        // The socket's ports come from sshd_config through systemd's generator; the service holds the old ones.
        QTest::newRow("socket activated restart") << true << true << "restart" << true
                                                  << QByteArray("systemctl daemon-reload\nsystemctl restart ssh.socket\nsystemctl restart ssh.service\n")
                                                  << "ssh.service ssh.socket";
        QTest::newRow("socket activated, no service running")
            << true << true << "restart" << true << QByteArray("systemctl daemon-reload\nsystemctl restart sshd.socket\n") << "sshd.socket";
        QTest::newRow("no start on broken config") << false << false << "start" << false << QByteArray() << "";
        QTest::newRow("no restart on broken config") << true << false << "restart" << false << QByteArray() << "ssh.service";
        QTest::newRow("stop works on broken config") << true << false << "stop" << true << QByteArray("systemctl stop ssh.service\n") << "ssh.service";
    }

    void serviceCommands()
    {
        QFETCH(bool, systemd);
        QFETCH(bool, validConfig);
        QFETCH(QString, command);
        QFETCH(bool, ok);
        QFETCH(QByteArray, called);
        QFETCH(QString, units);

        TestSandbox sandbox;
        recordPrograms(sandbox, systemd, units.toLatin1());
        if (!validConfig) {
            sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/bad.conf"), "NoSuchKeyword yes\n");
        }
        Engine engine(sandbox.paths);
        QCOMPARE(engine.serviceCommand(command).ok, ok);
        QCOMPARE(sandbox.read(QStringLiteral("calls")), called);
    }

    // Every Port line is replaced, so exactly the ports asked for are in force; an address without
    // a port of its own is written without one and listens on every Port, also on those set later.
    void portsTakeEffect_data()
    {
        QTest::addColumn<QVariantList>("steps"); // transactions, one after the other
        QTest::addColumn<QString>("ports"); // sshd -T afterwards
        QTest::addColumn<QString>("listen"); // sshd -T afterwards, sorted
        QTest::addColumn<QByteArray>("written"); // in the main file or the drop-in afterwards
        QTest::addColumn<QString>("read"); // ListenAddress as the page reads it afterwards; empty: sshd's wildcards
        const auto step = [](const char *keyword, const QVariant &value) {
            return QVariantMap{{QLatin1String(keyword), value}};
        };
        const auto l = [](const char *words) {
            return QVariant(QString::fromLatin1(words).split(QLatin1Char(' ')));
        };
        const QVariantMap port2222 = step("Port", QStringLiteral("2222"));
        QTest::newRow("two Port lines, one in a drop-in") << QVariantList{port2222} << "2222"
                                                          << "0.0.0.0:2222 [::]:2222" << QByteArray("\nPort 2222\n") << "";
        QTest::newRow("several ports") << QVariantList{step("Port", QStringLiteral("2222 2223"))} << "2222 2223"
                                       << "0.0.0.0:2222 0.0.0.0:2223 [::]:2222 [::]:2223" << QByteArray("\nPort 2222\nPort 2223\n") << "";
        QTest::newRow("address without port follows a later Port")
            << QVariantList{step("ListenAddress", l("127.0.0.1 [::1]")), port2222} << "2222"
            << "127.0.0.1:2222 [::1]:2222" << QByteArray("\nListenAddress 127.0.0.1\nListenAddress ::1\n") << "127.0.0.1 [::1]";
        QTest::newRow("own port stays") << QVariantList{step("ListenAddress", l("127.0.0.1:2200 ::1")), port2222} << "2222"
                                        << "127.0.0.1:2200 [::1]:2222" << QByteArray("\nListenAddress 127.0.0.1:2200\nListenAddress ::1\n")
                                        << "127.0.0.1:2200 [::1]";
        QVariantMap together = step("Port", QStringLiteral("2201 2202"));
        together.insert(QStringLiteral("ListenAddress"), l("127.0.0.1"));
        QTest::newRow("address and ports together") << QVariantList{together} << "2201 2202"
                                                    << "127.0.0.1:2201 127.0.0.1:2202" << QByteArray("\nListenAddress 127.0.0.1\n") << "127.0.0.1";
    }

    void portsTakeEffect()
    {
        QFETCH(QVariantList, steps);
        QFETCH(QString, ports);
        QFETCH(QString, listen);
        QFETCH(QByteArray, written);
        QFETCH(QString, read);
        TestSandbox sandbox;
        sandbox.write(QStringLiteral("etc/ssh/sshd_config"), sandbox.read(QStringLiteral("etc/ssh/sshd_config")).replace("#Port 22\n", "Port 22\n"));
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"), "Port 2200\n");
        Engine engine(sandbox.paths);
        for (const QVariant &step : std::as_const(steps)) {
            const Reply reply = engine.applyTransaction(ConfigType::Server, transactionOf(step.toMap()));
            QVERIFY2(reply.ok, qPrintable(reply.error));
        }
        Configuration::Values values;
        QString error;
        QVERIFY2(Configuration(sandbox.paths).effectiveValues(ConfigType::Server, sandbox.paths.serverConfig, &values, &error), qPrintable(error));
        QCOMPARE(values.value("port").join(' '), ports.toLatin1());
        QList<QByteArray> sockets = values.value("listenaddress");
        std::sort(sockets.begin(), sockets.end());
        QCOMPARE(sockets.join(' '), listen.toLatin1());
        const QByteArray files = sandbox.read(QStringLiteral("etc/ssh/sshd_config")) + sandbox.read(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"));
        QVERIFY2(files.contains(written), files.constData());
        const Reply reply = engine.readOptions(ConfigType::Server, {QStringLiteral("ListenAddress")});
        QVERIFY2(reply.ok, qPrintable(reply.error));
        if (!read.isEmpty()) {
            QCOMPARE(reply.data.value(QStringLiteral("listenaddress")).toStringList(), read.split(QLatin1Char(' ')));
        }
    }

    // After a restart every socket of the new configuration is asked for its SSH banner (a
    // wildcard address on loopback); those that do not answer are in the reply, after a bounded wait.
    void restartProbesEverySocket_data()
    {
        QTest::addColumn<bool>("closedPort");
        QTest::addColumn<int>("totalMs");
        QTest::newRow("every socket answers: no waiting") << false << 60000;
        QTest::newRow("a closed port is reported") << true << 300;
    }

    void restartProbesEverySocket()
    {
        QFETCH(bool, closedPort);
        QFETCH(int, totalMs);
        BannerServer server;
        const quint16 port = server.listen();
        QVERIFY(port > 0);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedNumber = closed.serverPort();
        closed.close();
        TestSandbox sandbox;
        recordPrograms(sandbox, false);
        sandbox.paths.probeTotalMs = totalMs;
        QByteArray dropin = "Port " + QByteArray::number(port) + "\nListenAddress 0.0.0.0\n";
        if (closedPort) {
            dropin += "ListenAddress 127.0.0.1:" + QByteArray::number(closedNumber) + '\n';
        }
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"), dropin);
        Engine engine(sandbox.paths);
        const QStringList expected = closedPort ? QStringList{QStringLiteral("127.0.0.1 %1").arg(closedNumber)} : QStringList();
        QElapsedTimer timer;
        timer.start();
        const Reply restarted = engine.serviceCommand(QStringLiteral("restart"));
        QVERIFY2(restarted.ok, qPrintable(restarted.error));
        QCOMPARE(restarted.data.value(SSHSettings::Protocol::Reply::Unanswered).toStringList(), expected);
        QVERIFY(timer.elapsed() >= (closedPort ? totalMs : 0) && timer.elapsed() < 10000);
        // A change with a restart gives the same answer in its reply.
        Engine::Transaction transaction;
        transaction.changes = {{QStringLiteral("MaxSessions"), QStringLiteral("7")}};
        transaction.restart = true;
        const Reply applied = engine.applyTransaction(ConfigType::Server, transaction);
        QVERIFY2(applied.ok && applied.data.value(SSHSettings::Protocol::Reply::Restarts).toBool(), qPrintable(applied.error));
        QCOMPARE(applied.data.value(SSHSettings::Protocol::Reply::Unanswered).toStringList(), expected);
    }

    // How often one request runs sshd: `sshd -t` once on the candidate and once before a restart, `sshd -T`
    // once, for the read-back that verifies the change, probes the restarted sockets and answers the page.
    // Words of a request: "dry" run, in a "session"; "restart"; "read" back the changed keywords; "reviewed"
    // with the base of a dry run, a drop-in "added" since; the "first" change (else one was made before).
    void programRunsPerRequest_data()
    {
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArray>("runs"); // sshd's first argument of each run, sorted
        QTest::addColumn<QString>("refusal"); // the start of the reason; empty: accepted
        const QVariantMap mainFile = {{QStringLiteral("MaxSessions"), QStringLiteral("7")}};
        const QVariantMap dropin = {{QStringLiteral("PasswordAuthentication"), true}};
        const QVariantMap none = {{QStringLiteral("PasswordAuthentication"), false}};
        QTest::newRow("dry run") << mainFile << "dry" << QByteArray() << "";
        QTest::newRow("review in a session") << mainFile << "dry session" << QByteArray("-T -T") << "";
        QTest::newRow("apply") << mainFile << "" << QByteArray("-T -t") << "";
        QTest::newRow("apply restart") << mainFile << "restart" << QByteArray("-T -t -t") << "";
        QTest::newRow("apply restart, a drop-in") << dropin << "restart" << QByteArray("-T -t -t") << "";
        QTest::newRow("apply restart, read back") << mainFile << "restart read" << QByteArray("-T -V -t -t") << "";
        QTest::newRow("apply of nothing new, read back") << none << "restart read" << QByteArray("-T -V") << "";
        // Every keyword of the table in one read: still one sshd -T.
        QTest::newRow("read of every keyword") << QVariantMap() << "every" << QByteArray("-T -V") << "";
        QTest::newRow("apply reviewed") << mainFile << "restart reviewed" << QByteArray("-T -t -t") << "";
        QTest::newRow("apply reviewed, a drop-in added since")
            << mainFile << "restart reviewed added" << QByteArray() << QString(SSHSettings::Protocol::ChangedSinceReview);
        // The configuration as found is checked once more: the backup keeps it only if it works.
        QTest::newRow("first apply restart") << mainFile << "restart first" << QByteArray("-T -t -t -t") << "";
        // So it is after sshd changed: the new one may refuse what the old one accepted.
        QTest::newRow("apply restart, sshd replaced") << mainFile << "restart replaced" << QByteArray("-T -t -t -t") << "";
    }

    void programRunsPerRequest()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(QString, request);
        QFETCH(QByteArray, runs);
        QFETCH(QString, refusal);
        const QStringList words = request.split(QLatin1Char(' '));
        TestSandbox sandbox;
        recordPrograms(sandbox, false);
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-local.conf"), "PasswordAuthentication no\n");
        wrapSshd(sandbox, "echo \"$1\" >> " + QFile::encodeName(sandbox.path(QStringLiteral("runs"))));
        Engine counted(sandbox.paths);
        if (!words.contains(QLatin1String("first"))) {
            QVERIFY(counted.changeOption(ConfigType::Server, QStringLiteral("LoginGraceTime"), QStringLiteral("60")).ok);
            QVERIFY(QFile::remove(sandbox.path(QStringLiteral("runs"))));
        }
        if (words.contains(QLatin1String("replaced"))) {
            const QByteArray wrapper = sandbox.read(QStringLiteral("sshd"));
            QVERIFY(QFile::remove(sandbox.paths.sshd));
            executable(sandbox, "sshd", wrapper);
        }
        Engine::Transaction transaction = transactionOf(changes);
        if (words.contains(QLatin1String("reviewed"))) {
            transaction.dryRun = true;
            transaction.base = counted.applyTransaction(ConfigType::Server, transaction).data.value(SSHSettings::Protocol::Reply::Base).toString();
            QCOMPARE(transaction.base.size(), 64);
            if (words.contains(QLatin1String("added"))) {
                sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/60-new.conf"), "# new\n");
            }
        }
        transaction.dryRun = words.contains(QLatin1String("dry"));
        transaction.restart = words.contains(QLatin1String("restart"));
        if (words.contains(QLatin1String("session"))) {
            transaction.session = QStringLiteral("192.0.2.10 50022 192.0.2.2 22");
            transaction.caller = ::geteuid();
        }
        if (words.contains(QLatin1String("read"))) {
            transaction.readKeywords = changes.keys() + QStringList{QStringLiteral("ListenAddress")};
        }
        const Reply reply = words.contains(QLatin1String("every")) ? counted.readOptions(ConfigType::Server, everyServerKeyword())
                                                                   : counted.applyTransaction(ConfigType::Server, transaction);
        QList<QByteArray> ran = sandbox.read(QStringLiteral("runs")).split('\n');
        ran.removeAll(QByteArray());
        std::sort(ran.begin(), ran.end());
        QCOMPARE(ran.join(' '), runs);
        QVERIFY2(reply.ok ? refusal.isEmpty() : !refusal.isEmpty() && reply.error.startsWith(refusal), qPrintable(reply.error));
        QCOMPARE(reply.data.contains(QStringLiteral("listenaddress")), !transaction.readKeywords.isEmpty() || words.contains(QLatin1String("every")));
    }

    // Sequences of changes while others are pending. Steps: "arm KEYWORD VALUE SECONDS", "set KEYWORD VALUE",
    // "confirm N"/"revert N" (the token of the Nth change), "age SECONDS", "expired" (what a countdown and the
    // boot check run), "reboot" (a new engine; the countdown never ran), "tree" (a new engine for a tree of its own), "lock" (another writer holds the lock);
    // "!" before a step: it fails. MaxSessions is in the main file, PasswordAuthentication in a drop-in.
    void chains_data()
    {
        QTest::addColumn<bool>("systemd");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("state"); ///< the files are as they were after this many steps
        QTest::addColumn<QString>("pending"); ///< keywords of each pending change, "|" between changes
        const auto row = [](const char *name, bool systemd, const char *steps, int state, const char *pending) {
            QTest::newRow(name) << systemd << QString::fromLatin1(steps).split(QLatin1Char(';')) << state << QString::fromLatin1(pending);
        };
        const char *two = "arm PasswordAuthentication no 4;arm MaxSessions 7 8;";
        const auto afterTwo = [two](const char *rest) {
            return QByteArray(two).append(rest);
        };
        row("two armed, pending", true, two, 2, "PasswordAuthentication|MaxSessions");
        row("two armed, the first countdown is the chain's no longer", true, afterTwo("age 5;expired").constData(), 2, "PasswordAuthentication|MaxSessions");
        row("two armed, expired", false, afterTwo("age 5;expired;age 4;expired").constData(), 0, "");
        row("two armed, newest kept", true, afterTwo("confirm 1;age 9;expired").constData(), 2, "");
        row("two armed, oldest kept", false, afterTwo("confirm 0;age 9;expired").constData(), 2, "");
        row("three armed, reverted now", true, "arm MaxSessions 7 30;arm PasswordAuthentication no 30;arm Port 2222 30;revert 1", 0, "");
        row("three armed, kept too late", false, "arm MaxSessions 7 30;arm PasswordAuthentication no 30;arm Port 2222 5;age 5;!confirm 2", 0, "");
        row("armed in a tree, expired", false, "tree;arm MaxSessions 7 30;age 30;expired", 0, "");
        row("unarmed change joins", true, "arm MaxSessions 7 30;set PasswordAuthentication no", 2, "MaxSessions|PasswordAuthentication");
        row("unarmed change joins, expired", false, "arm MaxSessions 7 30;set PasswordAuthentication no;age 30;expired", 0, "");
        row("boot check after a killed countdown", false, "arm PasswordAuthentication no 30;reboot;age 31;expired", 0, "");
        row("boot check before the countdown ran out", true, "arm PasswordAuthentication no 30;reboot;age 10;expired", 1, "PasswordAuthentication");
        row("another writer holds the lock", false, "lock;!set MaxSessions 7", 0, "");
    }

    void chains()
    {
        QFETCH(bool, systemd);
        QFETCH(QStringList, steps);
        QFETCH(int, state);
        QFETCH(QString, pending);
        TestSandbox sandbox;
        recordPrograms(sandbox, systemd);
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/50-cloud-init.conf"), "PasswordAuthentication yes\n");
        qint64 now = QDateTime::fromString(QStringLiteral("2026-12-07T01:02:03Z"), Qt::ISODate).toMSecsSinceEpoch();
        sandbox.paths.clock = [&now] {
            return now;
        };
        sandbox.paths.writerWaitMs = 200;
        auto engine = std::make_unique<Engine>(sandbox.paths);
        const auto files = [&sandbox] {
            return sandbox.read(QStringLiteral("etc/ssh/sshd_config")) + '\0' + sandbox.read(QStringLiteral("etc/ssh/sshd_config.d/50-cloud-init.conf"));
        };
        QList<QByteArray> states = {files()};
        QStringList tokens;
        QStringList armed;
        std::optional<WriterLock> other;
        for (const QString &step : std::as_const(steps)) {
            const QStringList words = step.mid(step.startsWith(QLatin1Char('!'))).split(QLatin1Char(' '));
            const QString &verb = words.first();
            const auto before = sandbox.snapshot();
            Reply reply = Reply::success();
            QStringList done;
            if (verb == QLatin1String("arm") || verb == QLatin1String("set")) {
                Engine::Transaction transaction;
                transaction.changes = {{words.at(1), words.at(1) == QLatin1String("PasswordAuthentication") ? QVariant(false) : QVariant(words.at(2))}};
                transaction.revertAfter = words.value(3).toInt();
                reply = engine->applyTransaction(ConfigType::Server, transaction);
                QCOMPARE(reply.data.value(SSHSettings::Protocol::Reply::JoinedPending).toBool(), !tokens.isEmpty());
                tokens.append(reply.data.value(SSHSettings::Protocol::Reply::Token).toString());
                if (verb == QLatin1String("arm")) {
                    armed.append(tokens.last());
                }
            } else if (verb == QLatin1String("confirm") || verb == QLatin1String("revert")) {
                const QString &token = tokens.value(words.at(1).toInt());
                reply = verb == QLatin1String("confirm") ? engine->confirmChange(token) : engine->revertChange(token);
            } else if (verb == QLatin1String("age")) {
                now += words.at(1).toInt() * 1000;
            } else if (verb == QLatin1String("expired")) {
                reply = engine->revertExpired(&done);
            } else if (verb == QLatin1String("reboot") || verb == QLatin1String("tree")) {
                QFile calls(sandbox.path(QStringLiteral("calls")));
                QVERIFY(calls.open(QIODevice::Append) && calls.write(verb.toLatin1() + '\n') > 0);
                // A tree of its own (the tool's --root): no sshd of the system is restarted for it.
                sandbox.paths.serviceControl = verb == QLatin1String("reboot");
                engine = std::make_unique<Engine>(sandbox.paths);
            } else if (verb == QLatin1String("lock")) {
                other.emplace(sandbox.paths.backupDir, QStringLiteral("set UseDNS yes"), 0);
                QVERIFY(other->isHeld());
            }
            QVERIFY2(reply.ok != step.startsWith(QLatin1Char('!')), qPrintable(step + QLatin1String(": ") + reply.error));
            if (other && !reply.ok) {
                QVERIFY2(reply.error.startsWith(QLatin1String("another change of the SSH configuration is in progress: set UseDNS yes, by ")),
                         qPrintable(reply.error));
                QCOMPARE(sandbox.snapshot(), before);
            }
            states.append(files());
        }
        QCOMPARE(files(), states.at(state));
        QList<PendingChange> changes;
        QVERIFY(engine->pendingChanges(ConfigType::Server, &changes).ok);
        QStringList keywords;
        for (const PendingChange &change : std::as_const(changes)) {
            keywords.append(change.keywords.join(QLatin1Char(',')));
            // One countdown for the chain: the newest armed change's.
            QCOMPARE(change.revertAt, changes.last().revertAt);
        }
        QCOMPARE(keywords.join(QLatin1Char('|')), pending);
        if (!changes.isEmpty()) {
            const PendingChange &newest = *std::find_if(changes.crbegin(), changes.crend(), [](const PendingChange &change) {
                return change.seconds > 0;
            });
            QCOMPARE(changes.last().revertAt, newest.armedAt + newest.seconds * 1000);
            // What the administrator sees, from the files alone.
            QProcess tool;
            tool.start(QStringLiteral(SSH_SETTINGS_TOOL), {QStringLiteral("--root"), sandbox.root(), QStringLiteral("pending")});
            QVERIFY(tool.waitForFinished(10000));
            const QString time = QStringLiteral("\t2026-12-07T01:02:03Z\t2026-12-07T01:02:%1Z\t").arg(3 + newest.seconds, 2, 10, QLatin1Char('0'));
            QVERIFY2(tool.readAllStandardOutput().startsWith((changes.first().token + time + changes.first().keywords.first() + QLatin1Char('\n')).toLatin1()),
                     qPrintable(QString::fromLocal8Bit(tool.readAllStandardError())));
        }
        // Armed first: a countdown per armed change, each earlier timer stopped, before sshd restarted.
        const QByteArray calls = sandbox.read(QStringLiteral("calls"));
        for (const QString &token : std::as_const(armed)) {
            if (systemd) {
                QCOMPARE(calls.contains(QByteArray("systemctl stop ssh-settings-revert-" + token.toLatin1() + ".timer")),
                         token != armed.last() || changes.isEmpty());
            }
        }
        if (systemd && !armed.isEmpty()) {
            QVERIFY(calls.indexOf(QByteArray("systemd-run --unit=ssh-settings-revert-" + armed.first().toLatin1()))
                    < calls.indexOf("systemctl restart ssh.service"));
            // The timer died with the machine: the boot check arms it again for the time left.
            QCOMPARE(calls.count(QByteArray("systemd-run --unit=ssh-settings-revert-" + armed.last().toLatin1())),
                     steps.contains(QLatin1String("reboot")) && !changes.isEmpty() ? 2 : 1);
            QCOMPARE(calls.contains("--on-active=20 "), steps.contains(QLatin1String("reboot")) && !changes.isEmpty());
        } else if (!systemd) {
            QTRY_COMPARE(sandbox.read(QStringLiteral("calls")).count("tool revert --expired --delay "), armed.size());
        }
        QCOMPARE(calls.contains(" restart"), !armed.isEmpty() && !steps.contains(QLatin1String("tree")));
        QCOMPARE(QFileInfo(sandbox.paths.backupDir + QLatin1String("/pending")).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
        const QByteArray log = sandbox.read(QStringLiteral("var/backups/ssh-settings/pending/log"));
        QCOMPARE(log.contains(" reverted ("), !armed.isEmpty() && state == 0);
        QCOMPARE(log.contains(" kept\n"), steps.join(QLatin1Char(';')).contains(QLatin1String(";confirm")));
    }

    // Every name `ssh -Q` lists for an algorithm keyword is accepted, alone or after +, - or ^; no other name is.
    void algorithmsOfThisOpenSsh()
    {
        TestSandbox sandbox;
        const OptionCatalog::Installed installed = Configuration(sandbox.paths).installed(ConfigType::Server);
        QVERIFY(installed.version >= 804);
        for (const ConfigType type : {ConfigType::Server, ConfigType::Client}) {
            for (const OptionCatalog::Option &option : OptionCatalog::options(type)) {
                if (option.kind != OptionCatalog::ValueKind::Algorithms) {
                    continue;
                }
                const QStringList names = installed.algorithms.value(option.values);
                QVERIFY2(names.size() > 2, qPrintable(option.values));
                OptionCatalog::CheckedValue checked;
                Refusal error;
                for (const QString &prefix : {QString(), QStringLiteral("+"), QStringLiteral("-"), QStringLiteral("^")}) {
                    QVERIFY2(OptionCatalog::checkValue(option, QString(prefix + names.join(QLatin1Char(','))), &checked, &error, installed),
                             qPrintable(error.text()));
                    QCOMPARE(checked.lines, QList<QByteArray>{(prefix + names.join(QLatin1Char(','))).toLatin1()});
                }
                QVERIFY(!OptionCatalog::checkValue(option, QString(names.first() + QStringLiteral("-unknown")), &checked, &error, installed));
                QCOMPARE(error.code, QStringLiteral("unsupported_algorithm"));
                QCOMPARE(error.arguments, (QStringList{option.keyword, names.first() + QStringLiteral("-unknown"), option.values}));
            }
        }
    }

    // `keywords` lists every keyword sshd -T (ssh -G) prints; `unset` removes a keyword's lines, sshd -T the judge.
    void toolKeywords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("keyword"); // set in the sandbox, then unset
        QTest::addColumn<QString>("file"); // where it is set
        QTest::addColumn<QByteArray>("line"); // added unless there; unset removes its lines but comments, the Match block's stay
        QTest::addColumn<QByteArray>("after"); // what sshd -T / ssh -G then print
        QTest::addColumn<QByteArray>("refusal"); // what unset says when it refuses, writing nothing
        QTest::newRow("server") << int(ConfigType::Server) << QStringLiteral("X11Forwarding") << QStringLiteral("etc/ssh/sshd_config")
                                << QByteArray("X11Forwarding yes\n") << QByteArray("no") << QByteArray();
        QTest::newRow("client") << int(ConfigType::Client) << QStringLiteral("HashKnownHosts") << QStringLiteral("etc/ssh/ssh_config.d/10-hash.conf")
                                << QByteArray("# hashed\nHashKnownHosts yes\n") << QByteArray("no") << QByteArray();
        // Every Subsystem line outside blocks goes, the main file's sftp line too: no subsystem is left.
        QTest::newRow("every subsystem") << int(ConfigType::Server) << QStringLiteral("Subsystem") << QStringLiteral("etc/ssh/sshd_config.d/30-sub.conf")
                                         << QByteArray("Subsystem other /bin/true\n") << QByteArray() << QByteArray();
        // A line under an older name is the keyword's: its origin, and unset removes it with the main file's line.
        QTest::newRow("older name") << int(ConfigType::Server) << QStringLiteral("KbdInteractiveAuthentication")
                                    << QStringLiteral("etc/ssh/sshd_config.d/20-old.conf") << QByteArray("ChallengeResponseAuthentication no\n")
                                    << QByteArray("yes") << QByteArray();
        // Debian's `Host *` block keeps SendEnv in force for every host: unset would report a change ssh does not make.
        QTest::newRow("client, Host *") << int(ConfigType::Client) << QStringLiteral("SendEnv") << QStringLiteral("etc/ssh/ssh_config")
                                        << QByteArray("    SendEnv LANG LC_*\n") << QByteArray("LANG")
                                        << QByteArray("SendEnv stays in force for every connection from @FILE@:5, inside \"Host *\"");
    }

    void toolKeywords()
    {
        QFETCH(int, type);
        QFETCH(QString, keyword);
        QFETCH(QString, file);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, refusal);
        TestSandbox sandbox;
        if (!sandbox.read(file).contains(line)) {
            sandbox.write(file, sandbox.read(file) + line);
        }
        const QStringList client = type == int(ConfigType::Client) ? QStringList{QStringLiteral("--client")} : QStringList();
        const auto tool = [&sandbox, &client](const QStringList &arguments) {
            QProcess process;
            process.start(QStringLiteral(SSH_SETTINGS_TOOL), QStringList{QStringLiteral("--root"), sandbox.root()} + client + arguments);
            process.waitForFinished(30000);
            return process.exitCode() == 0 ? process.readAllStandardOutput() : "failed: " + process.readAllStandardError();
        };
        QHash<QByteArray, QList<QByteArray>> listed;
        for (const QByteArray &row : tool({QStringLiteral("keywords")}).split('\n')) {
            const QList<QByteArray> fields = row.split('\t');
            QVERIFY2(fields.size() == 4 || row.isEmpty(), row.constData());
            listed.insert(fields.first().toLower(), fields.mid(1));
        }
        const QString config = type == int(ConfigType::Client) ? sandbox.paths.clientConfig : sandbox.paths.serverConfig;
        const Engine engine(sandbox.paths); // with the account look-ups ssh -G runs under
        const Configuration configuration(engine.paths());
        Configuration::Values values;
        QString error;
        QVERIFY2(configuration.effectiveValues(ConfigType(type), config, &values, &error), qPrintable(error));
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            // ssh -G also prints the Host it evaluated, which opens a block and is no setting.
            QVERIFY2(listed.contains(it.key().toLower()) || it.key() == "host", it.key().constData());
        }
        const QList<QByteArray> row = listed.value(keyword.toLower().toLatin1());
        // Subsystem's origin is the sftp line, the main file's here.
        QVERIFY2(row.value(2).startsWith(
                     QByteArray(QFile::encodeName(sandbox.path(keyword == QLatin1String("Subsystem") ? QStringLiteral("etc/ssh/sshd_config") : file)) + ':')),
                 row.value(2).constData());
        const QByteArray before = sandbox.read(file);
        const QByteArray unset = tool({QStringLiteral("unset"), keyword});
        QVERIFY(configuration.effectiveValues(ConfigType(type), config, &values, &error));
        QCOMPARE(values.value(keyword.toLower().toLatin1()).value(0), after);
        QByteArray kept = before;
        for (const QByteArray &removed : line.split('\n')) {
            if (!removed.isEmpty() && !removed.startsWith('#') && refusal.isEmpty()) {
                kept.replace(QByteArray(removed + '\n'), QByteArray());
            }
        }
        QCOMPARE(sandbox.read(file), kept);
        QVERIFY2(refusal.isEmpty() ? unset.isEmpty() : unset.contains(QByteArray(refusal).replace("@FILE@", QFile::encodeName(sandbox.path(file)))),
                 unset.constData());
    }

    // Tool processes at once on one tree: two writers, and a writer racing the countdown's `revert --expired`
    // of a chain whose time has passed. One writer at a time, each success on disk, nothing left behind.
    void concurrentWriters()
    {
        QElapsedTimer elapsed;
        elapsed.start();
        for (int round = 0; round < 8; ++round) {
            TestSandbox sandbox;
            recordPrograms(sandbox, false);
            sandbox.write(QStringLiteral("etc/ssh/sshd_config"),
                          "HostKey " + QFile::encodeName(sandbox.path(QStringLiteral("keys/host_ed25519_key"))) + '\n'
                              + sandbox.read(QStringLiteral("etc/ssh/sshd_config")));
            const bool countdown = round % 2 == 1;
            if (countdown) {
                sandbox.paths.clock = [] {
                    return QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
                };
                Engine::Transaction transaction;
                transaction.changes = {{QStringLiteral("UseDNS"), true}};
                transaction.revertAfter = 5;
                QVERIFY(Engine(sandbox.paths).applyTransaction(ConfigType::Server, transaction).ok);
            }
            const QStringList common = {QStringLiteral("--root"), sandbox.root()};
            const QList<QStringList> commands = {{QStringLiteral("set"), QStringLiteral("MaxSessions"), QString::number(round + 2)},
                                                 countdown ? QStringList{QStringLiteral("revert"), QStringLiteral("--expired")}
                                                           : QStringList{QStringLiteral("set"), QStringLiteral("LoginGraceTime"), QString::number(round + 30)}};
            QProcess processes[2];
            for (int i = 0; i < 2; ++i) {
                processes[i].start(QStringLiteral(SSH_SETTINGS_TOOL), common + commands.at(i));
            }
            const QByteArray config = [&] {
                for (QProcess &process : processes) {
                    process.waitForFinished(30000);
                }
                return sandbox.read(QStringLiteral("etc/ssh/sshd_config"));
            }();
            for (int i = 0; i < 2; ++i) {
                const QByteArray error = processes[i].readAllStandardError();
                const QStringList &other = commands.at(1 - i);
                QVERIFY2(processes[i].exitCode() == 0 || error.contains(QByteArray("in progress: " + other.mid(0, 2).join(QLatin1Char(' ')).toLatin1())),
                         error.constData());
                if (processes[i].exitCode() == 0 && commands.at(i).first() == QLatin1String("set")) {
                    QVERIFY2(config.contains(QByteArray(commands.at(i).mid(1).join(QLatin1Char(' ')).toLatin1() + '\n')), config.constData());
                }
            }
            // The armed change is gone whichever came first: a writer reverts a chain whose time has passed before it writes.
            QVERIFY(!config.contains("UseDNS yes"));
            QList<PendingChange> changes;
            QVERIFY(Engine(sandbox.paths).pendingChanges(ConfigType::Server, &changes).ok && changes.isEmpty());
            QVERIFY(Engine(sandbox.paths).readOptions(ConfigType::Server, {QStringLiteral("MaxSessions")}).ok);
            const QStringList left = QDir(sandbox.path(QStringLiteral("etc/ssh"))).entryList(QDir::Files | QDir::Hidden)
                + QDir(sandbox.paths.backupDir + QLatin1String("/pending")).entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(left.filter(QRegularExpression(QStringLiteral("candidate|^\\."))), QStringList());
        }
        QVERIFY(elapsed.elapsed() < 30000);
    }

    // The boot check: ordered before every way sshd starts, after the local file systems, enabled by the install.
    void bootUnit()
    {
        QFile unit(QStringLiteral(BOOT_UNIT));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        const QByteArray text = unit.readAll();
        QHash<QByteArray, QList<QByteArray>> keys;
        for (const QByteArray &line : text.split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0 && !line.startsWith('#')) {
                keys[line.left(equals)] += line.mid(equals + 1).split(' ');
            }
        }
        for (const char *before : {"ssh.service", "sshd.service", "ssh.socket"}) {
            QVERIFY(keys.value("Before").contains(before));
        }
        QVERIFY(keys.value("After").contains("local-fs.target"));
        QCOMPARE(keys.value("DefaultDependencies"), QList<QByteArray>{"no"});
        QCOMPARE(keys.value("WantedBy"), QList<QByteArray>{"multi-user.target"});
        QCOMPARE(keys.value("ExecStart").mid(1), (QList<QByteArray>{"revert", "--expired"}));
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty()) {
            return;
        }
        // The unit as installed, with the tool of this build standing in for the installed one.
        QTemporaryDir dir;
        QFile copy(dir.filePath(QStringLiteral("ssh-settings-revert-expired.service")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(QByteArray(text).replace(keys.value("ExecStart").first(), QFile::encodeName(QStringLiteral(SSH_SETTINGS_TOOL))));
        copy.close();
        const ProgramResult verified = runProgram(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), copy.fileName()});
        QVERIFY2(verified.succeeded() && verified.standardError.isEmpty(), verified.standardError.constData());
    }

    void bannerAndKeys()
    {
        TestSandbox sandbox;
        Engine engine(sandbox.paths);
        // The configured banner, /etc/issue.net and new files may be written; new files are 0644.
        sandbox.write(QStringLiteral("etc/ssh/sshd_config.d/10-banner.conf"),
                      "Banner " + QFile::encodeName(sandbox.path(QStringLiteral("etc/banners/issue"))) + '\n');
        for (const char *banner : {"etc/banners/issue", "etc/issue.net", "etc/banners/new"}) {
            const Reply reply = engine.writeBanner(sandbox.path(QLatin1String(banner)), QStringLiteral("Authorised use only\n\tThank you\n"));
            QVERIFY2(reply.ok, qPrintable(reply.error));
            QCOMPARE(sandbox.read(QLatin1String(banner)), QByteArray("Authorised use only\n\tThank you\n"));
        }
        struct stat st {
        };
        QVERIFY(::stat(QFile::encodeName(sandbox.path(QStringLiteral("etc/banners/new"))).constData(), &st) == 0 && (st.st_mode & 07777) == 0644);

        // A user without ~/.ssh adds a first key: the folder 0700, the file 0600, both theirs.
        QVERIFY(QDir(sandbox.path(QStringLiteral("home/tester/.ssh"))).removeRecursively());
        const QString keys = sandbox.path(QStringLiteral("home/tester/.ssh/authorized_keys"));
        const QString key = sandbox.publicKey();
        const QString restricted = QStringLiteral("restrict,from=\"10.0.0.0/8\",command=\"/usr/bin/uptime\" ") + key;
        QVERIFY(engine.addAuthorizedKey(keys, key, ::geteuid()).ok);
        const Reply restrictedAdded = engine.addAuthorizedKey(keys, restricted, ::geteuid());
        QVERIFY2(restrictedAdded.ok, qPrintable(restrictedAdded.error));
        QCOMPARE(sandbox.read(QStringLiteral("home/tester/.ssh/authorized_keys")), key.toLatin1() + '\n' + restricted.toLatin1() + '\n');
        QVERIFY(::stat(QFile::encodeName(keys).constData(), &st) == 0 && (st.st_mode & 07777) == 0600 && st.st_uid == ::geteuid());
        QVERIFY(::stat(QFile::encodeName(sandbox.path(QStringLiteral("home/tester/.ssh"))).constData(), &st) == 0 && (st.st_mode & 07777) == 0700);
        QVERIFY(engine.removeAuthorizedKey(keys, key, ::geteuid()).ok);
        QCOMPARE(sandbox.read(QStringLiteral("home/tester/.ssh/authorized_keys")), restricted.toLatin1() + '\n');
    }

    void keyWritesStayInTheUsersTree()
    {
        // A thread swaps ~/.ssh with a link to a folder outside while root writes, again and again.
        TestSandbox sandbox;
        const QByteArray ssh = QFile::encodeName(sandbox.path(QStringLiteral("home/tester/.ssh")));
        const QByteArray swap = QFile::encodeName(sandbox.path(QStringLiteral("home/tester/swap")));
        QDir().mkpath(sandbox.path(QStringLiteral("outside")));
        QVERIFY(::symlink(QFile::encodeName(sandbox.path(QStringLiteral("outside"))).constData(), swap.constData()) == 0);
        std::atomic<bool> stop{false};
        std::atomic<int> swaps{0};
        std::thread flipper([&] {
            while (!stop) {
                if (::renameat2(AT_FDCWD, ssh.constData(), AT_FDCWD, swap.constData(), RENAME_EXCHANGE) == 0) {
                    ++swaps;
                }
            }
        });
        Engine engine(sandbox.paths);
        const QString keys = QFile::decodeName(ssh) + QLatin1String("/authorized_keys");
        int written = 0;
        for (int i = 0; i < 60; ++i) {
            written += engine.addAuthorizedKey(keys, sandbox.publicKey(), ::geteuid()).ok;
        }
        stop = true;
        flipper.join();
        QVERIFY(swaps > 60);
        QVERIFY(written > 0);
        QCOMPARE(QDir(sandbox.path(QStringLiteral("outside"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void clientReadRunsUnprivileged()
    {
        if (geteuid() != 0) {
            QSKIP("only root can give up root");
        }
        TestSandbox sandbox;
        const QString ran = sandbox.path(QStringLiteral("ran"));
        sandbox.write(QStringLiteral("etc/ssh/ssh_config.d/10-exec.conf"), "Match exec \"touch " + QFile::encodeName(ran) + "\"\n  Port 2200\n");
        // As root, ssh -G runs the command: the reader account must not be able to.
        QVERIFY(runProgram(sandbox.paths.ssh, {QStringLiteral("-G"), QStringLiteral("-F"), sandbox.paths.clientConfig, QStringLiteral("x")}).succeeded());
        QVERIFY(QFile::remove(ran));
        Engine engine(sandbox.paths);
        QVERIFY(engine.readOptions(ConfigType::Client, {QStringLiteral("Port")}).ok);
        QVERIFY(!QFile::exists(ran));
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "enginetest.moc"
