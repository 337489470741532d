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

QVariantMap skipped(const QString &id, const QString &reason, const QString &block = QString())
{
    QVariantMap entry = {{Protocol::Reply::FindingId, id}, {Protocol::Reply::SkippedReason, reason}};
    if (!block.isEmpty()) {
        entry.insert(Protocol::Reply::FindingBlock, block);
    }
    return entry;
}

/// One keyword change of the fixes, outside blocks or in one block's body, and the checks it fixes.
struct Fix {
    int block = 0; ///< 1-based index of the block whose body it changes; 0: outside blocks
    QString criteria; ///< of that block
    QString keyword;
    QVariant value;
    QStringList ids;
};

// @p transaction with @p fixes as its changes: the global ones, and those of each block's body.
Engine::Transaction withFixes(Engine::Transaction transaction, const QList<Fix> &fixes)
{
    transaction.changes.clear();
    transaction.bodies.clear();
    for (const Fix &fix : fixes) {
        if (fix.block <= 0) {
            transaction.changes.append({fix.keyword, fix.value});
            continue;
        }
        auto body = std::find_if(transaction.bodies.begin(), transaction.bodies.end(), [&fix](const BlockBody &other) {
            return other.index == fix.block;
        });
        if (body == transaction.bodies.end()) {
            transaction.bodies.append(BlockBody{fix.block, {}});
            body = transaction.bodies.end() - 1;
        }
        body->changes.append({fix.keyword, fix.value});
    }
    return transaction;
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
    // One change per keyword, globally or in a block's body, with the checks it fixes (the three MAC checks share one list).
    QList<Fix> fixes;
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
        Fix fix;
        fix.block = finding.value(Protocol::Reply::BlockIndex).toInt();
        fix.criteria = finding.value(Protocol::Reply::FindingBlock).toString();
        if (id == s_modeCheck) {
            files.append(finding.value(Protocol::Reply::FindingSubject).toString());
        } else if (AuditFindings::fix(finding, &fix.keyword, &fix.value)) {
            const auto same = std::find_if(fixes.begin(), fixes.end(), [&fix](const Fix &other) {
                return other.keyword == fix.keyword && other.block == fix.block;
            });
            if (same == fixes.end()) {
                fix.ids = QStringList{id};
                fixes.append(fix);
            } else if (!same->ids.contains(id)) {
                same->ids.append(id);
            }
        } else {
            left.append(skipped(id, QStringLiteral("no automatic fix: %1").arg(AuditChecks::reason(id)), fix.criteria));
        }
    }
    for (const QString &id : ids) {
        if (!found.contains(id)) {
            left.append(skipped(id, QStringLiteral("nothing to fix")));
        }
    }
    // The lockout review of the caller's session: every fix together, and where that would lock the session out, halves
    // of them in turn down to the single fixes that do, which are left out.
    if (!options.session.isEmpty() && !fixes.isEmpty()) {
        Transaction review;
        review.dryRun = true;
        review.session = options.session;
        review.caller = options.caller;
        QList<Fix> kept;
        Reply refused;
        const std::function<bool(int, int)> sift = [&](int from, int count) {
            const Reply reply = applyTransaction(ConfigType::Server, withFixes(review, kept + fixes.mid(from, count)));
            const QVariantList stopped = reply.data.value(Protocol::Reply::Lockouts).toList();
            if (!reply.ok) {
                refused = reply;
                return false;
            }
            if (stopped.isEmpty()) {
                kept += fixes.mid(from, count);
                return true;
            }
            if (count > 1) {
                return sift(from, count / 2) && sift(from + count / 2, count - count / 2);
            }
            const QVariantMap lockout = stopped.first().toMap();
            const Fix &fix = fixes.at(from);
            const QString change = fix.block > 0 ? QStringLiteral("%1 in the block Match %2").arg(fix.keyword, fix.criteria) : fix.keyword;
            for (const QString &id : fix.ids) {
                left.append(
                    skipped(id,
                            QStringLiteral("%1 would lock this session out (%2: %3)")
                                .arg(change, lockout.value(Protocol::Reply::LockoutKind).toString(), lockout.value(Protocol::Reply::LockoutDetail).toString()),
                            fix.criteria));
            }
            return true;
        };
        if (!sift(0, fixes.size())) {
            return refused;
        }
        fixes = kept;
    }
    Transaction transaction = withFixes(options, fixes);
    if (!transaction.dryRun) {
        transaction.session.clear();
    }
    Reply reply;
    // A host key algorithm list goes with the keys: sshd must keep a key it signs with.
    const bool keyAlgorithms = std::any_of(transaction.changes.cbegin(), transaction.changes.cend(), [](const QPair<QString, QVariant> &change) {
        return change.first.compare(QLatin1String("HostKeyAlgorithms"), Qt::CaseInsensitive) == 0;
    });
    if (!keyFixes.isEmpty() || keyAlgorithms) {
        reply = fixHostKeyFindings(keyFixes, transaction);
        fixed += reply.data.value(Protocol::Reply::AuditFixed).toStringList();
        left += reply.data.value(Protocol::Reply::AuditSkipped).toList();
    } else if (fixes.isEmpty()) {
        reply = Reply::success({{Protocol::Reply::Restarts, false}, {Protocol::Reply::FileDiffs, QVariantMap()}, {Protocol::Reply::Diff, QByteArray()}});
    } else {
        reply = applyTransaction(ConfigType::Server, transaction);
    }
    if (!reply.ok) {
        return reply;
    }
    for (const Fix &fix : std::as_const(fixes)) {
        for (const QString &id : fix.ids) {
            if (!fixed.contains(id)) {
                fixed.append(id);
            }
        }
    }
    // The files' modes, once the changes are in.
    QStringList touched = reply.data.value(Protocol::Reply::FilesChanged).toStringList();
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
        } else {
            touched.append(file);
        }
        tightened = tightened && error.isEmpty();
    }
    reply.data.insert(Protocol::Reply::FilesChanged, touched);
    if (!files.isEmpty() && tightened) {
        fixed.append(s_modeCheck);
    }
    reply.data.insert(Protocol::Reply::AuditFixed, fixed);
    reply.data.insert(Protocol::Reply::AuditSkipped, left);
    return reply;
}
