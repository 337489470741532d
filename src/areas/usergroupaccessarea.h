// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"
#include "accessentry.h"

#include <QHostAddress>

#include <memory>

namespace Ui
{
class UserGroupAccessView;
}
class CollapsiblePanel;
class KMessageWidget;
class UserGroupAccessModel;
class UserGroupAccessProxyModel;

/// Edits AllowUsers, DenyUsers, AllowGroups and DenyGroups together as one filterable table.
class UserGroupAccessArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    UserGroupAccessArea(const SSHOption &option, QWidget *parent);
    ~UserGroupAccessArea() override;

    QWidget *inflate() override;
    /// The keywords whose lists differ from the stored ones, with their blank-separated words ("" for an emptied list).
    QVariant value() const override;
    QVariantMap changes() const override;
    void reset() const override;

    /// Adds a deny entry for the address with any name.
    void blockIp(const QHostAddress &ip);
    /// Opens the table; nothing when it is open already.
    void expandSettings();
    /// Closes the table; nothing when it is closed already.
    void collapseSettings();

    /// Users or groups, allowed or denied, by the keyword of their list.
    static RoleType roleOf(const QString &keyword);
    static Permission permissionOf(const QString &keyword);
    /// The entries of the stored lists, in the order of their keywords.
    QList<AccessEntry> originalEntries() const;

private Q_SLOTS:
    void onRoleComboIndexChanged();
    void onPermissionComboIndexChanged();
    void onSearchLineEditTextChanged(const QString &text);
    void checkEntriesChanges();
    void addEntry();
    void editEntry();
    void removeEntry();

private:
    void setupAnimation();
    void initializeModel();
    void setupRoleCombo();
    void setupPermissionCombo();
    void setupConnections();

    std::unique_ptr<Ui::UserGroupAccessView> ui;
    UserGroupAccessModel *m_model = nullptr;
    UserGroupAccessProxyModel *m_proxy = nullptr;
    CollapsiblePanel *m_panel = nullptr;
    KMessageWidget *m_empty = nullptr; ///< says what an empty list means, as the listening addresses do
};
