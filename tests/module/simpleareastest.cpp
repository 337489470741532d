// SPDX-License-Identifier: GPL-2.0-or-later
#include "addressfamilyarea.h"
#include "modaldriver.h"
#include "spinboxoptionarea.h"
#include "testoptions.h"
#include "tunnelmodearea.h"

#include <QComboBox>
#include <QSpinBox>
#include <QTest>

namespace
{
// Picks a combo item the way a user does: activated() follows the choice.
void choose(QComboBox *combo, int index)
{
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}
}

class SimpleAreasTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spinboxValueIsText()
    {
        SpinboxOptionArea area(TestOptions::make(SSHOption::ServerAliveInterval, QStringLiteral("ServerAliveInterval"), QMetaType::Int, 15, nullptr, Client),
                               nullptr);
        area.inflate();
        auto *spin = area.findChild<QSpinBox *>();
        QCOMPARE(spin->suffix(), QStringLiteral(" s"));
        QCOMPARE(spin->specialValueText(), QStringLiteral("Off")); // 0 turns keep-alive messages off
        spin->setValue(30);
        QVERIFY(area.hasChanged());
        QCOMPARE(area.value(), QVariant(QStringLiteral("30")));
        spin->setValue(15);
        QVERIFY(!area.hasChanged());

        SpinboxOptionArea port(TestOptions::make(SSHOption::Port, QStringLiteral("Port"), QMetaType::Int, 22), nullptr);
        port.inflate();
        QVERIFY(port.findChild<QSpinBox *>()->suffix().isEmpty());
    }

    void tunnelModeSelectsTheKeyword_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::newRow("yes") << QStringLiteral("yes") << 0;
        QTest::newRow("no") << QStringLiteral("no") << 1;
        QTest::newRow("point-to-point") << QStringLiteral("point-to-point") << 2;
        QTest::newRow("ethernet") << QStringLiteral("ethernet") << 3;
        QTest::newRow("unknown keeps first") << QStringLiteral("sometimes") << 0;
    }

    void tunnelModeSelectsTheKeyword()
    {
        QFETCH(QString, stored);
        QFETCH(int, index);
        TunnelModeArea area(TestOptions::make(SSHOption::PermitTunnel, QStringLiteral("PermitTunnel"), QMetaType::QStringList, stored), nullptr);
        area.inflate();
        QCOMPARE(area.findChild<QComboBox *>()->currentIndex(), index);
        QVERIFY(!area.hasChanged());
    }

    void addressFamilyAgainstListenAddresses_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ipv4 with ipv6 address") << QStringList {QStringLiteral("[::1]:22")} << 1 << false;
        QTest::newRow("any with ipv6 address") << QStringList {QStringLiteral("[::1]:22")} << 0 << true;
        QTest::newRow("ipv4 with wildcard only") << QStringList {QStringLiteral("0.0.0.0:22")} << 1 << true;
        QTest::newRow("ipv6 with ipv4 address") << QStringList {QStringLiteral("[::1]:22"), QStringLiteral("10.0.0.1:22")} << 2 << false;
        QTest::newRow("ipv4 with ipv4 addresses") << QStringList {QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:2222")} << 1 << true;
    }

    void addressFamilyAgainstListenAddresses()
    {
        QFETCH(QStringList, addresses);
        QFETCH(int, choice);
        QFETCH(bool, valid);
        AddressFamilyArea area(TestOptions::make(SSHOption::AddressFamily, QStringLiteral("AddressFamily"), QMetaType::QStringList, QStringLiteral("any")),
                               addresses, nullptr);
        area.inflate();
        auto *combo = area.findChild<QComboBox *>();
        QCOMPARE(combo->currentIndex(), 0);
        ModalDriver answerer;
        if (!valid) {
            answerer.answer(QStringLiteral("OK")); // the message shown on the choice itself; validate() is silent
        }
        choose(combo, choice);
        QCOMPARE(area.validate(), valid);
        QCOMPARE(area.validationError().isEmpty(), valid);
        QCOMPARE(answerer.seenTexts, valid ? QStringList() : QStringList {QStringLiteral("Remove the listening addresses of the other address family first.")});
        QCOMPARE(area.hasChanged(), choice != 0);
    }

    void addressFamilyWithoutCurrentItem()
    {
        AddressFamilyArea area(TestOptions::make(SSHOption::AddressFamily, QStringLiteral("AddressFamily"), QMetaType::QStringList, QStringLiteral("bogus")),
                               {}, nullptr);
        area.inflate();
        QCOMPARE(area.findChild<QComboBox *>()->currentIndex(), -1);
        QCOMPARE(area.value(), QVariant(QStringLiteral("inet")));
        QVERIFY(area.validate());
    }
};

QTEST_MAIN(SimpleAreasTest)
#include "simpleareastest.moc"
