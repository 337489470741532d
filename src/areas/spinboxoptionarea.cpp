// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "spinboxoptionarea.h"
#include "ui_SpinboxOptionArea.h"

SpinboxOptionArea::SpinboxOptionArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::SpinboxOptionArea>())
{
    ui->setupUi(this);
}

SpinboxOptionArea::~SpinboxOptionArea() = default;

QWidget *SpinboxOptionArea::inflate()
{
    // The range is the keyword table's ("min..max"; a port's is 1..65535).
    const OptionCatalog::Option &row = m_option.row();
    const QStringList range = row.kind == OptionCatalog::ValueKind::Port ? QStringList{QStringLiteral("1"), QStringLiteral("65535")}
                                                                         : row.values.section(QLatin1Char(' '), 0, 0).split(QStringLiteral(".."));
    if (range.size() == 2) {
        ui->spinBox->setRange(range.at(0).toInt(), range.at(1).toInt());
    }
    ui->spinBox->setValue(m_option.value().toInt());
    // Durations carry their unit; a zero that turns something off says so.
    ui->spinBox->setSuffix(m_option.unit);
    ui->spinBox->setSpecialValueText(m_option.zeroText);
    ui->label->setText(m_option.displayName);
    setToolTip(m_option.description);
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
