// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "accessentry.h"

#include <QAbstractTableModel>
#include <QList>

/// Every Allow/Deny entry of users and groups, one row each.
class UserGroupAccessModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum ColumnId {
        Name = 0,
        IP = 1,
        RoleType = 2,
        Permission = 3,
    };
    Q_ENUM(ColumnId)

    UserGroupAccessModel(const QList<AccessEntry> &entries, QObject *parent);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QList<AccessEntry> entries() const;
    void setEntries(const QList<AccessEntry> &entries);
    /// The entry of a row, or an empty entry outside the list.
    AccessEntry entryAt(int row) const;

    QString roleTypeToString(::RoleType role) const;
    QString permissionToString(::Permission permission) const;
    /// "name@host" of every entry, in order.
    QStringList getExistingNames() const;

    void addEntry(const AccessEntry &entry);
    void removeEntry(int row);
    void editEntry(int row, const AccessEntry &entry);

private:
    QList<AccessEntry> m_entries;
};
