// SPDX-License-Identifier: GPL-2.0-or-later
#include "journalfilter.h"

namespace
{
const QByteArray s_failedPassword = QByteArrayLiteral("Failed password for ");
const QByteArray s_acceptedPassword = QByteArrayLiteral("Accepted password for ");
const QByteArray s_accepted = QByteArrayLiteral("Accepted ");
const QByteArray s_sessionOpened = QByteArrayLiteral("pam_unix(sshd:session): session opened");
const QByteArray s_sessionClosed = QByteArrayLiteral("pam_unix(sshd:session): session closed");

// Splits "<time> <host> <ident>[<pid>]: <message>" into pid and message offset.
bool splitEntry(const QByteArray &line, int *pid, int *messageStart)
{
    const int close = line.indexOf("]: ");
    if (close <= 0) {
        return false;
    }
    const int open = line.lastIndexOf('[', close);
    if (open < 0 || close - open - 1 < 1 || close - open - 1 > 10) {
        return false;
    }
    bool ok = false;
    const int value = line.mid(open + 1, close - open - 1).toInt(&ok);
    if (!ok || value <= 0) {
        return false;
    }
    *pid = value;
    *messageStart = close + 3;
    return true;
}

bool hasAt(const QByteArray &line, int offset, const QByteArray &prefix)
{
    return line.size() - offset >= prefix.size() && memcmp(line.constData() + offset, prefix.constData(), size_t(prefix.size())) == 0;
}
}

QByteArray JournalFilter::filterSshdJournal(const QByteArray &journal)
{
    JournalFilter filter;
    filter.feed(journal);
    return filter.finish();
}

void JournalFilter::feed(const QByteArray &chunk)
{
    int start = 0;
    while (start < chunk.size()) {
        const int newline = chunk.indexOf('\n', start);
        if (newline < 0) {
            if (m_partial.size() + (chunk.size() - start) <= MaxLineBytes) {
                m_partial.append(chunk.constData() + start, chunk.size() - start);
            } else {
                // An overlong line is of no use; keep only enough to know it is one.
                m_partial = QByteArray(MaxLineBytes + 1, 'x');
            }
            return;
        }
        if (m_partial.isEmpty()) {
            processLine(chunk.mid(start, newline - start));
        } else {
            m_partial.append(chunk.constData() + start, newline - start);
            processLine(m_partial);
            m_partial.clear();
        }
        start = newline + 1;
    }
}

QByteArray JournalFilter::finish()
{
    if (!m_partial.isEmpty()) {
        processLine(m_partial);
        m_partial.clear();
    }
    m_pendingFailed.clear();
    m_pendingOrder.clear();
    m_pendingBytes = 0;
    m_pidFlags.clear();
    return std::move(m_output);
}

void JournalFilter::emitLine(const QByteArray &line)
{
    if (m_outputFull) {
        return;
    }
    if (m_output.size() + line.size() + 1 > MaxOutputBytes) {
        m_outputFull = true;
        return;
    }
    m_output.append(line);
    m_output.append('\n');
}

void JournalFilter::dropOldestPending()
{
    while (m_pendingBytes > MaxPendingBytes && !m_pendingOrder.empty()) {
        const int pid = m_pendingOrder.front();
        m_pendingOrder.pop_front();
        const auto it = m_pendingFailed.find(pid);
        if (it == m_pendingFailed.end()) {
            continue;
        }
        for (const QByteArray &line : std::as_const(*it)) {
            m_pendingBytes -= line.size();
        }
        m_pendingFailed.erase(it);
    }
}

void JournalFilter::processLine(const QByteArray &rawLine)
{
    QByteArray line = rawLine;
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.startsWith("-- ")) {
        // Written even past the output cap: the cursor must reach the module.
        m_output.append(line);
        m_output.append('\n');
        return;
    }
    if (line.size() > MaxLineBytes) {
        return;
    }
    int pid = 0;
    int message = 0;
    if (!splitEntry(line, &pid, &message)) {
        return;
    }
    if (hasAt(line, message, s_failedPassword)) {
        auto it = m_pendingFailed.find(pid);
        if (it == m_pendingFailed.end()) {
            it = m_pendingFailed.insert(pid, {});
            m_pendingOrder.push_back(pid);
        }
        it->append(line);
        m_pendingBytes += line.size();
        dropOldestPending();
        return;
    }
    if (hasAt(line, message, s_acceptedPassword)) {
        m_pidFlags[pid] |= AcceptedPassword;
        const QList<QByteArray> failed = m_pendingFailed.take(pid);
        for (const QByteArray &failedLine : failed) {
            m_pendingBytes -= failedLine.size();
            emitLine(failedLine);
        }
        emitLine(line);
        return;
    }
    if (hasAt(line, message, s_accepted)) {
        m_pidFlags[pid] |= AcceptedOther;
        return;
    }
    const bool opened = hasAt(line, message, s_sessionOpened);
    if (opened || hasAt(line, message, s_sessionClosed)) {
        const quint8 flags = m_pidFlags.value(pid);
        if (flags == 0 || (flags & AcceptedPassword)) {
            emitLine(line);
        }
        if (!opened) {
            // The process ends with its session; a later process may reuse the pid.
            m_pidFlags.remove(pid);
            if (m_pendingFailed.contains(pid)) {
                for (const QByteArray &failedLine : m_pendingFailed.take(pid)) {
                    m_pendingBytes -= failedLine.size();
                }
            }
        }
    }
}
