// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogreducer.h"
#include "sshdlogmessage.h"

#include <algorithm>
#include <cstring>

namespace SshdLog
{
namespace
{
QByteArray field(QByteArray text)
{
    for (char &c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = '?';
        }
    }
    return text;
}

QByteArray orDash(const QByteArray &text)
{
    return text.isEmpty() ? QByteArrayLiteral("-") : field(text);
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
    const Message message = readMessage(entry.message);
    const QByteArray pid = QByteArray::number(entry.pid);
    switch (message.form) {
    case Form::Other:
        return;
    case Form::Ended:
        if (!m_ended.contains(entry.pid)) {
            if (m_ended.size() >= 4 * MaxPendingProcesses) {
                m_ended.clear(); // only saves repeated records
            }
            m_ended.insert(entry.pid, true);
            m_failures.remove(entry.pid);
            write("X\t" + QByteArray::number(entry.usec) + '\t' + pid + '\n');
        }
        return;
    case Form::Accepted:
        m_ended.remove(entry.pid);
        write("L\t" + QByteArray::number(entry.usec) + '\t' + pid + '\t' + QByteArray::number(m_failures.take(entry.pid)) + '\t' + field(message.method) +
              '\t' + field(message.user) + '\t' + field(message.address) + '\t' + QByteArray::number(message.port) + '\t' + orDash(message.keyType) + '\t' +
              orDash(message.fingerprint) + '\n');
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
        if (attempts->users.size() < MaxUsersPerAddress && !attempts->users.contains(message.user)) {
            attempts->users.append(message.user);
        }
        return;
    }
    }
}

void Reducer::dropLeastRecentAddresses()
{
    dropLeastRecent(m_attempts);
}

void Reducer::write(const QByteArray &record)
{
    if (m_outputFull || m_output.size() + record.size() > MaxOutputBytes - 1024) {
        m_outputFull = true;
        return;
    }
    m_output += record;
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
            write("F\t" + QByteArray::number(pid) + '\t' + QByteArray::number(*failures) + '\n');
            m_failures.erase(failures);
        }
    }
    for (auto it = m_attempts.cbegin(); it != m_attempts.cend(); ++it) {
        QByteArray record =
            "A\t" + field(it.key()) + '\t' + QByteArray::number(it->failures) + '\t' + QByteArray::number(it->first) + '\t' + QByteArray::number(it->last);
        for (const QByteArray &user : it->users) {
            record += '\t' + field(user);
        }
        write(record + '\n');
    }
    if (!m_cursor.isEmpty() && m_cursor.size() <= 1024) {
        m_output += "C\t" + field(m_cursor) + '\n';
    }
    m_failures.clear();
    m_failureOrder.clear();
    m_ended.clear();
    m_attempts.clear();
    return std::move(m_output);
}
}
