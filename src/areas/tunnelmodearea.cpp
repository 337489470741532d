// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "tunnelmodearea.h"
#include "ui_TunnelModeArea.h"

#include <KLocalizedString>

TunnelModeArea::TunnelModeArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::TunnelModeArea>())
{
    ui->setupUi(this);
}

TunnelModeArea::~TunnelModeArea() = default;

void TunnelModeArea::setupComboBoxItems() const
{
    // Each item holds the word it writes.
    ui->comboBox->addItem(QIcon(), i18nc("@item:inlistbox tunnel devices", "Allowed"), QStringLiteral("yes"));
    ui->comboBox->addItem(QIcon(), i18nc("@item:inlistbox tunnel devices", "Not allowed"), QStringLiteral("no"));
    ui->comboBox->addItem(QIcon(), i18nc("@item:inlistbox tunnel devices carrying IP packets", "IP tunnels only"), QStringLiteral("point-to-point"));
    ui->comboBox->addItem(QIcon(), i18nc("@item:inlistbox tunnel devices carrying Ethernet frames", "Ethernet tunnels only"), QStringLiteral("ethernet"));
    updateComboBoxSelection();
}

void TunnelModeArea::updateComboBoxSelection() const
{
    const int index = ui->comboBox->findData(m_option.value().toString(), Qt::UserRole, Qt::MatchExactly);
    if (index >= 0) {
        ui->comboBox->setCurrentIndex(index);
    }
}

QWidget *TunnelModeArea::inflate()
{
    setupComboBoxItems();
    ui->label->setText(m_option.displayName);
    setToolTip(m_option.description);
    connect(ui->comboBox, qOverload<int>(&QComboBox::activated), this, [this] {
        setHasChanged(value() != m_option.value());
        Q_EMIT modify();
    });
    return this;
}

QVariant TunnelModeArea::value() const
{
    return ui->comboBox->currentData(Qt::UserRole).toString();
}

void TunnelModeArea::reset() const
{
    updateComboBoxSelection();
}
