// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configbackups.h"

#include "atomicfile.h"
#include "pinnedfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QString s_manifest = QStringLiteral("manifest");
const QString s_verified = QStringLiteral("-verified");
}

ConfigBackups::ConfigBackups(const QString &folder)
    : m_folder(folder)
{
}

bool ConfigBackups::ensureFolder(QString *error) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create the backup folder %1").arg(m_folder);
        return false;
    }
    struct stat st {
    };
    const QByteArray folder = QFile::encodeName(m_folder);
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || ::chmod(folder.constData(), 0700) != 0) {
        *error = QStringLiteral("the backup folder %1 is not a folder of this user").arg(m_folder);
        return false;
    }
    return true;
}

bool ConfigBackups::writeSet(const QString &folder, const QList<SavedFile> &files, QString *error) const
{
    QByteArray manifest;
    QStringList names;
    for (const SavedFile &file : files) {
        QString name = QFileInfo(file.path).fileName();
        for (int n = 1; names.contains(name) || name == s_manifest; ++n) {
            name = QStringLiteral("%1-%2").arg(n).arg(QFileInfo(file.path).fileName());
        }
        names.append(name);
        if (!AtomicFile::writeFile(folder + QLatin1Char('/') + name, file.contents, error, 0600)) {
            return false;
        }
        manifest += QByteArray::number(file.mode, 8) + ' ' + QByteArray::number(file.uid) + ' ' + QByteArray::number(file.gid) + ' '
            + QUrl::toPercentEncoding(name) + ' ' + QUrl::toPercentEncoding(file.path) + '\n';
    }
    return AtomicFile::writeFile(folder + QLatin1Char('/') + s_manifest, manifest, error, 0600);
}

bool ConfigBackups::save(const QString &name, const QList<SavedFile> &files, QString *error) const
{
    if (!ensureFolder(error)) {
        return false;
    }
    QByteArray temporary = QFile::encodeName(QStringLiteral("%1/.%2.XXXXXX").arg(m_folder, name));
    if (!::mkdtemp(temporary.data())) {
        *error = QStringLiteral("cannot create a folder in %1: %2").arg(m_folder, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const QString folder = QFile::decodeName(temporary);
    if (!writeSet(folder, files, error)) {
        QDir(folder).removeRecursively();
        return false;
    }
    const QByteArray target = QFile::encodeName(m_folder + QLatin1Char('/') + name);
    // Renames of folders to names that are free or empty folders work on every file system; an
    // exchange, or a rename over a full folder, does not (overlayfs). The old set goes aside
    // under a name of its own, the new one takes its place, then the old one is removed.
    QByteArray aside = QFile::encodeName(QStringLiteral("%1/.%2-old.XXXXXX").arg(m_folder, name));
    auto fail = [&](const QString &what) {
        *error = QStringLiteral("cannot %1 the backup %2: %3").arg(what, QFile::decodeName(target), QString::fromLocal8Bit(strerror(errno)));
        QDir(folder).removeRecursively();
        return false;
    };
    if (!::mkdtemp(aside.data())) {
        return fail(QStringLiteral("move aside"));
    }
    const QString old = QFile::decodeName(aside);
    const bool kept = ::rename(target.constData(), aside.constData()) == 0;
    const int moved = kept ? 0 : errno;
    // A set in a lower layer of an overlay cannot be moved: it is removed first.
    if (moved == EXDEV ? !QDir(QFile::decodeName(target)).removeRecursively() : moved != 0 && moved != ENOENT) {
        ::rmdir(aside.constData());
        errno = moved;
        return fail(moved == EXDEV ? QStringLiteral("remove") : QStringLiteral("move aside"));
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int reason = errno;
        // The old set back in its place; should even that fail, it stays aside, never removed.
        if (!kept || ::rename(aside.constData(), target.constData()) != 0) {
            ::rmdir(aside.constData());
        }
        errno = reason;
        return fail(QStringLiteral("replace"));
    }
    QDir(old).removeRecursively();
    return true;
}

bool ConfigBackups::has(const QString &name) const
{
    struct stat st {
    };
    return ::lstat(QFile::encodeName(m_folder + QLatin1Char('/') + name).constData(), &st) == 0;
}

bool ConfigBackups::load(const QString &name, QList<SavedFile> *files, Refusal *refusal) const
{
    QString text;
    QString *error = &text;
    const auto failed = [&] {
        *refusal = {Refusal::Code::Failed, {text}};
        return false;
    };
    const QString folder = m_folder + QLatin1Char('/') + name;
    // Read through the folder opened without links: no entry of the set can point elsewhere.
    const PinnedFolder set(folder, {});
    struct stat st {
    };
    if (!set.isValid() || !set.stat(s_manifest, &st)) {
        *refusal = set.isValid() ? Refusal(Refusal::Code::NoBackupIn, {folder}) : Refusal(Refusal::Code::Failed, {set.error()});
        return false;
    }
    QByteArray manifest;
    if (!set.read(s_manifest, &manifest, 1024 * 1024, error)) {
        return failed();
    }
    files->clear();
    const QList<QByteArray> lines = manifest.split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty()) {
            continue;
        }
        const QList<QByteArray> fields = line.split(' ');
        SavedFile file;
        bool ok[3] = {};
        file.mode = mode_t(fields.value(0).toUInt(&ok[0], 8));
        file.uid = uid_t(fields.value(1).toUInt(&ok[1]));
        file.gid = gid_t(fields.value(2).toUInt(&ok[2]));
        const QString stored = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.value(3)));
        file.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.value(4)));
        // A stored name is a plain name in the set's own folder.
        if (!ok[0] || !ok[1] || !ok[2] || fields.size() != 5 || (file.mode & ~07777) || stored.isEmpty() || stored.contains(QLatin1Char('/'))
            || stored == QLatin1String(".") || stored == QLatin1String("..") || stored == s_manifest || !AtomicFile::isCleanAbsolutePath(file.path)) {
            *refusal = {Refusal::Code::BackupDamaged, {folder}};
            return false;
        }
        if (!set.read(stored, &file.contents, 16 * 1024 * 1024, error)) {
            return failed();
        }
        if (file.contents.isNull()) {
            file.contents = QByteArray("");
        }
        files->append(file);
    }
    if (files->isEmpty()) {
        *refusal = {Refusal::Code::BackupEmpty, {folder}};
        return false;
    }
    return true;
}

bool ConfigBackups::keepReplaced(const QString &name, const QList<SavedFile> &files, QString *kept, QString *error) const
{
    if (!ensureFolder(error)) {
        return false;
    }
    const QString prefix = name + QLatin1String("-replaced-");
    QStringList all = QDir(m_folder).entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(all.begin(), all.end());
    // Names sort in the order the sets were made: the newest is always last.
    QString entry = prefix + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss.zzz"));
    while (!all.isEmpty() && entry <= all.last()) {
        entry = all.last() + QLatin1String("-1");
    }
    const QString folder = m_folder + QLatin1Char('/') + entry;
    if (!QDir().mkdir(folder) || !writeSet(folder, files, error)) {
        QDir(folder).removeRecursively();
        *error = QStringLiteral("cannot keep the replaced configuration in %1: %2").arg(folder, *error);
        return false;
    }
    *kept = folder;
    all.append(entry);
    while (all.size() > KeptReplaced) {
        QDir(m_folder + QLatin1Char('/') + all.takeFirst()).removeRecursively();
    }
    return true;
}

void ConfigBackups::setVerified(const QString &name, const QString &base) const
{
    // Without the record a later change only checks the configuration once more.
    QString ignored;
    if (ensureFolder(&ignored)) {
        AtomicFile::writeFile(m_folder + QLatin1Char('/') + name + s_verified, base.toLatin1(), &ignored, 0600);
    }
}

bool ConfigBackups::isVerified(const QString &name, const QString &base) const
{
    const PinnedFolder folder(m_folder, {});
    QByteArray recorded;
    QString ignored;
    return !base.isEmpty() && folder.isValid() && folder.read(name + s_verified, &recorded, 1024, &ignored) && recorded == base.toLatin1();
}
