// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupaccessproxymodel.h"

#include "usergroupaccessmodel.h"

UserGroupAccessProxyModel::UserGroupAccessProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

void UserGroupAccessProxyModel::setRoleFilter(RoleType role)
{
    m_roleFilter = role;
    invalidateFilter();
}

void UserGroupAccessProxyModel::setPermissionFilter(Permission permission)
{
    m_permissionFilter = permission;
    invalidateFilter();
}

void UserGroupAccessProxyModel::setSearchFilter(const QString &text)
{
    m_searchText = text;
    invalidateFilter();
}

bool UserGroupAccessProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *model = qobject_cast<const UserGroupAccessModel *>(sourceModel());
    if (!model) {
        return false;
    }
    const QModelIndex index = model->index(sourceRow, 0, sourceParent);
    if (!index.isValid()) {
        return false;
    }
    const AccessEntry entry = model->entryAt(sourceRow);
    const bool roleMatches = m_roleFilter == RoleAll || m_roleFilter == entry.role();
    const bool permissionMatches = m_permissionFilter == PermissionAll || m_permissionFilter == entry.permission();
    const bool nameMatches = m_searchText.isEmpty() || (!entry.name().isNull() && entry.name().startsWith(m_searchText, Qt::CaseInsensitive));
    return roleMatches && permissionMatches && nameMatches;
}

bool UserGroupAccessProxyModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    return left.data(Qt::DisplayRole).toString() < right.data(Qt::DisplayRole).toString();
}
