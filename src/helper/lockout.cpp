// SPDX-License-Identifier: GPL-2.0-or-later
#include "lockout.h"

#include "ipaddress.h"

#include <algorithm>
#include <cstring>

namespace Lockout
{
namespace
{
struct Address
{
    int width = 0; ///< 32 for IPv4, 128 for IPv6
    unsigned char bytes[16] = {};
};

bool parseAddress(QString text, Address *address)
{
    // sshd sees an IPv4 client on an IPv6 socket as plain IPv4.
    if (text.startsWith(QLatin1String("::ffff:"), Qt::CaseInsensitive) && text.count(QLatin1Char('.')) == 3) {
        text = text.mid(7);
    }
    QHostAddress parsed;
    if (!IpAddress::parse(text, &parsed)) {
        return false;
    }
    if (parsed.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ipv4 = parsed.toIPv4Address();
        for (int i = 0; i < 4; ++i) {
            address->bytes[i] = (ipv4 >> (24 - 8 * i)) & 0xff;
        }
        address->width = 32;
    } else {
        const Q_IPV6ADDR ipv6 = parsed.toIPv6Address();
        std::memcpy(address->bytes, ipv6.c, sizeof address->bytes);
        address->width = 128;
    }
    return true;
}

// 0: a network, -1: not one (a wildcard then), -2: host bits set beyond the mask.
int parseNetwork(const QString &text, Address *network, int *bits)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    if (!parseAddress(slash < 0 ? text : text.left(slash), network)) {
        return -1;
    }
    const int maximum = network->width;
    bool ok = true;
    *bits = slash < 0 ? maximum : text.mid(slash + 1).toInt(&ok);
    if (!ok || *bits < 0 || *bits > maximum) {
        return -1;
    }
    for (int bit = *bits; bit < maximum; ++bit) {
        if (network->bytes[bit / 8] & (0x80 >> (bit % 8))) {
            return -2;
        }
    }
    return 0;
}

bool inNetwork(const Address &address, const Address &network, int bits)
{
    if (address.width != network.width) {
        return false;
    }
    for (int bit = 0; bit < bits; ++bit) {
        const unsigned char mask = 0x80 >> (bit % 8);
        if ((address.bytes[bit / 8] & mask) != (network.bytes[bit / 8] & mask)) {
            return false;
        }
    }
    return true;
}

bool wildcard(const QChar *text, const QChar *textEnd, const QChar *pattern, const QChar *patternEnd)
{
    for (; pattern != patternEnd; ++pattern) {
        if (*pattern == QLatin1Char('*')) {
            for (const QChar *rest = text; rest <= textEnd; ++rest) {
                if (wildcard(rest, textEnd, pattern + 1, patternEnd)) {
                    return true;
                }
            }
            return false;
        }
        if (text == textEnd || (*pattern != QLatin1Char('?') && *pattern != *text)) {
            return false;
        }
        ++text;
    }
    return text == textEnd;
}

QStringList words(const Values &values, const char *keyword)
{
    QStringList all;
    for (const QByteArray &value : values.value(keyword)) {
        all += QString::fromUtf8(value).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return all;
}

QString first(const Values &values, const char *keyword)
{
    return QString::fromUtf8(values.value(keyword).value(0)).toLower();
}
}

bool matchPattern(const QString &text, const QString &pattern)
{
    return wildcard(text.constData(), text.constData() + text.size(), pattern.constData(), pattern.constData() + pattern.size());
}

int matchPatternList(const QString &text, const QString &list, bool lowerCase)
{
    bool positive = false;
    for (QString entry : list.split(QLatin1Char(','))) {
        const bool negated = entry.startsWith(QLatin1Char('!'));
        if (negated) {
            entry.remove(0, 1);
        }
        if (matchPattern(text, lowerCase ? entry.toLower() : entry)) {
            if (negated) {
                return -1;
            }
            positive = true;
        }
    }
    return positive ? 1 : 0;
}

int matchAddressList(const QString &address, const QString &list)
{
    Address parsed;
    if (!parseAddress(address, &parsed)) {
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
        Address network;
        int bits = 0;
        const int kind = parseNetwork(entry, &network, &bits);
        if (kind == -2) {
            return -2;
        }
        if (kind == 0 ? inNetwork(parsed, network, bits) : matchPattern(address, entry)) {
            if (negated) {
                return -1;
            }
            result = 1;
        }
    }
    return result;
}

int matchUser(const QString &user, const QString &address, const QString &pattern)
{
    const int at = pattern.lastIndexOf(QLatin1Char('@'));
    if (at < 0) {
        return matchPattern(user, pattern) ? 1 : 0;
    }
    if (!matchPattern(user, pattern.left(at))) {
        return 0;
    }
    // The host part: addresses and networks, and the host name, which is the address without UseDNS.
    const QString hosts = pattern.mid(at + 1);
    const int byAddress = matchAddressList(address, hosts);
    if (byAddress == -2) {
        return -1;
    }
    const int byName = matchPatternList(address.toLower(), hosts, true);
    if (byAddress == -1 || byName == -1 || (byAddress == 0 && byName == 0)) {
        return 0;
    }
    return 1;
}

QList<Problem> problems(const Values &values, const Session &session)
{
    QList<Problem> found;
    const QStringList denyUsers = words(values, "denyusers");
    const QStringList allowUsers = words(values, "allowusers");
    for (const QString &pattern : denyUsers) {
        if (matchUser(session.user, session.clientAddress, pattern) != 0) {
            found.append({Kind::Access, QStringLiteral("DenyUsers %1").arg(pattern)});
        }
    }
    if (!allowUsers.isEmpty() && std::none_of(allowUsers.cbegin(), allowUsers.cend(), [&session](const QString &pattern) {
            return matchUser(session.user, session.clientAddress, pattern) == 1;
        })) {
        found.append({Kind::Access, QStringLiteral("AllowUsers %1").arg(allowUsers.join(QLatin1Char(' ')))});
    }
    const auto anyGroup = [&session](const QStringList &patterns, QString *which) {
        for (const QString &pattern : patterns) {
            for (const QString &group : session.groups) {
                if (matchPattern(group, pattern)) {
                    *which = pattern;
                    return true;
                }
            }
        }
        return false;
    };
    const QStringList denyGroups = words(values, "denygroups");
    const QStringList allowGroups = words(values, "allowgroups");
    QString which;
    if (anyGroup(denyGroups, &which)) {
        found.append({Kind::Access, QStringLiteral("DenyGroups %1").arg(which)});
    }
    if (!allowGroups.isEmpty() && !anyGroup(allowGroups, &which)) {
        found.append({Kind::Access, QStringLiteral("AllowGroups %1").arg(allowGroups.join(QLatin1Char(' ')))});
    }
    const QString rootLogin = first(values, "permitrootlogin");
    if (session.isRoot && rootLogin == QLatin1String("no")) {
        found.append({Kind::Access, QStringLiteral("PermitRootLogin no")});
    }

    // A password (also through keyboard-interactive), or a key the user has.
    const bool rootKeysOnly = session.isRoot && rootLogin != QLatin1String("yes");
    const bool password = !rootKeysOnly &&
        (first(values, "passwordauthentication") == QLatin1String("yes") || first(values, "kbdinteractiveauthentication") == QLatin1String("yes"));
    const bool key = first(values, "pubkeyauthentication") != QLatin1String("no") &&
        (session.hasAuthorizedKey || first(values, "authorizedkeyscommand") != QLatin1String("none"));
    if (!password && !key) {
        found.append({Kind::Authentication, session.hasAuthorizedKey ? QStringLiteral("PubkeyAuthentication") : QStringLiteral("PasswordAuthentication")});
    }

    if (!session.localAddress.isEmpty()) {
        Address local;
        parseAddress(session.localAddress, &local);
        bool listens = false;
        for (const QByteArray &entry : values.value("listenaddress")) {
            const QString socket = QString::fromLatin1(entry);
            const int colon = socket.lastIndexOf(QLatin1Char(':'));
            QString host = socket.left(colon);
            if (host.startsWith(QLatin1Char('['))) {
                host = host.mid(1, host.size() - 2);
            }
            Address bound;
            if (socket.mid(colon + 1).toInt() != session.localPort || !parseAddress(host, &bound) || bound.width != local.width) {
                continue;
            }
            static const unsigned char any[16] = {};
            listens = listens || std::memcmp(bound.bytes, any, sizeof any) == 0 || std::memcmp(bound.bytes, local.bytes, sizeof any) == 0;
        }
        if (!listens) {
            found.append({Kind::Listening, QStringLiteral("%1 port %2").arg(session.localAddress).arg(session.localPort)});
        }
    }
    return found;
}

bool parseConnection(const QString &text, Session *session)
{
    const QStringList fields = text.split(QLatin1Char(' '));
    Address ignored;
    bool clientPort = false;
    bool localPort = false;
    if (fields.size() != 4 || !parseAddress(fields.at(0), &ignored) || !parseAddress(fields.at(2), &ignored)) {
        return false;
    }
    const int client = fields.at(1).toInt(&clientPort);
    session->localPort = fields.at(3).toInt(&localPort);
    if (!clientPort || !localPort || client < 1 || client > 65535 || session->localPort < 1 || session->localPort > 65535) {
        return false;
    }
    session->clientAddress = fields.at(0);
    session->localAddress = fields.at(2);
    // As sshd sees it: an IPv4 client on an IPv6 socket is plain IPv4.
    for (QString *address : {&session->clientAddress, &session->localAddress}) {
        if (address->startsWith(QLatin1String("::ffff:"), Qt::CaseInsensitive) && address->count(QLatin1Char('.')) == 3) {
            *address = address->mid(7);
        }
    }
    return true;
}
}
