// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "ipaddress.h"

namespace IpAddress
{
bool parse(const QString &text, QHostAddress *address)
{
    for (const QChar c : text) {
        const bool allowed = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char(':') || c == QLatin1Char('.');
        if (!allowed) {
            return false;
        }
    }
    QHostAddress parsed;
    if (!parsed.setAddress(text)) {
        return false;
    }
    // The canonical form of an IPv4 address is the only one sshd takes.
    if (parsed.protocol() == QAbstractSocket::IPv4Protocol && parsed.toString() != text) {
        return false;
    }
    *address = parsed;
    return true;
}

QString canonical(const QString &text)
{
    QHostAddress address;
    return parse(text, &address) ? address.toString() : QString();
}
}
