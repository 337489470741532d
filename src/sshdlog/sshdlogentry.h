// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

namespace SshdLog
{
/// One journal entry, as far as the connections need it; its texts may point into the line it was read from.
struct Entry {
    qint64 usec = 0; ///< wall-clock time, microseconds since the epoch (UTC)
    int pid = 0;
    int uid = -1; ///< -1 when the input does not say (text output)
    QByteArray identifier;
    QByteArray message;
};

/// How a line of journalctl output reads.
enum class LineKind {
    Entry, ///< an entry, filled in
    Cursor, ///< "-- cursor: …" or an entry's own cursor (JSON); the cursor is filled in
    Other, ///< journalctl's notes, blank lines, lines without a pid or time
};

/**
 * Reads one line of `journalctl --output=short-iso-precise` (of any systemd
 * version: "+0000", "+00:00", any zone or "Z") or of `--output=json`, told
 * apart by its first character. Lines whose message cannot concern
 * connections are skipped unread (LineKind::Other, or Cursor when they carry one).
 */
LineKind readLine(const char *data, int size, Entry *entry, QByteArray *cursor);

/// Parses "YYYY-MM-DDTHH:MM:SS[.fraction](Z|±HH[:]MM)" at the start of @p data.
bool parseIsoTime(const char *data, int size, qint64 *usec, int *consumed);

/// The journalctl arguments of a read of this boot's sshd lines after @p cursor (none when null).
QStringList journalArguments(const QString &cursor);
/// True when @p arguments are those of journalArguments() for some well-formed cursor.
bool isJournalRequest(const QStringList &arguments, QString *error);
}
