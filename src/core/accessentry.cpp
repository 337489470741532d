// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "accessentry.h"
#include "core_debug.h"
#include "ipaddress.h"
#include "sshdmatch.h"

#include <QDebug>

#include <algorithm>
#include <utility>

namespace
{
const QString &anyText()
{
    static const QString text = QStringLiteral("*");
    return text;
}

bool isKnownRole(RoleType role)
{
    return role == RoleUser || role == RoleGroup;
}

bool isKnownPermission(Permission permission)
{
    return permission == PermissionAllow || permission == PermissionDeny;
}

QString keywordFor(Permission permission, RoleType role)
{
    switch (permission) {
    case PermissionAllow:
        return role == RoleUser ? QStringLiteral("AllowUsers") : QStringLiteral("AllowGroups");
    case PermissionDeny:
        return role == RoleUser ? QStringLiteral("DenyUsers") : QStringLiteral("DenyGroups");
    default:
        break;
    }
    return {};
}
}

AccessEntry::AccessEntry(QObject *parent)
    : QObject(parent)
{
}

AccessEntry::AccessEntry(const QString &name, const QHostAddress &ip, RoleType role, Permission permission, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_ip(ip)
    , m_role(role)
    , m_permission(permission)
{
}

AccessEntry::AccessEntry(const QString &ipAndName, RoleType role, Permission permission, QObject *parent)
    : QObject(parent)
    , m_role(role)
    , m_permission(permission)
{
    setIpAndName(ipAndName);
}

AccessEntry::AccessEntry(const AccessEntry &other)
    : QObject(other.parent())
    , m_name(other.m_name)
    , m_ip(other.m_ip)
    , m_hostPattern(other.m_hostPattern)
    , m_strayHost(other.m_strayHost)
    , m_role(other.m_role)
    , m_permission(other.m_permission)
{
}

AccessEntry &AccessEntry::operator=(AccessEntry other)
{
    swap(*this, other);
    return *this;
}

void swap(AccessEntry &first, AccessEntry &second) noexcept
{
    using std::swap;
    swap(first.m_name, second.m_name);
    swap(first.m_ip, second.m_ip);
    swap(first.m_hostPattern, second.m_hostPattern);
    swap(first.m_strayHost, second.m_strayHost);
    swap(first.m_role, second.m_role);
    swap(first.m_permission, second.m_permission);
}

QString AccessEntry::name() const
{
    return m_name;
}

void AccessEntry::setName(const QString &name)
{
    m_name = name;
}

QHostAddress AccessEntry::ip() const
{
    return m_ip;
}

void AccessEntry::setIp(const QHostAddress &ip)
{
    m_ip = ip;
    m_hostPattern.clear();
}

QString AccessEntry::hostPattern() const
{
    return m_hostPattern;
}

bool AccessEntry::hasHost() const
{
    return m_role != RoleGroup && (!m_ip.isNull() || !m_hostPattern.isEmpty());
}

QString AccessEntry::strayHost() const
{
    return m_role == RoleGroup ? m_strayHost : QString();
}

QString AccessEntry::hostText() const
{
    if (!hasHost()) {
        return {};
    }
    return m_ip.isNull() ? m_hostPattern : m_ip.toString();
}

RoleType AccessEntry::role() const
{
    return m_role;
}

void AccessEntry::setRole(RoleType role)
{
    m_role = role;
}

Permission AccessEntry::permission() const
{
    return m_permission;
}

void AccessEntry::setPermission(Permission permission)
{
    m_permission = permission;
}

QString AccessEntry::ipAndName() const
{
    if (m_role == RoleGroup) {
        return m_name.isEmpty() ? anyText() : m_name;
    }
    const QString host = hasHost() ? hostText() : anyText();
    return QStringLiteral("%1@%2").arg(m_name.isNull() ? anyText() : m_name, host);
}

void AccessEntry::setIpAndName(const QString &text)
{
    // As sshd reads it: the host follows the last '@'.
    const int at = text.lastIndexOf(QLatin1Char('@'));
    if (at < 0) {
        m_name = text;
        return;
    }
    const QString namePart = text.left(at);
    const QString hostPart = text.mid(at + 1);
    m_name = namePart == anyText() ? QString() : namePart;
    m_ip = QHostAddress();
    m_hostPattern.clear();
    m_strayHost.clear();
    if (m_role == RoleGroup) {
        m_strayHost = hostPart;
        return;
    }
    if (hostPart == anyText()) {
        return;
    }
    // A literal address is kept as an address; anything else sshd understands
    // (patterns, networks, host names) is kept verbatim so that it is written back as it was.
    // A short or zero-padded IPv4 form ("10.1", "010.0.0.1") is a pattern to sshd, not an address.
    QHostAddress address;
    if (IpAddress::parse(hostPart, &address)) {
        m_ip = address;
    } else {
        m_hostPattern = hostPart;
    }
}

QString AccessEntry::toString() const
{
    if (!isKnownRole(m_role) || !isKnownPermission(m_permission) || (m_role == RoleUser && !hasHost())) {
        return {};
    }
    return QStringLiteral("%1 %2").arg(keywordFor(m_permission, m_role), ipAndName());
}

bool AccessEntry::operator==(const AccessEntry &other) const
{
    return m_name == other.m_name && hostText() == other.hostText() && strayHost() == other.strayHost() && m_role == other.m_role
        && m_permission == other.m_permission;
}

bool AccessEntry::operator!=(const AccessEntry &other) const
{
    return !(*this == other);
}

QMap<QString, QVariant> AccessEntry::convertEntriesToMap(const QList<AccessEntry> &entries)
{
    // Keyed by (permission, role) so that every keyword keeps the order of its entries.
    QMap<QPair<int, int>, QStringList> words;
    for (const AccessEntry &entry : entries) {
        if (entry.role() == RoleUnknown || entry.permission() == PermissionUnknown) {
            continue;
        }
        words[qMakePair(static_cast<int>(entry.permission()), static_cast<int>(entry.role()))].append(entry.ipAndName());
    }

    QMap<QString, QVariant> result;
    for (auto it = words.cbegin(); it != words.cend(); ++it) {
        const QString keyword = keywordFor(static_cast<Permission>(it.key().first), static_cast<RoleType>(it.key().second));
        if (keyword.isEmpty()) {
            continue;
        }
        const QString namesString = it.value().join(QLatin1Char(' '));
        if (namesString.isEmpty()) {
            qCWarning(SSHSETTINGS_CORE) << QStringLiteral("Warning: The namesString for '%1' is empty.").arg(keyword);
        }
        result.insert(keyword, namesString);
    }
    return result;
}

uint qHash(const AccessEntry &entry, uint hashSeed)
{
    // Equality treats a null and an empty name alike, so the hash must too.
    const QString name = entry.name().isEmpty() ? QStringLiteral("*") : entry.name();
    const QString host = entry.hasHost() ? entry.hostText() : QStringLiteral("*");
    return qHash(QStringLiteral("%1@%2").arg(name, host), hashSeed) ^ static_cast<uint>(entry.role()) ^ static_cast<uint>(entry.permission());
}

bool AccessEntry::namesAccount(const QString &user, const QStringList &groups) const
{
    const QString pattern = m_name.isEmpty() ? QStringLiteral("*") : m_name;
    if (m_role == RoleUser) {
        return SshdMatch::pattern(user, pattern);
    }
    return std::any_of(groups.cbegin(), groups.cend(), [&pattern](const QString &group) {
        return SshdMatch::pattern(group, pattern);
    });
}
