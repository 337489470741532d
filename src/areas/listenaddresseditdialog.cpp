// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listenaddresseditdialog.h"
#include "ui_ListenAddressEditDialog.h"

#include <KLocalizedString>

#include "dialogcheck.h"
#include "formaccessibility.h"

#include <QCompleter>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

ListenAddressEditDialog::ListenAddressEditDialog(ActionDialogId action, const QList<ServerAddress> &addresses, const QString &defaultPort, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ListenAddressEditDialog>())
    , m_action(action)
    , m_defaultPort(defaultPort)
    , m_addresses(addresses)
{
    ui->setupUi(this);
    setWindowTitle(action == ActionDialogAdd ? i18nc("@title:window", "Add Listening Address") : i18nc("@title:window", "Edit Listening Address"));
    setCompleter();
    ui->ipLineEdit->setToolTip(i18n("An IPv4 address such as 192.168.1.10, or an IPv6 address such as fd00::10."));
    // The longest IPv6 address fits whole.
    DialogCheck::fitWidth(ui->ipLineEdit, QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255"));
    ui->portCheckBox->setText(i18nc("@option:check %1 is a port number", "&Own port instead of the server's (%1)", defaultPort));
    ui->portCheckBox->setToolTip(i18n("Without a port of its own, the address follows the server's port, also when that changes later."));
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    if (action == ActionDialogAdd) {
        ok->setText(i18nc("@action:button", "&Add"));
        ok->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    }
    m_check = new DialogCheck(ok, ui->verticalLayout, 1, [this] {
        return verdict();
    });
    FormAccessibility::apply(this);
    connect(ui->portCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->portSpinBox->setEnabled(checked);
        m_check->update();
    });
    connect(ui->ipLineEdit, &QLineEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->portSpinBox, qOverload<int>(&QSpinBox::valueChanged), m_check, &DialogCheck::update);
}

ListenAddressEditDialog::~ListenAddressEditDialog() = default;

void ListenAddressEditDialog::setCompleter()
{
    QStringList words;
    words.reserve(m_addresses.size());
    for (const ServerAddress &address : std::as_const(m_addresses)) {
        words.append(address.ip().toString());
    }
    ui->ipLineEdit->setCompleter(new QCompleter(words, ui->ipLineEdit));
}

void ListenAddressEditDialog::setSelectedAddress(const ServerAddress &address)
{
    m_selectedAddress = address;
}

bool ListenAddressEditDialog::setupWidgets(QString *error) const
{
    switch (m_action) {
    case ActionDialogAdd:
        ui->portSpinBox->setValue(m_defaultPort.toInt());
        return true;
    case ActionDialogUnknown:
        *error = i18n("Unknown error");
        return false;
    default:
        break;
    }
    if (!m_selectedAddress.isValid() && !m_selectedAddress.followsPort()) {
        *error = i18n("Incorrect IP address or port");
        return false;
    }
    ui->ipLineEdit->setText(m_selectedAddress.ip().toString());
    ui->portSpinBox->setValue(m_selectedAddress.followsPort() ? m_defaultPort.toInt() : m_selectedAddress.port().toInt());
    ui->portCheckBox->setChecked(!m_selectedAddress.followsPort());
    m_check->update();
    return true;
}

int ListenAddressEditDialog::exec()
{
    QString error;
    if (!setupWidgets(&error)) {
        QMessageBox::critical(parentWidget(), i18nc("@title:window", "Address Not Accepted"), error, QMessageBox::Ok);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

ServerAddress ListenAddressEditDialog::newAddress() const
{
    const QString ip = ui->ipLineEdit->text().trimmed();
    if (!ServerAddress::isValidIpAddress(ip)) {
        return ServerAddress();
    }
    // Without a port of its own the address follows Port, also when Port changes later.
    return ServerAddress(ip, ui->portCheckBox->isChecked() ? QString::number(ui->portSpinBox->value()) : QString(), nullptr);
}

ServerAddress ListenAddressEditDialog::socket(const ServerAddress &address) const
{
    return address.followsPort() ? ServerAddress(address.ip().toString(), m_defaultPort, nullptr) : address;
}

DialogCheck::Verdict ListenAddressEditDialog::verdict() const
{
    const QString ip = ui->ipLineEdit->text().trimmed();
    if (ip.isEmpty()) {
        return {};
    }
    const ServerAddress address = newAddress();
    if (!address.isValid() && !address.followsPort()) {
        return {false, i18n("“%1” is not an IP address. Enter an IPv4 address such as 192.168.1.10, or an IPv6 address such as fd00::10.", ip)};
    }
    const bool duplicate = std::any_of(m_addresses.cbegin(), m_addresses.cend(), [this, &address](const ServerAddress &existing) {
        return socket(existing) == socket(address);
    });
    // Saving the edited address unchanged is no duplicate.
    if (duplicate && !(m_action == ActionDialogEdit && socket(address) == socket(m_selectedAddress))) {
        return {false, i18n("The SSH server already listens on this address and port.")};
    }
    return {true, QString()};
}

QString ListenAddressEditDialog::reason() const
{
    return m_check->reason();
}

void ListenAddressEditDialog::accept()
{
    if (m_check->update()) {
        QDialog::accept();
    }
}
