// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshattemptsmodel.h"

#include <KLocalizedString>

#include <QDateTime>
#include <QStringList>

SSHAttemptsModel::SSHAttemptsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void SSHAttemptsModel::setDeniedCheck(DeniedCheck check)
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

SSHAttemptsModel::DenyState SSHAttemptsModel::denyState(const QHostAddress &address) const
{
    return address.isNull() || !m_denied ? DenyState::NotDenied : m_denied(address);
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
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return QVariant();
    }
    const SshdLog::AddressAttempts &entry = m_rows.at(index.row());
    if (role == Qt::ToolTipRole && index.column() == UsersColumn) {
        QStringList users(entry.users.cbegin(), entry.users.cend());
        users.sort();
        return users.join(QStringLiteral(", "));
    }
    if (role == Qt::ToolTipRole && index.column() == DeniedColumn) {
        switch (denyState(QHostAddress(entry.address))) {
        case DenyState::DeniedOnApply:
            return i18nc("@info:tooltip", "A deny entry for this address is in the access list but not written yet: press Apply to write it.");
        case DenyState::AllowedOnApply:
            return i18nc("@info:tooltip", "The deny entry for this address was taken out of the access list but not written yet: press Apply to write it.");
        default:
            return QVariant();
        }
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
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
    case DeniedColumn:
        switch (denyState(QHostAddress(entry.address))) {
        case DenyState::NotDenied:
            return i18nc("@item the address is not denied", "No");
        case DenyState::Denied:
            return i18nc("@item the address is denied", "Yes");
        case DenyState::DeniedOnApply:
            return i18nc("@item the address is denied once the changes are applied", "Yes, after Apply");
        case DenyState::AllowedOnApply:
            return i18nc("@item the address is denied until the changes are applied", "No, after Apply");
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
        return i18nc("@title:column number of failed logins", "Failures");
    case UsersColumn:
        return i18nc("@title:column number of different user names tried", "Names Tried");
    case FirstSeenColumn:
        return i18nc("@title:column time of the first failure", "First");
    case LastSeenColumn:
        return i18nc("@title:column time of the last failure", "Last");
    case DeniedColumn:
        return i18nc("@title:column the address is in the deny list", "Denied");
    }
    return QVariant();
}
