// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshdlogentry.h"
#include "sshdlogreducer.h"

/**
 * The helper's filter of a journal read: journalctl's output streamed in,
 * the records of sshd's logins, ended processes and failed attempts out (see
 * SshdLog::Reducer), so the reply stays far below the 32 MiB limit of a
 * system bus message however many lines the boot holds. Entries not logged by
 * sshd as root (_UID 0) are ignored.
 */
using JournalFilter = SshdLog::Reducer;
