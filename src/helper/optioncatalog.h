// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoptioncatalog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace OptionCatalog
{
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
