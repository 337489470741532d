// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "spinboxoptionarea.h"
#include "ui_SpinboxOptionArea.h"

#include <KLocalizedString>

namespace
{
// sshd listens on each of several Port lines: the value is then the ports, blank-separated. The box edits the first.
int first(const QVariant &value)
{
    return value.toString().section(QLatin1Char(' '), 0, 0).toInt();
}

QString others(const QVariant &value)
{
    return value.toString().section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
}
}

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
    m_others = new QLabel(this);
    m_others->setObjectName(QStringLiteral("otherPorts"));
    ui->horizontalLayout_2->insertWidget(1, m_others);
    reset();
    // Durations carry their unit; a zero that turns something off says so.
    ui->spinBox->setSuffix(m_option.unit);
    ui->spinBox->setSpecialValueText(m_option.zeroText);
    ui->label->setText(m_option.displayName);
    setToolTip(m_option.description);
    connect(ui->spinBox, qOverload<int>(&QSpinBox::valueChanged), this, [this](int value) {
        setHasChanged(value != first(m_option.value()));
        Q_EMIT modify();
    });
    return this;
}

QVariant SpinboxOptionArea::value() const
{
    // The other ports stay as they are.
    const QString rest = others(m_option.value());
    return QVariant(QString::number(ui->spinBox->value()) + (rest.isEmpty() ? QString() : QLatin1Char(' ') + rest));
}

void SpinboxOptionArea::reset() const
{
    ui->spinBox->setValue(first(m_option.value()));
    if (!m_others) {
        return; // not inflated yet
    }
    const QStringList rest = others(m_option.value()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    m_others->setText(i18nc("@label beside the first port, %1 the others", "and %1", rest.join(i18nc("@item separator of a list of ports", ", "))));
    m_others->setToolTip(i18nc("@info:tooltip", "The SSH server listens on these ports too; they are kept."));
    m_others->setVisible(!rest.isEmpty());
}
