// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "configbackups.h"
#include "configdocument.h"
#include "optioncatalog.h"

#include <QList>
#include <QString>

#include <sys/types.h>

// The files of a configuration as the writing parts of Configuration see them:
// where a write lands, the file as it is now, and writing or putting back a set.
namespace ConfigFiles
{
ConfigDocument::Dialect dialect(OptionCatalog::ConfigType type);
/// "server" or "client": the name of the type's backup set.
QString typeName(OptionCatalog::ConfigType type);
/// A drop-in that is a symbolic link is edited through its target; the link stays.
QString writeTarget(const QString &path);
/// The file as it is now; contents stay null when it does not exist.
SavedFile current(const QString &path);
/// Replaces a file of the configuration, never through a link others could have put there;
/// an existing one keeps its owner and mode, a new one is root's with @p mode, never writable by group or others.
bool writeConfigFile(const QString &path, const QByteArray &contents, mode_t mode, QString *error);
/// Puts files back as they were (removing those that did not exist); the reason names each one that could not be.
QString putBack(const QList<SavedFile> &files);
/**
 * Reply::Base: a digest of every file of @p document (its path and its contents, as read or, with @p edited,
 * as edited), so that any change of a file, or a file more or less, gives another one.
 */
QString base(const ConfigDocument &document, bool edited = false);
/// Why @p files may not be written as a whole, null when they may (see the definition).
Refusal unsafeFiles(OptionCatalog::ConfigType type, const QString &mainPath, const QList<SavedFile> &files);
}
