// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogtracker.h"
#include "sshdlogmessage.h"

#include <algorithm>
#include <limits>

namespace SshdLog
{
namespace
{
constexpr qint64 MaxCount = std::numeric_limits<int>::max();

// A count of a record: never negative, at most MaxCount, so that sums of two stay within qint64 and clamp to an int.
qint64 count(const QByteArray &field)
{
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    return ok && value > 0 ? std::min(value, MaxCount) : 0;
}

int sum(qint64 a, qint64 b)
{
    return int(std::min(a + b, MaxCount));
}
}

QString Connection::authentication() const
{
    if (keyType.isEmpty()) {
        return method;
    }
    return method + QLatin1Char(' ') + keyType + QLatin1Char(' ') + fingerprint;
}

bool Tracker::apply(const QByteArray &records)
{
    if (!records.startsWith("sshdlog 1\n")) {
        return false;
    }
    int start = records.indexOf('\n') + 1;
    while (start < records.size()) {
        int stop = records.indexOf('\n', start);
        if (stop < 0) {
            stop = records.size();
        }
        if (records.at(start) == 'Y' && start + 2 < stop) {
            // The most frequent record under attack, read without splitting.
            m_failures.remove(QByteArray::fromRawData(records.constData() + start + 2, stop - start - 2).toInt());
            start = stop + 1;
            continue;
        }
        const QList<QByteArray> fields = records.mid(start, stop - start).split('\t');
        start = stop + 1;
        const QByteArray &kind = fields.first();
        if (kind == "L" && fields.size() == 10) {
            login(fields);
        } else if (kind == "X" && fields.size() == 3) {
            end(fields);
        } else if (kind == "F" && fields.size() == 3) {
            carry(fields);
        } else if (kind == "A" && fields.size() >= 5) {
            attempt(fields);
        } else if (kind == "C" && fields.size() == 2) {
            m_cursor = QString::fromUtf8(fields.at(1));
        }
    }
    return true;
}

void Tracker::remember(QHash<int, int> &table, std::deque<int> &order, int pid, int value)
{
    while (table.size() >= MaxPendingProcesses && !order.empty()) {
        table.remove(order.front());
        order.pop_front();
    }
    if (!table.contains(pid)) {
        order.push_back(pid);
    }
    table.insert(pid, value);
    if (order.size() > size_t(4 * MaxPendingProcesses)) {
        std::deque<int> live;
        for (const int known : order) {
            if (table.contains(known)) {
                live.push_back(known);
            }
        }
        order.swap(live);
    }
}

void Tracker::login(const QList<QByteArray> &fields)
{
    Connection connection;
    connection.opened = fields.at(1).toLongLong();
    connection.pid = fields.at(2).toInt();
    connection.failures = sum(count(fields.at(3)), m_failures.take(connection.pid));
    connection.method = QString::fromUtf8(fields.at(4));
    connection.user = QString::fromUtf8(fields.at(5));
    connection.address = QString::fromUtf8(fields.at(6));
    connection.port = fields.at(7).toInt();
    if (fields.at(8) != "-") {
        connection.keyType = QString::fromUtf8(fields.at(8));
        connection.fingerprint = QString::fromUtf8(fields.at(9));
    }
    if (connection.pid <= 0) {
        return;
    }
    remember(m_open, m_openOrder, connection.pid, 1);
    if (opened) {
        opened(connection);
    }
}

void Tracker::end(const QList<QByteArray> &fields)
{
    const int pid = fields.at(2).toInt();
    m_failures.remove(pid);
    if (m_open.remove(pid) && closed) {
        closed(pid, fields.at(1).toLongLong());
    }
}

void Tracker::carry(const QList<QByteArray> &fields)
{
    const int pid = fields.at(1).toInt();
    remember(m_failures, m_failureOrder, pid, sum(m_failures.value(pid), count(fields.at(2))));
}

void Tracker::attempt(const QList<QByteArray> &fields)
{
    const QString address = QString::fromUtf8(fields.at(1));
    auto it = m_attempts.find(address);
    if (it == m_attempts.end()) {
        if (m_attempts.size() >= MaxAddresses) {
            dropLeastRecent(m_attempts);
        }
        it = m_attempts.insert(address, AddressAttempts());
        it->address = address;
        it->first = fields.at(3).toLongLong();
    }
    it->failures += count(fields.at(2));
    it->first = std::min(it->first, fields.at(3).toLongLong());
    it->last = std::max(it->last, fields.at(4).toLongLong());
    for (int i = 5; i < fields.size() && it->users.size() < MaxUsersPerAddress; ++i) {
        it->users.insert(QString::fromUtf8(fields.at(i)));
    }
}

QString Tracker::cursor() const
{
    return m_cursor;
}

int Tracker::pendingCount() const
{
    return m_failures.size();
}

QList<AddressAttempts> Tracker::attempts() const
{
    return m_attempts.values();
}
}
