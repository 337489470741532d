// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile
{
/// Reads a whole file; false (with a reason) when it cannot be read.
bool readFile(const QString &path, QByteArray *contents, QString *error, qint64 maxSize = 16 * 1024 * 1024);

/**
 * Replaces @p path with @p contents: a temporary file in the same folder,
 * written, given the owner and mode of the file it replaces (or @p newMode for
 * a new file), synced, then renamed over the old one and the folder synced.
 */
bool writeFile(const QString &path, const QByteArray &contents, QString *error, unsigned newMode = 0644);

/// True when @p path names a regular file, itself no symbolic link.
bool isPlainRegularFile(const QString &path, QString *error);

/// True when @p path is absolute and has no ".", ".." or empty components.
bool isCleanAbsolutePath(const QString &path);
}
