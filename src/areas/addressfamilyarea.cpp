// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "addressfamilyarea.h"
#include "ui_AddressFamilyArea.h"

#include "serveraddress.h"

#include <KColorScheme>
#include <KLocalizedString>

namespace
{
QAbstractSocket::NetworkLayerProtocol protocolFromData(const QVariant &data)
{
    bool ok = false;
    const int value = data.toInt(&ok);
    return ok ? static_cast<QAbstractSocket::NetworkLayerProtocol>(value) : QAbstractSocket::IPv4Protocol;
}
}

AddressFamilyArea::AddressFamilyArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::AddressFamilyArea>())
{
    qRegisterMetaType<QAbstractSocket::NetworkLayerProtocol>("QAbstractSocket::NetworkLayerProtocol");
    ui->setupUi(this);
    // Said in the colour of a warning, under the field, as a form says what it does not take.
    QPalette palette = ui->familyWarning->palette();
    palette.setColor(QPalette::WindowText, KColorScheme(QPalette::Active, KColorScheme::Window).foreground(KColorScheme::NegativeText).color());
    ui->familyWarning->setPalette(palette);
}

AddressFamilyArea::~AddressFamilyArea() = default;

QWidget *AddressFamilyArea::inflate()
{
    ui->comboBox->addItem(QIcon(), i18n("Any"), static_cast<int>(QAbstractSocket::AnyIPProtocol));
    ui->comboBox->addItem(QIcon(), i18n("IPv4"), static_cast<int>(QAbstractSocket::IPv4Protocol));
    ui->comboBox->addItem(QIcon(), i18n("IPv6"), static_cast<int>(QAbstractSocket::IPv6Protocol));
    ui->label->setText(m_option.displayName);
    showCurrentMode();
    setupToolTips();
    connect(ui->comboBox, qOverload<int>(&QComboBox::activated), this, [this] {
        // A family the listening addresses do not allow is declined at once, and why is said under the field:
        // the combo shows the current value again, so that nothing is shown as pending that is not going to be written.
        const bool declined = hasIncorrectedAddresses();
        if (declined) {
            ui->familyWarning->setText(validationError());
            showCurrentMode();
        }
        ui->familyWarning->setVisible(declined);
        setHasChanged(ServerAddress::addressFamilyStringById(currentProtocol()) != m_option.value().toString());
        Q_EMIT modify();
    });
    return this;
}

void AddressFamilyArea::setupToolTips()
{
    for (int i = 0; i < ui->comboBox->count(); ++i) {
        QString toolTip;
        switch (protocolFromData(ui->comboBox->itemData(i, Qt::UserRole))) {
        case QAbstractSocket::AnyIPProtocol:
            toolTip = i18n("The server listens on IPv4 and IPv6 addresses.");
            break;
        case QAbstractSocket::IPv6Protocol:
            toolTip = i18n("The server listens on IPv6 addresses only.");
            break;
        case QAbstractSocket::IPv4Protocol:
            toolTip = i18n("The server listens on IPv4 addresses only.");
            break;
        default:
            break;
        }
        ui->comboBox->setItemData(i, toolTip, Qt::ToolTipRole);
    }
    setToolTip(m_option.description);
}

void AddressFamilyArea::showCurrentMode() const
{
    const int protocol = ServerAddress::addressFamilyIdByString(m_option.value().toString());
    ui->comboBox->setCurrentIndex(ui->comboBox->findData(protocol, Qt::UserRole, Qt::MatchExactly));
}

QAbstractSocket::NetworkLayerProtocol AddressFamilyArea::currentProtocol() const
{
    return protocolFromData(ui->comboBox->currentData(Qt::UserRole));
}

QVariant AddressFamilyArea::value() const
{
    return QVariant(ServerAddress::addressFamilyStringById(currentProtocol()));
}

void AddressFamilyArea::reset() const
{
    ui->familyWarning->hide();
    showCurrentMode();
}

bool AddressFamilyArea::validate() const
{
    return !hasIncorrectedAddresses();
}

QString AddressFamilyArea::validationError() const
{
    return hasIncorrectedAddresses() ? i18n("Remove the listening addresses of the other address family first.") : QString();
}

void AddressFamilyArea::setAddressSource(std::function<QStringList()> source)
{
    m_addressSource = std::move(source);
}

bool AddressFamilyArea::hasIncorrectedAddresses() const
{
    const QAbstractSocket::NetworkLayerProtocol protocol = currentProtocol();
    if (protocol == QAbstractSocket::AnyIPProtocol) {
        return false;
    }
    const QList<ServerAddress> addresses = ServerAddress::fromStringList(m_addressSource ? m_addressSource() : QStringList());
    for (const ServerAddress &address : addresses) {
        if (address.ip().protocol() != protocol) {
            return true;
        }
    }
    return false;
}
