// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "modaldriver.h"
#include "sshoption.h"

#include "listenaddressarea.h"
#include "listenaddresseditdialog.h"

#include <KMessageWidget>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace
{
void fill(ListenAddressEditDialog *dialog, const QString &ip, bool portChecked, int port)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(ip);
    dialog->findChild<QCheckBox *>(QStringLiteral("portCheckBox"))->setChecked(portChecked);
    dialog->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->setValue(port);
}
}

class ListenAddressTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ListenAddressArea> makeArea(const QStringList &value)
    {
        auto area =
            std::make_unique<ListenAddressArea>(SSHOption::pageOption(Server, QStringLiteral("ListenAddress")).withValue(value), QStringLiteral("22"), nullptr);
        area->inflate();
        return area;
    }

private Q_SLOTS:
    void loadShowsOnlyRealAddresses_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("value");
        // clang-format off
        QTest::newRow("empty") << QStringList() << QStringList();
        QTest::newRow("wildcards only") << QStringList{QStringLiteral("0.0.0.0:22"), QStringLiteral("[::]:22")} << QStringList();
        QTest::newRow("address without port") << QStringList{QStringLiteral("192.168.1.10"), QStringLiteral("[fe80::1]"), QStringLiteral("10.0.0.1:2222")} << QStringList{QStringLiteral("192.168.1.10"), QStringLiteral("[fe80::1]"), QStringLiteral("10.0.0.1:2222")};
        QTest::newRow("ipv6 without brackets") << QStringList{QStringLiteral("[fe80::1]:22")} << QStringList{QStringLiteral("fe80::1:22")};
        QTest::newRow("invalid port") << QStringList{QStringLiteral("10.0.0.1:99999"), QStringLiteral("10.0.0.2:22")} << QStringList{QStringLiteral("10.0.0.2:22")};
        // clang-format on
    }
    void loadShowsOnlyRealAddresses()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, value);
        auto area = makeArea(stored);
        auto *message = area->findChild<KMessageWidget *>();
        QCOMPARE(area->value().userType(), int(QMetaType::QStringList));
        QCOMPARE(area->value().toStringList(), value);
        QCOMPARE(message->isHidden(), !value.isEmpty());
        QCOMPARE(message->text(), QStringLiteral("The SSH server listens on every local address."));
        QVERIFY(!area->hasChanged());
    }

    void dialogAcceptance_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("portChecked");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("reason"); // shown under the fields as they are typed
        QTest::addColumn<QString>("sent"); // the value the page sends for the new address; empty while OK is disabled
        const QString duplicate = QStringLiteral("The SSH server already listens on this address and port.");
        const QString notAnAddress =
            QStringLiteral("“%1” is not an IP address. Enter an IPv4 address such as 192.168.1.10, or an IPv6 address such as fd00::10.");
        // Without a port of its own an address is sent alone: it follows the server's Port, also a later one.
        QTest::newRow("new address") << "10.0.0.5" << false << 22 << QString() << "10.0.0.5";
        QTest::newRow("ipv6") << "2001:db8::5" << false << 22 << QString() << "[2001:db8::5]";
        QTest::newRow("pasted with blanks") << " fd00::10\t" << true << 2222 << QString() << "fd00::10:2222";
        QTest::newRow("same host other port") << "10.0.0.1" << true << 2222 << QString() << "10.0.0.1:2222";
        QTest::newRow("duplicate with default port") << "10.0.0.1" << false << 22 << duplicate << "";
        QTest::newRow("duplicate with own port") << "10.0.0.1" << true << 22 << duplicate << "";
        // The address is read as the helper reads it: its own test has the cases.
        QTest::newRow("host name") << "example.org" << false << 22 << notAnAddress.arg(QStringLiteral("example.org")) << "";
        QTest::newRow("half an address") << "10.0.0." << false << 22 << notAnAddress.arg(QStringLiteral("10.0.0.")) << "";
        QTest::newRow("nothing typed yet") << "" << false << 22 << QString() << "";
    }
    void dialogAcceptance()
    {
        QFETCH(QString, ip);
        QFETCH(bool, portChecked);
        QFETCH(int, port);
        QFETCH(QString, sent);
        ListenAddressEditDialog dialog(ActionDialogAdd, ServerAddress::fromStringList({QStringLiteral("10.0.0.1:22")}), QStringLiteral("22"), nullptr);
        fill(&dialog, ip, portChecked, port);
        // Checked as typed: OK stays disabled with the reason under the fields, and no box ever opens.
        QTEST(dialog.reason(), "reason");
        QCOMPARE(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), !sent.isEmpty());
        dialog.accept();
        QCOMPARE(dialog.result(), int(sent.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        if (!sent.isEmpty()) {
            QCOMPARE(dialog.newAddress().toString(), sent);
        }
    }

    void editDialogAcceptsUnchangedRefusesDuplicates()
    {
        const QList<ServerAddress> list = ServerAddress::fromStringList({QStringLiteral("10.0.0.1:22"), QStringLiteral("[fe80::1]:2222")});
        ListenAddressEditDialog dialog(ActionDialogEdit, list, QStringLiteral("22"), nullptr);
        dialog.setSelectedAddress(list.at(1));
        ModalDriver driver;
        driver.expect<ListenAddressEditDialog>([](ListenAddressEditDialog *shown) {
            QCOMPARE(shown->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("fe80::1"));
            QCOMPARE(shown->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->value(), 2222);
            QVERIFY(shown->findChild<QCheckBox *>(QStringLiteral("portCheckBox"))->isChecked());
            // Saved unchanged: no duplicate of itself.
            shown->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        // The dialog is sized to its content: the longest IPv6 address fits in the field whole.
        const auto *ip = dialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"));
        QVERIFY(ip->width() > ip->fontMetrics().horizontalAdvance(QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")));
        // Moved onto the other address: refused as it is typed.
        fill(&dialog, QStringLiteral("10.0.0.1"), true, 22);
        QCOMPARE(dialog.reason(), QStringLiteral("The SSH server already listens on this address and port."));
        QVERIFY(!dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled());
    }
};

QTEST_MAIN(ListenAddressTest)
#include "listenaddresstest.moc"
