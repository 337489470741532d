// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listenaddresseditdialog.h"
#include "ui_ListenAddressEditDialog.h"

#include <KLocalizedString>

#include "formaccessibility.h"
#include <QCompleter>

#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>

ListenAddressEditDialog::ListenAddressEditDialog(ActionDialogId action, const QList<ServerAddress> &addresses, const QString &defaultPort, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ListenAddressEditDialog>())
    , m_action(action)
    , m_defaultPort(defaultPort)
    , m_addresses(addresses)
{
    ui->setupUi(this);
    setWindowTitle(action == ActionDialogAdd ? i18nc("@title:window", "Add listening address") : i18nc("@title:window", "Edit listening address"));
    setValidator();
    setCompleter();
    ui->portCheckBox->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    ui->portCheckBox->setToolTip(i18n("Without a port of its own, the address uses the server's port."));
    FormAccessibility::apply(this);
    connect(ui->portCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->portSpinBox->setEnabled(checked);
    });
}

ListenAddressEditDialog::~ListenAddressEditDialog() = default;

void ListenAddressEditDialog::setValidator()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(?:[0-9A-Fa-f]{1,4}:){7}[0-9A-Fa-f]{1,4}|(?:(?:[0-9A-Fa-f]{1,4}:){1,7}|:)|(?:[0-9A-Fa-f]{1,4}:)"
                       "{1,6}:[0-9A-Fa-f]{1,4}|(?:(?:25[0-5]|2[0-4][0-9]|[01]?["
                       "0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?))$"));
    ui->ipLineEdit->setValidator(new QRegularExpressionValidator(pattern, ui->ipLineEdit));
    ui->ipLineEdit->setToolTip(i18n("An IPv4 address such as 192.168.1.10, or an IPv6 address such as fd00::10"));
}

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
    return true;
}

int ListenAddressEditDialog::exec()
{
    QString error;
    if (!setupWidgets(&error)) {
        QMessageBox::critical(parentWidget(), i18nc("@title:window", "Address not accepted"), error, QMessageBox::Ok);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

ServerAddress ListenAddressEditDialog::newAddress() const
{
    const QString ip = ui->ipLineEdit->text();
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

void ListenAddressEditDialog::accept()
{
    const ServerAddress address = newAddress();
    bool duplicate = false;
    for (const ServerAddress &existing : std::as_const(m_addresses)) {
        duplicate = duplicate || socket(existing) == socket(address);
    }
    // Saving the edited address unchanged is no duplicate.
    if (duplicate && !(m_action == ActionDialogEdit && socket(address) == socket(m_selectedAddress))) {
        QMessageBox::critical(this,
                              i18nc("@title:window", "Address not accepted"),
                              i18n("The SSH server already listens on this address and port."),
                              QMessageBox::Ok);
        return;
    }
    if (address.isValid() || address.followsPort()) {
        QDialog::accept();
        return;
    }
    QMessageBox::critical(this, i18nc("@title:window", "Address not accepted"), i18n("Incorrect IP address or port"), QMessageBox::Ok);
}
