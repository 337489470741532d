// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The words of values as sshd reads them: safe tokens, listen addresses, intervals.
#include "optioncatalog.h"

#include "ipaddress.h"

#include <QHash>
#include <QHostAddress>

namespace OptionCatalog
{
bool isSafeToken(const QString &text)
{
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || u == '"' || u == '\'' || u == '#' || u == '\\') {
            return false;
        }
    }
    return true;
}

bool splitListenAddress(const QString &entry, QString *address, QString *port)
{
    port->clear();
    if (entry.startsWith(QLatin1Char('['))) {
        const int close = entry.indexOf(QLatin1Char(']'));
        const QString rest = entry.mid(close + 1);
        if (close < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':')))) {
            return false;
        }
        *address = entry.mid(1, close - 1);
        *port = rest.mid(1);
        return !address->isEmpty() && (rest.isEmpty() || !port->isEmpty());
    }
    const int colon = entry.lastIndexOf(QLatin1Char(':'));
    QHostAddress host;
    if (colon >= 0 && (entry.indexOf(QLatin1Char(':')) == colon || IpAddress::parse(entry.left(colon), &host))) {
        *address = entry.left(colon);
        *port = entry.mid(colon + 1);
        return !address->isEmpty() && !port->isEmpty();
    }
    *address = entry;
    return !address->isEmpty();
}

QStringList algorithmQueries()
{
    return {QStringLiteral("cipher"), QStringLiteral("mac"), QStringLiteral("kex"), QStringLiteral("key"), QStringLiteral("key-sig"), QStringLiteral("sig")};
}

qint64 parseInterval(const QString &text)
{
    static const QHash<QChar, qint64> units = {{QLatin1Char('s'), 1},
                                               {QLatin1Char('m'), 60},
                                               {QLatin1Char('h'), 3600},
                                               {QLatin1Char('d'), 86400},
                                               {QLatin1Char('w'), 604800}};
    qint64 total = 0;
    qint64 number = -1;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number = qMax<qint64>(number, 0) * 10 + c.digitValue();
        } else if (number < 0 || !units.contains(c.toLower())) {
            return -1;
        } else {
            total += number * units.value(c.toLower());
            number = -1;
        }
        if (number > 2147483647 || total > 2147483647) {
            return -1;
        }
    }
    if (text.isEmpty()) {
        return -1;
    }
    total += qMax<qint64>(number, 0);
    return total > 2147483647 ? -1 : total;
}
}
