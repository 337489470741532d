// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshsettingsprotocol.h"

#include <QList>
#include <QString>
#include <QStringList>

/**
 * Every keyword of sshd_config and ssh_config from OpenSSH 8.4 on: its kind, the
 * values it allows, whether it repeats, where it may stand, the versions that know
 * it, its category and a short description.
 *
 * The helper checks every value against this table; the module builds its
 * options from it and adds only their texts and widgets. Adding a keyword is one row.
 */
namespace OptionCatalog
{
enum class ConfigType {
    Server = SSHSettings::Protocol::Server,
    Client = SSHSettings::Protocol::Client,
};

enum class ValueKind {
    Bool, ///< bool, written yes/no
    RootLogin, ///< bool (yes/no) or "prohibit-password" / "forced-commands-only"
    Port, ///< decimal text 1..65535
    Number, ///< decimal text in the range of Option::values ("min..max"), or one of its words
    Interval, ///< a time as sshd reads it ("90", "1h30m"), in the range and words of Option::values
    Choice, ///< one word of Option::values (enumerations, yes/no with extra words)
    Algorithms, ///< list of names `ssh -Q <Option::values>` reports, after an optional +, - or ^
    Patterns, ///< list of patterns, split at Option::separator
    Path, ///< one path or "none"; '%' takes the token letters of Option::values
    Text, ///< one line of printable text (commands, composite values sshd -t judges)
    Triple, ///< one number, or as many as Option::values gives maxima ("start:rate:full" as MaxStartups)
    Penalties, ///< "no" or "name:value" words; Option::values lists "name:i" (interval), ":n" (number), ":m" (mode)
    HostPort, ///< "host:port" words ('*' for any), or "any" or "none"; a port alone when Option::values is "port"
    Banner, ///< absolute path or "none"
    ListenAddresses, ///< list of "address:port", one line each
    KeyFilePatterns, ///< list of patterns on one line
    AccessPatterns, ///< blank-separated user/group patterns on one line
    Subsystem, ///< bool: the sftp subsystem is configured or not
};

/// Where the page shows a keyword.
enum class Category {
    Network,
    Authentication,
    Access,
    Forwarding,
    Cryptography,
    Session,
    Logging,
    Files,
};

struct Option {
    QString keyword; ///< as documented, e.g. "PermitRootLogin"
    ValueKind kind;
    bool accumulating; ///< repeatable: every occurrence counts, not only the first
    QString defaultValue; ///< sshd's/ssh's built-in value; lists blank-separated
    QString values; ///< what the kind allows, see ValueKind
    QChar separator; ///< between list entries on one line; null for a single value
    bool inBlock; ///< allowed inside Match (server) or Host/Match (client)
    int since; ///< first OpenSSH version knowing it, major * 100 + minor; 0: 8.4 or older
    int until; ///< last OpenSSH version knowing it; 0: every later one
    Category category;
    QStringList aliases; ///< older or other names sshd/ssh accept for it
    /// A short description in plain English; the page translates it.
    const char *description;
};

const QList<Option> &options(ConfigType type);
/// Case-insensitive look-up of a keyword or one of its aliases; nullptr for a keyword outside the table.
const Option *findOption(ConfigType type, const QString &keyword);

bool isListKind(ValueKind kind);
/// The kind's name as the tool prints it, e.g. "interval".
QString kindName(ValueKind kind);

/// "9.8" for 908.
QString versionText(int version);
/// 908 for "OpenSSH_9.8p1, OpenSSL ..." (the output of `ssh -V`); 0 when none is found.
int parseVersion(const QByteArray &text);
/// @p word in lower case, as the table spells it where `sshd -T` or `ssh -G` print it otherwise
/// ("true" for yes, "false" and "off" for no, "without-password" for prohibit-password).
QString canonicalWord(const QString &word);
/// True when @p text contains a control character (newline included).
bool hasControlCharacter(const QString &text);
/// True when OpenSSH @p version knows the keyword; every version does when @p version is 0.
bool knownIn(const Option &option, int version);
}
