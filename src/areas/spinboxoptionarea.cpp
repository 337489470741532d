// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "spinboxoptionarea.h"
#include "ui_SpinboxOptionArea.h"

#include <KLocalizedString>

SpinboxOptionArea::SpinboxOptionArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::SpinboxOptionArea>())
{
    ui->setupUi(this);
}

SpinboxOptionArea::~SpinboxOptionArea() = default;

QWidget *SpinboxOptionArea::inflate()
{
    ui->spinBox->setValue(m_option.value().toInt());
    // Durations carry their unit; a zero that turns something off says so.
    const bool keepAlive = m_option.configureId() == Client && m_option.id() == SSHOption::ServerAliveInterval;
    if (keepAlive || (m_option.configureId() == Server && m_option.id() == SSHOption::LoginGraceTime)) {
        ui->spinBox->setSuffix(i18nc("@item:valuesuffix seconds", " s"));
        ui->spinBox->setSpecialValueText(keepAlive ? i18nc("@item:inlistbox keep-alive messages", "Off") : i18nc("@item:inlistbox no time limit", "No limit"));
    }
    ui->label->setText(m_option.displayName());
    setToolTip(m_option.description());
    connect(ui->spinBox, qOverload<int>(&QSpinBox::valueChanged), this, [this](int value) {
        setHasChanged(value != m_option.value().toInt());
        Q_EMIT modify();
    });
    return this;
}

QVariant SpinboxOptionArea::value() const
{
    return QVariant(QString::number(ui->spinBox->value()));
}

void SpinboxOptionArea::reset() const
{
    ui->spinBox->setValue(m_option.value().toInt());
}
