// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configfiles.h"

#include "atomicfile.h"
#include "pinnedfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Where a write of a configuration file lands: its folder, opened from / without following
// links, and its name there. A drop-in that is a link is written through its target; every folder
// on the way, the link's and the target's, must be root's, and the link's writable by root
// alone, so no user can redirect the write.
struct Place {
    std::unique_ptr<PinnedFolder> folder;
    QString name;
};

bool pin(const QString &path, Place *place, QString *error)
{
    QString at = path;
    for (int depth = 0; depth < 8; ++depth) {
        const int slash = at.lastIndexOf(QLatin1Char('/'));
        if (!AtomicFile::isCleanAbsolutePath(at) || at.size() < 2) {
            *error = QStringLiteral("%1 is not a plain path").arg(at);
            return false;
        }
        place->folder = std::make_unique<PinnedFolder>(slash == 0 ? QStringLiteral("/") : at.left(slash), QList<uid_t>());
        place->name = at.mid(slash + 1);
        if (!place->folder->isValid()) {
            *error = place->folder->error();
            return false;
        }
        struct stat st {
        };
        if (!place->folder->stat(place->name, &st) || !S_ISLNK(st.st_mode)) {
            return true;
        }
        // A link is followed only where no one but its owner could have put it.
        if (!place->folder->stat(QStringLiteral("."), &st) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
            *error = QStringLiteral("%1 is a link in a folder others may write").arg(at);
            return false;
        }
        const QString target = place->folder->linkTarget(place->name);
        at = QDir::cleanPath(target.startsWith(QLatin1Char('/')) ? target : at.left(slash) + QLatin1Char('/') + target);
    }
    *error = QStringLiteral("%1 is a chain of too many links").arg(path);
    return false;
}
}

namespace ConfigFiles
{
ConfigDocument::Dialect dialect(OptionCatalog::ConfigType type)
{
    return type == OptionCatalog::ConfigType::Client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server;
}

QString typeName(OptionCatalog::ConfigType type)
{
    return type == OptionCatalog::ConfigType::Client ? QStringLiteral("client") : QStringLiteral("server");
}

// A drop-in that is a symbolic link is edited through its target; the link stays.
QString writeTarget(const QString &path)
{
    // The target named by the link, even when it cannot be reached now: never the link itself.
    QString target = path;
    for (int depth = 0; depth < 8 && QFileInfo(target).isSymLink(); ++depth) {
        target = QFileInfo(target).symLinkTarget();
    }
    return target;
}

// The file as it is now; contents stay null when it does not exist.
SavedFile current(const QString &path)
{
    SavedFile file;
    file.path = path;
    struct stat st {
    };
    const QString target = writeTarget(path);
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        QString ignored;
        file.mode = st.st_mode & 07777;
        file.uid = st.st_uid;
        file.gid = st.st_gid;
        if (!AtomicFile::readFile(target, &file.contents, &ignored)) {
            file.contents = QByteArray();
        } else if (file.contents.isNull()) {
            file.contents = QByteArray("");
        }
    }
    return file;
}

// Replaces a file of the configuration through pin(); an existing one keeps its owner and mode,
// a new one is root's with @p mode, never writable by group or others.
bool writeConfigFile(const QString &path, const QByteArray &contents, mode_t mode, QString *error)
{
    Place place;
    return pin(path, &place, error) && place.folder->write(place.name, contents, ::geteuid(), ::getegid(), mode & 0755, error);
}

// Puts files back as they were (removing those that did not exist); the reason names each one that could not be.
QString putBack(const QList<SavedFile> &files)
{
    QStringList failed;
    for (const SavedFile &file : files) {
        QString error;
        Place place;
        if (file.contents.isNull() ? !pin(file.path, &place, &error) || !place.folder->remove(place.name, &error)
                                   : !writeConfigFile(file.path, file.contents, file.mode, &error)) {
            failed.append(QStringLiteral("%1 could not be put back (%2)").arg(file.path, error));
        }
    }
    return failed.join(QStringLiteral("; "));
}

/**
 * Why @p files may not be written as a whole, empty when they may: each must be a file of the
 * configuration now (with the main file gone, of the one the main file of @p files names), in
 * folders of root's reached without a link, with contents, and a mode without setuid, setgid or
 * sticky bits. The first of them is the main file.
 */
Refusal unsafeFiles(OptionCatalog::ConfigType type, const QString &mainPath, const QList<SavedFile> &files)
{
    ConfigDocument document(dialect(type));
    QString error;
    struct stat st {
    };
    const bool gone = ::lstat(QFile::encodeName(mainPath).constData(), &st) != 0 && errno == ENOENT;
    if (gone && !files.isEmpty() && files.constFirst().path == mainPath ? !document.loadFromContents(mainPath, files.constFirst().contents, &error)
                                                                        : !document.load(mainPath, &error)) {
        return {Refusal::Code::Failed, {error}};
    }
    const QStringList paths = document.filePaths();
    for (const SavedFile &file : files) {
        Place place;
        if (!paths.contains(file.path) || file.contents.isNull()) {
            return {Refusal::Code::NotConfigFile, {file.path, typeName(type)}};
        }
        if (file.mode & (S_ISUID | S_ISGID | S_ISVTX)) {
            return {Refusal::Code::UnsafeMode, {file.path, QString::number(file.mode, 8)}};
        }
        if (!pin(file.path, &place, &error)) {
            return {Refusal::Code::UnsafeWrite, {file.path, error}};
        }
    }
    return Refusal();
}

QString base(const ConfigDocument &document, bool edited)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QStringList paths = document.filePaths();
    for (int i = 0; i < paths.size(); ++i) {
        const QByteArray contents = edited ? document.contents(i) : document.originalContents(i);
        // Lengths first: no two sets of files give the same bytes to the hash.
        const QByteArray path = paths.at(i).toUtf8();
        const QByteArray header = QByteArray::number(path.size()) + ' ' + QByteArray::number(contents.size()) + ' ' + path;
        hash.addData(header);
        hash.addData(contents);
    }
    return QString::fromLatin1(hash.result().toHex());
}
}
