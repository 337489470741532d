// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoption.h"
#include "sshoptionbuilder.h"
#include "utils.h"

#include <QSignalSpy>
#include <QTest>

class OptionModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setValueConverts_data();
    void setValueConverts();
    void setValueAlwaysSignalsTheArgument();
    void copyKeepsParentAndSharesSubOptions();
    void assignmentSwapsWithoutSignal();
    void moveEmptiesTheSource();
    void nameWithConfigType();
    void builderOwnsUntilMoved();
    void orderFreeComparison_data();
    void orderFreeComparison();
};

void OptionModelTest::setValueConverts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("bool yes") << int(QMetaType::Bool) << QVariant(QStringLiteral("yes")) << QVariant(true);
    QTest::newRow("bool YES") << int(QMetaType::Bool) << QVariant(QStringLiteral("YES")) << QVariant(true);
    QTest::newRow("bool no") << int(QMetaType::Bool) << QVariant(QStringLiteral("no")) << QVariant(false);
    QTest::newRow("bool prohibit-password") << int(QMetaType::Bool) << QVariant(QStringLiteral("prohibit-password")) << QVariant(false);
    QTest::newRow("bool number") << int(QMetaType::Bool) << QVariant(1) << QVariant(false);
    QTest::newRow("bool as bool") << int(QMetaType::Bool) << QVariant(true) << QVariant(true);
    QTest::newRow("int text") << int(QMetaType::Int) << QVariant(QStringLiteral("2222")) << QVariant(2222);
    QTest::newRow("int garbage") << int(QMetaType::Int) << QVariant(QStringLiteral("22a")) << QVariant(0);
    QTest::newRow("string from int") << int(QMetaType::QString) << QVariant(7) << QVariant(QStringLiteral("7"));
    QTest::newRow("list any") << int(QMetaType::QStringList) << QVariant(QStringLiteral("any")) << QVariant(QStringList {QStringLiteral("any")});
    QTest::newRow("list empty") << int(QMetaType::QStringList) << QVariant(QString()) << QVariant(QStringList());
    QTest::newRow("list double blank") << int(QMetaType::QStringList) << QVariant(QStringLiteral("10.0.0.1:22  10.0.0.2:22"))
                                       << QVariant(QStringList {QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:22")});
    QTest::newRow("list kept") << int(QMetaType::QStringList) << QVariant(QStringList {QStringLiteral("a b")}) << QVariant(QStringList {QStringLiteral("a b")});
    QTest::newRow("invalid type stores as is") << int(QMetaType::UnknownType) << QVariant(3.5) << QVariant(3.5);
}

void OptionModelTest::setValueConverts()
{
    QFETCH(int, type);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    SSHOption option(Server, nullptr);
    option.setValueType(static_cast<QMetaType::Type>(type));
    option.setValue(input);
    QCOMPARE(option.value(), expected);
}

void OptionModelTest::setValueAlwaysSignalsTheArgument()
{
    SSHOption option(Server, nullptr);
    option.setValueType(QMetaType::Bool);
    QSignalSpy spy(&option, &SSHOption::valueChanged);
    option.setValue(QStringLiteral("yes"));
    option.setValue(QStringLiteral("yes"));
    QCOMPARE(spy.count(), 2);
    // The signal carries what was passed, not the converted value.
    QCOMPARE(spy.at(0).at(0).value<QVariant>(), QVariant(QStringLiteral("yes")));
}

void OptionModelTest::copyKeepsParentAndSharesSubOptions()
{
    QObject parent;
    SSHOption sub(Server, nullptr);
    SSHOption option(Server, &parent);
    option.setId(SSHOption::AllowDenyUsersGroups);
    option.setName(QStringLiteral("AllowDenyUsersGroups"));
    option.setSubOptions({&sub});
    SSHOption copy(option);
    QCOMPARE(copy.parent(), &parent);
    QCOMPARE(copy.id(), SSHOption::AllowDenyUsersGroups);
    QCOMPARE(copy.subOptions().constFirst().data(), &sub);
    QVERIFY(copy.hasSubOptions());
}

void OptionModelTest::assignmentSwapsWithoutSignal()
{
    QObject parentA;
    QObject parentB;
    SSHOption a(Server, &parentA);
    a.setValueType(QMetaType::Int);
    a.setValue(1);
    a.setName(QStringLiteral("Port"));
    SSHOption b(Client, &parentB);
    b.setValueType(QMetaType::Int);
    b.setValue(2);
    b.setName(QStringLiteral("ServerAliveInterval"));
    QSignalSpy spy(&a, &SSHOption::valueChanged);
    a = b;
    QCOMPARE(spy.count(), 0);
    QCOMPARE(a.value(), QVariant(2));
    QCOMPARE(a.configureId(), Client);
    QCOMPARE(a.name(), QStringLiteral("ServerAliveInterval"));
    QCOMPARE(a.parent(), &parentA); // the Qt parent stays
    QCOMPARE(b.value(), QVariant(2)); // b was copied, not swapped

    swap(a, b);
    QCOMPARE(a.parent(), &parentA);
    QCOMPARE(b.name(), QStringLiteral("ServerAliveInterval"));
}

void OptionModelTest::moveEmptiesTheSource()
{
    QObject parent;
    SSHOption source(Server, &parent);
    source.setId(SSHOption::Port);
    source.setName(QStringLiteral("Port"));
    source.setValueType(QMetaType::Int);
    source.setValue(22);
    SSHOption target(std::move(source));
    QCOMPARE(target.id(), SSHOption::Port);
    QCOMPARE(target.value(), QVariant(22));
    QCOMPARE(target.parent(), &parent);
    QCOMPARE(source.parent(), nullptr);
    QCOMPARE(source.configureId(), Undefined);
    QCOMPARE(int(source.id()), -1);
    QCOMPARE(source.valueType(), QMetaType::UnknownType);
    QVERIFY(source.name().isEmpty());
    QVERIFY(!source.value().isValid());
}

void OptionModelTest::nameWithConfigType()
{
    SSHOption server(Server, nullptr);
    server.setName(QStringLiteral("Port"));
    QCOMPARE(server.nameWithConfigType(), QStringLiteral("Server_Port"));
    SSHOption plain(nullptr);
    plain.setName(QStringLiteral("Port"));
    QVERIFY(plain.nameWithConfigType().startsWith(QLatin1String("undefined_")));
}

void OptionModelTest::builderOwnsUntilMoved()
{
    QPointer<SSHOption> kept;
    QPointer<SSHOption> dropped;
    SSHOptions moved;
    {
        SSHOptionBuilder builder(Server, nullptr);
        builder.buildSSHOption(SSHOption::AddressFamily, QStringLiteral("AddressFamily"), {}, {}, QMetaType::QStringList, QStringLiteral("any"));
        QCOMPARE(builder.sshOptions().size(), 1);
        QCOMPARE(builder.sshOptions().constFirst()->value(), QVariant(QStringList {QStringLiteral("any")}));
        builder.moveOptions(moved);
        kept = moved.constFirst();
        QVERIFY(builder.sshOptions().isEmpty());
    }
    QVERIFY(kept);
    {
        SSHOptionBuilder builder(Client, nullptr);
        builder.buildSSHOption(SSHOption::ClientPort, QStringLiteral("Port"), {}, {}, QMetaType::Int, 22);
        dropped = builder.sshOptions().constFirst();
        QCOMPARE(dropped->configureId(), Client);
    }
    QVERIFY(!dropped);
    delete kept.data();
}

void OptionModelTest::orderFreeComparison_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<bool>("equal");
    const QString a = QStringLiteral("a");
    const QString b = QStringLiteral("b");
    QTest::newRow("same order") << QStringList {a, b} << QStringList {a, b} << true;
    QTest::newRow("other order") << QStringList {a, b} << QStringList {b, a} << true;
    QTest::newRow("duplicates count") << QStringList {a, a, b} << QStringList {a, b, b} << false;
    QTest::newRow("lengths differ") << QStringList {a} << QStringList {a, a} << false;
    QTest::newRow("both empty") << QStringList {} << QStringList {} << true;
}

void OptionModelTest::orderFreeComparison()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(bool, equal);
    QCOMPARE(Utils::areEqualIgnoringOrder<QString>(first, second), equal);
    QCOMPARE(Utils::areEqualIgnoringOrder<QString>(second, first), equal);
}

QTEST_GUILESS_MAIN(OptionModelTest)
#include "optionmodeltest.moc"
