// SPDX-License-Identifier: GPL-2.0-or-later
// The module's own road to the helper (runPrivilegedAction, KAuth, polkit,
// the system bus) against the installed helper, inside run-in-sandbox.sh.

#include "privilegedaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace SSHSettings;

namespace
{
constexpr int SkipExitCode = 77;

const QStringList s_serverKeywords = {QStringLiteral("Port"),
                                      QStringLiteral("MaxSessions"),
                                      QStringLiteral("UseDNS"),
                                      QStringLiteral("PubkeyAuthentication"),
                                      QStringLiteral("KerberosAuthentication"),
                                      QStringLiteral("UsePAM"),
                                      QStringLiteral("KbdInteractiveAuthentication"),
                                      QStringLiteral("PasswordAuthentication"),
                                      QStringLiteral("TCPKeepAlive"),
                                      QStringLiteral("HostbasedAuthentication"),
                                      QStringLiteral("GSSAPIAuthentication"),
                                      QStringLiteral("PermitRootLogin"),
                                      QStringLiteral("ListenAddress"),
                                      QStringLiteral("X11Forwarding"),
                                      QStringLiteral("PermitEmptyPasswords"),
                                      QStringLiteral("IgnoreUserKnownHosts"),
                                      QStringLiteral("IgnoreRhosts"),
                                      QStringLiteral("LoginGraceTime"),
                                      QStringLiteral("AddressFamily"),
                                      QStringLiteral("PrintLastLog"),
                                      QStringLiteral("PrintMotd"),
                                      QStringLiteral("PermitTunnel"),
                                      QStringLiteral("Subsystem"),
                                      QStringLiteral("Banner"),
                                      QStringLiteral("AuthorizedKeysFile"),
                                      QStringLiteral("AllowUsers"),
                                      QStringLiteral("DenyUsers"),
                                      QStringLiteral("AllowGroups"),
                                      QStringLiteral("DenyGroups")};

ActionResult readServer()
{
    return runPrivilegedAction(ActionKind::Access, {{QStringLiteral("check_options"), s_serverKeywords}, {QStringLiteral("type_id"), 1}});
}

ActionResult changeOption(const QString &keyword, const QVariant &value, int type = 1)
{
    return runPrivilegedAction(ActionKind::Change,
                               {{QStringLiteral("option_name"), keyword}, {QStringLiteral("config_type_id"), type}, {QStringLiteral("new_value"), value}});
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray effective()
{
    QProcess sshd;
    sshd.start(QStringLiteral(SSHD_PATH), {QStringLiteral("-T")});
    sshd.waitForFinished(30000);
    return sshd.readAllStandardOutput();
}
}

class E2EKAuthHelperTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readThroughRealStack()
    {
        QElapsedTimer timer;
        timer.start();
        ActionResult result = readServer();
        const qint64 first = timer.elapsed();
        QVERIFY2(result.ok, qPrintable(result.errorText));
        timer.restart();
        result = readServer();
        qInfo("read of 29 server keywords: first %lld ms (activates polkitd and the helper), then %lld ms", first, timer.elapsed());
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QCOMPARE(result.data.size(), s_serverKeywords.size());
        QCOMPARE(result.data.value(QStringLiteral("port")).toString(), QStringLiteral("22"));
        QCOMPARE(result.data.value(QStringLiteral("listenaddress")).toStringList(), (QStringList {QStringLiteral("[::]:22"), QStringLiteral("0.0.0.0:22")}));
        QCOMPARE(result.data.value(QStringLiteral("allowusers")).toStringList(), QStringList());

        const ActionResult client =
            runPrivilegedAction(ActionKind::Access,
                                {{QStringLiteral("check_options"),
                                  QStringList {QStringLiteral("Port"), QStringLiteral("ServerAliveInterval"), QStringLiteral("ServerAliveCountMax")}},
                                 {QStringLiteral("type_id"), 2}});
        QVERIFY2(client.ok, qPrintable(client.errorText));
        QCOMPARE(client.data.value(QStringLiteral("serveralivecountmax")).toString(), QStringLiteral("3"));
    }

    void changeEachKind_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("fileLine");
        QTest::addColumn<QByteArray>("sshdLine");

        QTest::newRow("number") << 1 << "Port" << QVariant(QStringLiteral("2222")) << QByteArray("\nPort 2222\n") << QByteArray("port 2222\n");
        QTest::newRow("bool") << 1 << "UseDNS" << QVariant(true) << QByteArray("\nUseDNS yes\n") << QByteArray("usedns yes\n");
        QTest::newRow("root login") << 1 << "PermitRootLogin" << QVariant(false) << QByteArray("\nPermitRootLogin no\n") << QByteArray("permitrootlogin no\n");
        QTest::newRow("word") << 1 << "PermitTunnel" << QVariant(QStringLiteral("point-to-point")) << QByteArray("\nPermitTunnel point-to-point\n")
                              << QByteArray("permittunnel point-to-point\n");
        QTest::newRow("listen") << 1 << "ListenAddress" << QVariant(QStringList {QStringLiteral("127.0.0.1:2222"), QStringLiteral("::1:2222")})
                                << QByteArray("\nListenAddress 127.0.0.1:2222\nListenAddress [::1]:2222\n") << QByteArray("listenaddress [::1]:2222\n");
        QTest::newRow("users") << 1 << "AllowUsers" << QVariant(QStringLiteral("root@127.0.0.1 alice@*")) << QByteArray("\nAllowUsers root@127.0.0.1 alice@*\n")
                               << QByteArray("allowusers alice@*\n");
        QTest::newRow("key files") << 1 << "AuthorizedKeysFile" << QVariant(QStringList {QStringLiteral(".ssh/authorized_keys")})
                                   << QByteArray("\nAuthorizedKeysFile .ssh/authorized_keys\n") << QByteArray("authorizedkeysfile .ssh/authorized_keys\n");
        QTest::newRow("banner") << 1 << "Banner" << QVariant(QStringLiteral("/etc/issue.net")) << QByteArray("\nBanner /etc/issue.net\n")
                                << QByteArray("banner /etc/issue.net\n");
        QTest::newRow("sftp off") << 1 << "Subsystem" << QVariant(false) << QByteArray() << QByteArray();
        QTest::newRow("client") << 2 << "ServerAliveInterval" << QVariant(QStringLiteral("30")) << QByteArray("\nServerAliveInterval 30\n") << QByteArray();
    }

    void changeEachKind()
    {
        QFETCH(int, type);
        QFETCH(QString, keyword);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, fileLine);
        QFETCH(QByteArray, sshdLine);

        QElapsedTimer timer;
        timer.start();
        const ActionResult result = changeOption(keyword, value, type);
        qInfo("change of %s: %lld ms", qPrintable(keyword), timer.elapsed());
        QVERIFY2(result.ok, qPrintable(result.errorText));
        const QByteArray file = readFile(type == 1 ? QStringLiteral("/etc/ssh/sshd_config") : QStringLiteral("/etc/ssh/ssh_config"));
        if (!fileLine.isEmpty()) {
            QVERIFY2(file.contains(fileLine), file.constData());
        } else {
            QVERIFY(!file.contains("\nSubsystem"));
        }
        QVERIFY(file.contains("\n# Authentication:\n") || type == 2);
        if (!sshdLine.isEmpty()) {
            QVERIFY(effective().contains(sshdLine));
        }
        QVERIFY(QFileInfo::exists(type == 1 ? QStringLiteral("/etc/ssh/sshd_config.bak") : QStringLiteral("/etc/ssh/ssh_config.bak")));
    }

    void refusalsChangeNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVariantMap>("arguments");
        const QVariantMap base = {{QStringLiteral("option_name"), QStringLiteral("Port")}, {QStringLiteral("config_type_id"), 1}};
        QVariantMap injected = base;
        injected.insert(QStringLiteral("new_value"), QStringLiteral("22\nPermitRootLogin yes"));
        QVariantMap wrongType = base;
        wrongType.insert(QStringLiteral("new_value"), 1.5);
        QVariantMap unknown = base;
        unknown[QStringLiteral("option_name")] = QStringLiteral("ForceCommand");
        unknown.insert(QStringLiteral("new_value"), QStringLiteral("/bin/sh"));
        QVariantMap mixed = injected;
        mixed[QStringLiteral("new_value")] = QStringLiteral("2223");
        mixed.insert(QStringLiteral("kill_pid"), 1);

        QTest::newRow("newline injection") << int(ActionKind::Change) << injected;
        QTest::newRow("wrong type") << int(ActionKind::Change) << wrongType;
        QTest::newRow("unknown keyword") << int(ActionKind::Change) << unknown;
        QTest::newRow("two requests at once") << int(ActionKind::Change) << mixed;
        QTest::newRow("not local address") << int(ActionKind::Change)
                                           << QVariantMap {{QStringLiteral("option_name"), QStringLiteral("ListenAddress")},
                                                           {QStringLiteral("config_type_id"), 1},
                                                           {QStringLiteral("new_value"), QStringList {QStringLiteral("198.51.100.1:22")}}};
        QTest::newRow("kill init") << int(ActionKind::Change) << QVariantMap {{QStringLiteral("kill_pid"), 1}};
        QTest::newRow("journal vacuum") << int(ActionKind::Access)
                                        << QVariantMap {{QStringLiteral("system_logs_arguments"),
                                                         QStringList {QStringLiteral("--identifier=sshd"), QStringLiteral("--boot"), QStringLiteral("--utc"),
                                                                      QStringLiteral("--show-cursor"), QStringLiteral("--output=short-iso-precise"),
                                                                      QStringLiteral("--vacuum-time=1s")}}};
        QTest::newRow("banner outside /etc") << int(ActionKind::Change)
                                             << QVariantMap {{QStringLiteral("write_banner_path"), QStringLiteral("/root/.bashrc")},
                                                             {QStringLiteral("write_banner_text"), QStringLiteral("x")}};
        QTest::newRow("service reload") << int(ActionKind::Access) << QVariantMap {{QStringLiteral("ssh_server_command"), QStringLiteral("reload")}};
    }

    void refusalsChangeNothing()
    {
        QFETCH(int, kind);
        QFETCH(QVariantMap, arguments);
        const QByteArray before = readFile(QStringLiteral("/etc/ssh/sshd_config"));
        ActionArguments list;
        for (auto it = arguments.cbegin(); it != arguments.cend(); ++it) {
            list.append({it.key(), it.value()});
        }
        const ActionResult result = runPrivilegedAction(ActionKind(kind), list);
        QVERIFY(!result.ok);
        qInfo("refused: %s", qPrintable(result.errorText));
        QCOMPARE(readFile(QStringLiteral("/etc/ssh/sshd_config")), before);
    }

    void serviceStartStop()
    {
        QVERIFY(changeOption(QStringLiteral("AllowUsers"), QString()).ok);
        ActionResult result = runPrivilegedAction(ActionKind::Access, {{QStringLiteral("ssh_server_command"), QStringLiteral("start")}});
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QStringLiteral("/run/sshd.pid")), 10000);
        const QByteArray tcp = readFile(QStringLiteral("/proc/net/tcp"));
        QVERIFY2(tcp.contains("0100007F:08AE"), tcp.constData()); // 127.0.0.1:2222 listening
        result = runPrivilegedAction(ActionKind::Access, {{QStringLiteral("ssh_server_command"), QStringLiteral("stop")}});
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(QStringLiteral("/proc/net/tcp")).contains("0100007F:08AE"), 10000);
    }

    void restore()
    {
        const QByteArray backup = readFile(QStringLiteral("/etc/ssh/sshd_config.bak"));
        ActionResult result =
            runPrivilegedAction(ActionKind::Access, {{QStringLiteral("restore_configure"), 1}, {QStringLiteral("restore_local_backup"), true}});
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QCOMPARE(readFile(QStringLiteral("/etc/ssh/sshd_config")), backup);
        result = runPrivilegedAction(ActionKind::Access, {{QStringLiteral("restore_configure"), 1}, {QStringLiteral("restore_local_backup"), false}});
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QCOMPARE(readFile(QStringLiteral("/etc/ssh/sshd_config")), readFile(QStringLiteral("/usr/share/openssh/sshd_config")));
        QVERIFY(effective().contains("port 22\n"));
    }

    void unauthorisedCallerIsRefused()
    {
        const QByteArray before = readFile(QStringLiteral("/etc/ssh/sshd_config"));
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                     QCoreApplication::applicationFilePath(), QStringLiteral("--probe-unprivileged")});
        QVERIFY(probe.waitForFinished(60000));
        const QByteArray said = probe.readAllStandardError().trimmed();
        qInfo("%s", said.constData());
        QVERIFY2(probe.exitCode() == 0, said.constData());
        QVERIFY(said.contains("ok=0"));
        QCOMPARE(readFile(QStringLiteral("/etc/ssh/sshd_config")), before);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--probe-unprivileged") == 0) {
        // Run as nobody: the change must be refused (exit 0) and not applied.
        const ActionResult result = changeOption(QStringLiteral("Port"), QStringLiteral("2444"));
        fprintf(stderr, "unprivileged change: ok=%d error=%s\n", int(result.ok), qPrintable(result.errorText));
        return result.ok ? 1 : 0;
    }
    if (qEnvironmentVariableIsEmpty("SSHSETTINGS_IN_SANDBOX")) {
        fprintf(stderr, "SKIP: run through tests/e2e/run-in-sandbox.sh\n");
        return SkipExitCode;
    }
    if (!QFileInfo::exists(QStringLiteral(HELPER_INSTALLED_PATH))) {
        fprintf(stderr, "SKIP: the helper is not installed at %s; run cmake --install first\n", HELPER_INSTALLED_PATH);
        return SkipExitCode;
    }
    E2EKAuthHelperTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2ekauthhelpertest.moc"
