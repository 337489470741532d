// SPDX-License-Identifier: GPL-2.0-or-later
#include "configbackups.h"

#include "atomicfile.h"

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
}

ConfigBackups::ConfigBackups(const QString &folder) : m_folder(folder) { }

bool ConfigBackups::ensureFolder(QString *error) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create the backup folder %1").arg(m_folder);
        return false;
    }
    struct stat st
    {
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
        manifest += QByteArray::number(file.mode, 8) + ' ' + QByteArray::number(file.uid) + ' ' + QByteArray::number(file.gid) + ' ' +
            QUrl::toPercentEncoding(name) + ' ' + QUrl::toPercentEncoding(file.path) + '\n';
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
    // Swap the new set in whole; the old one is removed only afterwards.
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) != 0 &&
        ::rename(temporary.constData(), target.constData()) != 0) {
        *error = QStringLiteral("cannot replace the backup %1: %2").arg(QFile::decodeName(target), QString::fromLocal8Bit(strerror(errno)));
        QDir(folder).removeRecursively();
        return false;
    }
    QDir(folder).removeRecursively();
    return true;
}

bool ConfigBackups::load(const QString &name, QList<SavedFile> *files, QString *error) const
{
    const QString folder = m_folder + QLatin1Char('/') + name;
    QByteArray manifest;
    if (!QFileInfo::exists(folder + QLatin1Char('/') + s_manifest)) {
        *error = QStringLiteral("there is no backup in %1").arg(folder);
        return false;
    }
    if (!AtomicFile::isPlainRegularFile(folder + QLatin1Char('/') + s_manifest, error) ||
        !AtomicFile::readFile(folder + QLatin1Char('/') + s_manifest, &manifest, error)) {
        return false;
    }
    files->clear();
    const QList<QByteArray> lines = manifest.split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty()) {
            continue;
        }
        const QList<QByteArray> fields = line.split(' ');
        SavedFile file;
        bool ok = false;
        file.mode = mode_t(fields.value(0).toUInt(&ok, 8)) & 07777;
        ok = ok && fields.size() == 5;
        file.uid = uid_t(fields.value(1).toUInt());
        file.gid = gid_t(fields.value(2).toUInt());
        const QString stored = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.value(3)));
        file.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.value(4)));
        if (!ok || stored.contains(QLatin1Char('/')) || !AtomicFile::isCleanAbsolutePath(file.path)) {
            *error = QStringLiteral("the backup in %1 is damaged").arg(folder);
            return false;
        }
        const QString storedPath = folder + QLatin1Char('/') + stored;
        if (!AtomicFile::isPlainRegularFile(storedPath, error) || !AtomicFile::readFile(storedPath, &file.contents, error)) {
            return false;
        }
        files->append(file);
    }
    if (files->isEmpty()) {
        *error = QStringLiteral("the backup in %1 is empty").arg(folder);
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
