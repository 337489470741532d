// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "accessentry.h"

#include <QSortFilterProxyModel>

/// Filters the access entries by type, permission and the start of the name; sorts by the shown texts.
class UserGroupAccessProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit UserGroupAccessProxyModel(QObject *parent);

    void setRoleFilter(RoleType role);
    void setPermissionFilter(Permission permission);
    void setSearchFilter(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    RoleType m_roleFilter = RoleAll;
    Permission m_permissionFilter = PermissionAll;
    QString m_searchText;
};
