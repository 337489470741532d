// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "accessentry.h"
#include "dialogcheck.h"

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui
{
class UserGroupEntryDialog;
}

/// Asks for one Allow/Deny entry: a name or any name, an address or any address, the type and the permission.
class UserGroupEntryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UserGroupEntryDialog(QWidget *parent);
    UserGroupEntryDialog(const AccessEntry &entry, QWidget *parent);
    ~UserGroupEntryDialog() override;

    /// The entries already in the list: offered as names and refused as duplicates.
    void setExistingEntries(const QList<AccessEntry> &entries);
    /// The entry built on acceptance.
    AccessEntry entry() const;
    /// Why the fields cannot be accepted as they are, as shown under them; empty when they can or are not filled in.
    QString reason() const;
    /// The account whose lockout is warned of; the user running the page unless set.
    void setAccount(const QString &user, const QStringList &groups);
    /// What accepting @p entry would shut out, empty when nothing the administrator would miss.
    QString lockoutWarning(const AccessEntry &entry) const;

public Q_SLOTS:
    void accept() override;

private:
    void initialize();
    void addCompleterNames();
    AccessEntry buildEntry() const;
    bool keepsHostPattern() const;
    DialogCheck::Verdict verdict() const;
    /// Asks before an entry that shuts accounts out is accepted.
    bool confirmLockout(const AccessEntry &entry);

    std::unique_ptr<Ui::UserGroupEntryDialog> ui;
    AccessEntry m_entry;
    QList<AccessEntry> m_existingEntries;
    QString m_user;
    QStringList m_groups;
    DialogCheck *m_check = nullptr;
};
