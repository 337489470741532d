// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "checkboxoptionarea.h"
#include "ui_CheckboxOptionArea.h"

#include <KLocalizedString>

CheckboxOptionArea::CheckboxOptionArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::CheckboxOptionArea>())
{
    ui->setupUi(this);
}

CheckboxOptionArea::~CheckboxOptionArea() = default;

bool CheckboxOptionArea::isTriState() const
{
    return m_option.row().kind == OptionCatalog::ValueKind::RootLogin;
}

Qt::CheckState CheckboxOptionArea::loadedState() const
{
    const QVariant loaded = m_option.value();
    if (!isTriState() && loaded.userType() == QMetaType::Bool) {
        return loaded.toBool() ? Qt::Checked : Qt::Unchecked;
    }
    const QString value = loaded.toString();
    if (value == QLatin1String("yes")) {
        return Qt::Checked;
    }
    // A choice's other words (IgnoreRhosts shosts-only) show as unchecked: not plain yes.
    return value == QLatin1String("no") || !isTriState() ? Qt::Unchecked : Qt::PartiallyChecked;
}

void CheckboxOptionArea::showLoadedState() const
{
    ui->checkBox->setCheckState(loadedState());
    if (isTriState()) {
        // The partial state stands for what the file says, forced-commands-only included.
        const bool commandsOnly = loadedState() == Qt::PartiallyChecked && m_option.value().toString() == QLatin1String("forced-commands-only");
        ui->checkBox->setToolTip(commandsOnly
                                     ? i18nc("@info:tooltip", "Partially checked: root may log in with a key, and only to run the command that the key names.")
                                     : i18nc("@info:tooltip", "Partially checked: root may log in with a key, never with a password."));
    }
}

QWidget *CheckboxOptionArea::inflate()
{
    ui->checkBox->setText(m_option.displayName);
    setToolTip(m_option.description);
    ui->checkBox->setTristate(isTriState());
    showLoadedState();
    connect(ui->checkBox, &QCheckBox::clicked, this, [this] {
        setHasChanged(ui->checkBox->checkState() != loadedState());
        Q_EMIT modify();
    });
    return this;
}

QVariant CheckboxOptionArea::value() const
{
    if (m_option.row().kind == OptionCatalog::ValueKind::Choice) {
        return QString::fromLatin1(ui->checkBox->isChecked() ? "yes" : "no"); // the choice's own words
    }
    if (!isTriState()) {
        return QVariant(ui->checkBox->isChecked());
    }
    // Yes and no go as the booleans every check box sends; the keys-only state as its word.
    switch (ui->checkBox->checkState()) {
    case Qt::Checked:
        return true;
    case Qt::Unchecked:
        return false;
    case Qt::PartiallyChecked:
        break;
    }
    return QStringLiteral("prohibit-password");
}

void CheckboxOptionArea::reset() const
{
    showLoadedState();
}
