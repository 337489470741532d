// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshconnectiondata.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

/**
 * The connections of the current boot, one row each, in the order they
 * opened: the open ones and the latest MaxClosedRows closed ones.
 */
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

    /// The role the views sort by: times as milliseconds, open connections after the closed ones.
    static constexpr int SortRole = Qt::UserRole;
    /// Closed connections kept; older ones leave the list.
    static constexpr int MaxClosedRows = 1000;

    explicit SSHConnectionsModel(QObject *parent);

    /// A copy of the connection in the index's row; an empty record for a bad index.
    SSHConnectionData connection(const QModelIndex &index) const;
    const QList<SSHConnectionData> &connections() const;

    /// How the user logged in, in words: "Key (ED25519, SHA256:…)", "Password", …;
    /// a key's fingerprint cut short unless @p fullFingerprint.
    static QString authenticationText(const SSHConnectionData &connection, bool fullFingerprint);
    /// A duration in words, to the second ("1 h 2 min 3 s").
    static QString durationText(qint64 milliseconds);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public Q_SLOTS:
    void addConnection(const SSHConnectionData &connection);
    /// Stamps the connection's end; the oldest closed row leaves past MaxClosedRows.
    void closeConnection(pid_t syslogPid, const QDateTime &closeTime);
    void updateIdleTime(pid_t syslogPid, const QDateTime &activityTime);

private:
    int rowOf(pid_t syslogPid) const;
    void dropOldestClosed();

    QList<SSHConnectionData> m_connections;
    int m_closedCount = 0;
};
