// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sessions.h"

#include "atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

Sessions::Sessions(const EnginePaths &paths)
    : m_paths(paths)
{
}

Reply Sessions::kill(qint64 pid) const
{
    if (pid <= 1 || pid > 4194304) {
        return Reply::failure(Refusal::Code::RefusedToEnd, {QString::number(pid)});
    }
    // A pid file descriptor pins the process: the checks and the signal reach the same one.
    const int pidFd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (pidFd < 0) {
        return Reply::failure(Refusal::Code::NoProcess, {QString::number(pid)});
    }
    auto fail = [pidFd](const Refusal &reason) {
        ::close(pidFd);
        return Reply::failure(reason);
    };
    const QString proc = QStringLiteral("%1/%2/").arg(m_paths.procDir).arg(pid);
    QByteArray comm;
    QByteArray stat;
    QByteArray cmdline;
    QString error;
    if (!AtomicFile::readFile(proc + QLatin1String("comm"), &comm, &error) || !AtomicFile::readFile(proc + QLatin1String("stat"), &stat, &error)
        || !AtomicFile::readFile(proc + QLatin1String("cmdline"), &cmdline, &error)) {
        return fail({Refusal::Code::NoProcess, {QString::number(pid)}});
    }
    comm = comm.trimmed();
    if (comm != "sshd" && comm != "sshd-session") {
        return fail({Refusal::Code::NotConnection, {QString::number(pid)}});
    }
    QByteArray listening;
    if (QFileInfo::exists(m_paths.sshdPidFile) && AtomicFile::readFile(m_paths.sshdPidFile, &listening, &error, 64)
        && listening.trimmed().toLongLong() == pid) {
        return fail({Refusal::Code::ListeningSshd, {QString::number(pid)}});
    }
    // stat: "pid (comm) state ppid ..."; the command may hold blanks and parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.value(1).toLongLong() <= 1 || cmdline.contains("[listener]")) {
        return fail({Refusal::Code::ListeningSshd, {QString::number(pid)}});
    }
    if (::syscall(SYS_pidfd_send_signal, pidFd, SIGTERM, nullptr, 0) != 0) {
        return fail({Refusal::Code::CannotEnd, {QString::number(pid), QString::fromLocal8Bit(strerror(errno))}});
    }
    ::close(pidFd);
    return Reply::success();
}
