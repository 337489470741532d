// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshconnectiondata.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

/// The connections of the current boot, one row each, in the order they opened.
class SSHConnectionsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum ConnectionProperty {
        ConnectionUserProperty = 0,
        ConnectionIPProperty,
        ConnectionPortProperty,
        ConnectionAuthenticationProperty,
        ConnectionFailedTriesCountProperty,
        ConnectionLastActivityTimeProperty,
        ConnectionOpenDateTimeProperty,
        ConnectionCloseDateTimeProperty,
    };
    Q_ENUM(ConnectionProperty)

    explicit SSHConnectionsModel(QObject *parent);

    /// A copy of the connection in the index's row; an empty record for a bad index.
    SSHConnectionData connection(const QModelIndex &index) const;
    const QList<SSHConnectionData> &connections() const;

    /// The authentication as the column shows it: a key's fingerprint cut short.
    static QString shortAuthentication(const QString &authentication);
    /// The tool tip of an open time, given the milliseconds elapsed since.
    static QString elapsedText(qint64 elapsedMs);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public Q_SLOTS:
    void addConnection(const SSHConnectionData &connection);
    void removeConnection(pid_t syslogPid, const QDateTime &disconnectionTime);
    void updateIdleTime(pid_t syslogPid, const QDateTime &activityTime);

private:
    int rowOf(pid_t syslogPid) const;

    QList<SSHConnectionData> m_connections;
    QDateTime m_creationTime;
};
