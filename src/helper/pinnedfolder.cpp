// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "pinnedfolder.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}
}

PinnedFolder::PinnedFolder(const QString &folder, const QList<uid_t> &owners, const Create *create)
    : m_path(folder)
{
    if (!folder.startsWith(QLatin1Char('/'))) {
        m_error = QStringLiteral("%1 is not an absolute path").arg(folder);
        return;
    }
    auto trusted = [&owners](uid_t uid) {
        return uid == 0 || uid == ::geteuid() || owners.contains(uid);
    };
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked;
    for (int i = 0; fd >= 0 && i < parts.size(); ++i) {
        const QByteArray name = QFile::encodeName(parts.at(i));
        walked += QLatin1Char('/') + parts.at(i);
        if (name == "." || name == "..") {
            m_error = QStringLiteral("%1 is not a plain path").arg(folder);
            ::close(fd);
            return;
        }
        int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create && i == parts.size() - 1) {
            const bool made = ::mkdirat(fd, name.constData(), create->mode) == 0;
            next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (made && next >= 0 && (::fchown(next, create->uid, create->gid) != 0 || ::fchmod(next, create->mode) != 0)) {
                m_error = QStringLiteral("cannot create %1: %2").arg(walked, systemError());
                ::close(next);
                ::close(fd);
                return;
            }
        }
        if (next < 0) {
            m_error = errno == ELOOP || errno == ENOTDIR ? QStringLiteral("%1 is a symbolic link or no folder").arg(walked)
                                                         : QStringLiteral("cannot open %1: %2").arg(walked, systemError());
            ::close(fd);
            return;
        }
        ::close(fd);
        fd = next;
        struct stat st {
        };
        if (::fstat(fd, &st) != 0 || !trusted(st.st_uid)) {
            m_error = QStringLiteral("%1 is owned by another user").arg(walked);
            ::close(fd);
            return;
        }
    }
    if (fd < 0) {
        m_error = QStringLiteral("cannot open /: %1").arg(systemError());
        return;
    }
    m_fd = fd;
}

PinnedFolder::~PinnedFolder()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool PinnedFolder::stat(const QString &name, struct stat *status) const
{
    return m_fd >= 0 && ::fstatat(m_fd, QFile::encodeName(name).constData(), status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool PinnedFolder::read(const QString &name, QByteArray *contents, qint64 maxSize, QString *error) const
{
    const QString full = m_path + QLatin1Char('/') + name;
    const int fd = ::openat(m_fd, QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ELOOP ? QStringLiteral("%1 is a symbolic link").arg(full) : QStringLiteral("cannot read %1: %2").arg(full, systemError());
        return false;
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("%1 is not a regular file").arg(full);
        return false;
    }
    if (st.st_size > maxSize) {
        ::close(fd);
        *error = QStringLiteral("%1 is too large").arg(full);
        return false;
    }
    contents->clear();
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || contents->size() + got > maxSize) {
            ::close(fd);
            *error = QStringLiteral("cannot read %1").arg(full);
            return false;
        }
        contents->append(buffer, int(got));
    }
    ::close(fd);
    return true;
}

bool PinnedFolder::write(const QString &name, const QByteArray &contents, uid_t uid, gid_t gid, mode_t mode, QString *error) const
{
    const QString full = m_path + QLatin1Char('/') + name;
    const QByteArray target = QFile::encodeName(name);
    struct stat old {
    };
    const bool exists = ::fstatat(m_fd, target.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(full);
        return false;
    }
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = '.' + target + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        fd = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        *error = QStringLiteral("cannot create a temporary file beside %1: %2").arg(full, systemError());
        return false;
    }
    auto fail = [&](const QString &what) {
        *error = QStringLiteral("%1 %2: %3").arg(what, full, systemError());
        ::close(fd);
        ::unlinkat(m_fd, temporary.constData(), 0);
        return false;
    };
    const char *data = contents.constData();
    qint64 left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return fail(QStringLiteral("cannot write"));
        }
        data += written;
        left -= written;
    }
    const uid_t owner = exists ? old.st_uid : uid;
    const gid_t group = exists ? old.st_gid : gid;
    if ((owner != ::geteuid() || group != ::getegid()) && ::fchown(fd, owner, group) != 0) {
        return fail(QStringLiteral("cannot set the owner of"));
    }
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : mode) != 0) {
        return fail(QStringLiteral("cannot set the mode of"));
    }
    if (::fsync(fd) != 0) {
        return fail(QStringLiteral("cannot sync"));
    }
    if (::renameat(m_fd, temporary.constData(), m_fd, target.constData()) != 0) {
        return fail(QStringLiteral("cannot replace"));
    }
    ::close(fd);
    ::fsync(m_fd);
    return true;
}

bool PinnedFolder::remove(const QString &name, QString *error) const
{
    const QString full = m_path + QLatin1Char('/') + name;
    struct stat st {
    };
    if (!stat(name, &st)) {
        if (errno == ENOENT) {
            return true;
        }
        *error = QStringLiteral("cannot remove %1: %2").arg(full, systemError());
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(full);
        return false;
    }
    if (::unlinkat(m_fd, QFile::encodeName(name).constData(), 0) != 0 && errno != ENOENT) {
        *error = QStringLiteral("cannot remove %1: %2").arg(full, systemError());
        return false;
    }
    ::fsync(m_fd);
    return true;
}

QString PinnedFolder::linkTarget(const QString &name) const
{
    char buffer[4096];
    const ssize_t size = m_fd < 0 ? -1 : ::readlinkat(m_fd, QFile::encodeName(name).constData(), buffer, sizeof buffer);
    return size <= 0 || size == ssize_t(sizeof buffer) ? QString() : QFile::decodeName(QByteArray(buffer, int(size)));
}
