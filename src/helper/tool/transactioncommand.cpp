// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The changes every changing subcommand makes: the options they share, the caller's SSH session for the lockout review,
// and the transaction sent with its outcome printed.

#include "toolcommand.h"

#include "atomicfile.h"
#include "pendingchanges.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

using namespace OptionCatalog;
namespace Arg = SSHSettings::Protocol::Arg;

namespace
{
const QCommandLineOption s_dryRun(QStringLiteral("dry-run"), QStringLiteral("set, unset, match: print the change as a unified diff, write nothing."));
const QCommandLineOption s_restart(QStringLiteral("restart"), QStringLiteral("set, unset, match: restart a running sshd after a server change."));
const QCommandLineOption
    s_revertAfter(QStringLiteral("revert-after"),
                  QStringLiteral("set, unset, match: restart sshd and revert the change after SECONDS unless it is confirmed; prints the token."),
                  QStringLiteral("SECONDS"));

const QCommandLineOption s_noSessionReview(QStringLiteral("no-session-review"),
                                           QStringLiteral("audit: in an SSH login whose connection cannot be found, fix without checking that it "
                                                          "could log in again."));

enum class Login {
    Console, ///< no sshd among the parent processes
    Found,
    Unknown, ///< below sshd, but its connection is not known
};

// The SSH connection the command runs in and the account that logged in. Its own $SSH_CONNECTION first; sudo drops
// it, so else the environment of the process sshd started for the login (the user's shell), up the parent chain.
Login callerSession(QString *session, uid_t *caller)
{
    bool ok = false;
    const uint sudo = qEnvironmentVariableIntValue("SUDO_UID", &ok);
    *caller = ok ? uid_t(sudo) : ::getuid();
    if (qEnvironmentVariableIsSet("SSH_CONNECTION")) {
        *session = qEnvironmentVariable("SSH_CONNECTION");
        return Login::Found;
    }
    const QString proc = EnginePaths::system().procDir + QLatin1Char('/');
    qint64 child = ::getpid();
    qint64 pid = ::getppid();
    for (int depth = 0; pid > 1 && depth < 64; ++depth) {
        QByteArray comm;
        QByteArray stat;
        QString error;
        if (!AtomicFile::readFile(proc + QString::number(pid) + QLatin1String("/comm"), &comm, &error, 64)
            || !AtomicFile::readFile(proc + QString::number(pid) + QLatin1String("/stat"), &stat, &error, 4096)) {
            break;
        }
        comm = comm.trimmed();
        if (comm != "sshd" && comm != "sshd-session") {
            child = pid;
            // stat: "pid (comm) state ppid ..."; the command may hold blanks and parentheses.
            pid = stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
            continue;
        }
        QByteArray environment;
        const QString login = proc + QString::number(child);
        if (child != ::getpid() && AtomicFile::readFile(login + QLatin1String("/environ"), &environment, &error, 1024 * 1024)) {
            const QList<QByteArray> variables = environment.split('\0');
            for (const QByteArray &variable : variables) {
                if (variable.startsWith("SSH_CONNECTION=") && variable.size() > 15) {
                    *session = QString::fromLocal8Bit(variable.mid(15));
                    // Whoever sudo runs as, the lockout that matters is that of the account that logged in.
                    *caller = QFileInfo(login).ownerId();
                    return Login::Found;
                }
            }
        }
        return Login::Unknown;
    }
    return Login::Console;
}

QString unansweredText(const QStringList &sockets)
{
    return QStringLiteral("sshd does not answer on %1").arg(sockets.join(QStringLiteral(", ")));
}

}

int Tool::unanswered(const Reply &reply)
{
    const QStringList sockets = reply.data.value(SSHSettings::Protocol::Reply::Unanswered).toStringList();
    return sockets.isEmpty() ? 0 : Tool::refuse(unansweredText(sockets));
}

QCommandLineOption Tool::noSessionReview()
{
    return s_noSessionReview;
}

QList<QCommandLineOption> Tool::changeOptions()
{
    return {s_dryRun, s_restart, s_revertAfter};
}

// A dry run prints its diff; otherwise written after sshd -t, backed up, and armed to be reverted when asked.
int Tool::transaction(const QCommandLineParser &parser, QVariantMap request, const ToolEngine &helper, QVariantMap *data)
{
    const ConfigType type = ConfigType(request.value(Arg::TransactionType).toInt());
    const bool dryRun = parser.isSet(s_dryRun);
    uid_t caller = ::getuid();
    // The security check's fixes leave out, dry run or not, what would lock the session out.
    const bool audit = request.contains(Arg::AuditFix) || request.contains(Arg::AuditFixAll);
    if (dryRun) {
        request.insert(Arg::TransactionDryRun, true);
    }
    // Inside an SSH session the review also warns of what would lock that session out; the fixes leave it out.
    if ((dryRun || audit) && type == ConfigType::Server) {
        QString session;
        uid_t user = caller;
        switch (callerSession(&session, &user)) {
        case Login::Found:
            request.insert(Arg::TransactionSession, session);
            caller = user;
            break;
        case Login::Unknown:
            if (audit && !parser.isSet(s_noSessionReview)) {
                return Tool::refuse(
                    QStringLiteral("this runs in an SSH login whose connection is not known ($SSH_CONNECTION is not set, as under sudo), so the "
                                   "fixes cannot be checked against locking it out; keep the variable (sudo --preserve-env=SSH_CONNECTION) "
                                   "or fix without that check with --no-session-review"));
            }
            if (!audit) {
                fprintf(stderr, "ssh-settings-tool: warning: the SSH login this runs in is not known ($SSH_CONNECTION): no lockout warnings\n");
            }
            break;
        case Login::Console:
            break;
        }
    }
    if (parser.isSet(s_restart)) {
        request.insert(Arg::TransactionRestart, true);
    }
    int revertAfter = 0;
    if (parser.isSet(s_revertAfter)) {
        bool ok = false;
        revertAfter = parser.value(s_revertAfter).toInt(&ok);
        if (!ok) {
            return Tool::refuse(QStringLiteral("--revert-after takes a number of seconds"));
        }
        request.insert(Arg::TransactionRevertAfter, revertAfter);
    }
    namespace Protocol = SSHSettings::Protocol;
    const Reply reply = helper.request(request, caller);
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    if (data) {
        *data = reply.data;
    }
    const QString token = reply.data.value(Protocol::Reply::Token).toString();
    const QVariantMap diffs = reply.data.value(Protocol::Reply::FileDiffs).toMap();
    const QString newKey = reply.data.value(Protocol::Reply::NewHostKey).toString();
    const QStringList unanswered = reply.data.value(Protocol::Reply::Unanswered).toStringList();
    // What the administrator should know, each once: in the document's list, or on standard error.
    QStringList warnings;
    const QVariantList lockouts = reply.data.value(Protocol::Reply::Lockouts).toList();
    for (const QVariant &lockout : lockouts) {
        const QVariantMap entry = lockout.toMap();
        warnings += QStringLiteral("this session could not log in again (%1: %2)")
                        .arg(entry.value(Protocol::Reply::LockoutKind).toString(), entry.value(Protocol::Reply::LockoutDetail).toString());
    }
    if (!newKey.isEmpty()) {
        warnings +=
            QStringLiteral("%1 %2: clients will see a new host key").arg(dryRun ? QStringLiteral("would generate") : QStringLiteral("generated"), newKey);
    }
    if (!dryRun && token.isEmpty() && revertAfter > 0) {
        warnings += QStringLiteral("nothing to change, nothing to revert");
    }
    if (reply.data.value(Protocol::Reply::JoinedPending).toBool()) {
        warnings += QStringLiteral(
                        "the change joined changes still pending: confirm keeps them all, a revert undoes them all "
                        "(\"ssh-settings-tool pending%1\" lists them)")
                        .arg(type == ConfigType::Client ? QStringLiteral(" --client") : QString());
    }
    if (!unanswered.isEmpty()) {
        warnings += unansweredText(unanswered); // the last one
    }
    if (Tool::json()) {
        QJsonObject diff;
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            diff.insert(it.key(), QString::fromUtf8(it.value().toByteArray()));
        }
        // Any file written counts, also one no diff shows (the moduli file, a host key moved away, a mode).
        const bool changed = !diffs.isEmpty() || !newKey.isEmpty() || !reply.data.value(Protocol::Reply::FilesChanged).toStringList().isEmpty();
        QJsonObject document = {{QStringLiteral("changed"), changed},
                                {QStringLiteral("dry_run"), dryRun},
                                {QStringLiteral("diff"), diff},
                                {QStringLiteral("restarted"), reply.data.value(Protocol::Reply::Restarts).toBool()},
                                {QStringLiteral("warnings"), QJsonArray::fromStringList(warnings)}};
        if (!token.isEmpty()) {
            document.insert(QStringLiteral("token"), token);
            document.insert(QStringLiteral("revert_after"), revertAfter);
        }
        for (const QLatin1String key : {Protocol::Reply::BlockIndex,
                                        Protocol::Reply::AuditFixed,
                                        Protocol::Reply::AuditSkipped,
                                        Protocol::Reply::NewHostKey,
                                        Protocol::Reply::FilesChanged}) {
            if (reply.data.contains(key)) {
                document.insert(key, QJsonValue::fromVariant(reply.data.value(key)));
            }
        }
        Tool::print(document);
    } else if (dryRun) {
        fputs(reply.data.value(Protocol::Reply::Diff).toByteArray().constData(), stdout);
        if (reply.data.value(Protocol::Reply::Restarts).toBool()) {
            fprintf(stderr, "ssh-settings-tool: sshd would be restarted\n");
        }
    } else if (!token.isEmpty()) {
        printf("%s\n", qPrintable(token));
        fprintf(stderr,
                "ssh-settings-tool: keep the change with \"ssh-settings-tool confirm %s\" within %d s, or it is reverted\n",
                qPrintable(token),
                revertAfter);
    }
    for (qsizetype i = 0; !Tool::json() && i < warnings.size() - (unanswered.isEmpty() ? 0 : 1); ++i) {
        fprintf(stderr, "ssh-settings-tool: warning: %s\n", qPrintable(warnings.at(i)));
    }
    // Sockets that did not answer make the command fail, after its document.
    return unanswered.isEmpty() ? 0 : Tool::refuse(warnings.constLast());
}
