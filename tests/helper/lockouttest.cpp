// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Would the administrator's own session get in again? sshd's access rules and
// pattern matching, the methods left (keys read from a home folder as sshd
// reads them), the sockets kept; cases checked against sshd's own answers
// (auth.c allowed_user, match.c, addrmatch.c, auth2-pubkeyfile.c, misc.c safe_path).

#include "lockout.h"
#include "engine.h"
#include "ipaddress.h"
#include "runprogram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
// A public key line of a fresh key of @p type.
QByteArray publicKey(const QStringList &type)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QLatin1String("/key");
    runProgram(EnginePaths::system().sshKeygen, QStringList{QStringLiteral("-q"), QStringLiteral("-N"), QString(), QStringLiteral("-f"), file} + type);
    QFile key(file + QLatin1String(".pub"));
    return key.open(QIODevice::ReadOnly) ? key.readAll().trimmed() : QByteArray();
}
}

class LockoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void problems_data()
    {
        QTest::addColumn<QString>("user"); // user:group,group[:key]
        QTest::addColumn<QString>("connection"); // $SSH_CONNECTION
        QTest::addColumn<QByteArray>("config"); // sshd -T lines replacing the defaults of their keywords
        QTest::addColumn<QByteArray>("keys"); // ~/.ssh/authorized_keys with @ED25519@ or @RSA@ for a key; "->…": a link to a file of that
        QTest::addColumn<int>("sshMode"); // of ~/.ssh
        QTest::addColumn<QByteArray>("password"); // the account's password field
        QTest::addColumn<QString>("expected"); // kind:detail;...

        const QString alice = QStringLiteral("alice:alice,staff");
        const QString v4 = QStringLiteral("192.0.2.10 50022 192.0.2.1 22");
        const auto row = [](const char *name, const QString &user, const QString &connection, const char *config, const char *expected) {
            QTest::newRow(name) << user << connection << QByteArray(config) << QByteArray() << 0700 << QByteArray("$6$s$h") << QString::fromLatin1(expected);
        };
        const auto keyRow = [&](const char *name, const char *keys, int sshMode, const char *password, const char *config, const char *expected) {
            QTest::newRow(name) << alice << v4 << QByteArray(config) << QByteArray(keys) << sshMode << QByteArray(password) << QString::fromLatin1(expected);
        };
        const char *const lockedOut = "authentication:PasswordAuthentication";
        row("defaults", alice, v4, "", "");
        row("AllowUsers another", alice, v4, "allowusers bob", "access:AllowUsers bob");
        row("AllowUsers wildcard", alice, v4, "allowusers bob\nallowusers al*", "");
        row("AllowUsers ? wildcard", alice, v4, "allowusers ?lic?", "");
        row("AllowUsers is case-sensitive", alice, v4, "allowusers Alice", "access:AllowUsers Alice");
        row("AllowUsers from the network", alice, v4, "allowusers alice@192.0.2.0/24", "");
        row("AllowUsers from another network", alice, v4, "allowusers alice@198.51.100.0/24", "access:AllowUsers alice@198.51.100.0/24");
        row("AllowUsers host wildcard", alice, v4, "allowusers alice@192.0.2.*", "");
        row("AllowUsers negated address", alice, v4, "allowusers alice@!192.0.2.10,*", "access:AllowUsers alice@!192.0.2.10,*");
        row("AllowUsers negated other address", alice, v4, "allowusers alice@!192.0.2.11,*", "");
        row("AllowUsers mask with host bits", alice, v4, "allowusers alice@192.0.2.10/8", "access:AllowUsers alice@192.0.2.10/8");
        row("AllowUsers IPv4 client on IPv6 socket", alice, QStringLiteral("::ffff:192.0.2.10 50022 ::ffff:192.0.2.1 22"), "allowusers *@192.0.2.0/24", "");
        row("AllowUsers IPv6 network of IPv4 addresses", alice, v4, "allowusers alice@::ffff:192.0.2.0/24", "access:AllowUsers alice@::ffff:192.0.2.0/24");
        row("AllowUsers IPv6 network", alice, QStringLiteral("2001:db8::10 50022 2001:db8::1 22"), "allowusers alice@2001:db8::/32", "");
        row("DenyUsers from the client", alice, v4, "denyusers *@192.0.2.10", "access:DenyUsers *@192.0.2.10");
        row("DenyUsers elsewhere", alice, v4, "denyusers alice@10.*", "");
        row("DenyUsers of many wildcards", alice, v4, QByteArray("denyusers alice@" + QByteArray(64, '*') + "x").constData(), "");
        row("DenyUsers wins over AllowUsers", alice, v4, "allowusers alice\ndenyusers a*", "access:DenyUsers a*");
        row("DenyGroups a group of the user", alice, v4, "denygroups staff", "access:DenyGroups staff");
        row("AllowGroups none of the user", alice, v4, "allowgroups wheel", "access:AllowGroups wheel");
        row("AllowGroups wildcard", alice, v4, "allowgroups st?ff", "");
        row("AllowGroups has no host part", alice, v4, "allowgroups staff@192.0.2.10", "access:AllowGroups staff@192.0.2.10");
        row("no password, no key", alice, v4, "passwordauthentication no", "authentication:PasswordAuthentication");
        keyRow("no password, a key", "# mine\n\n@ED25519@ alice@laptop", 0700, "$6$s$h", "passwordauthentication no", "");
        keyRow("keys off, key only", "@ED25519@", 0700, "$6$s$h", "passwordauthentication no\npubkeyauthentication no", "authentication:PubkeyAuthentication");
        keyRow("key from another address only", "from=\"192.0.2.1\" @ED25519@", 0700, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("key from the session's network", "no-pty,from=\"!192.0.2.99,192.0.2.0/24\" @ED25519@", 0700, "$6$s$h", "passwordauthentication no", "");
        keyRow("~/.ssh 0777, StrictModes yes", "@ED25519@", 0777, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("~/.ssh 0777, StrictModes no", "@ED25519@", 0777, "$6$s$h", "passwordauthentication no\nstrictmodes no", "");
        keyRow("key file a link", "->@ED25519@", 0700, "$6$s$h", "passwordauthentication no\nstrictmodes no", lockedOut);
        keyRow("not a key", "this is not a key", 0700, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("a key type without a key", "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIQ== broken", 0700, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("an option sshd does not know", "no-such-option @ED25519@", 0700, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("expired", "expiry-time=\"20200101\" @ED25519@", 0700, "$6$s$h", "passwordauthentication no", lockedOut);
        keyRow("expires later", "expiry-time=\"299912312359Z\" @ED25519@", 0700, "$6$s$h", "passwordauthentication no", "");
        keyRow("key type not accepted",
               "@ED25519@",
               0700,
               "$6$s$h",
               "passwordauthentication no\npubkeyacceptedalgorithms rsa-sha2-512,rsa-sha2-256",
               lockedOut);
        keyRow("RSA key through SHA-2", "@RSA@", 0700, "$6$s$h", "passwordauthentication no\npubkeyacceptedalgorithms rsa-sha2-256", "");
        keyRow("keyboard-interactive with PAM", "", 0700, "$6$s$h", "passwordauthentication no\nkbdinteractiveauthentication yes", "");
        keyRow("keyboard-interactive without PAM", "", 0700, "$6$s$h", "passwordauthentication no\nkbdinteractiveauthentication yes\nusepam no", lockedOut);
        keyRow("locked password", "", 0700, "!$6$s$h", "", lockedOut);
        keyRow("no password", "", 0700, "", "", lockedOut);
        keyRow("no password, permitted", "", 0700, "", "permitemptypasswords yes", "");
        keyRow("key and password required, key only",
               "@ED25519@",
               0700,
               "*",
               "authenticationmethods publickey,password",
               "authentication:AuthenticationMethods publickey,password");
        keyRow("key and password required, password only",
               "",
               0700,
               "$6$s$h",
               "authenticationmethods publickey,password",
               "authentication:AuthenticationMethods publickey,password");
        keyRow("key and password required, both", "@ED25519@", 0700, "$6$s$h", "authenticationmethods publickey,password", "");
        keyRow("keyboard-interactive:pam or key",
               "",
               0700,
               "$6$s$h",
               "authenticationmethods keyboard-interactive:pam publickey\nkbdinteractiveauthentication yes",
               "");
        row("keys from a command", alice, v4, "passwordauthentication no\nauthorizedkeyscommand /usr/bin/keys", "");
        row("root not permitted", QStringLiteral("root:root"), v4, "permitrootlogin no", "access:PermitRootLogin no;authentication:PasswordAuthentication");
        QTest::newRow("root, forced commands only, key without one")
            << QStringLiteral("root:root") << v4 << QByteArray("permitrootlogin forced-commands-only") << QByteArray("@ED25519@") << 0700
            << QByteArray("$6$s$h") << QString::fromLatin1(lockedOut);
        QTest::newRow("root, forced commands only, key with one") << QStringLiteral("root:root") << v4 << QByteArray("permitrootlogin forced-commands-only")
                                                                  << QByteArray("command=\"uptime\" @ED25519@") << 0700 << QByteArray("$6$s$h") << QString();
        row("root with keys only, no key", QStringLiteral("root:root"), v4, "", "authentication:PasswordAuthentication");
        row("root with password", QStringLiteral("root:root"), v4, "permitrootlogin yes", "");
        row("another port", alice, v4, "listenaddress 0.0.0.0:2222\nlistenaddress [::]:2222", "listening:192.0.2.1 port 22");
        row("another address", alice, v4, "listenaddress 127.0.0.1:22", "listening:192.0.2.1 port 22");
        row("the session's address", alice, v4, "listenaddress 192.0.2.1:22", "");
        row("IPv6 session, IPv4 only", alice, QStringLiteral("2001:db8::10 50022 2001:db8::1 22"), "listenaddress 0.0.0.0:22", "listening:2001:db8::1 port 22");
        row("IPv6 session, its address", alice, QStringLiteral("2001:db8::10 50022 2001:db8::1 22"), "listenaddress [2001:db8:0::1]:22", "");
    }

    void problems()
    {
        QFETCH(QString, user);
        QFETCH(QString, connection);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, keys);
        QFETCH(int, sshMode);
        QFETCH(QByteArray, password);
        QFETCH(QString, expected);
        static const QByteArray ed25519 = publicKey({QStringLiteral("-t"), QStringLiteral("ed25519")});
        static const QByteArray rsa = publicKey({QStringLiteral("-t"), QStringLiteral("rsa"), QStringLiteral("-b"), QStringLiteral("1024")});
        QVERIFY(ed25519.startsWith("ssh-ed25519 ") && rsa.startsWith("ssh-rsa "));
        const QTemporaryDir home;
        const QString ssh = home.path() + QLatin1String("/.ssh");
        QVERIFY(QDir().mkdir(ssh) && ::chmod(QFile::encodeName(ssh).constData(), mode_t(sshMode)) == 0);
        QFile file(ssh + (keys.startsWith("->") ? QLatin1String("/elsewhere") : QLatin1String("/authorized_keys")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(keys).replace("->", "").replace("@ED25519@", ed25519).replace("@RSA@", rsa) + '\n');
        file.close();
        QVERIFY(!keys.startsWith("->") || QFile::link(file.fileName(), ssh + QLatin1String("/authorized_keys")));

        Lockout::Values values;
        for (const QByteArray &line : QByteArray("passwordauthentication yes\nkbdinteractiveauthentication no\npubkeyauthentication yes\n"
                                                 "authorizedkeyscommand none\npermitrootlogin without-password\nusepam yes\nstrictmodes yes\n"
                                                 "authorizedkeysfile .ssh/authorized_keys .ssh/authorized_keys2\nauthenticationmethods any\n"
                                                 "pubkeyacceptedalgorithms ssh-ed25519,rsa-sha2-512,rsa-sha2-256\npermitemptypasswords no\n"
                                                 "listenaddress [::]:22\nlistenaddress 0.0.0.0:22")
                                          .split('\n')) {
            values[line.left(line.indexOf(' '))].append(line.mid(line.indexOf(' ') + 1));
        }
        QSet<QByteArray> replaced;
        for (const QByteArray &line : config.split('\n')) {
            const QByteArray keyword = line.left(line.indexOf(' '));
            if (!replaced.contains(keyword)) {
                values[keyword].clear();
                replaced.insert(keyword);
            }
            values[keyword].append(line.mid(line.indexOf(' ') + 1));
        }
        Lockout::Session session;
        QVERIFY(Lockout::parseConnection(connection, &session));
        session.user = user.section(QLatin1Char(':'), 0, 0);
        session.groups = user.section(QLatin1Char(':'), 1, 1).split(QLatin1Char(','));
        session.isRoot = session.user == QLatin1String("root");
        session.home = home.path();
        session.uid = ::geteuid();
        session.password = password;
        session.keygen = EnginePaths::system().sshKeygen;
        QStringList found;
        static const char *const kinds[] = {"access", "authentication", "listening"};
        for (const Lockout::Problem &problem : Lockout::problems(values, session)) {
            found.append(QLatin1String(kinds[int(problem.kind)]) + QLatin1Char(':') + problem.detail);
        }
        QCOMPARE(found.join(QLatin1Char(';')), expected);
        // The methods a verdict lists: none exactly when no way to authenticate is left; a list of AuthenticationMethods whole.
        const QStringList methods = Lockout::methods(values, session);
        QCOMPARE(methods.isEmpty(), expected.contains(QLatin1String("authentication:")));
        QVERIFY(!expected.isEmpty() || !values.value("authenticationmethods").value(0).contains(',')
                || methods == QStringList{QStringLiteral("publickey,password")});
    }

    // Addresses are read as sshd reads them (inet_pton), not as leniently as QHostAddress alone would.
    void ipAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        const QStringList refused = {QStringLiteral("127.1"),
                                     QStringLiteral("1.2.3"),
                                     QStringLiteral("01.2.3.4"),
                                     QStringLiteral("0x7f.0.0.1"),
                                     QStringLiteral(" 1.2.3.4"),
                                     QStringLiteral("::1 "),
                                     QStringLiteral("fe80::1%eth0"),
                                     QStringLiteral("[::1]"),
                                     QStringLiteral("1::2::3"),
                                     QStringLiteral("::ffff:01.2.3.4"),
                                     QStringLiteral("256.1.1.1"),
                                     QStringLiteral("1.2.3.4/8"),
                                     QString()};
        for (const QString &text : refused) {
            QTest::newRow(qPrintable(QLatin1Char('!') + text)) << text << QString();
        }
        QTest::newRow("ipv4") << QStringLiteral("10.0.0.255") << QStringLiteral("10.0.0.255");
        QTest::newRow("ipv6 long") << QStringLiteral("0:0:0:0:0:0:0:1") << QStringLiteral("::1");
        QTest::newRow("ipv6 upper case") << QStringLiteral("FE80::A") << QStringLiteral("fe80::a");
        QTest::newRow("ipv6 with ipv4") << QStringLiteral("::FFFF:1.2.3.4") << QStringLiteral("::ffff:1.2.3.4");
    }
    void ipAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QCOMPARE(IpAddress::canonical(text), canonical);
    }
};

QTEST_GUILESS_MAIN(LockoutTest)
#include "lockouttest.moc"
