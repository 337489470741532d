// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshsettingsprotocol.h"

#include <QList>
#include <QString>

/**
 * The keywords the module may read and change, with their kinds and the
 * built-in values sshd and ssh use when a keyword is not set.
 *
 * The helper checks every value against this table; the module builds its
 * options from it and adds only their texts and widgets.
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
    Number, ///< decimal text, non-negative
    Tunnel, ///< yes, no, point-to-point, ethernet
    AddressFamily, ///< any, inet, inet6
    Banner, ///< absolute path or "none"
    ListenAddresses, ///< list of "address:port", one line each
    KeyFilePatterns, ///< list of patterns on one line
    AccessPatterns, ///< blank-separated user/group patterns on one line
    Subsystem, ///< bool: the sftp subsystem is configured or not
};

struct Option {
    QString keyword; ///< as documented, e.g. "PermitRootLogin"
    ValueKind kind;
    bool accumulating; ///< every global occurrence counts
    QString defaultValue; ///< sshd's/ssh's built-in value; lists blank-separated
};

const QList<Option> &options(ConfigType type);
/// Case-insensitive look-up; nullptr for a keyword outside the catalogue.
const Option *findOption(ConfigType type, const QString &keyword);

bool isListKind(ValueKind kind);
}
