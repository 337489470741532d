// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupentrydialog.h"
#include "ui_UserGroupEntryDialog.h"

#include "dialogcheck.h"
#include "formaccessibility.h"
#include "ipaddress.h"

#include <KLocalizedString>

#include <QCompleter>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <tuple>
#include <vector>

namespace
{
template<typename T>
T comboValue(const QComboBox *combo)
{
    bool ok = false;
    const int value = combo->currentData(Qt::UserRole).toInt(&ok);
    return static_cast<T>(ok ? value : 0);
}

/// The login name and group names of the user running the page.
std::pair<QString, QStringList> currentAccount()
{
    const passwd *pw = getpwuid(getuid());
    if (!pw) {
        return {};
    }
    const QString user = QString::fromLocal8Bit(pw->pw_name);
    int count = 64;
    std::vector<gid_t> gids(count);
    if (getgrouplist(pw->pw_name, pw->pw_gid, gids.data(), &count) < 0) {
        gids.resize(count);
        getgrouplist(pw->pw_name, pw->pw_gid, gids.data(), &count);
    }
    gids.resize(std::max(count, 0));
    QStringList groups;
    for (const gid_t gid : gids) {
        if (const group *gr = getgrgid(gid)) {
            groups.append(QString::fromLocal8Bit(gr->gr_name));
        }
    }
    return {user, groups};
}

void selectData(QComboBox *combo, int value)
{
    const int index = combo->findData(value, Qt::UserRole);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}
}

UserGroupEntryDialog::UserGroupEntryDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::UserGroupEntryDialog>())
{
    initialize();
}

UserGroupEntryDialog::UserGroupEntryDialog(const AccessEntry &entry, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::UserGroupEntryDialog>())
    , m_entry(entry)
{
    initialize();
}

UserGroupEntryDialog::~UserGroupEntryDialog() = default;

void UserGroupEntryDialog::initialize()
{
    ui->setupUi(this);
    std::tie(m_user, m_groups) = currentAccount();
    // Adding starts from an entry of no role; editing from the entry shown.
    const bool adding = m_entry.role() == RoleUnknown;
    setWindowTitle(adding ? i18nc("@title:window", "Add Access Entry") : i18nc("@title:window", "Edit Access Entry"));
    ui->typeCombo->addItem(QIcon(), i18n("User"), static_cast<int>(RoleUser));
    ui->typeCombo->addItem(QIcon(), i18n("Group"), static_cast<int>(RoleGroup));
    ui->permissionCombo->addItem(QIcon(), i18n("Allow"), static_cast<int>(PermissionAllow));
    ui->permissionCombo->addItem(QIcon(), i18n("Deny"), static_cast<int>(PermissionDeny));
    DialogCheck::fitWidth(ui->ipLineEdit, QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));

    // A new entry starts from a name to type: "any name from any address" would change nothing.
    const bool anyName = !adding && m_entry.name().isNull();
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
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    if (adding) {
        ok->setText(i18nc("@action:button", "&Add"));
        ok->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    }
    m_check = new DialogCheck(ok, ui->verticalLayout, 1, [this] {
        return verdict();
    });
    connect(ui->nameCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->nameLineEdit->setEnabled(!checked);
        m_check->update();
    });
    connect(ui->ipCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        ui->ipLineEdit->setEnabled(!checked);
        m_check->update();
    });
    connect(ui->nameLineEdit, &QLineEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->ipLineEdit, &QLineEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->permissionCombo, qOverload<int>(&QComboBox::currentIndexChanged), m_check, &DialogCheck::update);

    selectData(ui->typeCombo, m_entry.role());
    selectData(ui->permissionCombo, m_entry.permission());
    // sshd matches groups by bare name only: a group has no address to offer.
    auto showAddress = [this] {
        const bool user = comboValue<RoleType>(ui->typeCombo) == RoleUser;
        ui->ipLabel->setVisible(user);
        ui->ipCheckBox->setVisible(user);
        ui->ipLineEdit->setVisible(user);
        ui->nameLineEdit->setPlaceholderText(user ? i18n("A user name such as alice") : i18n("A group name such as sftponly"));
        m_check->update();
    };
    connect(ui->typeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, showAddress);
    showAddress();
    FormAccessibility::apply(this);
}

void UserGroupEntryDialog::setExistingEntries(const QList<AccessEntry> &entries)
{
    m_existingEntries = entries;
    if (!m_existingEntries.isEmpty()) {
        addCompleterNames();
    }
    m_check->update();
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
        QHostAddress address;
        IpAddress::parse(ui->ipLineEdit->text().trimmed(), &address);
        result.setIp(address);
    }
    result.setName(ui->nameCheckBox->isChecked() ? QString() : ui->nameLineEdit->text().trimmed());
    result.setRole(role);
    result.setPermission(comboValue<Permission>(ui->permissionCombo));
    return result;
}

DialogCheck::Verdict UserGroupEntryDialog::verdict() const
{
    const auto role = comboValue<RoleType>(ui->typeCombo);
    const bool anyName = ui->nameCheckBox->isChecked();
    const bool anyHost = role == RoleGroup || ui->ipCheckBox->isChecked();
    if (!anyName) {
        const QString name = ui->nameLineEdit->text().trimmed();
        if (name.isEmpty()) {
            return {};
        }
        static const QRegularExpression userPattern(QStringLiteral("^[a-z_][a-z0-9_-]{0,30}([a-z0-9])?$"));
        static const QRegularExpression groupPattern(QStringLiteral("^[a-z0-9_][-a-z0-9_]{0,30}([a-z0-9])?$"));
        if (role == RoleUser && !userPattern.match(name).hasMatch()) {
            return {false,
                    i18n("“%1” is not a user name: it starts with a lower-case letter or “_”, followed by lower-case letters, digits, “_” or “-”, "
                         "32 characters at most.",
                         name)};
        }
        if (role == RoleGroup && !groupPattern.match(name).hasMatch()) {
            return {false, i18n("“%1” is not a group name: lower-case letters, digits, “_” or “-”, 32 characters at most.", name)};
        }
    }
    if (!anyHost && !keepsHostPattern()) {
        const QString text = ui->ipLineEdit->text().trimmed();
        QHostAddress address;
        if (text.isEmpty()) {
            return {};
        }
        // A literal address as sshd reads it: "10.1" or "fe80::1%eth0" would be a pattern to it.
        if (!IpAddress::parse(text, &address)) {
            return {false, i18n("“%1” is not an IP address. Enter one address, such as 192.168.1.10 or fd00::10.", text)};
        }
    }
    if (anyName && anyHost && comboValue<Permission>(ui->permissionCombo) == PermissionAllow) {
        return {false, i18n("Every account may already log in from any address. Enter a name or an address, or choose Deny.")};
    }
    if (m_existingEntries.contains(buildEntry())) {
        return {false, i18n("This entry is in the list already.")};
    }
    return {true, QString()};
}

QString UserGroupEntryDialog::reason() const
{
    return m_check->reason();
}

void UserGroupEntryDialog::accept()
{
    if (!m_check->update()) {
        return;
    }
    const AccessEntry entry = buildEntry();
    if (!confirmLockout(entry)) {
        return;
    }
    m_entry = entry;
    QDialog::accept();
}

AccessEntry UserGroupEntryDialog::entry() const
{
    return m_entry;
}

void UserGroupEntryDialog::setAccount(const QString &user, const QStringList &groups)
{
    m_user = user;
    m_groups = groups;
}

QString UserGroupEntryDialog::lockoutWarning(const AccessEntry &entry) const
{
    const bool you = !m_user.isEmpty() && entry.namesAccount(m_user, m_groups);
    const bool anyName = entry.name().isEmpty() || entry.name() == QLatin1String("*");
    if (entry.permission() == PermissionDeny) {
        if (!you) {
            return {};
        }
        if (anyName) {
            return i18n("This entry denies SSH logins to every account, yours (%1) included.", m_user);
        }
        return entry.role() == RoleUser ? i18n("This entry denies SSH logins to your own account (%1).", m_user)
                                        : i18n("This entry denies SSH logins to every member of %1, your account (%2) included.", entry.name(), m_user);
    }
    // The first Allow entry of a kind turns the list into the only accounts let in.
    const bool firstOfItsKind = std::none_of(m_existingEntries.cbegin(), m_existingEntries.cend(), [this, &entry](const AccessEntry &other) {
        return other != m_entry && other.permission() == PermissionAllow && other.role() == entry.role();
    });
    if (!firstOfItsKind || (anyName && !entry.hasHost())) {
        return {};
    }
    if (entry.role() == RoleUser) {
        return you ? i18n("Once users are allowed by name, every user not in the list is shut out of SSH logins.")
                   : i18n("Once users are allowed by name, every user not in the list is shut out of SSH logins, your account (%1) included.", m_user);
    }
    return you ? i18n("Once groups are allowed by name, every account that is in none of them is shut out of SSH logins.")
               : i18n("Once groups are allowed by name, every account that is in none of them is shut out of SSH logins, your account (%1) included.", m_user);
}

bool UserGroupEntryDialog::confirmLockout(const AccessEntry &entry)
{
    const QString warning = lockoutWarning(entry);
    if (warning.isEmpty()) {
        return true;
    }
    QMessageBox box(QMessageBox::Warning, i18nc("@title:window", "Shut Out Accounts?"), warning, QMessageBox::NoButton, this);
    QPushButton *add = box.addButton(i18nc("@action:button", "Add the Entry Anyway"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == add;
}
