// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupaccessmodel.h"

#include <KLocalizedString>

#include <QIcon>
#include <QMetaEnum>

UserGroupAccessModel::UserGroupAccessModel(const QList<AccessEntry> &entries, QObject *parent)
    : QAbstractTableModel(parent)
    , m_entries(entries)
{
}

int UserGroupAccessModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

int UserGroupAccessModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : QMetaEnum::fromType<ColumnId>().keyCount();
}

QVariant UserGroupAccessModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size()) {
        return {};
    }
    const AccessEntry &entry = m_entries.at(index.row());
    const bool stray = !entry.strayHost().isEmpty();
    if (stray && index.column() == Name && (role == Qt::ToolTipRole || role == Qt::DecorationRole)) {
        if (role == Qt::DecorationRole) {
            return QIcon::fromTheme(QStringLiteral("dialog-warning"));
        }
        return i18n(
            "The configuration names this group with the host \"%1\", which sshd never matches: "
            "the entry is written as the bare group name when this list is applied.",
            entry.strayHost());
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case Name:
            return entry.name().isNull() ? i18n("Any name") : entry.name();
        case IP:
            if (entry.role() == RoleGroup) {
                return QString();
            }
            return entry.hasHost() ? entry.hostText() : i18n("Any IP address");
        case RoleType:
            return roleTypeToString(entry.role());
        case Permission:
            return permissionToString(entry.permission());
        default:
            break;
        }
        return {};
    }
    if (role == Qt::DecorationRole && index.column() == Name) {
        switch (entry.role()) {
        case RoleUser:
            return QIcon::fromTheme(QStringLiteral("user"));
        case RoleGroup:
            return QIcon::fromTheme(QStringLiteral("group"));
        default:
            break;
        }
    }
    return {};
}

QVariant UserGroupAccessModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case Name:
        return i18n("Name");
    case IP:
        return i18n("IP address");
    case RoleType:
        return i18n("Type");
    case Permission:
        return i18n("Access right");
    default:
        break;
    }
    return {};
}

QList<AccessEntry> UserGroupAccessModel::entries() const
{
    return m_entries;
}

void UserGroupAccessModel::setEntries(const QList<AccessEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

AccessEntry UserGroupAccessModel::entryAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? m_entries.at(row) : AccessEntry();
}

QString UserGroupAccessModel::roleTypeToString(::RoleType role) const
{
    switch (role) {
    case RoleAll:
        return i18n("All");
    case RoleUser:
        return i18n("User");
    case RoleGroup:
        return i18n("Group");
    default:
        break;
    }
    return i18n("Unknown");
}

QString UserGroupAccessModel::permissionToString(::Permission permission) const
{
    switch (permission) {
    case PermissionAll:
        return i18n("All");
    case PermissionAllow:
        return i18n("Allow");
    case PermissionDeny:
        return i18n("Deny");
    default:
        break;
    }
    return i18n("Unknown");
}

QStringList UserGroupAccessModel::getExistingNames() const
{
    QStringList names;
    names.reserve(m_entries.size());
    for (const AccessEntry &entry : m_entries) {
        names.append(entry.ipAndName());
    }
    return names;
}

void UserGroupAccessModel::addEntry(const AccessEntry &entry)
{
    const int row = m_entries.size();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.append(entry);
    endInsertRows();
}

void UserGroupAccessModel::removeEntry(int row)
{
    if (row < 0 || row >= m_entries.size()) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.removeAt(row);
    endRemoveRows();
}

void UserGroupAccessModel::editEntry(int row, const AccessEntry &entry)
{
    if (row < 0 || row >= m_entries.size()) {
        return;
    }
    m_entries[row] = entry;
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1), {});
}
