// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

/**
 * A folder opened component by component from "/" with O_NOFOLLOW, so no
 * link and no folder owned by someone untrusted lies on its way. Every read
 * and write then goes through the open descriptor: swapping a folder of the
 * path for a link after the checks changes nothing about where bytes land.
 */
class PinnedFolder
{
public:
    /// How a missing last folder is created (e.g. ~/.ssh, mode 0700 owned by the user).
    struct Create {
        uid_t uid = 0;
        gid_t gid = 0;
        mode_t mode = 0700;
    };

    /**
     * Opens @p folder. Every folder on the way must be owned by root, by the
     * process's effective user or by one of @p owners. With @p create set, a
     * missing last folder is made.
     */
    PinnedFolder(const QString &folder, const QList<uid_t> &owners, const Create *create = nullptr);
    ~PinnedFolder();
    PinnedFolder(const PinnedFolder &) = delete;
    PinnedFolder &operator=(const PinnedFolder &) = delete;

    bool isValid() const
    {
        return m_fd >= 0;
    }
    QString error() const
    {
        return m_error;
    }
    QString path() const
    {
        return m_path;
    }
    /// The open folder, for the *at() calls; -1 when not valid.
    int descriptor() const
    {
        return m_fd;
    }

    /// lstat of an entry; false (errno set) when it does not exist.
    bool stat(const QString &name, struct stat *status) const;
    /// Reads a regular file that is no link.
    bool read(const QString &name, QByteArray *contents, qint64 maxSize, QString *error) const;
    /**
     * Replaces or creates @p name: temporary file in this folder, written,
     * synced, renamed over. An existing file keeps its owner and mode; a new one
     * gets @p uid, @p gid and @p mode.
     */
    bool write(const QString &name, const QByteArray &contents, uid_t uid, gid_t gid, mode_t mode, QString *error) const;
    /// Removes @p name, a regular file; true when it is gone (or was not there).
    bool remove(const QString &name, QString *error) const;
    /// Where the link @p name points, as written in it; empty when it is no link.
    QString linkTarget(const QString &name) const;

private:
    int m_fd = -1;
    QString m_path;
    QString m_error;
};
