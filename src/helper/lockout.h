// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

/**
 * Whether the session the administrator works in could log in again with a
 * server configuration: sshd's access rules (DenyUsers, AllowUsers,
 * DenyGroups, AllowGroups, with its own pattern matching), the
 * authentication methods left to the user (a key sshd takes, a usable
 * password, PAM for keyboard-interactive, AuthenticationMethods), and the
 * sockets sshd listens on.
 */
namespace Lockout
{
/// Keyword → values, as `sshd -T` prints them.
using Values = QHash<QByteArray, QList<QByteArray>>;

/// The session to keep: its user and the two ends of its connection ($SSH_CONNECTION).
struct Session
{
    QString user;
    QStringList groups; ///< primary and supplementary, by name
    bool isRoot = false;
    QString home;
    uid_t uid = 0;
    QByteArray password; ///< the account's password field: "!…" or "*…" locked, empty for none
    QString keygen; ///< ssh-keygen, which reads a key blob as sshd does
    QString clientAddress;
    QString localAddress;
    int localPort = 0;
};

enum class Kind {
    Access, ///< a Deny or Allow rule (or PermitRootLogin) refuses the user
    Authentication, ///< no authentication method is left to the user
    Listening, ///< sshd no longer listens on the session's address and port
};

struct Problem
{
    Kind kind;
    QString detail; ///< the rule, keyword or socket concerned
    bool operator==(const Problem &other) const { return kind == other.kind && detail == other.detail; }
};

/// Why @p session could not log in with @p values; empty when it could.
QList<Problem> problems(const Values &values, const Session &session);
/// Parses "client port local port"; false when it is not that.
bool parseConnection(const QString &text, Session *session);
}
