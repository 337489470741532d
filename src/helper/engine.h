// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"
#include "lockoutsession.h"
#include "optioncatalog.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

#include <sys/types.h>

class Configuration;
class PendingChanges;
class ServiceControl;
class Sessions;
class UserFiles;

/**
 * The helper's requests, each served by a small part over the shared atomic
 * file writer and program runner: configuration (read, change, restore,
 * backups), service, sessions, user files (banner, keys) and the journal.
 */
class Engine
{
public:
    using ConfigType = OptionCatalog::ConfigType;

    /// The longest a journal read may take.
    static constexpr int JournalTimeoutMs = 120000;

    explicit Engine(EnginePaths paths);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    const EnginePaths &paths() const
    {
        return m_paths;
    }

    /// Arg::ReadKeywords: lower-case keyword → QString or QStringList.
    Reply readOptions(ConfigType type, const QStringList &keywords);
    /// Arg::ReadBlocks: Reply::Blocks.
    Reply readBlocks(ConfigType type);
    /// Arg::EffectiveUser and the rest: who gets what for one connection to the server.
    Reply effective(const Lockout::Connection &connection);
    /// Arg::ChangeKeyword + Arg::ChangeValue. With @p dryRun nothing is written and
    /// data[Reply::Diff] holds the unified diff of the change.
    Reply changeOption(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun = false);
    /// Several Arg::ChangeKeyword + Arg::ChangeValue of one configuration, all or nothing.
    struct Transaction {
        QList<QPair<QString, QVariant>> changes;
        bool dryRun = false; ///< nothing written; data holds the diffs and whether sshd would restart
        bool restart = false; ///< restart a running sshd after a server change
        int revertAfter = 0; ///< seconds until an unconfirmed change is undone (implies restart where service commands act); 0: none
        /// Without a dry run: the Reply::Base of the review; the change is refused, nothing written, when the files differ now.
        QString base;
        /// Without a dry run: keywords whose values and origins the reply carries as a read does, from the configuration written.
        QStringList readKeywords;
        /// With a dry run: $SSH_CONNECTION of the caller's session, to warn of what would lock it out.
        QString session;
        uid_t caller = 0;
        /// When set, an operation on a block; the changes, if any, are its body's.
        BlockEdit block;
        /// Without block: changes in the bodies of existing blocks, made with the global changes as one transaction.
        QList<BlockBody> bodies;

        bool hasChanges() const
        {
            return !changes.isEmpty() || !bodies.isEmpty();
        }
    };
    /// data: Restarts; Token when armed; the values of readKeywords with Origins; FileDiffs, Diff and Base for a dry run.
    Reply applyTransaction(ConfigType type, const Transaction &transaction);
    /// Keeps the whole chain of pending changes that @p token names.
    Reply confirmChange(const QString &token);
    /// Reverts the whole chain of pending changes that @p token names to the state before its oldest change.
    Reply revertChange(const QString &token);
    /// Reverts every chain whose revert time has passed (what a countdown and the boot check run); @p done gets a line for each.
    Reply revertExpired(QStringList *done);
    /// The chain of pending changes of @p type, oldest first; empty when none is pending.
    Reply pendingChanges(ConfigType type, QList<PendingChange> *changes) const;
    Reply restore(ConfigType type, bool fromLocalBackup);
    Reply serviceCommand(const QString &command);
    Reply serviceStatus();
    Reply readJournal(const QStringList &arguments);
    Reply killConnection(qint64 pid);
    Reply writeBanner(const QString &path, const QString &text);
    /// Edits a key file of the account @p uid, which must be one its AuthorizedKeysFile patterns give.
    Reply addAuthorizedKey(const QString &path, const QString &line, uid_t uid);
    Reply removeAuthorizedKey(const QString &path, const QString &line, uid_t uid);

    static bool checkJournalArguments(const QStringList &arguments, QString *error);
    static QStringList systemLocalAddresses();

    // Security check: the option and algorithm checks of the table (auditchecks.h) and their fixes.
    /// Arg::Audit: Reply::Findings of every check on the configuration sshd uses.
    Reply audit();
    /**
     * Arg::AuditFix (@p ids) or Arg::AuditFixAll (@p all): the fixes of those findings as one transaction with
     * @p options (dry run, restart, countdown, base). With options.session, fixes the lockout review finds would lock
     * that session out are left out. data: as the transaction's, with Reply::AuditFixed and Reply::AuditSkipped.
     */
    Reply auditFix(const QStringList &ids, bool all, const Transaction &options);
    // Host keys and moduli (hostkeys.cpp)
    /// Arg::ReadHostKeys: Reply::HostKeys, every key sshd uses and every one in EnginePaths::sshDir.
    Reply readHostKeys();
    /// The findings of the hostkey-* and moduli-weak checks.
    QVariantList hostKeyFindings();
    /// Fixes the findings of the checks @p ids in one transaction made with @p options (its changes ignored); replies as
    /// the transaction does, with Reply::AuditFixed and Reply::AuditSkipped.
    Reply fixHostKeyFindings(const QStringList &ids, const Transaction &options);
    /// Arg::HostKeyOperation "generate" (Arg::HostKeyType, Arg::HostKeyBits) or "remove" (Arg::HostKeyFile), a transaction
    /// made with @p options.
    Reply hostKeyOperation(const QString &operation, const QVariantMap &arguments, const Transaction &options);

private:
    /// Chains whose countdown ran out are reverted before another write (under the writer lock).
    void revertDue();

    EnginePaths m_paths;
    std::unique_ptr<Configuration> m_configuration;
    std::unique_ptr<ServiceControl> m_service;
    std::unique_ptr<Sessions> m_sessions;
    std::unique_ptr<UserFiles> m_userFiles;
    std::unique_ptr<PendingChanges> m_pending;
};
