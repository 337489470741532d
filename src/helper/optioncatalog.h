// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace OptionCatalog
{
/// Same numbers as SSHConfigurationTypeId in the module.
enum class ConfigType {
    Server = 1,
    Client = 2,
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

struct Option
{
    QString keyword; ///< as documented, e.g. "PermitRootLogin"
    ValueKind kind;
    bool accumulating; ///< every global occurrence counts
    QString defaultValue; ///< sshd's/ssh's built-in value; lists blank-separated
};

const QList<Option> &options(ConfigType type);
/// Case-insensitive look-up; nullptr for a keyword outside the catalogue.
const Option *findOption(ConfigType type, const QString &keyword);

bool isListKind(ValueKind kind);

/// A value checked against its keyword, ready to be written.
struct CheckedValue
{
    /// Argument text of each line to write; empty means "remove the keyword".
    QList<QByteArray> lines;
    /// What `sshd -T` (or `ssh -G`) must then report, lower case; empty: not checked.
    QStringList expected;
    bool enable = false; ///< for ValueKind::Subsystem
    /// Plain addresses of ListenAddress entries, to be checked against the interfaces.
    QStringList addresses;
};

/**
 * Checks @p value against the keyword's kind: the QVariant type the module
 * sends, the format and the ranges. Nothing but printable ASCII passes.
 */
bool checkValue(const Option &option, const QVariant &value, CheckedValue *checked, QString *error);

/// Splits the module's "address:port" form (port after the last colon, brackets optional).
bool splitListenAddress(const QString &entry, QString *address, QString *port);

/// True for printable ASCII text without blanks, quotes or comment signs.
bool isSafeToken(const QString &text);
/// True when @p text contains a control character (newline included).
bool hasControlCharacter(const QString &text);
}
