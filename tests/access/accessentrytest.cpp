// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "accessentry.h"
#include "utils.h"

#include <QTest>

class AccessEntryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parsesAndWritesBack_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("writtenBack");
        QTest::addColumn<QString>("line");

        const QString none;
        // clang-format off
        QTest::newRow("name and address") << "alice@192.168.1.5" << "alice" << "192.168.1.5" << none << "alice@192.168.1.5" << "DenyUsers alice@192.168.1.5";
        QTest::newRow("bare name") << "alice" << "alice" << none << none << "alice@*" << none;
        QTest::newRow("any name") << "*@10.0.0.7" << none << "10.0.0.7" << none << "*@10.0.0.7" << "DenyUsers *@10.0.0.7";
        QTest::newRow("ipv6") << "bob@fe80::1" << "bob" << "fe80::1" << none << "bob@fe80::1" << "DenyUsers bob@fe80::1";
        // Host parts that are not literal addresses stay exactly as written.
        QTest::newRow("wildcard pattern") << "alice@192.168.1.*" << "alice" << none << "192.168.1.*" << "alice@192.168.1.*" << "DenyUsers alice@192.168.1.*";
        QTest::newRow("network") << "alice@10.0.0.0/8" << "alice" << none << "10.0.0.0/8" << "alice@10.0.0.0/8" << "DenyUsers alice@10.0.0.0/8";
        QTest::newRow("host name") << "*@build.example.org" << none << none << "build.example.org" << "*@build.example.org" << "DenyUsers *@build.example.org";
        QTest::newRow("short ipv4 form") << "carol@10.1" << "carol" << none << "10.1" << "carol@10.1" << "DenyUsers carol@10.1";
        QTest::newRow("zero-padded ipv4") << "carol@10.0.0.01" << "carol" << none << "10.0.0.01" << "carol@10.0.0.01" << "DenyUsers carol@10.0.0.01";
        QTest::newRow("scoped ipv6") << "carol@fe80::1%eth0" << "carol" << none << "fe80::1%eth0" << "carol@fe80::1%eth0" << "DenyUsers carol@fe80::1%eth0";
        QTest::newRow("last at splits") << "dave@host@x" << "dave@host" << none << "x" << "dave@host@x" << "DenyUsers dave@host@x";
        // clang-format on
    }
    void parsesAndWritesBack()
    {
        QFETCH(QString, word);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, pattern);
        QFETCH(QString, writtenBack);
        QFETCH(QString, line);
        const AccessEntry entry(word, RoleUser, PermissionDeny);
        QCOMPARE(entry.name(), name);
        QCOMPARE(entry.name().isNull(), name.isNull());
        QCOMPARE(entry.ip(), address.isNull() ? QHostAddress() : QHostAddress(address));
        QCOMPARE(entry.hostPattern(), pattern);
        QCOMPARE(entry.ipAndName(), writtenBack);
        QCOMPARE(entry.toString(), line);
        // Filter values are no configuration line.
        QVERIFY(AccessEntry(word, RoleAll, PermissionDeny).toString().isEmpty());
        QVERIFY(AccessEntry(word, RoleUser, PermissionUnknown).toString().isEmpty());
    }

    void keywordMapKeepsHostPatterns()
    {
        // Writing patterns back as name@* would widen an Allow and turn a Deny into a lockout.
        const QList<AccessEntry> entries{
            AccessEntry(QStringLiteral("alice"), QHostAddress(), RoleUser, PermissionAllow),
            AccessEntry(QString(), QHostAddress(QStringLiteral("10.0.0.7")), RoleUser, PermissionDeny),
            AccessEntry(QStringLiteral("wheel"), QHostAddress(), RoleGroup, PermissionAllow),
            AccessEntry(QStringLiteral("bob@192.168.1.*"), RoleUser, PermissionAllow),
            AccessEntry(QStringLiteral("*@10.0.0.0/8"), RoleUser, PermissionDeny),
            AccessEntry(QStringLiteral("ghost@*"), RoleUnknown, PermissionAllow),
            AccessEntry(QStringLiteral("ghost@*"), RoleUser, PermissionUnknown),
        };
        const QMap<QString, QVariant> expected{
            {QStringLiteral("AllowUsers"), QStringLiteral("alice@* bob@192.168.1.*")},
            {QStringLiteral("DenyUsers"), QStringLiteral("*@10.0.0.7 *@10.0.0.0/8")},
            {QStringLiteral("AllowGroups"), QStringLiteral("wheel")},
        };
        const QMap<QString, QVariant> map = AccessEntry::convertEntriesToMap(entries);
        QCOMPARE(map, expected);
        QCOMPARE(map.value(QStringLiteral("AllowUsers")).userType(), int(QMetaType::QString));
        QVERIFY(AccessEntry::convertEntriesToMap({}).isEmpty());
    }

    void groupsAreBareNames_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("writtenBack");
        QTest::addColumn<QString>("stray");
        QTest::newRow("bare names") << "a b"
                                    << "a b" << QString();
        QTest::newRow("patterns") << "adm* !guests ?taff"
                                  << "adm* !guests ?taff" << QString();
        // sshd never matches a group with a host: read as the group, with a warning, and written fixed.
        QTest::newRow("group with host") << "staff@10.0.0.1"
                                         << "staff"
                                         << "10.0.0.1";
        QTest::newRow("group with any host") << "wheel@*"
                                             << "wheel"
                                             << "*";
    }
    void groupsAreBareNames()
    {
        QFETCH(QString, words);
        QList<AccessEntry> entries;
        for (const QString &word : words.split(QLatin1Char(' '))) {
            entries.append(AccessEntry(word, RoleGroup, PermissionAllow));
            QVERIFY(!entries.last().hasHost());
        }
        QTEST(entries.first().strayHost(), "stray");
        QTEST(AccessEntry::convertEntriesToMap(entries).value(QStringLiteral("AllowGroups")).toString(), "writtenBack");
        QCOMPARE(AccessEntry(QStringLiteral("wheel@*"), RoleGroup, PermissionAllow) == AccessEntry(QStringLiteral("wheel"), RoleGroup, PermissionAllow), false);
    }

    void comparisonIgnoresOrderButCountsDuplicates()
    {
        const AccessEntry a(QStringLiteral("alice@*"), RoleUser, PermissionAllow);
        const AccessEntry b(QStringLiteral("bob@10.0.0.1"), RoleUser, PermissionAllow);
        const AccessEntry pattern(QStringLiteral("bob@10.0.0.*"), RoleUser, PermissionAllow);
        QVERIFY(Utils::areEqualIgnoringOrder<AccessEntry>({a, b, pattern}, {pattern, b, a}));
        QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({a, a, b}, {a, b, b}));
        QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({a, b}, {a, b, b}));
        QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({b}, {AccessEntry(QStringLiteral("bob@10.0.0.1"), RoleUser, PermissionDeny)}));
        QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({b}, {AccessEntry(QStringLiteral("bob@10.0.0.1"), RoleGroup, PermissionAllow)}));
        QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({pattern}, {AccessEntry(QStringLiteral("bob@*"), RoleUser, PermissionAllow)}));
        // A null and an empty name compare equal, so they must land in the same hash bucket.
        const AccessEntry nullName(QString(), QHostAddress(QStringLiteral("10.0.0.1")), RoleUser, PermissionDeny);
        const AccessEntry emptyName(QStringLiteral(""), QHostAddress(QStringLiteral("10.0.0.1")), RoleUser, PermissionDeny);
        QCOMPARE(qHash(nullName, 7), qHash(emptyName, 7));
        QVERIFY(Utils::areEqualIgnoringOrder<AccessEntry>({nullName}, {emptyName}));
    }
};

QTEST_GUILESS_MAIN(AccessEntryTest)
#include "accessentrytest.moc"
