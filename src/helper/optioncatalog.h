// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"
#include "sshoptioncatalog.h"

#include <QByteArray>
#include <QHash>
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
    bool remove = false; ///< every line of the keyword goes, so its default applies
    /// Plain addresses of ListenAddress entries, to be checked against the interfaces.
    QStringList addresses;
};

/// What the installed OpenSSH knows: its version and the names `ssh -Q` lists.
struct Installed {
    int version = 0; ///< major * 100 + minor; 0: unknown, no keyword is refused for its version
    /// Query ("cipher", "mac", "kex", "key", "key-sig", "sig") → the names; a missing query is not checked.
    QHash<QString, QStringList> algorithms;
};

/// The queries `ssh -Q` answers for the Algorithms kind.
QStringList algorithmQueries();

/**
 * Checks @p value against the keyword's kind: the QVariant type the module
 * sends, the format and the ranges. Nothing but printable ASCII passes.
 * An empty string list removes the keyword's lines, so the default applies.
 * A keyword the @p installed version does not know is refused with the version it needs.
 */
bool checkValue(const Option &option, const QVariant &value, CheckedValue *checked, Refusal *error, const Installed &installed = {});

/// Seconds of a time as sshd reads it: "90", "90s", "1h30m", "1w"; -1 when it is not one.
qint64 parseInterval(const QString &text);

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
}
