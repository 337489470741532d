// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "toolcommand.h"

/**
 * ssh-settings-tool's views of sshd's log, read as the connections tab reads it:
 *
 *   connections [--input FILE]   user, address, port, method, failed tries, opened, closed
 *   attempts [--input FILE]      address, failures, distinct users, first seen, last seen
 *
 * One line per row, tab-separated, times in ISO 8601 UTC ("-" for a connection
 * still open). Without --input the journal of this boot is read; FILE ("-" for
 * standard input) holds what journalctl printed with --output=short-iso-precise
 * (any systemd version) or --output=json. Text carries no sender uid, so save
 * it with journalctl's _UID=0 match; JSON entries of other uids are ignored.
 */
QList<ToolCommand> logCommands();
