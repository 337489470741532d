// SPDX-License-Identifier: GPL-2.0-or-later
#include "pendingchanges.h"

#include "configuration.h"
#include "runprogram.h"
#include "servicecontrol.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

using ConfigType = OptionCatalog::ConfigType;

namespace
{
QString setName(ConfigType type, const QString &token)
{
    return (type == ConfigType::Client ? QLatin1String("client-") : QLatin1String("server-")) + token;
}

// Runs @p arguments (an absolute program first) in a process of its own session
// that is no child of this one, so it outlives this process, its session and
// its connection. False with a reason when the program could not be started.
bool startDetached(const QStringList &arguments, QString *error)
{
    QList<QByteArray> storage;
    for (const QString &argument : arguments) {
        storage.append(QFile::encodeName(argument));
    }
    std::vector<char *> argv;
    for (QByteArray &argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    char locale[] = "LC_ALL=C";
    char *envp[] = {locale, nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = QStringLiteral("cannot start the countdown: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        if (::setsid() < 0) {
            ::_exit(1);
        }
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != report[1]) {
                ::close(fd);
            }
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signal : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) {
            ::signal(signal, SIG_DFL);
        }
        ::execve(argv[0], argv.data(), envp);
        const int failure = errno;
        (void)!::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    const bool forked = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    int failure = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (!forked || got > 0) {
        *error = QStringLiteral("cannot start the countdown %1: %2").arg(arguments.first(), QString::fromLocal8Bit(strerror(got > 0 ? failure : ECHILD)));
        return false;
    }
    return true;
}
}

PendingChanges::PendingChanges(const EnginePaths &paths, Configuration &configuration, ServiceControl &service)
    : m_paths(paths), m_configuration(configuration), m_service(service), m_sets(folder())
{
}

QString PendingChanges::folder() const
{
    return m_paths.backupDir + QLatin1String("/pending");
}

bool PendingChanges::isToken(const QString &token)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[0-9a-f]{%1}\\z").arg(TokenLength));
    return pattern.match(token).hasMatch();
}

bool PendingChanges::arm(ConfigType type, const QList<SavedFile> &files, int seconds, QString *token, QString *error)
{
    quint32 random[TokenLength / 8];
    QRandomGenerator::system()->fillRange(random);
    token->clear();
    for (const quint32 word : random) {
        token->append(QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0')));
    }
    if (!m_sets.save(setName(type, *token), files, error)) {
        return false;
    }
    if (!startCountdown(*token, seconds, error)) {
        QDir(folder() + QLatin1Char('/') + setName(type, *token)).removeRecursively();
        return false;
    }
    log(QStringLiteral("%1: change armed, reverted in %2 s unless confirmed").arg(*token).arg(seconds));
    return true;
}

bool PendingChanges::startCountdown(const QString &token, int seconds, QString *error) const
{
    const QStringList revert = QStringList {m_paths.tool} + m_paths.toolArguments + QStringList {QStringLiteral("revert")};
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        // A transient timer of the service manager: independent of every session.
        const ProgramResult result =
            runProgram(m_paths.systemdRun,
                       QStringList {QStringLiteral("--unit=ssh-settings-revert-%1").arg(token),
                                    QStringLiteral("--description=Revert an unconfirmed SSH settings change"), QStringLiteral("--on-active=%1").arg(seconds),
                                    QStringLiteral("--timer-property=AccuracySec=1s"), QStringLiteral("--collect"), QStringLiteral("--quiet")} +
                           revert + QStringList {token});
        if (!result.succeeded()) {
            *error = QStringLiteral("cannot start the countdown: %1").arg(result.reason(m_paths.systemdRun));
            return false;
        }
        return true;
    }
    return startDetached(revert + QStringList {QStringLiteral("--delay"), QString::number(seconds), token}, error);
}

bool PendingChanges::claim(const QString &token, QString *claimed, ConfigType *type, QString *error) const
{
    if (!isToken(token)) {
        *error = QStringLiteral("not a revert token");
        return false;
    }
    for (const ConfigType candidate : {ConfigType::Server, ConfigType::Client}) {
        const QString name = setName(candidate, token);
        const QByteArray from = QFile::encodeName(folder() + QLatin1Char('/') + name);
        const QByteArray to = QFile::encodeName(folder() + QLatin1String("/.claimed-") + name);
        // One rename: of a confirm and a revert racing, exactly one gets the set.
        if (::rename(from.constData(), to.constData()) == 0) {
            *claimed = QLatin1String(".claimed-") + name;
            *type = candidate;
            return true;
        }
    }
    *error = QStringLiteral("no change is waiting under %1: it was kept or reverted already").arg(token);
    return false;
}

Reply PendingChanges::confirm(const QString &token)
{
    QString claimed;
    ConfigType type;
    QString error;
    if (!claim(token, &claimed, &type, &error)) {
        return Reply::failure(error);
    }
    QDir(folder() + QLatin1Char('/') + claimed).removeRecursively();
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        runProgram(m_paths.systemctl, {QStringLiteral("stop"), QStringLiteral("ssh-settings-revert-%1.timer").arg(token)});
    }
    log(QStringLiteral("%1: change confirmed and kept").arg(token));
    return Reply::success();
}

Reply PendingChanges::revert(const QString &token)
{
    QString claimed;
    ConfigType type;
    QString error;
    if (!claim(token, &claimed, &type, &error)) {
        return Reply::failure(error);
    }
    QList<SavedFile> files;
    const QString set = folder() + QLatin1Char('/') + claimed;
    if (!m_sets.load(claimed, &files, &error)) {
        log(QStringLiteral("%1: cannot revert: %2").arg(token, error));
        return Reply::failure(error);
    }
    Reply reply = m_configuration.replaceFiles(type, files);
    if (!reply.ok) {
        // Kept for the administrator: the set is the only copy of the earlier files.
        log(QStringLiteral("%1: revert refused, the files stay as they are (the earlier ones are kept in %2): %3").arg(token, set, reply.error));
        return reply;
    }
    QStringList paths;
    for (const SavedFile &file : std::as_const(files)) {
        paths.append(file.path);
    }
    QString restarted;
    if (type == ConfigType::Server && m_service.status().data.value(QStringLiteral("running")).toBool()) {
        const Reply restart = m_service.run(QStringLiteral("restart"));
        restarted = restart.ok ? QStringLiteral(", sshd restarted") : QStringLiteral(", but sshd did not restart: %1").arg(restart.error);
        reply = restart.ok ? reply : Reply::failure(QStringLiteral("reverted, but sshd did not restart: %1").arg(restart.error));
    }
    QDir(set).removeRecursively();
    log(QStringLiteral("%1: change reverted, %2 put back%3").arg(token, paths.join(QStringLiteral(", ")), restarted));
    return reply;
}

void PendingChanges::log(const QString &message) const
{
    ::openlog("ssh-settings", LOG_PID, LOG_AUTHPRIV);
    ::syslog(LOG_NOTICE, "%s", message.toLocal8Bit().constData());
    ::closelog();
    // Also in the root-only folder, where the administrator (and the tests) find it without a journal.
    const QByteArray path = QFile::encodeName(folder() + QLatin1String("/log"));
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + ' ' + message.toLocal8Bit() + '\n';
        (void)!::write(fd, line.constData(), size_t(line.size()));
        ::close(fd);
    }
}
