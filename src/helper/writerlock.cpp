// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "writerlock.h"

#include "pinnedfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The holder's note is written whole at offset 0 in one call, padded to this size.
constexpr int NoteSize = 512;
}

WriterLock::WriterLock(const QString &folder, const QString &what, int waitMs)
{
    QDir().mkpath(QFileInfo(folder).path());
    const PinnedFolder::Create create{::geteuid(), ::getegid(), 0700};
    const PinnedFolder pinned(folder, {}, &create);
    const int fd = pinned.isValid() ? ::openat(pinned.descriptor(), FileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
    struct stat st {
    };
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || ::fchmod(fd, 0600) != 0) {
        m_error = {Refusal::Code::Failed,
                   {pinned.isValid()
                        ? QStringLiteral("cannot open the lock file %1/%2: %3").arg(folder, QLatin1String(FileName), QString::fromLocal8Bit(strerror(errno)))
                        : pinned.error()}};
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    QElapsedTimer waited;
    waited.start();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = {Refusal::Code::Failed,
                       {QStringLiteral("cannot lock %1/%2: %3").arg(folder, QLatin1String(FileName), QString::fromLocal8Bit(strerror(errno)))}};
            ::close(fd);
            return;
        }
        if (waited.hasExpired(waitMs)) {
            char note[NoteSize + 1] = {};
            const ssize_t got = ::pread(fd, note, NoteSize, 0);
            const QString holder = QString::fromUtf8(note, got > 0 ? int(got) : 0).trimmed();
            m_error = {Refusal::Code::Busy, {holder.isEmpty() ? QStringLiteral("unknown") : holder}};
            ::close(fd);
            return;
        }
        ::usleep(20000);
    }
    QByteArray note = QStringLiteral("%1, by %2 (pid %3)").arg(what, QString::fromLocal8Bit(program_invocation_short_name)).arg(::getpid()).toUtf8();
    note = note.left(NoteSize - 1) + '\n';
    note += QByteArray(NoteSize - note.size(), ' ');
    (void)!::pwrite(fd, note.constData(), size_t(note.size()), 0);
    m_fd = fd;
}

WriterLock::~WriterLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}
