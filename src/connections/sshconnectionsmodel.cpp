// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsmodel.h"
#include "connections_debug.h"

#include <KLocalizedString>

#include <QDebug>
#include <QMetaEnum>

namespace
{
int propertyCount()
{
    static const int count = QMetaEnum::fromType<SSHConnectionsModel::ConnectionProperty>().keyCount();
    return count;
}
}

SSHConnectionsModel::SSHConnectionsModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_creationTime(QDateTime::currentDateTime())
{
    registerSSHConnectionMetaTypes();
}

SSHConnectionData SSHConnectionsModel::connection(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_connections.size()) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Incorrect or out-of-range index passed to connection method";
        return SSHConnectionData();
    }
    return m_connections.at(index.row());
}

const QList<SSHConnectionData> &SSHConnectionsModel::connections() const
{
    return m_connections;
}

QString SSHConnectionsModel::elapsedText(qint64 elapsedMs)
{
    const qint64 hours = elapsedMs / 3600000;
    const qint64 minutes = elapsedMs / 60000 - 60 * hours;
    const qint64 seconds = elapsedMs / 1000 - 60 * (elapsedMs / 60000);
    const qint64 milliseconds = elapsedMs % 1000;
    return i18n("Elapsed %1h%2m%3s%4ms", QString::number(hours), QString::number(minutes), QString::number(seconds), QString::number(milliseconds));
}

QString SSHConnectionsModel::shortAuthentication(const QString &authentication)
{
    // "publickey ED25519 SHA256:<43 characters>": the start of the hash tells keys
    // apart; the whole fingerprint is in the tool tip.
    const int hash = authentication.indexOf(QLatin1Char(':'));
    constexpr int Shown = 12;
    if (hash < 0 || authentication.size() - hash - 1 <= Shown) {
        return authentication;
    }
    return authentication.left(hash + 1 + Shown) + QChar(0x2026);
}

int SSHConnectionsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_connections.size();
}

int SSHConnectionsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : propertyCount();
}

QVariant SSHConnectionsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_connections.size() || index.column() < 0 || index.column() > ConnectionCloseDateTimeProperty) {
        return QVariant();
    }
    const SSHConnectionData &connection = m_connections.at(index.row());
    if (role == Qt::DisplayRole) {
        switch (static_cast<ConnectionProperty>(index.column())) {
        case ConnectionUserProperty:
            return connection.user;
        case ConnectionIPProperty:
            return connection.address.ip().toString();
        case ConnectionPortProperty:
            return connection.address.port();
        case ConnectionAuthenticationProperty:
            return shortAuthentication(connection.authentication);
        case ConnectionFailedTriesCountProperty:
            return connection.failedTriesCount;
        case ConnectionLastActivityTimeProperty:
            return connection.lastActivityTime;
        case ConnectionOpenDateTimeProperty:
            return connection.openDateTime;
        case ConnectionCloseDateTimeProperty:
            if (connection.closeDateTime.isNull()) {
                return i18n("Still connected");
            }
            return connection.closeDateTime;
        }
    }
    if (role == Qt::ToolTipRole && index.column() == ConnectionAuthenticationProperty) {
        return connection.authentication;
    }
    if (role == Qt::ToolTipRole && index.column() == ConnectionOpenDateTimeProperty) {
        return elapsedText(connection.openDateTime.msecsTo(QDateTime::currentDateTime()));
    }
    return QVariant();
}

QVariant SSHConnectionsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
    case ConnectionUserProperty:
        return i18n("User");
    case ConnectionIPProperty:
        return i18n("IP");
    case ConnectionPortProperty:
        return i18n("Port");
    case ConnectionAuthenticationProperty:
        return i18nc("@title:column how the user logged in", "Authentication");
    case ConnectionFailedTriesCountProperty:
        return i18n("Failed login tries");
    case ConnectionLastActivityTimeProperty:
        return i18n("Last console activity");
    case ConnectionOpenDateTimeProperty:
        return i18n("Connection timestamp");
    case ConnectionCloseDateTimeProperty:
        return i18n("Disconnection timestamp");
    default:
        return QVariant();
    }
}

void SSHConnectionsModel::addConnection(const SSHConnectionData &connection)
{
    beginInsertRows(QModelIndex(), m_connections.size(), m_connections.size());
    m_connections.append(connection);
    endInsertRows();
}

int SSHConnectionsModel::rowOf(pid_t syslogPid) const
{
    for (int row = 0; row < m_connections.size(); ++row) {
        if (m_connections.at(row).syslogPid == syslogPid) {
            return row;
        }
    }
    return -1;
}

void SSHConnectionsModel::removeConnection(pid_t syslogPid, const QDateTime &disconnectionTime)
{
    const int row = rowOf(syslogPid);
    if (row < 0) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Session closed without being opened:" << syslogPid;
        return;
    }
    if (disconnectionTime < m_creationTime) {
        // Opened and closed before the module started: not listed.
        beginRemoveRows(QModelIndex(), row, row);
        m_connections.removeAt(row);
        endRemoveRows();
        return;
    }
    m_connections[row].closeDateTime = disconnectionTime;
    const QModelIndex changed = index(row, ConnectionCloseDateTimeProperty);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}

void SSHConnectionsModel::updateIdleTime(pid_t syslogPid, const QDateTime &activityTime)
{
    const int row = rowOf(syslogPid);
    if (row < 0) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Trying to update idle time for unknown PID" << syslogPid;
        return;
    }
    m_connections[row].lastActivityTime = activityTime;
    const QModelIndex changed = index(row, ConnectionLastActivityTimeProperty);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}
