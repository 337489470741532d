// SPDX-License-Identifier: GPL-2.0-or-later
// What an attacker on the bus or a careless caller could send: every request
// must be refused and leave every file as it was.

#include "requestdispatch.h"
#include "testsandbox.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using Action = RequestDispatch::Action;
Q_DECLARE_METATYPE(RequestDispatch::Action)

namespace
{
struct Request
{
    Action action;
    QVariantMap arguments;
};

// Placeholders replaced by sandbox paths when the row runs.
const QString s_banner = QStringLiteral("@ROOT@/etc/banners/issue");
const QString s_keys = QStringLiteral("@ROOT@/home/authorized_keys");
const QString s_key = QStringLiteral("@KEY@");

const QStringList s_journal = {QStringLiteral("--identifier=sshd"), QStringLiteral("--boot"), QStringLiteral("--utc"), QStringLiteral("--show-cursor"),
                               QStringLiteral("--output=short-iso-precise")};

QVariantMap change(const QString &keyword, const QVariant &value, int type = 1)
{
    return {{QStringLiteral("option_name"), keyword}, {QStringLiteral("config_type_id"), type}, {QStringLiteral("new_value"), value}};
}

// Well-formed requests of every kind; the injections start from them.
QList<Request> baselines()
{
    return {
        {Action::Access, {{QStringLiteral("check_options"), QStringList {QStringLiteral("Port")}}, {QStringLiteral("type_id"), 1}}},
        {Action::Access, {{QStringLiteral("ssh_server_command"), QStringLiteral("restart")}}},
        {Action::Access, {{QStringLiteral("system_logs_arguments"), s_journal + QStringList {QStringLiteral("--after-cursor=s=1;i=2")}}}},
        {Action::Change, change(QStringLiteral("Port"), QStringLiteral("2222"))},
        {Action::Change, change(QStringLiteral("Banner"), QStringLiteral("/etc/issue.net"))},
        {Action::Change, change(QStringLiteral("PermitTunnel"), QStringLiteral("yes"))},
        {Action::Change, change(QStringLiteral("AddressFamily"), QStringLiteral("inet"))},
        {Action::Change, change(QStringLiteral("AllowUsers"), QStringLiteral("alice@* *@10.0.0.7"))},
        {Action::Change, change(QStringLiteral("ListenAddress"), QStringList {QStringLiteral("127.0.0.1:22")})},
        {Action::Change, change(QStringLiteral("AuthorizedKeysFile"), QStringList {QStringLiteral(".ssh/authorized_keys")})},
        {Action::Change, change(QStringLiteral("ServerAliveInterval"), QStringLiteral("30"), 2)},
        {Action::Change, {{QStringLiteral("write_banner_path"), s_banner}, {QStringLiteral("write_banner_text"), QStringLiteral("Hello")}}},
        {Action::Change, {{QStringLiteral("authorized_keys_file"), s_keys}, {QStringLiteral("add_key_line"), s_key}}},
        {Action::Change, {{QStringLiteral("authorized_keys_file"), s_keys}, {QStringLiteral("remove_key_line"), s_key}}},
    };
}

QStringList repeatedList(const QString &entry, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list.append(entry);
    }
    return list;
}

QString describe(const QVariant &value)
{
    return QString::fromLatin1(value.typeName() ? value.typeName() : "invalid");
}
}

class HostileInputTest : public QObject
{
    Q_OBJECT

    int m_rows = 0;

    void addRow(const QString &name, Action action, const QVariantMap &arguments)
    {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(++m_rows, 3).arg(name))) << action << arguments;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("sshd -t needs root");
        }
    }

    void refused_data()
    {
        QTest::addColumn<RequestDispatch::Action>("action");
        QTest::addColumn<QVariantMap>("arguments");
        m_rows = 0;

        // Control characters in every string argument of every request kind.
        const QStringList bad = {QStringLiteral("\n"),   QStringLiteral("\r"),   QString(QChar(0)),     QStringLiteral("\x01"),
                                 QStringLiteral("\x1b"), QStringLiteral("\x7f"), QString(QChar(0x2028))};
        const QList<Request> base = baselines();
        for (const Request &request : base) {
            for (auto it = request.arguments.cbegin(); it != request.arguments.cend(); ++it) {
                for (const QString &c : bad) {
                    if (it.key() == QLatin1String("write_banner_text") && (c == QLatin1String("\n") || c == QLatin1String("\r"))) {
                        continue; // line breaks belong in a banner
                    }
                    QVariantMap arguments = request.arguments;
                    if (it.value().userType() == QMetaType::QString) {
                        QString text = it.value().toString();
                        text.insert(text.size() / 2, c + QStringLiteral("PermitRootLogin yes") + c);
                        arguments[it.key()] = text;
                    } else if (it.value().userType() == QMetaType::QStringList) {
                        QStringList list = it.value().toStringList();
                        list.last().append(c + QStringLiteral("X"));
                        arguments[it.key()] = list;
                    } else {
                        continue;
                    }
                    addRow(
                        QStringLiteral("control U+%1 in %2 of %3").arg(c.at(0).unicode(), 4, 16, QLatin1Char('0')).arg(it.key(), request.arguments.firstKey()),
                        request.action, arguments);
                }
            }
        }

        // Every argument with every wrong type.
        const QVariantList types = {QVariant(),
                                    QVariant(1),
                                    QVariant(1.5),
                                    QVariant(true),
                                    QVariant(QStringLiteral("1")),
                                    QVariant(QStringList {QStringLiteral("1")}),
                                    QVariant(QByteArray("1")),
                                    QVariant(QVariantMap {{QStringLiteral("a"), 1}}),
                                    QVariant(qlonglong(1)),
                                    QVariant(uint(1))};
        const QList<Request> typed = base +
            QList<Request> {{Action::Access, {{QStringLiteral("restore_configure"), 1}, {QStringLiteral("restore_local_backup"), true}}},
                            {Action::Change, {{QStringLiteral("kill_pid"), 12345}}},
                            {Action::Change, change(QStringLiteral("UseDNS"), true)},
                            {Action::Change, change(QStringLiteral("Subsystem"), false)}};
        for (const Request &request : typed) {
            for (auto it = request.arguments.cbegin(); it != request.arguments.cend(); ++it) {
                for (const QVariant &wrong : types) {
                    if (wrong.userType() == it.value().userType()) {
                        continue;
                    }
                    // Numbers may come as text or int; both are legitimate for numeric options.
                    if (it.key() == QLatin1String("new_value") && wrong.userType() == QMetaType::Int &&
                        (request.arguments.value(QStringLiteral("option_name")) == QLatin1String("Port") ||
                         request.arguments.value(QStringLiteral("option_name")) == QLatin1String("ServerAliveInterval"))) {
                        continue;
                    }
                    QVariantMap arguments = request.arguments;
                    arguments[it.key()] = wrong;
                    addRow(QStringLiteral("%1 as %2").arg(it.key(), describe(wrong)), request.action, arguments);
                }
            }
        }

        // Unknown keywords and actions, mixed and missing keys.
        for (const char *keyword : {"PermitUserEnvironment", "ForceCommand", "AuthorizedKeysCommand", "Include", "Match", "HostKey", "", "Port ", "port\n"}) {
            addRow(QStringLiteral("keyword %1").arg(QLatin1String(keyword)), Action::Change, change(QLatin1String(keyword), QStringLiteral("yes")));
            addRow(QStringLiteral("read keyword %1").arg(QLatin1String(keyword)), Action::Access,
                   {{QStringLiteral("check_options"), QStringList {QStringLiteral("Port"), QLatin1String(keyword)}}, {QStringLiteral("type_id"), 1}});
        }
        addRow(QStringLiteral("server keyword on client"), Action::Change, change(QStringLiteral("UseDNS"), true, 2));
        for (int type : {0, 3, -1, 1000}) {
            addRow(QStringLiteral("config type %1").arg(type), Action::Change, change(QStringLiteral("Port"), QStringLiteral("22"), type));
            addRow(QStringLiteral("read type %1").arg(type), Action::Access,
                   {{QStringLiteral("check_options"), QStringList {QStringLiteral("Port")}}, {QStringLiteral("type_id"), type}});
            addRow(QStringLiteral("restore type %1").arg(type), Action::Access,
                   {{QStringLiteral("restore_configure"), type}, {QStringLiteral("restore_local_backup"), false}});
        }
        addRow(QStringLiteral("empty access"), Action::Access, {});
        addRow(QStringLiteral("empty change"), Action::Change, {});
        addRow(QStringLiteral("unknown key"), Action::Change, {{QStringLiteral("run_command"), QStringLiteral("/bin/sh")}});
        addRow(QStringLiteral("change request on access"), Action::Access, change(QStringLiteral("Port"), QStringLiteral("22")));
        addRow(QStringLiteral("read request on change"), Action::Change, base.at(0).arguments);
        addRow(QStringLiteral("kill on access"), Action::Access, {{QStringLiteral("kill_pid"), 12345}});
        for (int i = 0; i < base.size(); ++i) {
            const Request &first = base.at(i);
            const Request &second = base.at((i + 5) % base.size());
            QVariantMap mixed = first.arguments;
            bool added = false;
            for (auto it = second.arguments.cbegin(); it != second.arguments.cend(); ++it) {
                if (!mixed.contains(it.key())) {
                    mixed.insert(it.key(), it.value());
                    added = true;
                }
            }
            if (added) {
                addRow(QStringLiteral("mixed %1 + %2").arg(first.arguments.firstKey(), second.arguments.firstKey()), first.action, mixed);
            }
            QVariantMap extra = first.arguments;
            extra.insert(QStringLiteral("config_path"), QStringLiteral("/tmp/evil_config"));
            addRow(QStringLiteral("extra path key on %1").arg(first.arguments.firstKey()), first.action, extra);
            QVariantMap missing = first.arguments;
            missing.remove(missing.lastKey());
            addRow(QStringLiteral("missing key of %1").arg(first.arguments.firstKey()), first.action, missing);
        }
        addRow(QStringLiteral("add and remove at once"), Action::Change,
               {{QStringLiteral("authorized_keys_file"), s_keys}, {QStringLiteral("add_key_line"), s_key}, {QStringLiteral("remove_key_line"), s_key}});

        // Values outside their keyword's range.
        const QList<QPair<QString, QVariant>> values = {
            {QStringLiteral("Port"), QStringLiteral("0")},
            {QStringLiteral("Port"), QStringLiteral("65536")},
            {QStringLiteral("Port"), QStringLiteral("-1")},
            {QStringLiteral("Port"), QStringLiteral("22 23")},
            {QStringLiteral("Port"), QStringLiteral("0x16")},
            {QStringLiteral("Port"), QString()},
            {QStringLiteral("Port"), 0},
            {QStringLiteral("Port"), 70000},
            {QStringLiteral("Port"), QString(QStringLiteral("9")).repeated(100000)},
            {QStringLiteral("MaxSessions"), QStringLiteral("-1")},
            {QStringLiteral("MaxSessions"), QStringLiteral("99999999999")},
            {QStringLiteral("LoginGraceTime"), QStringLiteral("2m")},
            {QStringLiteral("PermitTunnel"), QStringLiteral("maybe")},
            {QStringLiteral("PermitTunnel"), QStringLiteral("YES")},
            {QStringLiteral("AddressFamily"), QStringLiteral("inet4")},
            {QStringLiteral("Banner"), QStringLiteral("etc/issue")},
            {QStringLiteral("Banner"), QStringLiteral("/etc/../etc/shadow")},
            {QStringLiteral("Banner"), QStringLiteral("/etc/issue net")},
            {QStringLiteral("Banner"), QStringLiteral("/etc/issue\"")},
            {QStringLiteral("Banner"), QString()},
            {QStringLiteral("AllowUsers"), QStringLiteral("alice bob\"")},
            {QStringLiteral("AllowUsers"), QStringLiteral("#x")},
            {QStringLiteral("AllowUsers"), QStringLiteral("a@b@c")},
            {QStringLiteral("AllowUsers"), QStringLiteral("@x")},
            {QStringLiteral("DenyGroups"), QStringLiteral("g\tb")},
            {QStringLiteral("AllowGroups"), QStringLiteral("x ").repeated(300)},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("127.0.0.1")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("localhost:22")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("127.0.0.1:99999")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("127.0.0.1:0")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("198.51.100.1:22")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("[::1]")}},
            {QStringLiteral("ListenAddress"), QStringList {QStringLiteral("127.0.0.1:22 rdomain x")}},
            {QStringLiteral("ListenAddress"), repeatedList(QStringLiteral("127.0.0.1:22"), 300)},
            {QStringLiteral("AuthorizedKeysFile"), QStringList {QStringLiteral("a b")}},
            {QStringLiteral("AuthorizedKeysFile"), QStringList {QString()}},
            {QStringLiteral("PermitRootLogin"), QStringLiteral("yes")},
        };
        for (const auto &value : values) {
            addRow(QStringLiteral("%1 = %2").arg(value.first, value.second.toStringList().join(QLatin1Char(',')).left(40) + value.second.toString().left(40)),
                   Action::Change, change(value.first, value.second));
        }

        // Files: relative, "..", symlinks, devices, folders, missing, outside /etc.
        const QStringList paths = {QStringLiteral("etc/banners/issue"),
                                   QStringLiteral("@ROOT@/etc/banners/../banners/issue"),
                                   QStringLiteral("@ROOT@/etc/banners/link"),
                                   QStringLiteral("@ROOT@/etc/banners/fifo"),
                                   QStringLiteral("@ROOT@/etc/banners"),
                                   QStringLiteral("@ROOT@/etc/banners/missing"),
                                   QStringLiteral("/dev/null"),
                                   QStringLiteral("@ROOT@/home/authorized_keys-link"),
                                   QStringLiteral("@ROOT@/etc/linkdir/issue"),
                                   QStringLiteral("@ROOT@//etc/banners/issue"),
                                   QStringLiteral("@ROOT@/etc/banners/./issue")};
        for (const QString &path : paths) {
            addRow(QStringLiteral("banner %1").arg(path), Action::Change,
                   {{QStringLiteral("write_banner_path"), path}, {QStringLiteral("write_banner_text"), QStringLiteral("x")}});
        }
        addRow(QStringLiteral("banner outside /etc"), Action::Change,
               {{QStringLiteral("write_banner_path"), s_keys}, {QStringLiteral("write_banner_text"), QStringLiteral("x")}});
        addRow(QStringLiteral("banner too large"), Action::Change,
               {{QStringLiteral("write_banner_path"), s_banner}, {QStringLiteral("write_banner_text"), QString(65 * 1024, QLatin1Char('a'))}});
        for (QString path : paths) {
            path.replace(QLatin1String("etc/banners/issue"), QLatin1String("home/authorized_keys"));
            addRow(QStringLiteral("key file %1").arg(path), Action::Change,
                   {{QStringLiteral("authorized_keys_file"), path}, {QStringLiteral("add_key_line"), s_key}});
            addRow(QStringLiteral("key removal %1").arg(path), Action::Change,
                   {{QStringLiteral("authorized_keys_file"), path}, {QStringLiteral("remove_key_line"), s_key}});
        }
        for (const QString &line :
             {QStringLiteral("ssh-ed25519 AAAA"), QStringLiteral("not a key"), QString(), QStringLiteral("   "), QStringLiteral("@KEY@\n@KEY@"),
              QString(QStringLiteral("@KEY@ ") + QString(20000, QLatin1Char('c'))), QStringLiteral("command=\"/bin/sh\"")}) {
            addRow(QStringLiteral("key line %1").arg(line.left(30)), Action::Change,
                   {{QStringLiteral("authorized_keys_file"), s_keys}, {QStringLiteral("add_key_line"), line}});
        }

        // Processes that are no connection.
        for (int pid : {1, 0, -1, -100, 2147483647, int(getpid()), -2}) {
            addRow(QStringLiteral("kill %1").arg(pid), Action::Change, {{QStringLiteral("kill_pid"), pid}});
        }
        addRow(QStringLiteral("kill the listening daemon"), Action::Change, {{QStringLiteral("kill_pid"), -1000}}); // replaced by its pid

        // journalctl flags beyond the reader's.
        for (const char *flag : {"--vacuum-time=1s",
                                 "-D",
                                 "/var/log",
                                 "--output-fields=MESSAGE",
                                 "--directory=/tmp",
                                 "--file=/etc/shadow",
                                 "--rotate",
                                 "--flush",
                                 "-f",
                                 "--follow",
                                 "--merge",
                                 "--no-pager",
                                 "--output=json",
                                 "--identifier=sshd",
                                 "--after-cursor=",
                                 "--after-cursor=x y",
                                 "--after-cursor=s;$(reboot)",
                                 "--after-cursor=../../x",
                                 "--root=/",
                                 "--boot=-1",
                                 "--cursor-file=/etc/shadow"}) {
            addRow(QStringLiteral("journal %1").arg(QLatin1String(flag)), Action::Access,
                   {{QStringLiteral("system_logs_arguments"), s_journal + QStringList {QLatin1String(flag)}}});
        }
        addRow(QStringLiteral("journal without --boot"), Action::Access,
               {{QStringLiteral("system_logs_arguments"), QVariant(s_journal.mid(0, 1) + s_journal.mid(2))}});
        addRow(QStringLiteral("journal empty"), Action::Access, {{QStringLiteral("system_logs_arguments"), QStringList()}});
        addRow(QStringLiteral("journal cursor too long"), Action::Access,
               {{QStringLiteral("system_logs_arguments"), s_journal + QStringList {QStringLiteral("--after-cursor=") + QString(600, QLatin1Char('a'))}}});
        addRow(QStringLiteral("journal two cursors"), Action::Access,
               {{QStringLiteral("system_logs_arguments"), s_journal + QStringList {QStringLiteral("--after-cursor=a"), QStringLiteral("--after-cursor=b")}}});

        for (const char *command : {"reload", "enable", "disable", "mask", "Start", "", "start; rm -rf /", "start ", "status"}) {
            addRow(QStringLiteral("service %1").arg(QLatin1String(command)), Action::Access, {{QStringLiteral("ssh_server_command"), QLatin1String(command)}});
        }
        addRow(QStringLiteral("read too many keywords"), Action::Access,
               {{QStringLiteral("check_options"), repeatedList(QStringLiteral("Port"), 100)}, {QStringLiteral("type_id"), 1}});
        addRow(QStringLiteral("read no keyword"), Action::Access, {{QStringLiteral("check_options"), QStringList()}, {QStringLiteral("type_id"), 1}});
        addRow(QStringLiteral("restore missing backup"), Action::Access,
               {{QStringLiteral("restore_configure"), 1}, {QStringLiteral("restore_local_backup"), true}});
    }

    void refused()
    {
        QFETCH(RequestDispatch::Action, action);
        QFETCH(QVariantMap, arguments);

        TestSandbox sandbox;
        QVERIFY(sandbox.isValid());
        // Programs that must never run for a refused request.
        sandbox.paths.journalctl = QStringLiteral("/bin/false");
        sandbox.paths.systemctl = QStringLiteral("/bin/false");
        sandbox.paths.initScript = QStringLiteral("/bin/false");
        QVERIFY(QFile::link(sandbox.path(QStringLiteral("etc/banners/issue")), sandbox.path(QStringLiteral("etc/banners/link"))));
        QVERIFY(QFile::link(sandbox.path(QStringLiteral("home/authorized_keys")), sandbox.path(QStringLiteral("home/authorized_keys-link"))));
        QVERIFY(QFile::link(sandbox.path(QStringLiteral("home")), sandbox.path(QStringLiteral("etc/linkdir"))));
        QVERIFY(::mkfifo(QFile::encodeName(sandbox.path(QStringLiteral("etc/banners/fifo"))).constData(), 0644) == 0);
        sandbox.write(QStringLiteral("home/authorized_keys"), "# no keys yet\n");

        // A listening daemon stand-in, named sshd and recorded in the pid file.
        const QString fake = sandbox.path(QStringLiteral("sshd"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), fake));
        QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QProcess listener;
        listener.start(fake, {QStringLiteral("60")});
        QVERIFY(listener.waitForStarted());
        sandbox.write(QStringLiteral("run/sshd.pid"), QByteArray::number(listener.processId()) + '\n');

        const QString key = QString::fromLatin1(sandbox.read(QStringLiteral("keys/host_ed25519_key.pub"))).trimmed();
        const QString root = sandbox.path(QString()).chopped(1);
        QVariantMap concrete;
        for (auto it = arguments.cbegin(); it != arguments.cend(); ++it) {
            QVariant value = it.value();
            if (value.userType() == QMetaType::QString) {
                value = value.toString().replace(QLatin1String("@ROOT@"), root).replace(QLatin1String("@KEY@"), key);
            } else if (it.key() == QLatin1String("kill_pid") && value.userType() == QMetaType::Int && value.toInt() == -1000) {
                value = int(listener.processId());
            }
            concrete.insert(it.key(), value);
        }

        const auto before = sandbox.snapshot();
        Engine engine(sandbox.paths);
        const Reply reply = RequestDispatch::dispatch(engine, action, concrete);
        QVERIFY2(!reply.ok, "accepted");
        QVERIFY(!reply.error.isEmpty());
        QVERIFY2(!reply.error.contains(QLatin1Char('\n')), qPrintable(reply.error));
        QCOMPARE(sandbox.snapshot(), before);
        QCOMPARE(listener.state(), QProcess::Running);
        listener.kill();
        listener.waitForFinished();
    }

    void baselinesAreAccepted()
    {
        // The rows above fail because of what was changed, not because the
        // starting requests were wrong already.
        TestSandbox sandbox;
        sandbox.paths.journalctl = QStringLiteral("/bin/true");
        sandbox.paths.initScript = QStringLiteral("/bin/true");
        sandbox.paths.systemctl = QStringLiteral("/bin/true");
        const QString key = QString::fromLatin1(sandbox.read(QStringLiteral("keys/host_ed25519_key.pub"))).trimmed();
        const QString root = sandbox.path(QString()).chopped(1);
        Engine engine(sandbox.paths);
        for (const Request &request : baselines()) {
            QVariantMap arguments;
            for (auto it = request.arguments.cbegin(); it != request.arguments.cend(); ++it) {
                QVariant value = it.value();
                if (value.userType() == QMetaType::QString) {
                    value = value.toString().replace(QLatin1String("@ROOT@"), root).replace(QLatin1String("@KEY@"), key);
                }
                arguments.insert(it.key(), value);
            }
            const Reply reply = RequestDispatch::dispatch(engine, request.action, arguments);
            QVERIFY2(reply.ok, qPrintable(request.arguments.firstKey() + QLatin1String(": ") + reply.error));
        }
    }

    void tool_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("get") << QStringList {QStringLiteral("get"), QStringLiteral("Port"), QStringLiteral("ListenAddress")} << 0
                             << QByteArray("port \"22\"\nlistenaddress [\"[::]:22\",\"0.0.0.0:22\"]\n");
        QTest::newRow("dry run") << QStringList {QStringLiteral("set"), QStringLiteral("--dry-run"), QStringLiteral("MaxSessions"), QStringLiteral("4")} << 0
                                 << QByteArray("+MaxSessions 4\n");
        QTest::newRow("newline refused") << QStringList {QStringLiteral("set"), QStringLiteral("Port"), QStringLiteral("22\nPermitRootLogin yes")} << 1
                                         << QByteArray("ssh-settings-tool: Port:");
        QTest::newRow("unknown keyword") << QStringList {QStringLiteral("set"), QStringLiteral("ForceCommand"), QStringLiteral("/bin/sh")} << 1
                                         << QByteArray("ssh-settings-tool: unknown keyword");
        QTest::newRow("usage") << QStringList {QStringLiteral("frobnicate")} << 2 << QByteArray("usage:");
    }

    void tool()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        TestSandbox sandbox;
        // The sandbox configuration has no host key of its own: give sshd one.
        sandbox.write(QStringLiteral("sshd_config"),
                      "HostKey " + QFile::encodeName(sandbox.path(QStringLiteral("keys/host_ed25519_key"))) + '\n' +
                          sandbox.read(QStringLiteral("sshd_config")));
        if (arguments.size() > 1) {
            arguments.insert(1, QStringLiteral("--config"));
            arguments.insert(2, sandbox.paths.serverConfig);
        }
        const auto before = sandbox.snapshot();
        QProcess process;
        process.start(QStringLiteral(SSH_SETTINGS_TOOL), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray text = process.readAllStandardOutput() + process.readAllStandardError();
        QVERIFY2(text.contains(output), text.constData());
        if (exitCode != 0) {
            QCOMPARE(text.count('\n'), arguments.size() == 1 ? 2 : 1);
        }
        QCOMPARE(sandbox.snapshot(), before);
    }

    void cleanupTestCase() { qInfo("hostile inputs refused: %d", m_rows); }
};

QTEST_GUILESS_MAIN(HostileInputTest)
#include "hostileinputtest.moc"
