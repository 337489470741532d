// SPDX-License-Identifier: GPL-2.0-or-later
// Would the administrator's own session get in again? sshd's access rules and
// pattern matching, the methods left, the sockets kept; cases checked against
// sshd's own answers (auth.c allowed_user, match.c, addrmatch.c).

#include "lockout.h"
#include "ipaddress.h"

#include <QTest>

class LockoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void problems_data()
    {
        QTest::addColumn<QString>("user"); // user:group,group[:key]
        QTest::addColumn<QString>("connection"); // $SSH_CONNECTION
        QTest::addColumn<QByteArray>("config"); // sshd -T lines replacing the defaults of their keywords
        QTest::addColumn<QString>("expected"); // kind:detail;...

        const QString alice = QStringLiteral("alice:alice,staff");
        const QString v4 = QStringLiteral("192.0.2.10 50022 192.0.2.1 22");
        const auto row = [](const char *name, const QString &user, const QString &connection, const char *config, const char *expected) {
            QTest::newRow(name) << user << connection << QByteArray(config) << QString::fromLatin1(expected);
        };
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
        row("AllowUsers IPv6 network", alice, QStringLiteral("2001:db8::10 50022 2001:db8::1 22"), "allowusers alice@2001:db8::/32", "");
        row("DenyUsers from the client", alice, v4, "denyusers *@192.0.2.10", "access:DenyUsers *@192.0.2.10");
        row("DenyUsers elsewhere", alice, v4, "denyusers alice@10.*", "");
        row("DenyUsers wins over AllowUsers", alice, v4, "allowusers alice\ndenyusers a*", "access:DenyUsers a*");
        row("DenyGroups a group of the user", alice, v4, "denygroups staff", "access:DenyGroups staff");
        row("AllowGroups none of the user", alice, v4, "allowgroups wheel", "access:AllowGroups wheel");
        row("AllowGroups wildcard", alice, v4, "allowgroups st?ff", "");
        row("AllowGroups has no host part", alice, v4, "allowgroups staff@192.0.2.10", "access:AllowGroups staff@192.0.2.10");
        row("no password, no key", alice, v4, "passwordauthentication no", "authentication:PasswordAuthentication");
        row("no password, a key", alice + QStringLiteral(":key"), v4, "passwordauthentication no", "");
        row("keyboard-interactive left", alice, v4, "passwordauthentication no\nkbdinteractiveauthentication yes", "");
        row("keys off, key only", alice + QStringLiteral(":key"), v4, "passwordauthentication no\npubkeyauthentication no",
            "authentication:PubkeyAuthentication");
        row("keys from a command", alice, v4, "passwordauthentication no\nauthorizedkeyscommand /usr/bin/keys", "");
        row("root not permitted", QStringLiteral("root:root"), v4, "permitrootlogin no", "access:PermitRootLogin no;authentication:PasswordAuthentication");
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
        QFETCH(QString, expected);
        Lockout::Values values;
        for (const QByteArray &line : QByteArray("passwordauthentication yes\nkbdinteractiveauthentication no\npubkeyauthentication yes\n"
                                                 "authorizedkeyscommand none\npermitrootlogin without-password\n"
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
        session.hasAuthorizedKey = user.section(QLatin1Char(':'), 2, 2) == QLatin1String("key");
        session.isRoot = session.user == QLatin1String("root");
        QStringList found;
        static const char *const kinds[] = {"access", "authentication", "listening"};
        for (const Lockout::Problem &problem : Lockout::problems(values, session)) {
            found.append(QLatin1String(kinds[int(problem.kind)]) + QLatin1Char(':') + problem.detail);
        }
        QCOMPARE(found.join(QLatin1Char(';')), expected);
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
