// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdmatch.h"

#include "ipaddress.h"

namespace SshdMatch
{
namespace
{
// Greedy, going back only to the character after the last '*' seen: whatever an earlier '*' could take, the later one
// can take too, so time stays within text × pattern however many '*' a pattern has.
bool wildcard(const QChar *text, const QChar *textEnd, const QChar *pattern, const QChar *patternEnd)
{
    const QChar *afterStar = nullptr;
    const QChar *starText = nullptr;
    while (text != textEnd) {
        if (pattern != patternEnd && *pattern == QLatin1Char('*')) {
            afterStar = ++pattern;
            starText = text;
        } else if (pattern != patternEnd && (*pattern == QLatin1Char('?') || *pattern == *text)) {
            ++pattern;
            ++text;
        } else if (afterStar) {
            pattern = afterStar;
            text = ++starText;
        } else {
            return false;
        }
    }
    while (pattern != patternEnd && *pattern == QLatin1Char('*')) {
        ++pattern;
    }
    return pattern == patternEnd;
}

}

int parseNetwork(const QString &text, QHostAddress *network, int *bits)
{
    // As written: "::ffff:192.0.2.0/120" is an IPv6 network, which no IPv4 client is in, and "::ffff:192.0.2.0/24" has
    // bits past its mask; only a client's own address is read as IPv4 (clientAddress()).
    const int slash = text.indexOf(QLatin1Char('/'));
    if (!IpAddress::parse(slash < 0 ? text : text.left(slash), network)) {
        return -1;
    }
    const int maximum = network->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    bool ok = true;
    *bits = slash < 0 ? maximum : text.mid(slash + 1).toInt(&ok);
    if (!ok || *bits < 0 || *bits > maximum) {
        return -1;
    }
    // sshd refuses a network whose address has bits set past its mask.
    if (network->protocol() == QAbstractSocket::IPv4Protocol) {
        return *bits == 32 || (network->toIPv4Address() & (0xffffffffu >> *bits)) == 0 ? 0 : -2;
    }
    const Q_IPV6ADDR bytes = network->toIPv6Address();
    for (int bit = *bits; bit < 128; ++bit) {
        if (bytes.c[bit / 8] & (0x80 >> (bit % 8))) {
            return -2;
        }
    }
    return 0;
}

bool pattern(const QString &text, const QString &pattern)
{
    return wildcard(text.constData(), text.constData() + text.size(), pattern.constData(), pattern.constData() + pattern.size());
}

int patternList(const QString &text, const QString &list, bool lowerCase)
{
    bool positive = false;
    for (QString entry : list.split(QLatin1Char(','))) {
        const bool negated = entry.startsWith(QLatin1Char('!'));
        if (negated) {
            entry.remove(0, 1);
        }
        if (pattern(text, lowerCase ? entry.toLower() : entry)) {
            if (negated) {
                return -1;
            }
            positive = true;
        }
    }
    return positive ? 1 : 0;
}

int addressList(const QString &address, const QString &list)
{
    QHostAddress parsed;
    if (!parseClientAddress(address, &parsed)) {
        return 0;
    }
    int result = 0;
    for (QString entry : list.split(QLatin1Char(','))) {
        const bool negated = entry.startsWith(QLatin1Char('!'));
        if (negated) {
            entry.remove(0, 1);
        }
        if (entry.isEmpty()) {
            return -2;
        }
        QHostAddress network;
        int bits = 0;
        const int kind = parseNetwork(entry, &network, &bits);
        if (kind == -2) {
            return -2;
        }
        if (kind == 0 ? parsed.isInSubnet(network, bits) : pattern(address, entry)) {
            if (negated) {
                return -1;
            }
            result = 1;
        }
    }
    return result;
}

int hosts(const QString &address, const QString &list)
{
    const QString client = clientAddress(address);
    const int byAddress = addressList(client, list);
    if (byAddress == -2) {
        return -1;
    }
    const int byName = patternList(client.toLower(), list, true);
    return byAddress == -1 || byName == -1 || (byAddress == 0 && byName == 0) ? 0 : 1;
}

int user(const QString &user, const QString &address, const QString &entry)
{
    const int at = entry.lastIndexOf(QLatin1Char('@'));
    if (at < 0) {
        return pattern(user, entry) ? 1 : 0;
    }
    return pattern(user, entry.left(at)) ? hosts(address, entry.mid(at + 1)) : 0;
}

QString clientAddress(const QString &text)
{
    if (text.startsWith(QLatin1String("::ffff:"), Qt::CaseInsensitive) && text.count(QLatin1Char('.')) == 3) {
        return text.mid(7);
    }
    return text;
}

bool parseClientAddress(const QString &text, QHostAddress *address)
{
    return IpAddress::parse(clientAddress(text), address);
}
}
