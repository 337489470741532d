// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "tunnelmodearea.h"
#include "ui_TunnelModeArea.h"

#include "sshmanager.h"

#include <KLocalizedString>

TunnelModeArea::TunnelModeArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::TunnelModeArea>())
{
    qRegisterMetaType<PermitTunnelId>("PermitTunnelId");
    ui->setupUi(this);
}

TunnelModeArea::~TunnelModeArea() = default;

void TunnelModeArea::setupComboBoxItems() const
{
    ui->comboBox->addItem(QIcon(), i18n("Permit"), QVariant::fromValue(TunnelYes));
    ui->comboBox->addItem(QIcon(), i18n("Prohibit"), QVariant::fromValue(TunnelNo));
    ui->comboBox->addItem(QIcon(), i18n("Point-to-point"), QVariant::fromValue(TunnelPointToPoint));
    ui->comboBox->addItem(QIcon(), i18n("Ethernet"), QVariant::fromValue(TunnelEthernet));
    updateComboBoxSelection();
}

void TunnelModeArea::updateComboBoxSelection() const
{
    const PermitTunnelId id = SSHManager::tunnelIdByString(m_option.value().toString());
    const int index = ui->comboBox->findData(QVariant::fromValue(id), Qt::UserRole, Qt::MatchExactly);
    if (index >= 0) {
        ui->comboBox->setCurrentIndex(index);
    }
}

PermitTunnelId TunnelModeArea::currentTunnelId() const
{
    return ui->comboBox->currentData(Qt::UserRole).value<PermitTunnelId>();
}

QWidget *TunnelModeArea::inflate()
{
    setupComboBoxItems();
    ui->label->setText(m_option.displayName());
    setToolTip(m_option.description());
    connect(ui->comboBox, qOverload<int>(&QComboBox::activated), this, [this] {
        setHasChanged(SSHManager::tunnelStringById(currentTunnelId()) != m_option.value().toString());
        Q_EMIT modify();
    });
    return this;
}

QVariant TunnelModeArea::value() const
{
    return QVariant(SSHManager::tunnelStringById(currentTunnelId()));
}

void TunnelModeArea::reset() const
{
    updateComboBoxSelection();
}
