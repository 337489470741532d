// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile
{
namespace
{
QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(errno)));
}
}

bool readFile(const QString &path, QByteArray *contents, QString *error, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > maxSize) {
        *error = QStringLiteral("%1 is too large").arg(path);
        return false;
    }
    *contents = file.readAll();
    return true;
}

bool writeFile(const QString &path, const QByteArray &contents, QString *error, unsigned newMode)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat old {
    };
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray pattern = QFile::encodeName(folder + QLatin1String("/.") + QFileInfo(path).fileName() + QLatin1String(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *error = systemError(QStringLiteral("cannot create a temporary file beside"), path);
        return false;
    }
    auto fail = [&](const QString &message) {
        *error = message;
        ::close(fd);
        ::unlink(pattern.constData());
        return false;
    };
    const char *data = contents.constData();
    qint64 left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(systemError(QStringLiteral("cannot write"), QString::fromLocal8Bit(pattern)));
        }
        data += written;
        left -= written;
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : mode_t(newMode);
    if (::fchmod(fd, mode) != 0) {
        return fail(systemError(QStringLiteral("cannot set the mode of"), QString::fromLocal8Bit(pattern)));
    }
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        return fail(systemError(QStringLiteral("cannot set the owner of"), QString::fromLocal8Bit(pattern)));
    }
    if (::fsync(fd) != 0) {
        return fail(systemError(QStringLiteral("cannot sync"), QString::fromLocal8Bit(pattern)));
    }
    if (::close(fd) != 0) {
        *error = systemError(QStringLiteral("cannot close"), QString::fromLocal8Bit(pattern));
        ::unlink(pattern.constData());
        return false;
    }
    if (::rename(pattern.constData(), target.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot replace"), path);
        ::unlink(pattern.constData());
        return false;
    }
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool isPlainRegularFile(const QString &path, QString *error)
{
    struct stat st {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        *error = systemError(QStringLiteral("cannot access"), path);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("%1 is a symbolic link").arg(path);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    return true;
}

bool isCleanAbsolutePath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || path.size() > 4096) {
        return false;
    }
    const QStringList parts = path.mid(1).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")) {
            return false;
        }
    }
    return true;
}
}
