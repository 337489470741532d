// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>

/// Whether an access entry names users or groups. RoleAll only serves as a filter.
enum RoleType : int {
    RoleUnknown = 0,
    RoleAll = 1,
    RoleUser = 2,
    RoleGroup = 3,
};

/// Whether an access entry allows or denies. PermissionAll only serves as a filter.
enum Permission : int {
    PermissionUnknown = 0,
    PermissionAll = 1,
    PermissionAllow = 2,
    PermissionDeny = 3,
};

Q_DECLARE_METATYPE(RoleType)
Q_DECLARE_METATYPE(Permission)

/**
 * One word of AllowUsers, DenyUsers, AllowGroups or DenyGroups: a name and a host
 * with the keyword it belongs to.
 *
 * sshd matches AllowGroups and DenyGroups against bare group names only, so a group
 * entry never has a host: it is written as its bare name. A group word read with a
 * host ("staff@10.0.0.1", which sshd never matches) keeps that host in strayHost()
 * so the page can point at it; it is written back as the bare name.
 *
 * A null name stands for any name and a null address for any host. A host part that
 * is not a literal address (a pattern such as 192.168.1.*, a network such as
 * 10.0.0.0/8, a host name) is kept as written in hostPattern(), so that it is shown
 * and written back unchanged instead of being widened to every host.
 */
class AccessEntry : public QObject
{
    Q_OBJECT
public:
    explicit AccessEntry(QObject *parent = nullptr);
    AccessEntry(const QString &name, const QHostAddress &ip, RoleType role, Permission permission, QObject *parent = nullptr);
    AccessEntry(const QString &ipAndName, RoleType role, Permission permission, QObject *parent = nullptr);
    AccessEntry(const AccessEntry &other);
    AccessEntry &operator=(AccessEntry other);

    friend void swap(AccessEntry &first, AccessEntry &second) noexcept;

    QString name() const;
    void setName(const QString &name);
    QHostAddress ip() const;
    /// Sets a literal address (null for any host) and drops a host pattern.
    void setIp(const QHostAddress &ip);
    /// The host part as written when it is not a literal address, otherwise empty.
    QString hostPattern() const;
    /// True when the entry restricts the host: a literal address or a kept pattern (never for a group).
    bool hasHost() const;
    /// The host part a group word was read with; sshd never matches such a word.
    QString strayHost() const;
    /// The host as shown to the user: the address text or the kept pattern; empty for any host.
    QString hostText() const;
    RoleType role() const;
    void setRole(RoleType role);
    Permission permission() const;
    void setPermission(Permission permission);

    /// The configuration word: "name@host" with "*" for any name or host; a group's bare name.
    QString ipAndName() const;
    void setIpAndName(const QString &text);

    /// The configuration line, e.g. "AllowUsers alice@192.168.1.5"; empty without a known keyword or host.
    QString toString() const;

    bool operator==(const AccessEntry &other) const;
    bool operator!=(const AccessEntry &other) const;

    /// The keywords AllowUsers, DenyUsers, AllowGroups and DenyGroups with their blank-separated words.
    static QMap<QString, QVariant> convertEntriesToMap(const QList<AccessEntry> &entries);

    /// Whether the entry's name part names @p user (a user entry) or one of @p groups (a group entry)
    /// as sshd matches it, whatever the host: the host a login comes from is not known beforehand.
    bool namesAccount(const QString &user, const QStringList &groups) const;

private:
    QString m_name;
    QHostAddress m_ip;
    QString m_hostPattern;
    QString m_strayHost;
    RoleType m_role = RoleUnknown;
    Permission m_permission = PermissionUnknown;
};

uint qHash(const AccessEntry &entry, uint hashSeed = 0);

Q_DECLARE_METATYPE(AccessEntry)
