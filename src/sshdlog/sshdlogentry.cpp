// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogentry.h"
#include "sshdlogmessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstring>

namespace SshdLog
{
namespace
{
const char s_cursorNote[] = "-- cursor: ";

bool digits(const char *data, int count, int *value)
{
    int result = 0;
    for (int i = 0; i < count; ++i) {
        if (data[i] < '0' || data[i] > '9') {
            return false;
        }
        result = result * 10 + (data[i] - '0');
    }
    *value = result;
    return true;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

QByteArray jsonBytes(const QJsonValue &value)
{
    if (value.isString()) {
        return value.toString().toUtf8();
    }
    if (value.isArray()) {
        // Non-UTF-8 values come as arrays of byte values; repeated fields as arrays of strings.
        const QJsonArray array = value.toArray();
        if (!array.isEmpty() && array.first().isString()) {
            return array.first().toString().toUtf8();
        }
        QByteArray bytes;
        for (const QJsonValue &byte : array) {
            bytes.append(char(byte.toInt()));
        }
        return bytes;
    }
    return {};
}

// A JSON entry whose message starts with none of the forms is skipped without parsing it.
bool jsonMayMatter(const char *data, int size)
{
    const QByteArray line = QByteArray::fromRawData(data, size);
    const int key = line.indexOf("\"MESSAGE\":");
    if (key < 0) {
        return false;
    }
    const int value = key + 10;
    if (value < size && data[value] == '[') {
        return true;
    }
    return value < size && data[value] == '"' && formOf(data + value + 1, size - value - 1) != Form::Other;
}

LineKind readJson(const char *data, int size, Entry *entry, QByteArray *cursor)
{
    const bool matters = jsonMayMatter(data, size);
    if (!matters) {
        // Still follow the cursor, found without parsing the whole entry.
        const QByteArray line = QByteArray::fromRawData(data, size);
        const int key = line.indexOf("\"__CURSOR\":\"");
        if (key < 0) {
            return LineKind::Other;
        }
        const int end = line.indexOf('"', key + 12);
        if (end < 0) {
            return LineKind::Other;
        }
        *cursor = line.mid(key + 12, end - key - 12);
        return LineKind::Cursor;
    }
    const QJsonObject object = QJsonDocument::fromJson(QByteArray(data, size)).object();
    if (object.isEmpty()) {
        return LineKind::Other;
    }
    *cursor = jsonBytes(object.value(QLatin1String("__CURSOR")));
    bool ok = false;
    // When the entry was sent, as journalctl's text output shows it; else when it was received.
    entry->usec = jsonBytes(object.value(QLatin1String("_SOURCE_REALTIME_TIMESTAMP"))).toLongLong(&ok);
    if (!ok) {
        entry->usec = jsonBytes(object.value(QLatin1String("__REALTIME_TIMESTAMP"))).toLongLong(&ok);
    }
    if (!ok) {
        return LineKind::Other;
    }
    entry->pid = jsonBytes(object.value(QLatin1String("_PID"))).toInt(&ok);
    if (!ok || entry->pid <= 0) {
        return LineKind::Other;
    }
    entry->uid = jsonBytes(object.value(QLatin1String("_UID"))).toInt(&ok);
    if (!ok) {
        // An entry without the trusted _UID cannot be proven to be sshd's own.
        return LineKind::Other;
    }
    entry->identifier = jsonBytes(object.value(QLatin1String("SYSLOG_IDENTIFIER")));
    entry->message = jsonBytes(object.value(QLatin1String("MESSAGE")));
    return LineKind::Entry;
}

// "<time> <host> <identifier>[<pid>]: <message>"; lines whose message cannot
// concern connections are left unread, as most of a boot under attack is.
LineKind readText(const char *data, int size, Entry *entry)
{
    const char *end = data + size;
    const char *host = static_cast<const char *>(std::memchr(data, ' ', size_t(size)));
    if (!host) {
        return LineKind::Other;
    }
    ++host;
    const char *identifier = static_cast<const char *>(std::memchr(host, ' ', size_t(end - host)));
    if (!identifier) {
        return LineKind::Other;
    }
    ++identifier;
    const char *open = static_cast<const char *>(std::memchr(identifier, '[', size_t(end - identifier)));
    if (!open || open == identifier) {
        return LineKind::Other;
    }
    const char *close = static_cast<const char *>(std::memchr(open, ']', size_t(end - open)));
    if (!close || close - open - 1 < 1 || close - open - 1 > 9 || end - close < 3 || close[1] != ':' || close[2] != ' ') {
        return LineKind::Other;
    }
    const char *message = close + 3;
    if (formOf(message, int(end - message)) == Form::Other) {
        return LineKind::Other;
    }
    int consumed = 0;
    if (!digits(open + 1, int(close - open - 1), &entry->pid) || entry->pid <= 0 || !parseIsoTime(data, size, &entry->usec, &consumed)
        || data + consumed + 1 != host) {
        return LineKind::Other;
    }
    entry->uid = -1;
    // Views into the line: an entry lives no longer than the line it was read from.
    entry->identifier = QByteArray::fromRawData(identifier, int(open - identifier));
    entry->message = QByteArray::fromRawData(message, int(end - message));
    return LineKind::Entry;
}
}

bool parseIsoTime(const char *data, int size, qint64 *usec, int *consumed)
{
    int year, month, day, hour, minute, second;
    if (size < 20 || data[4] != '-' || data[7] != '-' || data[10] != 'T' || data[13] != ':' || data[16] != ':' || !digits(data, 4, &year)
        || !digits(data + 5, 2, &month) || !digits(data + 8, 2, &day) || !digits(data + 11, 2, &hour) || !digits(data + 14, 2, &minute)
        || !digits(data + 17, 2, &second) || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    int at = 19;
    qint64 fraction = 0;
    if (data[at] == '.') {
        ++at;
        int count = 0;
        while (at < size && data[at] >= '0' && data[at] <= '9') {
            if (count < 6) {
                fraction = fraction * 10 + (data[at] - '0');
            }
            ++count;
            ++at;
        }
        if (count == 0) {
            return false;
        }
        for (; count < 6; ++count) {
            fraction *= 10;
        }
    }
    int offsetMinutes = 0;
    if (at < size && data[at] == 'Z') {
        ++at;
    } else if (at < size && (data[at] == '+' || data[at] == '-')) {
        const int sign = data[at] == '-' ? -1 : 1;
        int hours, minutes;
        if (size - at >= 6 && data[at + 3] == ':' && digits(data + at + 1, 2, &hours) && digits(data + at + 4, 2, &minutes)) {
            at += 6; // systemd 255 and later: "+00:00"
        } else if (size - at >= 5 && digits(data + at + 1, 2, &hours) && digits(data + at + 3, 2, &minutes)) {
            at += 5; // systemd 254 and earlier: "+0000"
        } else {
            return false;
        }
        offsetMinutes = sign * (hours * 60 + minutes);
    } else {
        return false;
    }
    const qint64 seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    *usec = seconds * 1000000 + fraction;
    *consumed = at;
    return true;
}

LineKind readLine(const char *data, int size, Entry *entry, QByteArray *cursor)
{
    while (size > 0 && (data[size - 1] == '\r' || data[size - 1] == '\n')) {
        --size;
    }
    if (size > 0 && data[0] == '{') {
        return readJson(data, size, entry, cursor);
    }
    if (size >= int(sizeof(s_cursorNote) - 1) && std::memcmp(data, s_cursorNote, sizeof(s_cursorNote) - 1) == 0) {
        *cursor = QByteArray(data + sizeof(s_cursorNote) - 1, size - int(sizeof(s_cursorNote) - 1));
        return LineKind::Cursor;
    }
    return readText(data, size, entry);
}

QStringList journalArguments(const QString &cursor)
{
    // _UID=0: only what sshd itself logged; a local user's "logger -t sshd" is not.
    QStringList arguments = {QStringLiteral("--boot"),
                             QStringLiteral("--identifier=sshd"),
                             QStringLiteral("--identifier=sshd-session"),
                             QStringLiteral("_UID=0"),
                             QStringLiteral("--show-cursor"),
                             QStringLiteral("--output=json"),
                             QStringLiteral("--output-fields=_PID,_UID,_SOURCE_REALTIME_TIMESTAMP,MESSAGE,SYSLOG_IDENTIFIER")};
    if (!cursor.isNull()) {
        arguments.append(QStringLiteral("--after-cursor=") + cursor);
    }
    return arguments;
}

bool isJournalRequest(const QStringList &arguments, QString *error)
{
    static const QRegularExpression cursorArgument(QStringLiteral("\\A--after-cursor=([A-Za-z0-9;=_-]{1,512})\\z"));
    QString cursor;
    if (!arguments.isEmpty()) {
        const QRegularExpressionMatch match = cursorArgument.match(arguments.last());
        if (match.hasMatch()) {
            cursor = match.captured(1);
        }
    }
    const QStringList expected = journalArguments(cursor);
    if (arguments == expected) {
        return true;
    }
    for (int i = 0; i < arguments.size(); ++i) {
        if (i >= expected.size() || arguments.at(i) != expected.at(i)) {
            *error = QStringLiteral("journal argument not allowed: %1").arg(arguments.at(i).left(64));
            return false;
        }
    }
    *error = QStringLiteral("journal argument missing: %1").arg(expected.value(arguments.size()));
    return false;
}
}
