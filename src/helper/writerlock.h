// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

#include <QString>

/**
 * One writer of the SSH configuration at a time: an exclusive flock on a
 * root-only file in the backup folder, held over a whole read, check, write,
 * backup and restart by every writer alike (the helper, the tool, a countdown,
 * the boot check). The holder notes in the file what it does, so that a
 * writer that gives up waiting can name the change in its way.
 */
class WriterLock
{
public:
    /// The lock file in the backup folder.
    static constexpr const char *FileName = "lock";

    /// Takes the lock of @p folder (made 0700 when missing), waiting up to @p waitMs; @p what names this change.
    WriterLock(const QString &folder, const QString &what, int waitMs);
    ~WriterLock();
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

    bool isHeld() const
    {
        return m_fd >= 0;
    }
    /// Why the lock is not held: Refusals::Code::Busy naming the holder when another writer has it.
    Refusal error() const
    {
        return m_error;
    }

private:
    int m_fd = -1;
    Refusal m_error;
};
