// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>

#include <deque>

/**
 * Reduces the output of
 *   journalctl --identifier=sshd --boot --utc --show-cursor --output=short-iso-precise
 * to the lines the connection monitor uses, so that the reply of the helper
 * stays far below the 32 MiB limit of a system bus message however many
 * lines the journal holds for the boot.
 *
 * Kept, byte for byte:
 *  - "-- " lines (the cursor line and journalctl's notes);
 *  - "Accepted password for" lines;
 *  - "Failed password for" lines of a process that later logs "Accepted
 *    password for" in the same input; they are emitted just before that line,
 *    in their original order;
 *  - "session opened"/"session closed" lines of a process that logged
 *    "Accepted password for" in this input, or that logged no "Accepted"
 *    line at all here (its login may lie in an earlier read).
 *
 * Memory is bounded: the pending failed lines are limited by a byte budget
 * (oldest processes dropped first) and the output by a byte cap, beyond which
 * only "-- " lines are still written.
 */
class JournalFilter
{
public:
    static constexpr int MaxPendingBytes = 8 * 1024 * 1024;
    static constexpr int MaxOutputBytes = 16 * 1024 * 1024;
    static constexpr int MaxLineBytes = 4096;

    /// Filters a whole journalctl output at once.
    static QByteArray filterSshdJournal(const QByteArray &journal);

    /// Streaming use: feed chunks in order, then call finish().
    void feed(const QByteArray &chunk);
    QByteArray finish();

private:
    enum PidFlag : quint8 {
        AcceptedPassword = 1,
        AcceptedOther = 2,
    };
    void processLine(const QByteArray &line);
    void emitLine(const QByteArray &line);
    void dropOldestPending();

    QByteArray m_partial;
    QByteArray m_output;
    QHash<int, quint8> m_pidFlags;
    QHash<int, QList<QByteArray>> m_pendingFailed;
    std::deque<int> m_pendingOrder;
    qint64 m_pendingBytes = 0;
    bool m_outputFull = false;
};
