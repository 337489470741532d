// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsmodel.h"
#include "connections_debug.h"

#include <KLocalizedString>

#include <QDebug>
#include <QMetaEnum>

#include <algorithm>
#include <limits>

namespace
{
int propertyCount()
{
    static const int count = QMetaEnum::fromType<SSHConnectionsModel::ConnectionProperty>().keyCount();
    return count;
}

qint64 sortTime(const QDateTime &time, qint64 unknown)
{
    return time.isNull() ? unknown : time.toMSecsSinceEpoch();
}
}

SSHConnectionsModel::SSHConnectionsModel(QObject *parent)
    : QAbstractTableModel(parent)
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

QString SSHConnectionsModel::durationText(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(milliseconds, 0) / 1000;
    const QString h = QString::number(seconds / 3600);
    const QString min = QString::number(seconds / 60 % 60);
    const QString s = QString::number(seconds % 60);
    if (seconds >= 3600) {
        return i18nc("@item a duration", "%1 h %2 min %3 s", h, min, s);
    }
    return seconds >= 60 ? i18nc("@item a duration", "%1 min %2 s", min, s) : i18nc("@item a duration", "%1 s", s);
}

QString SSHConnectionsModel::authenticationText(const SSHConnectionData &connection, bool fullFingerprint)
{
    const QString &method = connection.method;
    QString type = connection.keyType;
    QString fingerprint = connection.fingerprint;
    // "SHA256:" and the start of the hash tell keys apart; the whole fingerprint is in the tool tip.
    constexpr int Shown = 8;
    const int hash = fingerprint.indexOf(QLatin1Char(':'));
    if (!fullFingerprint && hash >= 0 && fingerprint.size() - hash - 1 > Shown) {
        fingerprint = fingerprint.left(hash + 1 + Shown) + QChar(0x2026);
    }
    const bool certificate = type.endsWith(QLatin1String("-CERT"));
    if (certificate) {
        type.chop(5);
    }
    if (method == QLatin1String("publickey") || method == QLatin1String("hostbased")) {
        const bool host = method == QLatin1String("hostbased");
        if (type.isEmpty()) {
            return host ? i18nc("@item how the user logged in", "Host key") : i18nc("@item how the user logged in", "Key");
        }
        if (certificate) {
            return host ? i18nc("@item how the user logged in; %1 key type, %2 fingerprint", "Host certificate (%1, %2)", type, fingerprint)
                        : i18nc("@item how the user logged in; %1 key type, %2 fingerprint", "Certificate (%1, %2)", type, fingerprint);
        }
        return host ? i18nc("@item how the user logged in; %1 key type, %2 fingerprint", "Host key (%1, %2)", type, fingerprint)
                    : i18nc("@item how the user logged in; %1 key type, %2 fingerprint", "Key (%1, %2)", type, fingerprint);
    }
    if (method == QLatin1String("password")) {
        return i18nc("@item how the user logged in", "Password");
    }
    if (method.startsWith(QLatin1String("keyboard-interactive"))) {
        return i18nc("@item how the user logged in", "Keyboard-interactive");
    }
    if (method.startsWith(QLatin1String("gssapi"))) {
        return i18nc("@item how the user logged in", "Kerberos");
    }
    if (method == QLatin1String("none")) {
        return i18nc("@item how the user logged in", "Empty password");
    }
    return method;
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
    const bool open = connection.closeDateTime.isNull();
    const auto column = static_cast<ConnectionProperty>(index.column());
    if (role == SortRole) {
        switch (column) {
        case ConnectionPortProperty:
            return connection.address.port().toInt();
        case ConnectionLastActivityTimeProperty:
            return sortTime(connection.lastActivityTime, -1);
        case ConnectionOpenDateTimeProperty:
            return sortTime(connection.openDateTime, -1);
        case ConnectionCloseDateTimeProperty:
            return sortTime(connection.closeDateTime, std::numeric_limits<qint64>::max());
        default:
            role = Qt::DisplayRole;
        }
    }
    if (role == Qt::DisplayRole) {
        switch (column) {
        case ConnectionUserProperty:
            return connection.user;
        case ConnectionIPProperty:
            return connection.address.ip().toString();
        case ConnectionPortProperty:
            return connection.address.port();
        case ConnectionAuthenticationProperty:
            return authenticationText(connection, false);
        case ConnectionFailedTriesCountProperty:
            return connection.failedTriesCount;
        case ConnectionLastActivityTimeProperty:
            return open ? QVariant(connection.lastActivityTime) : QVariant();
        case ConnectionOpenDateTimeProperty:
            return connection.openDateTime;
        case ConnectionCloseDateTimeProperty:
            return open ? QVariant(i18nc("@item the SSH connection has not ended", "Connected")) : QVariant(connection.closeDateTime);
        }
    }
    if (role == Qt::ToolTipRole && column == ConnectionAuthenticationProperty) {
        return authenticationText(connection, true);
    }
    if (role == Qt::ToolTipRole && column == ConnectionOpenDateTimeProperty) {
        return open ? i18nc("@info:tooltip", "Connected for %1", durationText(connection.openDateTime.msecsTo(QDateTime::currentDateTime())))
                    : i18nc("@info:tooltip", "Lasted %1", durationText(connection.openDateTime.msecsTo(connection.closeDateTime)));
    }
    return QVariant();
}

QVariant SSHConnectionsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return QVariant();
    }
    if (role == Qt::ToolTipRole) {
        switch (section) {
        case ConnectionFailedTriesCountProperty:
            return i18nc("@info:tooltip", "Failed tries of the connection before it logged in");
        case ConnectionLastActivityTimeProperty:
            return i18nc("@info:tooltip", "Last use of the connection's terminal; empty for connections without one");
        default:
            return QVariant();
        }
    }
    switch (section) {
    case ConnectionUserProperty:
        return i18nc("@title:column", "User");
    case ConnectionIPProperty:
        return i18nc("@title:column", "Address");
    case ConnectionPortProperty:
        return i18nc("@title:column", "Port");
    case ConnectionAuthenticationProperty:
        return i18nc("@title:column how the user logged in", "Authentication");
    case ConnectionFailedTriesCountProperty:
        return i18nc("@title:column", "Failed Logins");
    case ConnectionLastActivityTimeProperty:
        return i18nc("@title:column last use of the terminal", "Last Activity");
    case ConnectionOpenDateTimeProperty:
        return i18nc("@title:column the connection's start", "Started");
    case ConnectionCloseDateTimeProperty:
        return i18nc("@title:column the connection's end", "Ended");
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
    // The latest row of the pid: pids are reused over a boot.
    for (int row = m_connections.size() - 1; row >= 0; --row) {
        if (m_connections.at(row).syslogPid == syslogPid) {
            return row;
        }
    }
    return -1;
}

void SSHConnectionsModel::closeConnection(pid_t syslogPid, const QDateTime &closeTime)
{
    const int row = rowOf(syslogPid);
    if (row < 0 || !m_connections.at(row).closeDateTime.isNull()) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Session closed without being opened:" << syslogPid;
        return;
    }
    SSHConnectionData &connection = m_connections[row];
    connection.closeDateTime = closeTime;
    connection.lastActivityTime = QDateTime();
    ++m_closedCount;
    Q_EMIT dataChanged(index(row, 0), index(row, ConnectionCloseDateTimeProperty)); // every role: the sort one too
    dropOldestClosed();
}

void SSHConnectionsModel::dropOldestClosed()
{
    for (int row = 0; m_closedCount > MaxClosedRows && row < m_connections.size(); ++row) {
        if (!m_connections.at(row).closeDateTime.isNull()) {
            beginRemoveRows(QModelIndex(), row, row);
            m_connections.removeAt(row);
            endRemoveRows();
            --m_closedCount;
            return;
        }
    }
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
    Q_EMIT dataChanged(changed, changed);
}
