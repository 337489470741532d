// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The security check of the engine: the findings of the option and algorithm checks, and their fixes as one transaction.
#include "engine.h"

#include "auditchecks.h"
#include "auditfindings.h"
#include "configdocument.h"
#include "configuration.h"
#include "pinnedfolder.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
namespace Protocol = SSHSettings::Protocol;

const QString s_modeCheck = QStringLiteral("sshd-config-mode");

// Mode 0600 and the helper's owner for a file of the configuration, through its pinned folder and never through a link.
QString tighten(const QString &path)
{
    const QFileInfo info(path);
    PinnedFolder folder(info.path(), {});
    if (!folder.isValid()) {
        return folder.error();
    }
    const int fd = ::openat(folder.descriptor(), QFile::encodeName(info.fileName()).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat status {
    };
    QString error;
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("not a regular file");
    } else if ((status.st_uid != ::geteuid() && ::fchown(fd, ::geteuid(), gid_t(-1)) != 0) || ::fchmod(fd, 0600) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return error;
}

QVariantMap skipped(const QString &id, const QString &reason)
{
    return {{Protocol::Reply::FindingId, id}, {Protocol::Reply::SkippedReason, reason}};
}
}

Reply Engine::audit()
{
    AuditFindings::Input input;
    QString error;
    if (!m_configuration->effectiveValues(ConfigType::Server, m_paths.serverConfig, &input.values, &error)) {
        return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
    }
    // Where each value comes from, and what this OpenSSH supports (a read of algorithm lists asks ssh -Q).
    const Reply read = m_configuration->read(ConfigType::Server, AuditFindings::keywords());
    if (!read.ok) {
        return read;
    }
    input.origins = read.data.value(Protocol::Reply::Origins).toMap();
    const QVariantMap supported = read.data.value(Protocol::Reply::Algorithms).toMap();
    for (auto it = supported.cbegin(); it != supported.cend(); ++it) {
        input.supported.insert(it.key(), it.value().toStringList());
    }
    input.blocks = m_configuration->readBlocks(ConfigType::Server).data.value(Protocol::Reply::Blocks).toList();
    ConfigDocument document(ConfigDocument::Dialect::Server);
    if (document.load(m_paths.serverConfig, &error)) {
        for (const QString &path : document.filePaths()) {
            const QFileInfo info(path);
            const PinnedFolder folder(info.path(), {});
            struct stat status {
            };
            if (folder.stat(info.fileName(), &status) && S_ISREG(status.st_mode)) {
                input.files.append({path, mode_t(status.st_mode & 07777), status.st_uid});
            }
        }
    }
    input.owner = ::geteuid();
    QVariantList findings = AuditFindings::findings(input);
    findings += hostKeyFindings();
    AuditFindings::sort(&findings);
    return Reply::success({{Protocol::Reply::Findings, findings}});
}

Reply Engine::auditFix(const QStringList &ids, bool all, const Transaction &options)
{
    const Reply audited = audit();
    if (!audited.ok) {
        return audited;
    }
    // One change per keyword, with the checks it fixes (the three MAC checks share one list).
    QList<QPair<QString, QVariant>> changes;
    QList<QStringList> fixes;
    QStringList files;
    QStringList fixed;
    QVariantList left;
    QSet<QString> found;
    QStringList keyFixes;
    const QVariantList findings = audited.data.value(Protocol::Reply::Findings).toList();
    for (const QVariant &entry : findings) {
        const QVariantMap finding = entry.toMap();
        const QString id = finding.value(Protocol::Reply::FindingId).toString();
        if (!all && !ids.contains(id)) {
            continue;
        }
        found.insert(id);
        // Host keys and moduli are fixed by files of their own, in the same transaction.
        const AuditChecks::Check *check = AuditChecks::find(id);
        if (check && (check->group == AuditChecks::Group::HostKeys || check->group == AuditChecks::Group::Moduli)) {
            if (!keyFixes.contains(id)) {
                keyFixes.append(id);
            }
            continue;
        }
        QString keyword;
        QVariant value;
        if (id == s_modeCheck) {
            files.append(finding.value(Protocol::Reply::FindingSubject).toString());
        } else if (AuditFindings::fix(finding, &keyword, &value)) {
            const auto same = std::find_if(changes.cbegin(), changes.cend(), [&keyword](const QPair<QString, QVariant> &change) {
                return change.first == keyword;
            });
            if (same == changes.cend()) {
                changes.append({keyword, value});
                fixes.append({id});
            } else if (!fixes[same - changes.cbegin()].contains(id)) {
                fixes[same - changes.cbegin()].append(id);
            }
        } else {
            const QString block = finding.value(Protocol::Reply::FindingBlock).toString();
            left.append(skipped(id,
                                block.isEmpty() ? QStringLiteral("no automatic fix: %1").arg(AuditChecks::reason(id))
                                                : QStringLiteral("set in the block Match %1: change it there").arg(block)));
        }
    }
    for (const QString &id : ids) {
        if (!found.contains(id)) {
            left.append(skipped(id, QStringLiteral("nothing to fix")));
        }
    }
    // The lockout review of the caller's session: every fix together, and where that would lock the session out, halves
    // of them in turn down to the single fixes that do, which are left out.
    if (!options.session.isEmpty() && !changes.isEmpty()) {
        Transaction review;
        review.dryRun = true;
        review.session = options.session;
        review.caller = options.caller;
        QList<QPair<QString, QVariant>> kept;
        QList<QStringList> keptFixes;
        Reply refused;
        const std::function<bool(int, int)> sift = [&](int from, int count) {
            review.changes = kept + changes.mid(from, count);
            const Reply reply = applyTransaction(ConfigType::Server, review);
            const QVariantList stopped = reply.data.value(Protocol::Reply::Lockouts).toList();
            if (!reply.ok) {
                refused = reply;
                return false;
            }
            if (stopped.isEmpty()) {
                kept += changes.mid(from, count);
                keptFixes += fixes.mid(from, count);
                return true;
            }
            if (count > 1) {
                return sift(from, count / 2) && sift(from + count / 2, count - count / 2);
            }
            const QVariantMap lockout = stopped.first().toMap();
            for (const QString &id : fixes.at(from)) {
                left.append(skipped(id,
                                    QStringLiteral("%1 would lock this session out (%2: %3)")
                                        .arg(changes.at(from).first,
                                             lockout.value(Protocol::Reply::LockoutKind).toString(),
                                             lockout.value(Protocol::Reply::LockoutDetail).toString())));
            }
            return true;
        };
        if (!sift(0, changes.size())) {
            return refused;
        }
        changes = kept;
        fixes = keptFixes;
    }
    Transaction transaction = options;
    transaction.changes = changes;
    if (!transaction.dryRun) {
        transaction.session.clear();
    }
    Reply reply;
    // A host key algorithm list goes with the keys: sshd must keep a key it signs with.
    const bool keyAlgorithms = std::any_of(changes.cbegin(), changes.cend(), [](const QPair<QString, QVariant> &change) {
        return change.first.compare(QLatin1String("HostKeyAlgorithms"), Qt::CaseInsensitive) == 0;
    });
    if (!keyFixes.isEmpty() || keyAlgorithms) {
        reply = fixHostKeyFindings(keyFixes, transaction);
        fixed += reply.data.value(Protocol::Reply::AuditFixed).toStringList();
        left += reply.data.value(Protocol::Reply::AuditSkipped).toList();
    } else if (changes.isEmpty()) {
        reply = Reply::success({{Protocol::Reply::Restarts, false}, {Protocol::Reply::FileDiffs, QVariantMap()}, {Protocol::Reply::Diff, QByteArray()}});
    } else {
        reply = applyTransaction(ConfigType::Server, transaction);
    }
    if (!reply.ok) {
        return reply;
    }
    for (const QStringList &ids : std::as_const(fixes)) {
        fixed += ids;
    }
    // The files' modes, once the changes are in.
    bool tightened = true;
    for (const QString &file : std::as_const(files)) {
        QString error = options.dryRun ? QString() : tighten(file);
        // The copy of the main file's last working state is no more readable than the file.
        struct stat status {
        };
        if (error.isEmpty() && !options.dryRun && file == m_paths.serverConfig
            && PinnedFolder(QFileInfo(m_paths.serverBackup).path(), {}).stat(QFileInfo(m_paths.serverBackup).fileName(), &status)) {
            error = tighten(m_paths.serverBackup);
        }
        if (!error.isEmpty()) {
            left.append(skipped(s_modeCheck, QStringLiteral("%1: %2").arg(file, error)));
        }
        tightened = tightened && error.isEmpty();
    }
    if (!files.isEmpty() && tightened) {
        fixed.append(s_modeCheck);
    }
    reply.data.insert(Protocol::Reply::AuditFixed, fixed);
    reply.data.insert(Protocol::Reply::AuditSkipped, left);
    return reply;
}
