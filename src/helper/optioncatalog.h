// SPDX-FileCopyrightText: 2026 SSH Settings contributors
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
struct CheckedValue {
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

/**
 * Splits a ListenAddress entry: "address:port", "[address]:port", or an address without a
 * port of its own (sshd gives it every Port): "192.0.2.1", "[2001:db8::1]", "2001:db8::1".
 * Without brackets, an IPv6 address takes its last group as the port when the rest is an
 * address ("fe80::1:22", as the module writes it). @p port is empty for an address without
 * a port; false when the entry has an empty address or an empty port after its colon.
 */
bool splitListenAddress(const QString &entry, QString *address, QString *port);

/// True for printable ASCII text without blanks, quotes or comment signs.
bool isSafeToken(const QString &text);
/// True when @p text contains a control character (newline included).
bool hasControlCharacter(const QString &text);
}
