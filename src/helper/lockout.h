// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "lockoutsession.h"

#include <QList>
#include <QString>

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
enum class Kind {
    Access, ///< a Deny or Allow rule (or PermitRootLogin) refuses the user
    Authentication, ///< no authentication method is left to the user
    Listening, ///< sshd no longer listens on the session's address and port
};

struct Problem {
    Kind kind;
    QString detail; ///< the rule, keyword or socket concerned
    bool operator==(const Problem &other) const
    {
        return kind == other.kind && detail == other.detail;
    }
};

/// The kind as the protocol words it: "access", "authentication" or "listening".
QString kindWord(Kind kind);
/// Why @p session could not log in with @p values; empty when it could.
QList<Problem> problems(const Values &values, const Session &session);
/**
 * The ways @p session could authenticate with @p values: "publickey", "password", "keyboard-interactive", or under
 * AuthenticationMethods each of its lists ("publickey,password") the user could complete; empty when none is left.
 */
QStringList methods(const Values &values, const Session &session);
/// Parses "client port local port"; false when it is not that.
bool parseConnection(const QString &text, Session *session);
}
