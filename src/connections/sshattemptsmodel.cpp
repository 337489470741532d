// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshattemptsmodel.h"

#include <KLocalizedString>

#include <QDateTime>

SSHAttemptsModel::SSHAttemptsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void SSHAttemptsModel::setDeniedCheck(std::function<bool(const QHostAddress &)> check)
{
    m_denied = std::move(check);
    if (!m_rows.isEmpty()) {
        Q_EMIT dataChanged(index(0, DeniedColumn), index(m_rows.size() - 1, DeniedColumn));
    }
}

void SSHAttemptsModel::setAttempts(const QList<SshdLog::AddressAttempts> &attempts)
{
    QList<SshdLog::AddressAttempts> added;
    int known = 0;
    for (const SshdLog::AddressAttempts &entry : attempts) {
        const auto row = m_rowOf.constFind(entry.address);
        if (row == m_rowOf.constEnd()) {
            added.append(entry);
        } else {
            m_rows[*row] = entry;
            ++known;
        }
    }
    if (known < m_rows.size()) {
        // Some addresses were dropped to bound the memory: start over.
        beginResetModel();
        m_rows = attempts;
        m_rowOf.clear();
        for (int row = 0; row < m_rows.size(); ++row) {
            m_rowOf.insert(m_rows.at(row).address, row);
        }
        endResetModel();
        return;
    }
    if (!m_rows.isEmpty()) {
        Q_EMIT dataChanged(index(0, 0), index(m_rows.size() - 1, ColumnCount - 1));
    }
    if (!added.isEmpty()) {
        beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + added.size() - 1);
        for (const SshdLog::AddressAttempts &entry : std::as_const(added)) {
            m_rowOf.insert(entry.address, m_rows.size());
            m_rows.append(entry);
        }
        endInsertRows();
    }
}

QHostAddress SSHAttemptsModel::address(int row) const
{
    return row >= 0 && row < m_rows.size() ? QHostAddress(m_rows.at(row).address) : QHostAddress();
}

int SSHAttemptsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int SSHAttemptsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SSHAttemptsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole) {
        return QVariant();
    }
    const SshdLog::AddressAttempts &entry = m_rows.at(index.row());
    switch (index.column()) {
    case AddressColumn:
        return entry.address;
    case FailuresColumn:
        return entry.failures;
    case UsersColumn:
        return int(entry.users.size());
    case FirstSeenColumn:
        return QDateTime::fromMSecsSinceEpoch(entry.first / 1000);
    case LastSeenColumn:
        return QDateTime::fromMSecsSinceEpoch(entry.last / 1000);
    case DeniedColumn: {
        const QHostAddress address(entry.address);
        return !address.isNull() && m_denied && m_denied(address) ? i18nc("@item the address is denied", "Yes")
                                                                  : i18nc("@item the address is not denied", "No");
    }
    }
    return QVariant();
}

QVariant SSHAttemptsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
    case AddressColumn:
        return i18nc("@title:column", "Address");
    case FailuresColumn:
        return i18nc("@title:column", "Failed attempts");
    case UsersColumn:
        return i18nc("@title:column number of different user names tried", "Users tried");
    case FirstSeenColumn:
        return i18nc("@title:column", "First seen");
    case LastSeenColumn:
        return i18nc("@title:column", "Last seen");
    case DeniedColumn:
        return i18nc("@title:column the address is in the deny list", "Denied");
    }
    return QVariant();
}
