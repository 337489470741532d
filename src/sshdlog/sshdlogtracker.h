// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>

namespace SshdLog
{
/// One login: a process of sshd that accepted an authentication.
struct Connection {
    int pid = 0;
    QString user;
    QString address;
    int port = 0;
    QString method;
    QString keyType; ///< publickey and hostbased logins
    QString fingerprint;
    int failures = 0; ///< failed authentications of the process before its login
    qint64 opened = 0; ///< microseconds since the epoch (UTC)

    /// "password", or "publickey ED25519 SHA256:…" for a key.
    QString authentication() const;
};

/// The failed attempts from one address.
struct AddressAttempts {
    QString address;
    qint64 failures = 0;
    QSet<QString> users; ///< at most Tracker::MaxUsersPerAddress
    qint64 first = 0;
    qint64 last = 0;
};

/**
 * Follows sshd's connections and failed attempts through the records of
 * successive reads (see Reducer), keeping what a read leaves open for the next:
 * the failures of processes still running, the open connections and the
 * attempts per address. Memory is bounded: MaxPendingProcesses processes with
 * failures and as many open connections (oldest dropped), MaxAddresses
 * addresses (least recently seen dropped), MaxUsersPerAddress names each.
 */
class Tracker
{
public:
    static constexpr int MaxPendingProcesses = 4096;
    static constexpr int MaxAddresses = 10000;
    static constexpr int MaxUsersPerAddress = 100;

    std::function<void(const Connection &)> opened;
    std::function<void(int pid, qint64 usec)> closed;

    /// Applies the records of one read; false, with nothing applied, when they are not records.
    bool apply(const QByteArray &records);

    /// The cursor after the last read; null before the first.
    QString cursor() const;
    int pendingCount() const;
    /// The addresses with failed attempts, in no particular order.
    QList<AddressAttempts> attempts() const;

private:
    void login(const QList<QByteArray> &fields);
    void end(const QList<QByteArray> &fields);
    void carry(const QList<QByteArray> &fields);
    void attempt(const QList<QByteArray> &fields);
    void remember(QHash<int, int> &table, std::deque<int> &order, int pid, int value);

    QString m_cursor;
    QHash<int, int> m_failures;
    std::deque<int> m_failureOrder;
    QHash<int, int> m_open;
    std::deque<int> m_openOrder;
    QHash<QString, AddressAttempts> m_attempts;
};
}
