// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "serveraddress.h"
#include "utils.h"

#include <QTest>

class ServerAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("valid");

        QTest::newRow("ipv4") << QStringLiteral("192.168.0.5:222") << QStringLiteral("192.168.0.5") << QStringLiteral("222") << true;
        QTest::newRow("bracketed ipv6") << QStringLiteral("[fe80::1]:22") << QStringLiteral("fe80::1") << QStringLiteral("22") << true;
        QTest::newRow("bare ipv6 with port") << QStringLiteral("fe80::1:22") << QStringLiteral("fe80::1") << QStringLiteral("22") << true;
        // An address alone has no port of its own: it follows the server's Port.
        QTest::newRow("no port") << QStringLiteral("192.168.0.5") << QStringLiteral("192.168.0.5") << QString() << false;
        QTest::newRow("ipv6 alone") << QStringLiteral("::1") << QStringLiteral("::1") << QString() << false;
        QTest::newRow("bracketed ipv6 alone") << QStringLiteral("[fe80::1:22]") << QStringLiteral("fe80::1:22") << QString() << false;
        QTest::newRow("host name") << QStringLiteral("example.org:22") << QString() << QString() << false;
        QTest::newRow("port 0") << QStringLiteral("10.0.0.1:0") << QStringLiteral("10.0.0.1") << QStringLiteral("0") << false;
        QTest::newRow("port 1") << QStringLiteral("10.0.0.1:1") << QStringLiteral("10.0.0.1") << QStringLiteral("1") << true;
        QTest::newRow("port 65535") << QStringLiteral("10.0.0.1:65535") << QStringLiteral("10.0.0.1") << QStringLiteral("65535") << true;
        QTest::newRow("port 65536") << QStringLiteral("10.0.0.1:65536") << QStringLiteral("10.0.0.1") << QStringLiteral("65536") << false;
        QTest::newRow("port 22a") << QStringLiteral("10.0.0.1:22a") << QStringLiteral("10.0.0.1") << QStringLiteral("22a") << false;
        QTest::newRow("empty port") << QStringLiteral("10.0.0.1:") << QStringLiteral("10.0.0.1") << QString() << false;
    }

    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(bool, valid);
        const ServerAddress address(text, nullptr);
        QCOMPARE(address.ip().isNull() ? QString() : address.ip().toString(), ip);
        QCOMPARE(address.port(), port);
        QCOMPARE(address.isValid(), valid);
        QCOMPARE(address.followsPort(), !ip.isEmpty() && port.isEmpty());
        // What the page sends parses back to the same address.
        QVERIFY(ip.isEmpty() || ServerAddress(address.toString(), nullptr) == address);
    }
};

QTEST_GUILESS_MAIN(ServerAddressTest)
#include "serveraddresstest.moc"
