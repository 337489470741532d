// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupentrydialog.h"
#include "ui_UserGroupEntryDialog.h"

#include <KLocalizedString>

#include <QCompleter>
#include <QMessageBox>
#include <QRegularExpression>

namespace
{
template <typename T>
T comboValue(const QComboBox *combo)
{
    bool ok = false;
    const int value = combo->currentData(Qt::UserRole).toInt(&ok);
    return static_cast<T>(ok ? value : 0);
}

void selectData(QComboBox *combo, int value)
{
    const int index = combo->findData(value, Qt::UserRole);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}
}

UserGroupEntryDialog::UserGroupEntryDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::UserGroupEntryDialog>())
{
    initialize();
}

UserGroupEntryDialog::UserGroupEntryDialog(const AccessEntry &entry, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::UserGroupEntryDialog>()), m_entry(entry)
{
    initialize();
}

UserGroupEntryDialog::~UserGroupEntryDialog() = default;

void UserGroupEntryDialog::initialize()
{
    ui->setupUi(this);
    ui->typeCombo->addItem(QIcon(), i18n("Users"), static_cast<int>(RoleUser));
    ui->typeCombo->addItem(QIcon(), i18n("Groups"), static_cast<int>(RoleGroup));
    ui->permissionCombo->addItem(QIcon(), i18n("Allow"), static_cast<int>(PermissionAllow));
    ui->permissionCombo->addItem(QIcon(), i18n("Deny"), static_cast<int>(PermissionDeny));

    const bool anyName = m_entry.name().isNull();
    ui->nameCheckBox->setChecked(anyName);
    ui->nameLineEdit->setEnabled(!anyName);
    if (!anyName) {
        ui->nameLineEdit->setText(m_entry.name());
    }
    const bool anyHost = !m_entry.hasHost();
    ui->ipCheckBox->setChecked(anyHost);
    ui->ipLineEdit->setEnabled(!anyHost);
    if (!anyHost) {
        ui->ipLineEdit->setText(m_entry.hostText());
    }
    connect(ui->nameCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->nameLineEdit->setEnabled(!checked);
    });
    connect(ui->ipCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->ipLineEdit->setEnabled(!checked);
    });

    selectData(ui->typeCombo, m_entry.role());
    selectData(ui->permissionCombo, m_entry.permission());
    // sshd matches groups by bare name only: a group has no address to offer.
    auto showAddress = [this] {
        const bool user = comboValue<RoleType>(ui->typeCombo) == RoleUser;
        ui->ipCheckBox->setVisible(user);
        ui->ipLineEdit->setVisible(user);
    };
    connect(ui->typeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, showAddress);
    showAddress();
}

void UserGroupEntryDialog::setExistingEntries(const QList<AccessEntry> &entries)
{
    m_existingEntries = entries;
    if (!m_existingEntries.isEmpty()) {
        addCompleterNames();
    }
}

void UserGroupEntryDialog::addCompleterNames()
{
    QStringList names;
    for (const AccessEntry &entry : std::as_const(m_existingEntries)) {
        if (!entry.name().isEmpty()) {
            names.append(entry.name());
        }
    }
    names.removeDuplicates();
    ui->nameLineEdit->setCompleter(new QCompleter(names, ui->nameLineEdit));
}

bool UserGroupEntryDialog::keepsHostPattern() const
{
    // An entry loaded with a host pattern may be edited without retyping its host;
    // any other host text has to be a literal address.
    return !m_entry.hostPattern().isEmpty() && ui->ipLineEdit->text() == m_entry.hostPattern();
}

AccessEntry UserGroupEntryDialog::buildEntry() const
{
    AccessEntry result;
    const auto role = comboValue<RoleType>(ui->typeCombo);
    if (role == RoleGroup || ui->ipCheckBox->isChecked()) {
        result.setIp(QHostAddress());
    } else if (keepsHostPattern()) {
        result.setIpAndName(QStringLiteral("*@") + m_entry.hostPattern());
    } else {
        result.setIp(QHostAddress(ui->ipLineEdit->text()));
    }
    result.setName(ui->nameCheckBox->isChecked() ? QString() : ui->nameLineEdit->text().trimmed());
    result.setRole(role);
    result.setPermission(comboValue<Permission>(ui->permissionCombo));
    return result;
}

bool UserGroupEntryDialog::showError(const QString &text)
{
    QMessageBox::critical(this, i18n("Error"), text, QMessageBox::Ok);
    return false;
}

bool UserGroupEntryDialog::validateEntry()
{
    const auto role = comboValue<RoleType>(ui->typeCombo);
    if (role != RoleUser && role != RoleGroup) {
        return showError(i18n("Select a valid role."));
    }
    const auto permission = comboValue<Permission>(ui->permissionCombo);
    if (permission != PermissionAllow && permission != PermissionDeny) {
        return showError(i18n("Select a valid permission."));
    }
    if (!ui->nameCheckBox->isChecked()) {
        const QString name = ui->nameLineEdit->text().trimmed();
        if (name.isEmpty()) {
            return showError(i18n("Name cannot be empty."));
        }
        static const QRegularExpression userPattern(QStringLiteral("^[a-z_][a-z0-9_-]{0,30}([a-z0-9])?$"));
        static const QRegularExpression groupPattern(QStringLiteral("^[a-z0-9_][-a-z0-9_]{0,30}([a-z0-9])?$"));
        const QRegularExpression &pattern = role == RoleUser ? userPattern : groupPattern;
        if (!pattern.match(name).hasMatch()) {
            return showError(i18n("Invalid user or group name."));
        }
    }
    if (role == RoleUser && !ui->ipCheckBox->isChecked() && !keepsHostPattern() && QHostAddress(ui->ipLineEdit->text()).isNull()) {
        return showError(i18n("Invalid IP address."));
    }
    if (m_existingEntries.contains(buildEntry())) {
        return showError(i18n("An entry with this name already exists."));
    }
    return true;
}

void UserGroupEntryDialog::accept()
{
    if (!validateEntry()) {
        return;
    }
    m_entry = buildEntry();
    QDialog::accept();
}

AccessEntry UserGroupEntryDialog::entry() const
{
    return m_entry;
}
