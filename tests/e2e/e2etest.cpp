// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The module against the installed helper over real KAuth, polkit and a
// private system bus, inside run-in-sandbox.sh --journal --login-user.
// Only what needs the real path is proven here (the engine's rules are proven
// against real sshd in tests/helper): SSHManager loads and changes each kind
// of option, ServerState runs sshd, a password login is read back from the
// sandbox's journal and ended through SSHConnectionsManager, the revert
// countdown outlives its caller, and the configurations are restored. Raw
// requests cover the caller's uid, refusals at the real /etc paths and a
// caller whom polkit allows the read action only (one row per action).
// The slots run in order and build on each other's state.

#include "../common/testfiles.h"
#include "engine.h"
#include "privilegedaction.h"
#include "runprogram.h"
#include "serverstate.h"
#include "sshconnectionsmanager.h"
#include "sshmanager.h"
#include "sshoption.h"
#include "sshsettingsprotocol.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace SSHSettings;
Q_DECLARE_METATYPE(SSHSettings::ActionKind)

namespace
{
constexpr int SkipExitCode = 77;

const QString s_serverConfig = QStringLiteral("/etc/ssh/sshd_config");
const QString s_clientConfig = QStringLiteral("/etc/ssh/ssh_config");
const QString s_serverDefault = QStringLiteral("/usr/share/openssh/sshd_config");
const QString s_clientDefault = QStringLiteral("/usr/share/openssh/ssh_config");
const QString s_banner = QStringLiteral("/etc/ssh/e2e-banner");

// /proc/net/tcp{,6} forms of the sockets sshd listens on.
const QByteArray s_any4Port22 = "00000000:0016";
const QByteArray s_any6Port22 = "00000000000000000000000000000000:0016";
const QByteArray s_any4Port2200 = "00000000:0898";
const QByteArray s_loopback4Port2222 = "0100007F:08AE";
const QByteArray s_loopback6Port2222 = "00000000000000000000000001000000:08AE";
const QByteArray s_loopback6Port2223 = "00000000000000000000000001000000:08AF";

QByteArrayList trimmedLines(const QByteArray &text)
{
    QByteArrayList lines;
    const QByteArrayList raw = text.split('\n');
    for (const QByteArray &line : raw) {
        lines.append(line.trimmed());
    }
    return lines;
}

/// What sshd or ssh would apply: `sshd -T` / `ssh -G`, one trimmed line each.
QByteArrayList effective(SSHConfigurationTypeId type)
{
    QProcess process;
    if (type == Client) {
        process.start(QStringLiteral(SSH_PATH), {QStringLiteral("-G"), QStringLiteral("-F"), s_clientConfig, QStringLiteral("e2e.invalid")});
    } else {
        process.start(QStringLiteral(SSHD_PATH), {QStringLiteral("-T")});
    }
    process.waitForFinished(30000);
    return trimmedLines(process.readAllStandardOutput());
}

bool listening(const QByteArray &localAddress)
{
    for (const QString &table : {QStringLiteral("/proc/net/tcp"), QStringLiteral("/proc/net/tcp6")}) {
        const QByteArrayList lines = TestFiles::read(table).split('\n');
        for (const QByteArray &line : lines) {
            const QByteArrayList fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields.at(1) == localAddress && fields.at(3) == "0A") {
                return true;
            }
        }
    }
    return false;
}

qint64 listenerPid()
{
    return TestFiles::read(QStringLiteral("/run/sshd.pid")).trimmed().toLongLong();
}

/// The value of @p keyword the page shows after the manager's last read.
QVariant shown(const SSHManager &manager, SSHConfigurationTypeId type, const QString &keyword)
{
    return SSHOption::pageOption(type, keyword).withValues(manager.readValues(type)).values.value(keyword);
}

/// Every file below @p folder with its contents, to prove nothing changed.
QHash<QString, QByteArray> tree(const QString &folder)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, TestFiles::read(path));
    }
    return files;
}

/// Waits for the answer that @p start, given a context and a function to call with it, sends back (the page never waits).
template<typename Answer, typename Start>
Answer await(Start start)
{
    std::optional<Answer> answer;
    QObject context;
    start(&context, [&answer](const Answer &given) {
        answer = given;
    });
    if (!QTest::qWaitFor(
            [&answer] {
                return answer.has_value();
            },
            Protocol::ActionTimeoutMs + 20000)) {
        qWarning("no answer within the time limit");
    }
    return answer.value_or(Answer());
}

/// Waits until the requests sent so far have been answered and the helper takes the next.
bool settle()
{
    return QTest::qWaitFor(
        [] {
            return ActionQueue::instance()->isIdle();
        },
        Protocol::ActionTimeoutMs + 20000);
}

ActionResult runPrivilegedAction(ActionKind kind, const ActionArguments &arguments)
{
    return await<ActionResult>([&](QObject *context, ActionDone done) {
        SSHSettings::runPrivilegedAction(kind, arguments, context, done);
    });
}

void serviceCommand(void (ServerState::*command)(QObject *, ActionDone) const)
{
    const ActionResult result = await<ActionResult>([&](QObject *context, ActionDone done) {
        (ServerState().*command)(context, done);
    });
    QVERIFY2(result.ok, qPrintable(result.errorText));
}

void load(SSHManager &manager, const QList<SSHConfigurationTypeId> &types)
{
    await<bool>([&](QObject *context, std::function<void(bool)> done) {
        manager.loadConfigurations(types, context, [done] {
            done(true);
        });
    });
}

void loadAll(SSHManager &manager)
{
    await<bool>([&](QObject *context, std::function<void(bool)> done) {
        manager.loadValueOptions(context, [done] {
            done(true);
        });
    });
}

/// Applies as the page does: the options show the values the answer carries, read again when it carries none.
SSHManager::Applied apply(SSHManager &manager, SSHConfigurationTypeId type, const SSHManager::Changes &changes)
{
    const auto applied = await<SSHManager::Applied>([&](QObject *context, std::function<void(const SSHManager::Applied &)> done) {
        manager.apply(type, changes, 0, QString(), context, done);
    });
    if (!applied.values.isEmpty()) {
        manager.takeReadValues(type, applied.values);
    } else if (applied.ok) {
        load(manager, {type});
    }
    return applied;
}

bool restoreFile(SSHManager &manager, SSHConfigurationTypeId type, bool backup)
{
    return await<ActionResult>([&](QObject *context, ActionDone done) {
               manager.restoreFileConfiguration(type, backup, context, done);
           })
        .ok;
}

/// A transaction of server changes; @p options adds dry run, restart or a revert countdown.
ActionResult transact(const QVariantMap &changes, const ActionArguments &options = {})
{
    return runPrivilegedAction(ActionKind::Configure,
                               ActionArguments{{Protocol::Arg::TransactionType, int(Protocol::Server)}, {Protocol::Arg::TransactionChanges, changes}}
                                   + options);
}

/// True while a process runs whose command line contains @p text.
bool processRuns(const QByteArray &text)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &pid : pids) {
        if (TestFiles::read(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains(text)) {
            return true;
        }
    }
    return false;
}

QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items) {
        list.append(QString::fromUtf8(item));
    }
    return list;
}

ActionArguments change(const char *keyword, const QVariant &value)
{
    return {{Protocol::Arg::ChangeKeyword, QLatin1String(keyword)}, {Protocol::Arg::ChangeType, int(Protocol::Server)}, {Protocol::Arg::ChangeValue, value}};
}

/// The sandbox's login user, or empty when run-in-sandbox.sh --login-user or sshpass is missing.
QString loginUser()
{
    return QFileInfo(QStringLiteral("/usr/bin/sshpass")).isExecutable() ? qEnvironmentVariable("SSHSETTINGS_E2E_USER") : QString();
}

/// Starts a login of the sandbox's user to 127.0.0.1:@p port that runs @p command: with the password, and first with @p key when given.
void startLogin(QProcess &client, int port, const QString &command, const QString &key = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSHPASS"), qEnvironmentVariable("SSHSETTINGS_E2E_PASSWORD"));
    client.setProcessEnvironment(environment);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(QStringLiteral("/usr/bin/sshpass"),
                 sl({"-e", SSH_PATH, "-F", "/dev/null", "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null", "-o", "IdentitiesOnly=yes"})
                     << (key.isEmpty() ? sl({"-o", "PreferredAuthentications=password", "-o", "PubkeyAuthentication=no"})
                                       : sl({"-i"}) << key << sl({"-o", "PreferredAuthentications=publickey,keyboard-interactive,password"}))
                     << QStringLiteral("-p") << QString::number(port) << loginUser() + QLatin1String("@127.0.0.1") << command);
}
}

class E2ETest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SSHManager> m_manager;

private Q_SLOTS:
    void initTestCase()
    {
        // Start from Debian's files; /etc/ssh is the sandbox's throw-away copy.
        QVERIFY(TestFiles::write(s_serverConfig, TestFiles::read(s_serverDefault)));
        const QStringList dropIns = QDir(QStringLiteral("/etc/ssh/sshd_config.d")).entryList({QStringLiteral("*.conf")}, QDir::Files);
        for (const QString &dropIn : dropIns) {
            QVERIFY(QFile::remove(QStringLiteral("/etc/ssh/sshd_config.d/") + dropIn));
        }
        QVERIFY(TestFiles::write(s_banner, "Authorised use only.\n"));
        QVERIFY2(!ServerState().isActive(), "sshd must not run at the start of the sandbox");
    }

    void serviceCommands()
    {
        ServerState state;
        serviceCommand(&ServerState::start);
        QTRY_VERIFY_WITH_TIMEOUT(state.isActive(), 10000);
        QVERIFY(listening(s_any4Port22));
        QVERIFY(listening(s_any6Port22));
        const qint64 firstPid = listenerPid();
        QVERIFY(firstPid > 1);
        QCOMPARE(TestFiles::read(QStringLiteral("/proc/%1/comm").arg(firstPid)).trimmed(), QByteArray("sshd"));

        // Without systemd the rc links of the default runlevel decide.
        const bool linked = !QDir(QStringLiteral("/etc/rc2.d")).entryList({QStringLiteral("S??ssh")}, QDir::Files | QDir::System).isEmpty();
        QCOMPARE(state.isEnabled(), linked);

        serviceCommand(&ServerState::restart);
        QTRY_VERIFY_WITH_TIMEOUT(listenerPid() > 1 && listenerPid() != firstPid, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(state.isActive(), 10000);
        QVERIFY(listening(s_any4Port22));
    }

    void initialLoad()
    {
        m_manager = std::make_unique<SSHManager>();
        QSignalSpy errors(m_manager.get(), &SSHManager::error);
        loadAll(*m_manager);
        QVERIFY2(errors.isEmpty(), errors.isEmpty() ? "" : qPrintable(errors.first().first().toString()));
        // Every value, and where each comes from.
        const QStringList names = m_manager->readKeywords(Server);
        const ActionResult read = runPrivilegedAction(ActionKind::Read, {{Protocol::Arg::ReadKeywords, names}, {Protocol::Arg::ReadType, int(Server)}});
        QCOMPARE(read.data.size(), names.size() + 3); // and the origins, the version and the algorithms
    }

    void requestsBackToBack()
    {
        // The module sends a request only once the helper has let go of the one before (its "ready"
        // signal): sooner, the helper answers "busy", which KAuth drops, and the page waits for ever.
        // Without the signal each request would wait for its time limit instead.
        QSignalSpy errors(m_manager.get(), &SSHManager::error);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 100 && errors.isEmpty() && timer.elapsed() < 30000; ++i) {
            load(*m_manager, {Server, Client});
        }
        QVERIFY2(errors.isEmpty(), errors.isEmpty() ? "" : qPrintable(errors.first().at(2).toString()));
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    }

    // Each kind of option as loaded from Debian's files, changed as its widget sends it, and kept as the page shows it.
    // The files written are read back by stoppedServerIsStillRead.
    void changeEachKind_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QVariant>("loaded");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("stored");

        const auto row =
            [](const char *name, SSHConfigurationTypeId type, const char *keyword, const QVariant &loaded, const QVariant &value, const QVariant &stored) {
                QTest::newRow(name) << int(type) << QString::fromLatin1(keyword) << loaded << value << stored;
            };
        // Checkboxes send a bool, line edits and spin boxes text, combo boxes their word.
        row("checkbox", Server, "UseDNS", false, true, true);
        row("root login", Server, "PermitRootLogin", QStringLiteral("without-password"), false, QStringLiteral("no"));
        row("port", Server, "Port", 22, QStringLiteral("2222"), 2222);
        row("tunnel", Server, "PermitTunnel", QStringLiteral("no"), QStringLiteral("point-to-point"), QStringLiteral("point-to-point"));
        row("banner", Server, "Banner", QStringLiteral("none"), s_banner, s_banner);
        // IPv6 addresses go without brackets, as the address list prints them, and come back as sshd prints them; the
        // page shows what the helper read after each change, so the addresses follow the port changed above.
        row("listen on loopback",
            Server,
            "ListenAddress",
            sl({"[::]:2222", "0.0.0.0:2222"}),
            sl({"127.0.0.1:2222", "::1:2222"}),
            sl({"127.0.0.1:2222", "[::1]:2222"}));
        // The access lists send one blank-separated string.
        row("allow users", Server, "AllowUsers", QStringList(), QStringLiteral("root sshe2e@127.0.0.1"), sl({"root", "sshe2e@127.0.0.1"}));
        row("sftp off", Server, "Subsystem", true, false, false);
        row("client interval", Client, "ServerAliveInterval", 0, QStringLiteral("30"), 30);
        row("client port", Client, "Port", 22, QStringLiteral("2200"), 2200);
    }

    void changeEachKind()
    {
        QFETCH(int, type);
        QFETCH(QString, keyword);
        QFETCH(QVariant, loaded);
        QFETCH(QVariant, value);
        QFETCH(QVariant, stored);
        QVERIFY(m_manager);
        const auto configuration = SSHConfigurationTypeId(type);
        QCOMPARE(shown(*m_manager, configuration, keyword), loaded);
        const SSHManager::Applied applied = apply(*m_manager, configuration, {{keyword, value}});
        QVERIFY2(applied.ok, qPrintable(applied.reason));
        QCOMPARE(shown(*m_manager, configuration, keyword), stored);
    }

    // Refusals come back through KAuth and leave the real /etc as it was; every other
    // hostile request is refused by the same dispatch in tests/helper/hostileinputtest.
    void hostileRequestsRefused_data()
    {
        QTest::addColumn<ActionKind>("action");
        QTest::addColumn<ActionArguments>("arguments");
        QTest::addColumn<QString>("code"); // of the refusal, which KAuth carries on the description
        const QString hostKey = QString::fromLatin1(TestFiles::read(QStringLiteral("/etc/ssh/ssh_host_ed25519_key.pub"))).trimmed();
        // The machine's own interfaces, not a list given to the engine.
        QTest::newRow("address not on this machine") << ActionKind::Configure << change("ListenAddress", sl({"203.0.113.1:22"}))
                                                     << QStringLiteral("not_local_address");
        QTest::newRow("Banner /etc/shadow") << ActionKind::Configure << change("Banner", QStringLiteral("/etc/shadow")) << QStringLiteral("banner_file");
        QTest::newRow("banner text over /etc/passwd") << ActionKind::Configure
                                                      << ActionArguments{{Protocol::Arg::BannerPath, QStringLiteral("/etc/passwd")},
                                                                         {Protocol::Arg::BannerText, QStringLiteral("PermitRootLogin yes\n")}}
                                                      << QStringLiteral("banner_exists");
        QTest::newRow("key file /etc/profile") << ActionKind::UserFiles
                                               << ActionArguments{{Protocol::Arg::KeysFile, QStringLiteral("/etc/profile")},
                                                                  {Protocol::Arg::AddKeyLine, hostKey}}
                                               << QStringLiteral("not_key_file_of");
        // A request under another action than its own: the helper's table refuses it before anything runs.
        QTest::newRow("restore under the read action")
            << ActionKind::Read << ActionArguments{{Protocol::Arg::RestoreType, int(Protocol::Server)}, {Protocol::Arg::RestoreFromBackup, false}}
            << QStringLiteral("wrong_action");
    }

    void hostileRequestsRefused()
    {
        QFETCH(ActionKind, action);
        QFETCH(ActionArguments, arguments);
        QFETCH(QString, code);
        const auto before = tree(QStringLiteral("/etc/ssh"));
        const QByteArray passwd = TestFiles::read(QStringLiteral("/etc/passwd"));
        const QByteArray profile = TestFiles::read(QStringLiteral("/etc/profile"));
        const ActionResult result = runPrivilegedAction(action, arguments);
        // The refusal is the answer to this very request: its nonce came back with it.
        QVERIFY(!result.ok && !result.outcomeUnknown && !result.errorText.isEmpty() && !result.errorText.startsWith(QLatin1Char('[')));
        // Its code came with it, off the description; the page words it as the helper does in English.
        QCOMPARE(result.data.value(Protocol::Reply::RefusalCode).toString(), code);
        QVERIFY2(!result.errorText.contains(QChar(0x1e)), qPrintable(result.errorText));
        QCOMPARE(failureReason(result), result.errorText);
        QCOMPARE(tree(QStringLiteral("/etc/ssh")), before);
        QCOMPARE(TestFiles::read(QStringLiteral("/etc/passwd")), passwd);
        QCOMPARE(TestFiles::read(QStringLiteral("/etc/profile")), profile);
    }

    // KAuth's caller is the user whose key file is edited: root here, through the
    // AuthorizedKeysFile pattern /etc/ssh/keys/%u (inside the sandbox's /etc/ssh).
    void keysOfTheCaller()
    {
        QVERIFY(QDir().mkpath(QStringLiteral("/etc/ssh/keys")));
        QVERIFY(runPrivilegedAction(ActionKind::Configure, change("AuthorizedKeysFile", sl({".ssh/authorized_keys", "/etc/ssh/keys/%u"}))).ok);
        const QString file = QStringLiteral("/etc/ssh/keys/root");
        const QString line = QStringLiteral("restrict ") + QString::fromLatin1(TestFiles::read(QStringLiteral("/etc/ssh/ssh_host_ed25519_key.pub"))).trimmed();
        const ActionResult added = runPrivilegedAction(ActionKind::UserFiles, {{Protocol::Arg::KeysFile, file}, {Protocol::Arg::AddKeyLine, line}});
        QVERIFY2(added.ok, qPrintable(added.errorText));
        QCOMPARE(TestFiles::read(file), line.toLatin1() + '\n');
        QCOMPARE(QFileInfo(file).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QVERIFY(runPrivilegedAction(ActionKind::UserFiles, {{Protocol::Arg::KeysFile, file}, {Protocol::Arg::RemoveKeyLine, line}}).ok);
        QCOMPARE(TestFiles::read(file), QByteArray());
        // Another user's file is not the caller's.
        QVERIFY(
            !runPrivilegedAction(ActionKind::UserFiles, {{Protocol::Arg::KeysFile, QStringLiteral("/etc/ssh/keys/nobody")}, {Protocol::Arg::AddKeyLine, line}})
                 .ok);
        QVERIFY(!QFile::exists(QStringLiteral("/etc/ssh/keys/nobody")));
    }

    // The sandbox's polkit rule lets its login user use the read action, and nothing else (run-in-sandbox.sh
    // --login-user): that caller reads, and each other action is refused by polkit with nothing written or ended.
    void readOnlyCallerCannotWrite_data()
    {
        QTest::addColumn<ActionKind>("action");
        for (const ActionKind action : Protocol::Actions) {
            QTest::newRow(qPrintable(actionName(action))) << action;
        }
    }

    void readOnlyCallerCannotWrite()
    {
        QFETCH(ActionKind, action);
        const passwd *user = ::getpwnam(qgetenv("SSHSETTINGS_E2E_USER").constData());
        if (qEnvironmentVariableIsEmpty("SSHSETTINGS_E2E_USER") || !user) {
            QSKIP("needs run-in-sandbox.sh --login-user");
        }
        const auto before = tree(QStringLiteral("/etc/ssh"));
        const qint64 listener = listenerPid();
        QVERIFY(listener > 1);
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/setpriv"),
                    sl({"--clear-groups"}) << QStringLiteral("--reuid=%1").arg(user->pw_uid) << QStringLiteral("--regid=%1").arg(user->pw_gid)
                                           << QCoreApplication::applicationFilePath() << QStringLiteral("--probe-action") << QString::number(int(action)));
        QVERIFY(probe.waitForFinished(60000));
        const QByteArray said = probe.readAllStandardError().trimmed();
        const QByteArray answer = said.mid(said.lastIndexOf('\n') + 1); // after the runner's warnings
        QVERIFY2(answer.startsWith(action == ActionKind::Read ? "ok=1" : "ok=0 authorization refused"), said.constData());
        QCOMPARE(tree(QStringLiteral("/etc/ssh")), before);
        QCOMPARE(listenerPid(), listener);
        QVERIFY(ServerState().isActive());
    }

    void restartListensOnNewAddresses()
    {
        ServerState state;
        const qint64 before = listenerPid();
        serviceCommand(&ServerState::restart);
        QTRY_VERIFY_WITH_TIMEOUT(listenerPid() > 1 && listenerPid() != before, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(listening(s_loopback4Port2222) && listening(s_loopback6Port2222), 10000);
        QVERIFY(state.isActive());
        QVERIFY(!listening(s_any4Port22));
        QVERIFY(!listening(s_any6Port22));

        // Addresses without a port of their own follow each Port change; after each restart the
        // helper has had an SSH banner from every socket of the new configuration.
        QVariantMap changes = {{QStringLiteral("ListenAddress"), sl({"127.0.0.1", "[::1]"})}};
        for (const char *port : {"2223", "2222"}) {
            changes.insert(QStringLiteral("Port"), QLatin1String(port));
            const ActionResult moved = transact(changes, {{Protocol::Arg::TransactionRestart, true}});
            QVERIFY2(moved.ok, qPrintable(moved.errorText));
            QVERIFY(moved.data.value(Protocol::Reply::Restarts).toBool());
            QVERIFY(moved.data.contains(Protocol::Reply::Unanswered));
            QCOMPARE(moved.data.value(Protocol::Reply::Unanswered).toStringList(), QStringList());
            QCOMPARE(listening(s_loopback4Port2222), qstrcmp(port, "2222") == 0);
            QCOMPARE(listening(s_loopback6Port2223), qstrcmp(port, "2223") == 0);
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHostIPv6, QByteArray(port).toUShort());
            QVERIFY(client.waitForConnected(5000) && client.waitForReadyRead(5000));
            QVERIFY(client.readLine().startsWith("SSH-2.0-"));
            changes.remove(QStringLiteral("ListenAddress"));
        }
        QVERIFY(trimmedLines(TestFiles::read(s_serverConfig)).contains("ListenAddress 127.0.0.1"));
    }

    void replacedHostKeyIsOffered()
    {
        // The key an ssh client gets over loopback: "[127.0.0.1]:2222 ssh-ed25519 AAAA…" → its base64 part.
        const auto offered = [] {
            QProcess scan;
            scan.start(QStringLiteral("/usr/bin/ssh-keyscan"), sl({"-t", "ed25519", "-p", "2222", "127.0.0.1"}));
            scan.waitForFinished(30000);
            // OpenSSH 10 also prints "# host:port SSH-2.0-…" there.
            for (const QByteArray &line : scan.readAllStandardOutput().split('\n')) {
                if (!line.startsWith('#') && !line.trimmed().isEmpty()) {
                    return line.simplified().split(' ').value(2);
                }
            }
            return QByteArray();
        };
        const QString key = QStringLiteral("/etc/ssh/ssh_host_ed25519_key");
        const QByteArray before = offered();
        QCOMPARE(before, TestFiles::read(key + QLatin1String(".pub")).split(' ').value(1).trimmed());
        const ActionArguments server = {{Protocol::Arg::TransactionType, int(Protocol::Server)}};
        const ActionResult removed =
            runPrivilegedAction(ActionKind::Configure,
                                server + ActionArguments{{Protocol::Arg::HostKeyOperation, QStringLiteral("remove")}, {Protocol::Arg::HostKeyFile, key}});
        QVERIFY2(removed.ok, qPrintable(removed.errorText));
        const ActionResult generated = runPrivilegedAction(ActionKind::Configure,
                                                           server
                                                               + ActionArguments{{Protocol::Arg::HostKeyOperation, QStringLiteral("generate")},
                                                                                 {Protocol::Arg::HostKeyType, QStringLiteral("ed25519")},
                                                                                 {Protocol::Arg::TransactionRestart, true}});
        QVERIFY2(generated.ok, qPrintable(generated.errorText));
        QCOMPARE(generated.data.value(Protocol::Reply::NewHostKey).toString(), key);
        const QByteArray after = offered();
        QVERIFY(after != before);
        QCOMPARE(after, TestFiles::read(key + QLatin1String(".pub")).split(' ').value(1).trimmed());
    }

    void passwordLoginIsReported()
    {
        const QString user = loginUser();
        if (user.isEmpty() || qEnvironmentVariableIsEmpty("SSHSETTINGS_E2E_JOURNAL")) {
            QSKIP("needs run-in-sandbox.sh --journal --login-user and sshpass");
        }
        // A session that stays open until its sshd process is ended.
        QProcess client;
        startLogin(client, 2222, QStringLiteral("sleep 30"));
        QVERIFY(client.waitForStarted(5000));
        auto endClient = qScopeGuard([&client] {
            if (client.state() != QProcess::NotRunning) {
                client.kill();
                client.waitForFinished(5000);
            }
        });

        // The connections tab reads the journal through the helper.
        SSHConnectionsManager connections(nullptr);
        QSignalSpy opened(&connections, &SSHConnectionsManager::connectionOpened);
        QSignalSpy closed(&connections, &SSHConnectionsManager::connectionClosed);
        QTRY_VERIFY2_WITH_TIMEOUT(
            [&] {
                connections.readConnections();
                return !opened.isEmpty();
            }(),
            qPrintable(QStringLiteral("no login in the journal; ssh said: %1").arg(QString::fromLocal8Bit(client.readAll()))),
            15000);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(client.state(), QProcess::Running);
        const auto connection = opened.first().first().value<SSHConnectionData>();
        QCOMPARE(connection.user, user);
        QCOMPARE(connection.address.ip().toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(TestFiles::read(QStringLiteral("/proc/%1/comm").arg(connection.syslogPid)).left(4), QByteArray("sshd"));

        // Ending the listener is refused; ending the session closes it.
        SSHConnectionData listener = connection;
        listener.syslogPid = pid_t(listenerPid());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to kill %1 .*is the listening sshd").arg(listener.syslogPid)));
        connections.killConnection(listener, nullptr);
        QVERIFY(settle());
        QVERIFY(ServerState().isActive());
        QCOMPARE(client.state(), QProcess::Running);

        connections.killConnection(connection, nullptr);
        QVERIFY(settle());
        // The client may be gone already: the module waited for the helper's answer meanwhile.
        QVERIFY(client.state() == QProcess::NotRunning || client.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                connections.readConnections();
                return !closed.isEmpty();
            }(),
            10000);
        QCOMPARE(closed.first().at(0).toInt(), int(connection.syslogPid));
        QVERIFY(ServerState().isActive());
    }

    void stoppedServerIsStillRead()
    {
        ServerState state;
        serviceCommand(&ServerState::stop);
        QTRY_VERIFY_WITH_TIMEOUT(!state.isActive(), 10000);
        QVERIFY(!listening(s_loopback4Port2222));

        SSHManager manager;
        QSignalSpy errors(&manager, &SSHManager::error);
        loadAll(manager);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().at(1).value<SSHCodeError>(), ServerNotRunning);
        // Both files are read all the same, with every change made above: the server's settings can be prepared before it starts.
        QCOMPARE(shown(manager, Client, QStringLiteral("ServerAliveInterval")), QVariant(30));
        QCOMPARE(shown(manager, Client, QStringLiteral("Port")), QVariant(2200));
        QCOMPARE(shown(manager, Server, QStringLiteral("Port")), QVariant(2222));
        // Without a port of their own (restartListensOnNewAddresses), the addresses are read alone.
        QCOMPARE(shown(manager, Server, QStringLiteral("ListenAddress")), QVariant(sl({"127.0.0.1", "[::1]"})));
        QCOMPARE(shown(manager, Server, QStringLiteral("UseDNS")), QVariant(true));
        QCOMPARE(shown(manager, Server, QStringLiteral("Banner")), QVariant(s_banner));
        QCOMPARE(shown(manager, Server, QStringLiteral("PermitTunnel")), QVariant(QStringLiteral("point-to-point")));
        QCOMPARE(shown(manager, Server, QStringLiteral("AllowUsers")), QVariant(sl({"root", "sshe2e@127.0.0.1"})));
        QCOMPARE(shown(manager, Server, QStringLiteral("PermitRootLogin")), QVariant(QStringLiteral("no")));
        QCOMPARE(shown(manager, Server, QStringLiteral("Subsystem")), QVariant(false));
    }

    void restore()
    {
        QVERIFY(m_manager);
        // One more change, so that the local backup differs from the file.
        const SSHManager::Applied useDns = apply(*m_manager, Server, {{QStringLiteral("UseDNS"), false}});
        QVERIFY2(useDns.ok, qPrintable(useDns.reason));
        const QByteArray backup = TestFiles::read(s_serverConfig + QStringLiteral(".bak"));
        QVERIFY(trimmedLines(backup).contains("UseDNS yes"));
        QVERIFY(backup != TestFiles::read(s_serverConfig));
        QVERIFY(restoreFile(*m_manager, Server, true));
        QCOMPARE(TestFiles::read(s_serverConfig), backup);
        QVERIFY(effective(Server).contains("usedns yes"));

        QVERIFY(restoreFile(*m_manager, Server, false));
        QCOMPARE(TestFiles::read(s_serverConfig), TestFiles::read(s_serverDefault));
        const QByteArrayList applied = effective(Server);
        QVERIFY(applied.contains("port 22"));
        QVERIFY(applied.contains("listenaddress 0.0.0.0:22"));
        QVERIFY(!applied.contains("allowusers root"));

        const QByteArray clientBackup = TestFiles::read(s_clientConfig + QStringLiteral(".bak"));
        QVERIFY(restoreFile(*m_manager, Client, true));
        QCOMPARE(TestFiles::read(s_clientConfig), clientBackup);
        const QByteArray client = TestFiles::read(s_clientConfig);
        if (QFileInfo::exists(s_clientDefault)) {
            QVERIFY(restoreFile(*m_manager, Client, false));
            QCOMPARE(TestFiles::read(s_clientConfig), TestFiles::read(s_clientDefault));
        } else {
            // Debian ships no pristine ssh_config: nothing to restore from.
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to restore SSH configuration. Error: ")));
            QVERIFY(!restoreFile(*m_manager, Client, false));
            QCOMPARE(TestFiles::read(s_clientConfig), client);
        }
    }

    // The review of a transaction on the Debian configuration with a cloud drop-in and a Match block is what is written.
    void reviewIsWhatIsWritten()
    {
        ServerState state;
        serviceCommand(&ServerState::start);
        QTRY_VERIFY_WITH_TIMEOUT(state.isActive() && listening(s_any4Port22), 10000);
        QVERIFY(TestFiles::write(QStringLiteral("/etc/ssh/sshd_config.d/50-cloud-init.conf"), "PasswordAuthentication no\n"));
        QVERIFY(TestFiles::write(s_serverConfig, TestFiles::read(s_serverConfig) + "Match User sshe2e\n    X11Forwarding no\n"));
        const QVariantMap five = {{QStringLiteral("MaxSessions"), QStringLiteral("7")},
                                  {QStringLiteral("LoginGraceTime"), QStringLiteral("60")},
                                  {QStringLiteral("PasswordAuthentication"), true},
                                  {QStringLiteral("X11Forwarding"), false},
                                  {QStringLiteral("PermitTunnel"), QStringLiteral("yes")}};
        const ActionResult review = transact(five, {{Protocol::Arg::TransactionDryRun, true}, {Protocol::Arg::TransactionRestart, true}});
        QVERIFY2(review.ok, qPrintable(review.errorText));
        QVERIFY(review.data.value(Protocol::Reply::Restarts).toBool());
        const QVariantMap diffs = review.data.value(Protocol::Reply::FileDiffs).toMap();
        QCOMPARE(diffs.keys(), sl({"/etc/ssh/sshd_config", "/etc/ssh/sshd_config.d/50-cloud-init.conf"}));
        QHash<QString, QByteArray> old;
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            old.insert(it.key(), TestFiles::read(it.key()));
        }
        const ActionResult applied = transact(five);
        QVERIFY2(applied.ok, qPrintable(applied.errorText));
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            QVERIFY(TestFiles::write(QStringLiteral("/tmp/e2e-old"), old.value(it.key())));
            QProcess patch;
            patch.start(QStringLiteral("/usr/bin/patch"), sl({"-s", "-o", "-", "/tmp/e2e-old"}));
            patch.write(it.value().toByteArray());
            patch.closeWriteChannel();
            QVERIFY(patch.waitForFinished(10000));
            QCOMPARE(patch.readAllStandardOutput(), TestFiles::read(it.key()));
        }
    }

    // The countdown outlives the process that armed it (killed here) and puts the old configuration back.
    void unconfirmedChangeIsReverted()
    {
        // sshd_config.bak follows every accepted change: it then holds what the revert put back.
        auto before = tree(QStringLiteral("/etc/ssh"));
        before.remove(s_serverConfig + QStringLiteral(".bak"));
        const qint64 pid = listenerPid();
        QProcess requester;
        requester.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe-arm"), QStringLiteral("5")});
        QVERIFY(requester.waitForReadyRead(60000));
        const QByteArray token = requester.readLine().trimmed();
        requester.kill();
        QVERIFY(requester.waitForFinished(5000));
        QCOMPARE(token.size(), 32);
        QTRY_VERIFY_WITH_TIMEOUT(listening(s_any4Port2200), 10000);
        QVERIFY(!listening(s_any4Port22));
        QVERIFY(listenerPid() != pid);
        // Nobody confirms: the old port is back, and every file as it was.
        QTRY_VERIFY_WITH_TIMEOUT(listening(s_any4Port22) && !listening(s_any4Port2200), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns("--expired"), 10000);
        auto after = tree(QStringLiteral("/etc/ssh"));
        after.remove(s_serverConfig + QStringLiteral(".bak"));
        QCOMPARE(after, before);
        QVERIFY(TestFiles::read(QStringLiteral("/var/backups/ssh-settings/pending/log")).contains(QByteArray("server changes " + token + " reverted (")));
        QVERIFY(!runPrivilegedAction(ActionKind::Configure, {{Protocol::Arg::ConfirmToken, QString::fromLatin1(token)}}).ok);
    }

    void confirmedChangeStays()
    {
        const ActionResult armed = transact({{QStringLiteral("Port"), QStringLiteral("2200")}}, {{Protocol::Arg::TransactionRevertAfter, 3}});
        QVERIFY2(armed.ok, qPrintable(armed.errorText));
        const QString token = armed.data.value(Protocol::Reply::Token).toString();
        QVERIFY(armed.data.value(Protocol::Reply::Restarts).toBool());
        const ActionResult kept = runPrivilegedAction(ActionKind::Configure, {{Protocol::Arg::ConfirmToken, token}});
        QVERIFY2(kept.ok, qPrintable(kept.errorText));
        const QByteArray configuration = TestFiles::read(s_serverConfig);
        // The countdown ends and finds nothing to undo.
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns("--expired"), 30000);
        QCOMPARE(TestFiles::read(s_serverConfig), configuration);
        QVERIFY(trimmedLines(configuration).contains("Port 2200"));
        QTRY_VERIFY_WITH_TIMEOUT(listening(s_any4Port2200), 10000);
        QVERIFY(!runPrivilegedAction(ActionKind::Configure, {{Protocol::Arg::RevertToken, token}}).ok);
    }

    // The review predicts what sshd does: for each change, its warnings for a session of the sandbox's user
    // from 127.0.0.1, and a real login of that user afterwards with a key and with the password.
    // A group is its bare name, as the page writes it, so that its members still log in.
    void lockoutRulesAgreeWithSshd_data()
    {
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QByteArray>("keys"); // ~/.ssh/authorized_keys, @KEY@ for the client's key; none when empty
        QTest::addColumn<int>("sshMode"); // of ~/.ssh
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("block"); // the criteria of a block the changes go into; empty: none
        const QString user = qEnvironmentVariable("SSHSETTINGS_E2E_USER");
        const QString rules = QStringLiteral(
            "AllowUsers @USER@ 1|AllowUsers @USER@@127.0.0.1 1|AllowUsers @USER@@10.0.0.0/8 0|AllowUsers *@127.0.0.0/8 1|AllowUsers root 0|"
            "AllowUsers @USER@@!127.0.0.1,* 0|AllowUsers ?she2? 1|DenyUsers *@127.0.0.1 0|DenyUsers *@203.0.113.9 1|DenyUsers root 1|"
            "DenyUsers @USER@@!10.*,* 0|AllowGroups @USER@ 1|DenyGroups @USER@ 0");
        for (const QString &rule : rules.split(QLatin1Char('|'))) {
            const QStringList words = rule.split(QLatin1Char(' '));
            QTest::newRow(qPrintable(rule.chopped(2))) << QVariantMap{{words.at(0), QString(words.at(1)).replace(QLatin1String("@USER@"), user)}}
                                                       << QByteArray() << 0700 << (words.at(2) == u'1') << QString();
        }
        const QVariantMap noPassword = {{QStringLiteral("PasswordAuthentication"), false}};
        QTest::newRow("key") << noPassword << QByteArray("@KEY@") << 0700 << true << QString();
        QTest::newRow("key from another address only") << noPassword << QByteArray("from=\"192.0.2.1\" @KEY@") << 0700 << false << QString();
        QTest::newRow("key, ~/.ssh 0777, StrictModes yes") << noPassword << QByteArray("@KEY@") << 0777 << false << QString();
        QTest::newRow("not a key") << noPassword << QByteArray("this is not a key") << 0700 << false << QString();
        QVariantMap keyboard = noPassword;
        keyboard.insert(QStringLiteral("KbdInteractiveAuthentication"), true);
        QTest::newRow("keyboard-interactive with PAM") << keyboard << QByteArray() << 0700 << true << QString();
        keyboard.insert(QStringLiteral("UsePAM"), false);
        QTest::newRow("keyboard-interactive without PAM") << keyboard << QByteArray() << 0700 << false << QString();
        QTest::newRow("a block of the user: no password") << noPassword << QByteArray() << 0700 << false << QString(QStringLiteral("User ") + user);
        QTest::newRow("a block of root: no password") << noPassword << QByteArray() << 0700 << true << QStringLiteral("User root");
    }

    void lockoutRulesAgreeWithSshd()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(QByteArray, keys);
        QFETCH(int, sshMode);
        QFETCH(bool, login);
        QFETCH(QString, block);
        const QString user = loginUser();
        const passwd *account = ::getpwnam(qPrintable(user));
        if (user.isEmpty() || !account) {
            QSKIP("needs run-in-sandbox.sh --login-user and sshpass");
        }
        static const QTemporaryDir keyDir;
        const QString key = keyDir.path() + QLatin1String("/key");
        QVERIFY(QFileInfo::exists(key) || runProgram(EnginePaths::system().sshKeygen, sl({"-q", "-t", "ed25519", "-N", "", "-f"}) << key).succeeded());
        const QString ssh = QFile::decodeName(account->pw_dir) + QLatin1String("/.ssh");
        QVERIFY(QDir().mkpath(ssh) && ::chown(QFile::encodeName(ssh).constData(), account->pw_uid, account->pw_gid) == 0);
        QVERIFY(::chmod(QFile::encodeName(ssh).constData(), mode_t(sshMode)) == 0);
        QFile::remove(ssh + QLatin1String("/authorized_keys"));
        if (!keys.isEmpty()) {
            QVERIFY(TestFiles::write(ssh + QLatin1String("/authorized_keys"),
                                     keys.replace("@KEY@", TestFiles::read(key + QLatin1String(".pub")).trimmed()) + '\n'));
            QVERIFY(::chown(QFile::encodeName(ssh + QLatin1String("/authorized_keys")).constData(), account->pw_uid, account->pw_gid) == 0);
        }
        const QVariantMap open = {{QStringLiteral("PasswordAuthentication"), true},
                                  {QStringLiteral("KbdInteractiveAuthentication"), false},
                                  {QStringLiteral("UsePAM"), true},
                                  {QStringLiteral("AllowUsers"), QString()},
                                  {QStringLiteral("DenyUsers"), QString()},
                                  {QStringLiteral("AllowGroups"), QString()},
                                  {QStringLiteral("DenyGroups"), QString()}};
        // Every row starts from, and ends with, open access and a password login.
        const ActionResult opened = transact(open, {{Protocol::Arg::TransactionRestart, true}});
        QVERIFY2(opened.ok, qPrintable(opened.errorText));
        auto reopen = qScopeGuard([open, ssh] {
            QFile::remove(ssh + QLatin1String("/authorized_keys"));
            ::chmod(QFile::encodeName(ssh).constData(), 0700);
            transact(open, {{Protocol::Arg::TransactionRestart, true}});
        });

        // The review of the change, as the helper makes it for a session of this user.
        Engine engine(EnginePaths::system());
        Engine::Transaction review;
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            review.changes.append({it.key(), it.value()});
        }
        ActionArguments inBlock;
        if (!block.isEmpty()) {
            review.block = {QStringLiteral("add"), 0, block, QString()};
            inBlock = {{Protocol::Arg::BlockOperation, QStringLiteral("add")}, {Protocol::Arg::BlockCriteria, block}};
        }
        review.dryRun = true;
        review.session = QStringLiteral("127.0.0.1 50000 127.0.0.1 2200");
        review.caller = account->pw_uid;
        const Reply predicted = engine.applyTransaction(OptionCatalog::ConfigType::Server, review);
        QVERIFY2(predicted.ok, qPrintable(predicted.error));
        const QVariantList lockouts = predicted.data.value(Protocol::Reply::Lockouts).toList();

        const ActionResult applied = transact(changes, ActionArguments{{Protocol::Arg::TransactionRestart, true}} + inBlock);
        QVERIFY2(applied.ok, qPrintable(applied.errorText));
        auto unblock = qScopeGuard([&applied] {
            const int index = applied.data.value(Protocol::Reply::BlockIndex).toInt();
            if (index > 0) {
                runPrivilegedAction(ActionKind::Configure,
                                    {{Protocol::Arg::TransactionType, int(Protocol::Server)},
                                     {Protocol::Arg::BlockOperation, QStringLiteral("remove")},
                                     {Protocol::Arg::BlockIndex, index}});
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(listening(s_any4Port2200), 10000);
        QProcess client;
        startLogin(client, 2200, QStringLiteral("true"), key);
        QVERIFY(client.waitForFinished(20000));
        const bool loggedIn = client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
        QVERIFY2(loggedIn == login, client.readAll().constData());
        QVERIFY2(lockouts.isEmpty() == loggedIn, qPrintable(lockouts.value(0).toMap().value(Protocol::Reply::LockoutDetail).toString()));
    }

    // Another user floods the helper with calls it refuses, and KAuth announces every refusal to every
    // caller of the action: a change is reported applied, or not, only on its own answer, and each report
    // agrees with the file. A nonce that is not one is refused.
    void repliesAreTiedToRequests()
    {
        // Straight through the runner, which sends the nonce it is given; the next request waits until the helper takes it.
        bool released = false;
        const ActionResult bad = await<ActionResult>([&released](QObject *, ActionDone done) {
            KAuthActionRunner().start(
                actionName(ActionKind::Read),
                {{Protocol::Arg::Nonce, QStringLiteral("XYZ")}, {Protocol::Arg::ReadType, int(Protocol::Server)}, {Protocol::Arg::ReadKeywords, sl({"Port"})}},
                done,
                [&released] {
                    released = true;
                });
        });
        QTRY_VERIFY_WITH_TIMEOUT(released, 20000);
        QVERIFY2(!bad.ok && bad.errorText.contains(QLatin1String("32 lower-case hexadecimal digits")), qPrintable(bad.errorText));

        // The flood ends after the call it is in, so that the helper has nothing of it left to answer.
        const QString stopFile = QStringLiteral("/tmp/e2e-flood-stop");
        QFile::remove(stopFile); // left by an earlier run
        QProcess flood;
        flood.start(QStringLiteral("/usr/bin/setpriv"),
                    sl({"--reuid=65534", "--regid=65534", "--clear-groups"})
                        << QCoreApplication::applicationFilePath() << QStringLiteral("--probe-flood") << QStringLiteral("20000"));
        QVERIFY(flood.waitForReadyRead(30000));
        const auto stop = qScopeGuard([&flood, stopFile] {
            TestFiles::write(stopFile, {});
            if (!flood.waitForFinished(20000)) {
                flood.kill();
                flood.waitForFinished(5000);
            }
        });
        int applied = 0;
        int unknown = 0;
        int unknownWritten = 0; // reported "not applied" before requests carried a nonce
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 8 && timer.elapsed() < 45000; ++i) {
            const QByteArray value = QByteArray::number(20 + i);
            const SSHManager::Applied details = apply(*m_manager, Server, {{QStringLiteral("MaxSessions"), QString::fromLatin1(value)}});
            const bool ok = details.ok;
            const QString reason = details.reason;
            const bool written = trimmedLines(TestFiles::read(s_serverConfig)).contains("MaxSessions " + value);
            QVERIFY2(ok ? written : details.outcomeUnknown || !written, qPrintable(reason));
            applied += ok;
            unknown += details.outcomeUnknown;
            unknownWritten += details.outcomeUnknown && written;
        }
        QVERIFY2(flood.state() == QProcess::Running, flood.readAllStandardError().constData()); // the flood lasted throughout
        qInfo("under the flood: %d applied, %d of unknown outcome (%d of them written), in %lld ms", applied, unknown, unknownWritten, timer.elapsed());
    }

    void cleanupTestCase()
    {
        serviceCommand(&ServerState::stop);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--probe-action") == 0) {
        // Run as the login user by readOnlyCallerCannotWrite: a well-formed request of the action, which the helper
        // would carry out for an authorised caller (the connection to end is the listening sshd: refused by it too).
        const ActionKind action = ActionKind(atoi(argv[2]));
        const passwd *self = ::getpwuid(::getuid());
        const QString hostKey = QString::fromLatin1(TestFiles::read(QStringLiteral("/etc/ssh/ssh_host_ed25519_key.pub"))).trimmed();
        const QMap<ActionKind, ActionArguments> requests = {
            {ActionKind::Read, {{Protocol::Arg::ReadType, int(Protocol::Server)}, {Protocol::Arg::ReadKeywords, sl({"Port"})}}},
            {ActionKind::Configure,
             {{Protocol::Arg::TransactionType, int(Protocol::Server)},
              {Protocol::Arg::TransactionChanges, QVariantMap{{QStringLiteral("MaxSessions"), QStringLiteral("3")}}}}},
            {ActionKind::Service, {{Protocol::Arg::ServiceCommand, QStringLiteral("stop")}}},
            {ActionKind::Restore, {{Protocol::Arg::RestoreType, int(Protocol::Server)}, {Protocol::Arg::RestoreFromBackup, false}}},
            {ActionKind::UserFiles,
             {{Protocol::Arg::KeysFile, QString(QStringLiteral("/etc/ssh/keys/") + QString::fromLocal8Bit(self ? self->pw_name : ""))},
              {Protocol::Arg::AddKeyLine, hostKey}}},
            {ActionKind::Sessions, {{Protocol::Arg::KillPid, int(listenerPid())}}},
        };
        const ActionResult result = runPrivilegedAction(action, requests.value(action));
        fprintf(stderr,
                "ok=%d %s: %s\n",
                int(result.ok),
                authorizationRefused(result.errorCode) ? "authorization refused" : "other answer",
                qPrintable(result.errorText));
        return 0;
    }
    if (argc > 2 && qstrcmp(argv[1], "--probe-arm") == 0) {
        // Run by unconfirmedChangeIsReverted, which kills it once it has printed the token.
        const ActionResult result = transact({{QStringLiteral("Port"), QStringLiteral("2200")}}, {{Protocol::Arg::TransactionRevertAfter, atoi(argv[2])}});
        printf("%s\n", qPrintable(result.data.value(Protocol::Reply::Token).toString()));
        fflush(stdout);
        QThread::sleep(600);
        return 1;
    }
    if (argc > 2 && qstrcmp(argv[1], "--probe-flood") == 0) {
        // Run as nobody by repliesAreTiedToRequests, which kills it: calls the helper refuses, straight over D-Bus.
        QDBusConnection bus = QDBusConnection::systemBus();
        QByteArray arguments;
        QDataStream stream(&arguments, QIODevice::WriteOnly);
        stream << QVariantMap();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < atoi(argv[2]) && timer.elapsed() < 120000 && !QFile::exists(QStringLiteral("/tmp/e2e-flood-stop")); ++i) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(Protocol::HelperId, QStringLiteral("/"), QStringLiteral(KAUTH_INTERFACE), QStringLiteral("performAction"));
            call << actionName(ActionKind::Configure) << bus.baseService().toUtf8() << QVariantMap() << arguments;
            const QDBusMessage answer = bus.call(call, QDBus::Block, 10000);
            if (i == 0) {
                printf("flooding: %s\n", qPrintable(answer.errorMessage()));
                fflush(stdout);
            }
            // A short pause leaves the helper idle now and then, so that requests of the test get in and are
            // carried out while refusals are announced: the race in which a refusal would be taken for theirs.
            QThread::usleep(2000);
        }
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("SSHSETTINGS_IN_SANDBOX")) {
        fprintf(stderr, "SKIP: run through tests/e2e/run-in-sandbox.sh --journal --login-user\n");
        return SkipExitCode;
    }
    if (!QFileInfo::exists(QStringLiteral(HELPER_INSTALLED_PATH))) {
        fprintf(stderr, "SKIP: the helper is not at %s; run-in-sandbox.sh --install BUILD lays it there\n", HELPER_INSTALLED_PATH);
        return SkipExitCode;
    }
    E2ETest test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2etest.moc"
