// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

/**
 * Lines of an authorized_keys file, as sshd reads them. Pure functions over
 * bytes (Qt Core only), shared by the module and the root helper.
 */
namespace AuthorizedKeys
{
/// One key line split into its parts; options is empty when the line has none.
struct Line {
    QByteArray options; ///< "from=\"10.0.0.0/8\",no-pty", as written
    QByteArray type; ///< "ssh-ed25519", "sk-ecdsa-sha2-nistp256@openssh.com", …
    QByteArray key; ///< the base64 blob
    QByteArray comment;
};

/**
 * Splits the trimmed @p text into its options prefix, which ends at the first
 * blank outside double quotes, and the rest. Without a prefix (the line starts
 * with a key type, or a quote is left open) @p options is empty and @p rest the whole line.
 */
void splitOptions(const QByteArray &text, QByteArray *options, QByteArray *rest);

/// Splits @p text; false when it is not a key line (comment, blank, no key after the options).
bool parse(const QByteArray &text, Line *line);

/**
 * True when every option in the prefix is one sshd knows ("restrict", "from=",
 * "command=", "no-pty", "expiry-time=", …), quotes are balanced and nothing
 * holds a line break. @p error says which option is refused. @p given, when
 * set, gets each option by its lower-case name, with its value unquoted
 * (empty for a flag).
 */
bool checkOptions(const QByteArray &options, QString *error, QHash<QByteArray, QByteArray> *given = nullptr);

/// @p contents with @p line appended exactly as given (a final newline added where missing).
QByteArray withLineAdded(const QByteArray &contents, const QByteArray &line);
/// @p contents without every line equal to @p line (blanks around it ignored).
QByteArray withLineRemoved(const QByteArray &contents, const QByteArray &line);
}
