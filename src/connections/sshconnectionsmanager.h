// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "privilegedaction.h"
#include "sshconnectiondata.h"
#include "sshdlogtracker.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace KCMOS
{
class MessagesManager;
}

/**
 * Follows the SSH connections and failed attempts of this machine through the
 * sshd entries of the journal of the current boot.
 *
 * Each readConnections() asks the helper for what sshd logged since the
 * previous read (the journal cursor), reduced by the helper to records of
 * logins, ended processes and failed attempts, and announces the results as
 * signals. What a read leaves open (failures of a process still
 * authenticating, open connections, attempts per address) is carried to the
 * next one, within bounds (SshdLog::Tracker).
 */
class SSHConnectionsManager : public QObject
{
    Q_OBJECT
public:
    explicit SSHConnectionsManager(QObject *parent);
    ~SSHConnectionsManager() override;

    /// The cursor after the last line read; null before the first successful read.
    QString journalCursor() const;
    /// Processes with failed authentications and no login yet.
    int pendingCount() const;
    /// The failed attempts per address over this boot.
    QList<SshdLog::AddressAttempts> attempts() const;

    /// Terminal per pid from the output of "who -pu", of either time format.
    static QHash<int, QString> whoTerminals(const QString &whoOutput);

Q_SIGNALS:
    void idleTimeChanged(pid_t syslogPid, const QDateTime &activityTime);
    void connectionOpened(const SSHConnectionData &connection);
    void connectionClosed(pid_t syslogPid, const QDateTime &closeTime);
    /// A read went through; attempts() may have changed.
    void attemptsChanged();
    /// The journal could not be read, with why (empty when it sent nothing usable); or, with no reason, it was read again.
    void journalReadable(bool readable, const QString &reason);

public Q_SLOTS:
    /// Reads the journal lines written since the last call and processes them.
    void readConnections();
    /// Refreshes the terminal activity of the given open connections.
    void readIdleTime(const QList<SSHConnectionData> &connections);
    /// Ends the connection's sshd process and, when the helper answers, reports the result in the message area and reads the journal.
    void killConnection(const SSHConnectionData &connection, KCMOS::MessagesManager *messagesManager);

protected:
    /// The standard output of "who -pu" (empty when it could not run).
    virtual QString readWhoOutput();
    /// Directory of the terminal devices named by who.
    virtual QString deviceDirectory() const;
    /// Directory of the processes' "PID/stat" files.
    virtual QString processDirectory() const;

private:
    /// The parent of a process; 0 when it is not known.
    int parentPid(int pid) const;
    void journalRead(const SSHSettings::ActionResult &result);
    static void connectionKilled(const SSHConnectionData &connection, const SSHSettings::ActionResult &result, KCMOS::MessagesManager *messagesManager);

    SshdLog::Tracker m_tracker;
    bool m_reading = false; ///< a journal read waits for its answer
    QString m_lastFailure; ///< the last read's failure, logged once
};
