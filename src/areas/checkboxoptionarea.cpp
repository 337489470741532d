// SPDX-License-Identifier: GPL-2.0-or-later
#include "checkboxoptionarea.h"
#include "ui_CheckboxOptionArea.h"

CheckboxOptionArea::CheckboxOptionArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent), ui(std::make_unique<Ui::CheckboxOptionArea>())
{
    ui->setupUi(this);
}

CheckboxOptionArea::~CheckboxOptionArea() = default;

QWidget *CheckboxOptionArea::inflate()
{
    ui->checkBox->setText(m_option.displayName());
    setToolTip(m_option.description());
    ui->checkBox->setChecked(m_option.value().toBool());
    connect(ui->checkBox, &QCheckBox::clicked, this, [this](bool checked) {
        setHasChanged(checked != m_option.value().toBool());
        Q_EMIT modify();
    });
    return this;
}

QVariant CheckboxOptionArea::value() const
{
    return QVariant(ui->checkBox->isChecked());
}

void CheckboxOptionArea::reset() const
{
    ui->checkBox->setChecked(m_option.value().toBool());
}
