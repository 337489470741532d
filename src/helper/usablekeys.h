// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "authorizedkeys.h"
#include "enginetypes.h"
#include "lockoutsession.h"

#include <QDateTime>

/**
 * The keys sshd would take from a session's user: lines of the files
 * AuthorizedKeysFile names, read as sshd reads them (StrictModes, the key
 * options, the algorithms it accepts), and never through a link.
 */
namespace UsableKeys
{
/// An AuthorizedKeysFile pattern for @p account: %% %h %u %U expanded, relative to the home folder; empty for another token.
QString expand(const QString &pattern, const UserAccount &account);
/// Whether sshd would take the key of @p line (split into @p parsedLine) at @p now from the session's client, its key blob aside.
bool accepted(const QByteArray &line, const Lockout::Values &values, const Lockout::Session &session, const QDateTime &now, AuthorizedKeys::Line *parsedLine);
/// Whether a file of the session's user holds a line sshd would take, with a key ssh-keygen reads.
bool any(const Lockout::Values &values, const Lockout::Session &session);
}
