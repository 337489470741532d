// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshdlogentry.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <deque>

namespace SshdLog
{
/**
 * Reduces one read of sshd's journal (journalctl's JSON or short-iso-precise
 * text, in any chunks) to records the Tracker reads, so that a boot under
 * brute force still fits one reply on the system bus. One record per line,
 * fields separated by tabs (a tab, CR or LF in a field becomes '?'):
 *
 *   sshdlog 1                                      first line
 *   L usec pid failures method user address port keytype fingerprint
 *                                                  a login; failures: its process's in this read
 *   X usec pid                                     a process ended (once per process and read)
 *   Y pid                                          a process that failed in this read ended
 *   F pid failures                                 failures of a process still running at the end
 *   A address failures first-usec last-usec user…  the failed attempts from one address
 *   C cursor                                       where the next read starts
 *
 * Only sshd's own entries count: identifier "sshd" or "sshd-session" and,
 * where the input says (JSON), _UID 0. Memory is bounded: the processes with
 * failures by MaxPendingProcesses (oldest dropped), the addresses by
 * MaxAddresses (least recently seen dropped), the names per address by
 * MaxUsersPerAddress, the output by MaxOutputBytes (the cursor always fits).
 */
class Reducer
{
public:
    static constexpr int MaxLineBytes = 16 * 1024;
    static constexpr int MaxPendingProcesses = 4096;
    static constexpr int MaxAddresses = 10000;
    static constexpr int MaxUsersPerAddress = 100;
    static constexpr int MaxOutputBytes = 16 * 1024 * 1024;

    Reducer();
    void feed(const QByteArray &chunk);
    QByteArray finish();

    /// A whole input at once.
    static QByteArray reduce(const QByteArray &journal);

private:
    struct Attempts {
        qint64 failures = 0;
        qint64 first = 0;
        qint64 last = 0;
        QSet<QByteArray> users;
    };
    void line(const char *data, int size);
    void entry(const Entry &entry);
    void write(const QByteArrayList &fields);
    void dropLeastRecentAddresses();

    QByteArray m_partial;
    bool m_partialTooLong = false;
    QByteArray m_output;
    bool m_outputFull = false;
    QByteArray m_cursor;
    QHash<int, int> m_failures;
    std::deque<int> m_failureOrder;
    QHash<int, bool> m_ended;
    QHash<QByteArray, Attempts> m_attempts;
};
}
