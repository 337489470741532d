// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogreducer.h"
#include "sshdlogmessage.h"

#include <algorithm>
#include <cstring>

namespace SshdLog
{
namespace
{
QByteArray orDash(const QByteArray &text)
{
    return text.isEmpty() ? QByteArrayLiteral("-") : text;
}
}

Reducer::Reducer()
{
    m_output = QByteArrayLiteral("sshdlog 1\n");
}

QByteArray Reducer::reduce(const QByteArray &journal)
{
    Reducer reducer;
    reducer.feed(journal);
    return reducer.finish();
}

void Reducer::feed(const QByteArray &chunk)
{
    const char *data = chunk.constData();
    int start = 0;
    while (start < chunk.size()) {
        const void *found = std::memchr(data + start, '\n', size_t(chunk.size() - start));
        const int newline = found ? int(static_cast<const char *>(found) - data) : -1;
        const int end = newline < 0 ? chunk.size() : newline;
        if (m_partial.isEmpty() && !m_partialTooLong && newline >= 0) {
            if (end - start <= MaxLineBytes) {
                line(data + start, end - start);
            }
        } else if (m_partial.size() + (end - start) <= MaxLineBytes && !m_partialTooLong) {
            m_partial.append(data + start, end - start);
        } else {
            // An overlong line is of no use.
            m_partial.clear();
            m_partialTooLong = true;
        }
        if (newline < 0) {
            return;
        }
        if (!m_partial.isEmpty()) {
            line(m_partial.constData(), m_partial.size());
            m_partial.clear();
        }
        m_partialTooLong = false;
        start = newline + 1;
    }
}

void Reducer::line(const char *data, int size)
{
    Entry parsed;
    QByteArray cursor;
    switch (readLine(data, size, &parsed, &cursor)) {
    case LineKind::Cursor:
        if (!cursor.isEmpty()) {
            m_cursor = cursor;
        }
        return;
    case LineKind::Entry:
        if (!cursor.isEmpty()) {
            m_cursor = cursor;
        }
        entry(parsed);
        return;
    case LineKind::Other:
        return;
    }
}

void Reducer::entry(const Entry &entry)
{
    if ((entry.uid != -1 && entry.uid != 0) || (entry.identifier != "sshd" && entry.identifier != "sshd-session")) {
        return;
    }
    const Form form = formOf(entry.message.constData(), entry.message.size());
    if (form == Form::Other) {
        return;
    }
    const Message message = readMessage(entry.message, form);
    switch (message.form) {
    case Form::Other:
        return;
    case Form::Ended:
        if (!m_ended.contains(entry.pid)) {
            if (m_ended.size() >= 4 * MaxPendingProcesses) {
                m_ended.clear(); // only saves repeated records
            }
            m_ended.insert(entry.pid, true);
            // A process that failed in this read has no connection: only its carried failures go.
            if (m_failures.remove(entry.pid)) {
                write({"Y", QByteArray::number(entry.pid)});
            } else {
                write({"X", QByteArray::number(entry.usec), QByteArray::number(entry.pid)});
            }
        }
        return;
    case Form::Accepted:
        m_ended.remove(entry.pid);
        write({"L",
               QByteArray::number(entry.usec),
               QByteArray::number(entry.pid),
               QByteArray::number(m_failures.take(entry.pid)),
               message.method,
               message.user,
               message.address,
               QByteArray::number(message.port),
               orDash(message.keyType),
               orDash(message.fingerprint)});
        return;
    case Form::Failed: {
        m_ended.remove(entry.pid);
        auto failures = m_failures.find(entry.pid);
        if (failures == m_failures.end()) {
            while (m_failures.size() >= MaxPendingProcesses && !m_failureOrder.empty()) {
                m_failures.remove(m_failureOrder.front());
                m_failureOrder.pop_front();
            }
            failures = m_failures.insert(entry.pid, 0);
            m_failureOrder.push_back(entry.pid);
            if (m_failureOrder.size() > size_t(4 * MaxPendingProcesses)) {
                // Forget the order of processes that are gone.
                std::deque<int> live;
                for (int known : m_failureOrder) {
                    if (m_failures.contains(known)) {
                        live.push_back(known);
                    }
                }
                m_failureOrder.swap(live);
            }
        }
        ++*failures;
        auto attempts = m_attempts.find(message.address);
        if (attempts == m_attempts.end()) {
            if (m_attempts.size() >= MaxAddresses) {
                dropLeastRecentAddresses();
            }
            attempts = m_attempts.insert(message.address, Attempts());
            attempts->first = entry.usec;
        }
        ++attempts->failures;
        attempts->first = std::min(attempts->first, entry.usec);
        attempts->last = std::max(attempts->last, entry.usec);
        if (attempts->users.size() < MaxUsersPerAddress) {
            attempts->users.insert(message.user);
        }
        return;
    }
    }
}

void Reducer::dropLeastRecentAddresses()
{
    dropLeastRecent(m_attempts);
}

void Reducer::write(const QByteArrayList &fields)
{
    int size = 0;
    for (const QByteArray &text : fields) {
        size += text.size() + 1;
    }
    if (m_outputFull || m_output.size() + size > MaxOutputBytes - 1024) {
        m_outputFull = true;
        return;
    }
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            m_output += '\t';
        }
        // A tab, CR or LF inside a field would break the record.
        const int start = m_output.size();
        m_output += fields.at(i);
        for (char *c = m_output.data() + start, *end = m_output.data() + m_output.size(); c != end; ++c) {
            if (*c == '\t' || *c == '\n' || *c == '\r') {
                *c = '?';
            }
        }
    }
    m_output += '\n';
}

QByteArray Reducer::finish()
{
    if (!m_partial.isEmpty()) {
        line(m_partial.constData(), m_partial.size());
        m_partial.clear();
    }
    for (const int pid : m_failureOrder) {
        const auto failures = m_failures.constFind(pid);
        if (failures != m_failures.constEnd()) {
            write({"F", QByteArray::number(pid), QByteArray::number(*failures)});
            m_failures.erase(failures);
        }
    }
    for (auto it = m_attempts.cbegin(); it != m_attempts.cend(); ++it) {
        QList<QByteArray> users = it->users.values();
        std::sort(users.begin(), users.end());
        write(QByteArrayList{"A", it.key(), QByteArray::number(it->failures), QByteArray::number(it->first), QByteArray::number(it->last)} + users);
    }
    if (!m_cursor.isEmpty() && m_cursor.size() <= 1024) {
        // Past the output cap too: the reserve keeps room for it.
        QByteArray cursor = m_cursor;
        m_output += "C\t" + cursor.replace('\t', '?') + '\n';
    }
    m_failures.clear();
    m_failureOrder.clear();
    m_ended.clear();
    m_attempts.clear();
    return std::move(m_output);
}
}
