// SPDX-License-Identifier: GPL-2.0-or-later
#include "accessentry.h"
#include "utils.h"

#include <QTest>

class AccessEntryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parsesAndWritesBack_data();
    void parsesAndWritesBack();
    void wordWithoutAtKeepsAddress();
    void configurationLine_data();
    void configurationLine();
    void keywordMap();
    void keywordMapKeepsHostPatterns();
    void comparisonIgnoresOrderButCountsDuplicates();
    void equalEntriesHashAlike();
    void copiesAreIndependentValues();
};

void AccessEntryTest::parsesAndWritesBack_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("writtenBack");

    QTest::newRow("name and address") << "alice@192.168.1.5"
                                      << "alice"
                                      << "192.168.1.5" << QString() << "alice@192.168.1.5";
    QTest::newRow("any host") << "alice@*"
                              << "alice" << QString() << QString() << "alice@*";
    QTest::newRow("any name") << "*@10.0.0.7" << QString() << "10.0.0.7" << QString() << "*@10.0.0.7";
    QTest::newRow("anything") << "*@*" << QString() << QString() << QString() << "*@*";
    QTest::newRow("bare name") << "alice"
                               << "alice" << QString() << QString() << "alice@*";
    QTest::newRow("ipv6") << "bob@fe80::1"
                          << "bob"
                          << "fe80::1" << QString() << "bob@fe80::1";
    // Host parts that are not literal addresses stay exactly as written.
    QTest::newRow("wildcard pattern") << "alice@192.168.1.*"
                                      << "alice" << QString() << "192.168.1.*"
                                      << "alice@192.168.1.*";
    QTest::newRow("network") << "alice@10.0.0.0/8"
                             << "alice" << QString() << "10.0.0.0/8"
                             << "alice@10.0.0.0/8";
    QTest::newRow("host name") << "*@build.example.org" << QString() << QString() << "build.example.org"
                               << "*@build.example.org";
    QTest::newRow("short ipv4 form") << "carol@10.1"
                                     << "carol" << QString() << "10.1"
                                     << "carol@10.1";
    QTest::newRow("first at splits") << "dave@host@x"
                                     << "dave" << QString() << "host@x"
                                     << "dave@host@x";
}

void AccessEntryTest::parsesAndWritesBack()
{
    QFETCH(QString, word);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, pattern);
    QFETCH(QString, writtenBack);

    const AccessEntry entry(word, RoleUser, PermissionAllow);
    QCOMPARE(entry.name(), name);
    QCOMPARE(entry.name().isNull(), name.isNull());
    QCOMPARE(entry.ip().isNull(), address.isNull());
    if (!address.isNull()) {
        QCOMPARE(entry.ip(), QHostAddress(address));
    }
    QCOMPARE(entry.hostPattern(), pattern);
    QCOMPARE(entry.ipAndName(), writtenBack);
}

void AccessEntryTest::wordWithoutAtKeepsAddress()
{
    AccessEntry entry(QStringLiteral("alice"), QHostAddress(QStringLiteral("10.0.0.1")), RoleUser, PermissionDeny);
    entry.setIpAndName(QStringLiteral("bob"));
    QCOMPARE(entry.ipAndName(), QStringLiteral("bob@10.0.0.1"));

    entry.setIpAndName(QStringLiteral("bob@10.0.0.0/8"));
    entry.setIp(QHostAddress(QStringLiteral("10.0.0.2")));
    QVERIFY(entry.hostPattern().isEmpty());
    QCOMPARE(entry.ipAndName(), QStringLiteral("bob@10.0.0.2"));
}

void AccessEntryTest::configurationLine_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("permission");
    QTest::addColumn<QString>("line");

    QTest::newRow("deny user") << "alice@10.0.0.1" << int(RoleUser) << int(PermissionDeny) << "DenyUsers alice@10.0.0.1";
    QTest::newRow("allow group") << "wheel@192.168.1.5" << int(RoleGroup) << int(PermissionAllow) << "AllowGroups wheel@192.168.1.5";
    QTest::newRow("without address") << "alice@*" << int(RoleUser) << int(PermissionAllow) << QString();
    QTest::newRow("filter role") << "alice@10.0.0.1" << int(RoleAll) << int(PermissionAllow) << QString();
    QTest::newRow("unknown permission") << "alice@10.0.0.1" << int(RoleUser) << int(PermissionUnknown) << QString();
    QTest::newRow("host pattern") << "alice@10.0.0.0/8" << int(RoleUser) << int(PermissionDeny) << "DenyUsers alice@10.0.0.0/8";
}

void AccessEntryTest::configurationLine()
{
    QFETCH(QString, word);
    QFETCH(int, role);
    QFETCH(int, permission);
    QFETCH(QString, line);
    QCOMPARE(AccessEntry(word, RoleType(role), Permission(permission)).toString(), line);
}

void AccessEntryTest::keywordMap()
{
    const QList<AccessEntry> entries {
        AccessEntry(QStringLiteral("alice"), QHostAddress(), RoleUser, PermissionAllow),
        AccessEntry(QString(), QHostAddress(QStringLiteral("10.0.0.7")), RoleUser, PermissionDeny),
        AccessEntry(QStringLiteral("wheel"), QHostAddress(), RoleGroup, PermissionAllow),
        AccessEntry(QStringLiteral("bob@192.168.0.2"), RoleUser, PermissionAllow),
        AccessEntry(QStringLiteral("ghost@*"), RoleUnknown, PermissionAllow),
        AccessEntry(QStringLiteral("ghost@*"), RoleUser, PermissionUnknown),
    };
    const QMap<QString, QVariant> expected {
        {QStringLiteral("AllowUsers"), QStringLiteral("alice@* bob@192.168.0.2")},
        {QStringLiteral("DenyUsers"), QStringLiteral("*@10.0.0.7")},
        {QStringLiteral("AllowGroups"), QStringLiteral("wheel@*")},
    };
    const QMap<QString, QVariant> map = AccessEntry::convertEntriesToMap(entries);
    QCOMPARE(map, expected);
    QCOMPARE(map.value(QStringLiteral("AllowUsers")).type(), QVariant::String);
    QVERIFY(AccessEntry::convertEntriesToMap({}).isEmpty());
}

void AccessEntryTest::keywordMapKeepsHostPatterns()
{
    // Writing such entries back as name@* would widen an Allow and turn a Deny into a lockout.
    const QList<AccessEntry> entries {
        AccessEntry(QStringLiteral("alice@192.168.1.*"), RoleUser, PermissionAllow),
        AccessEntry(QStringLiteral("*@10.0.0.0/8"), RoleUser, PermissionDeny),
    };
    const QMap<QString, QVariant> map = AccessEntry::convertEntriesToMap(entries);
    QCOMPARE(map.value(QStringLiteral("AllowUsers")).toString(), QStringLiteral("alice@192.168.1.*"));
    QCOMPARE(map.value(QStringLiteral("DenyUsers")).toString(), QStringLiteral("*@10.0.0.0/8"));
}

void AccessEntryTest::comparisonIgnoresOrderButCountsDuplicates()
{
    const AccessEntry a(QStringLiteral("alice@*"), RoleUser, PermissionAllow);
    const AccessEntry b(QStringLiteral("bob@10.0.0.1"), RoleUser, PermissionAllow);
    const AccessEntry bDenied(QStringLiteral("bob@10.0.0.1"), RoleUser, PermissionDeny);
    const AccessEntry bGroup(QStringLiteral("bob@10.0.0.1"), RoleGroup, PermissionAllow);
    const AccessEntry pattern(QStringLiteral("bob@10.0.0.*"), RoleUser, PermissionAllow);
    const AccessEntry anyHost(QStringLiteral("bob@*"), RoleUser, PermissionAllow);

    QVERIFY(Utils::areEqualIgnoringOrder<AccessEntry>({a, b}, {b, a}));
    QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({a, a, b}, {a, b, b}));
    QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({a, b}, {a, b, b}));
    QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({b}, {bDenied}));
    QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({b}, {bGroup}));
    QVERIFY(!Utils::areEqualIgnoringOrder<AccessEntry>({pattern}, {anyHost}));
    QVERIFY(Utils::areEqualIgnoringOrder<AccessEntry>({pattern, a}, {a, AccessEntry(QStringLiteral("bob@10.0.0.*"), RoleUser, PermissionAllow)}));
}

void AccessEntryTest::equalEntriesHashAlike()
{
    // A null and an empty name compare equal, so they must land in the same hash bucket.
    const AccessEntry nullName(QString(), QHostAddress(QStringLiteral("10.0.0.1")), RoleUser, PermissionDeny);
    const AccessEntry emptyName(QStringLiteral(""), QHostAddress(QStringLiteral("10.0.0.1")), RoleUser, PermissionDeny);
    QCOMPARE(nullName, emptyName);
    QCOMPARE(qHash(nullName, 7), qHash(emptyName, 7));
    QVERIFY(Utils::areEqualIgnoringOrder<AccessEntry>({nullName}, {emptyName}));
}

void AccessEntryTest::copiesAreIndependentValues()
{
    QObject owner;
    AccessEntry original(QStringLiteral("alice@10.0.0.0/8"), RoleUser, PermissionDeny, &owner);
    AccessEntry copy(original);
    QCOMPARE(copy.parent(), &owner);
    QCOMPARE(copy, original);

    AccessEntry assigned;
    assigned = original;
    original.setName(QStringLiteral("bob"));
    QCOMPARE(assigned.ipAndName(), QStringLiteral("alice@10.0.0.0/8"));
    QCOMPARE(copy.ipAndName(), QStringLiteral("alice@10.0.0.0/8"));
    QVERIFY(copy != original);
}

QTEST_GUILESS_MAIN(AccessEntryTest)
#include "accessentrytest.moc"
