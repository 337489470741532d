// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "runprogram.h"
#include "processcompat.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <grp.h>
#include <unistd.h>

QString ProgramResult::reason(const QString &program) const
{
    if (!started) {
        return QStringLiteral("%1 could not be started").arg(program);
    }
    if (!finished) {
        return QStringLiteral("%1 did not finish in time").arg(program);
    }
    const QList<QByteArray> lines = standardError.trimmed().split('\n');
    QString text = QString::fromUtf8(lines.value(0).trimmed());
    if (text.isEmpty()) {
        text = QStringLiteral("%1 failed with exit status %2").arg(program).arg(exitCode);
    }
    return text;
}

namespace
{
// Gives up root in the child, between fork and exec.
class UnprivilegedProcess : public Compat::ChildSetupProcess
{
public:
    UnprivilegedProcess(uid_t uid, gid_t gid)
        : Compat::ChildSetupProcess([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::setuid(0) == 0) {
                ::_exit(127);
            }
        })
    {
    }
};

ProgramResult run(QProcess &process,
                  bool withPath,
                  const QString &program,
                  const QStringList &arguments,
                  const QByteArray &input,
                  int timeoutMs,
                  const std::function<void(const QByteArray &)> &onOutput)
{
    ProgramResult result;
    if (!program.startsWith(QLatin1Char('/'))) {
        return result;
    }
    QProcessEnvironment environment;
    if (withPath) {
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
    }
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(timeoutMs)) {
        return result;
    }
    result.started = true;
    if (!input.isEmpty()) {
        process.write(input);
    }
    process.closeWriteChannel();

    QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
        if (onOutput) {
            const QByteArray chunk = process.readAllStandardOutput();
            if (!chunk.isEmpty()) {
                onOutput(chunk);
            }
        }
        if (result.standardError.size() < 65536) {
            result.standardError += process.readAllStandardError();
        } else {
            process.readAllStandardError();
        }
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    const QByteArray rest = process.readAllStandardOutput();
    if (onOutput) {
        if (!rest.isEmpty()) {
            onOutput(rest);
        }
    } else {
        result.standardOutput = rest;
    }
    result.standardError += process.readAllStandardError();
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    return result;
}
}

ProgramResult runProgram(const QString &program,
                         const QStringList &arguments,
                         const QByteArray &input,
                         int timeoutMs,
                         const std::function<void(const QByteArray &)> &onOutput)
{
    QProcess process;
    return run(process, true, program, arguments, input, timeoutMs, onOutput);
}

ProgramResult runProgramAs(uid_t uid, gid_t gid, const QString &program, const QStringList &arguments, int timeoutMs)
{
    if (::geteuid() != 0) {
        QProcess process;
        return run(process, false, program, arguments, {}, timeoutMs, {});
    }
    UnprivilegedProcess process(uid, gid);
    return run(process, false, program, arguments, {}, timeoutMs, {});
}
