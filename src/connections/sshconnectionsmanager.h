// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshconnectiondata.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

namespace KCMOS
{
class MessagesManager;
}

/**
 * Follows the SSH connections of this machine through the sshd lines of the
 * journal of the current boot.
 *
 * Each readConnections() asks the helper for the lines written since the
 * previous read (the journal cursor), pairs password logins with the session
 * openings and closings that follow them and announces the results as signals.
 * Authentications whose session has not opened yet are kept across reads, so a
 * login and its session may arrive in different reads; an authentication whose
 * process ends first is dropped, and their number is capped.
 */
class SSHConnectionsManager : public QObject
{
    Q_OBJECT
public:
    /// Authentications kept waiting for their session at most; the oldest go first.
    static constexpr int MaxPendingConnections = 4096;

    explicit SSHConnectionsManager(QObject *parent);
    ~SSHConnectionsManager() override;

    /// The journalctl arguments of a read after the given cursor (none when null).
    static QStringList journalArguments(const QString &cursor);

    /// The cursor after the last line read; null before the first successful read.
    QString journalCursor() const;
    /// Authentications waiting for their session.
    int pendingCount() const;

Q_SIGNALS:
    void idleTimeChanged(pid_t syslogPid, const QDateTime &activityTime);
    void connectionOpened(const SSHConnectionData &connection);
    void connectionClosed(pid_t syslogPid, const QDateTime &closeTime);

public Q_SLOTS:
    /// Reads the journal lines written since the last call and processes them.
    void readConnections();
    /// Refreshes the terminal activity of the given connections.
    void readIdleTime(const QList<SSHConnectionData> &connections);
    /// Ends the connection's sshd process and reports the result in the message area.
    void killConnection(const SSHConnectionData &connection, KCMOS::MessagesManager *messagesManager);

protected:
    /// The standard output of "who -pu" (empty when it could not run).
    virtual QString readWhoOutput();
    /// Directory of the terminal devices named by who.
    virtual QString deviceDirectory() const;

private:
    void processJournalOutput(const QByteArray &output);
    void processJournalLine(const char *data, int size);

    void tryProcessFailedPassword(int syslogPid, const QString &message);
    void tryProcessAcceptedPassword(int syslogPid, const QString &message);
    QString tryProcessSessionOpened(int syslogPid, const QString &message, const QDateTime &time);
    void tryProcessSessionClosed(int syslogPid, const QString &message, const QDateTime &time);
    void tryProcessProcessEnded(int syslogPid, const QString &message);

    void insertPending(int syslogPid, const SSHConnectionData &connection);
    SSHConnectionData takePending(int syslogPid);

    QHash<int, SSHConnectionData> pendingConnections;
    QString m_journalCursor;
    bool m_reading = false;
    // Insertion order of the pending entries, for dropping the oldest.
    QHash<int, quint64> m_pendingSerials;
    std::map<quint64, int> m_pendingOrder;
    quint64 m_nextSerial = 0;
};
