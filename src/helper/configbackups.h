// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

/// One file of a configuration as it was: where it lives, its bytes, owner and mode.
struct SavedFile {
    QString path;
    QByteArray contents;
    mode_t mode = 0644;
    uid_t uid = 0;
    gid_t gid = 0;
};

/**
 * Sets of configuration files kept in one root-only folder (outside every
 * Include pattern): the last working configuration of each type, replaced as
 * a whole, and the rotated copies of what each restore replaced.
 */
class ConfigBackups
{
public:
    /// Replaced configurations kept per type; older ones are removed.
    static constexpr int KeptReplaced = 5;

    explicit ConfigBackups(const QString &folder);

    /// Replaces the backup set @p name ("server", "client") with @p files in one rename.
    bool save(const QString &name, const QList<SavedFile> &files, QString *error) const;
    /// Whether there is an entry @p name at all, be it a readable set or not.
    bool has(const QString &name) const;
    /// The set @p name, read without following links; false with a reason when there is none or it cannot be read.
    bool load(const QString &name, QList<SavedFile> *files, Refusal *error) const;
    /// Keeps @p files as "<name>-replaced-<time>" and rotates; @p kept gets the folder.
    bool keepReplaced(const QString &name, const QList<SavedFile> &files, QString *kept, QString *error) const;

    /// Records @p base (Reply::Base) as that of the configuration @p name when it last passed sshd's (or ssh's) check.
    void setVerified(const QString &name, const QString &base) const;
    /// Whether the configuration @p name with @p base is the one setVerified() recorded last.
    bool isVerified(const QString &name, const QString &base) const;

private:
    bool ensureFolder(QString *error) const;
    bool writeSet(const QString &folder, const QList<SavedFile> &files, QString *error) const;

    QString m_folder;
};
