// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "optioncatalog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>

#include <sys/types.h>

/// A local account, as the password database gives it.
struct UserAccount
{
    QString name;
    QString home;
    uid_t uid = 0;
    gid_t gid = 0;
};

/// Every file and program the engine touches. The helper uses system();
/// tests point the engine at temporary folders.
struct EnginePaths
{
    QString serverConfig;
    QString clientConfig;
    QString serverBackup; ///< the main file as it was before the last accepted change
    QString clientBackup;
    QString backupDir; ///< root-only folder of the backup sets, outside every Include pattern
    QString serverDefault;
    QString clientDefault;
    QString sshd;
    QString ssh;
    QString sshKeygen;
    QString journalctl;
    QString systemctl;
    QString systemdRun;
    QString initScript;
    /// ssh-settings-tool, which a countdown runs to revert an unconfirmed change.
    QString tool;
    /// Given to the tool before "revert" (--root, --config of the tool's own run).
    QStringList toolArguments;
    QString privilegeSeparationDir; ///< created with mode 0755 before sshd runs
    QString systemdRunDir; ///< exists when systemd is the running init system
    QString sshdPidFile; ///< the listening daemon
    QString procDir;
    QString bannerRoot; ///< banner files must live below this folder
    QString sftpServer;
    /// Given to every `sshd -t`/`sshd -T` run (tests pass "-h <host key>").
    QStringList sshdExtraArguments;
    /// The account `ssh -G` runs as, so that nothing the client configuration runs gets root.
    QString readerAccount;
    /// Addresses configured on the local interfaces; the system's when unset.
    std::function<QStringList()> localAddresses;
    /// Looks up an account by uid; the password database when unset.
    std::function<bool(uid_t, UserAccount *)> lookupUser;
    /// Names of the groups of an account, primary and supplementary; the group database when unset.
    std::function<QStringList(const UserAccount &)> lookupGroups;
    /// Looks up an account by name; the password database when unset.
    std::function<bool(const QString &, UserAccount *)> lookupUserName;
    /// The password field of an account (shadow, else passwd; empty when it has none); the databases when unset.
    std::function<QByteArray(const UserAccount &)> lookupPassword;
    /// Whether start, stop and restart may act on sshd. The tool clears it under --root and --config:
    /// the service is the system's, not the tree's or the file's.
    bool serviceControl = true;
    static constexpr const char *NoServiceControl = "service commands act on the system's sshd; not with --root or --config";
    /// Milliseconds since the epoch, of pending changes and their countdowns; the system clock when unset.
    std::function<qint64()> clock;
    /// How long a writer waits for another one to finish.
    int writerWaitMs = 30000;
    /// After sshd is (re)started, each socket of its configuration is given this long in all to
    /// answer with an SSH banner, and each connection attempt at most probeAttemptMs.
    int probeTotalMs = 10000;
    int probeAttemptMs = 1000;

    static EnginePaths system();
};

/// One change of a chain of changes waiting to be kept.
struct PendingChange
{
    QString token;
    qint64 armedAt = 0; ///< ms since the epoch
    qint64 revertAt = 0; ///< ms since the epoch: when the chain is reverted unless kept
    int seconds = 0; ///< its countdown; 0: made without one, it joined the chain
    QStringList keywords;
};

struct Reply
{
    bool ok = false;
    QString error;
    QVariantMap data;

    static Reply success(const QVariantMap &data = {});
    static Reply failure(const QString &error);
};

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

    const EnginePaths &paths() const { return m_paths; }

    /// "check_options": lower-case keyword → QString or QStringList.
    Reply readOptions(ConfigType type, const QStringList &keywords);
    /// "option_name" + "new_value". With @p dryRun nothing is written and
    /// data["diff"] holds the unified diff of the change.
    Reply changeOption(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun = false);
    /// Several "option_name" + "new_value" of one configuration, all or nothing.
    struct Transaction
    {
        QList<QPair<QString, QVariant>> changes;
        bool dryRun = false; ///< nothing written; data holds the diffs and whether sshd would restart
        bool restart = false; ///< restart a running sshd after a server change
        int revertAfter = 0; ///< seconds until an unconfirmed change is undone (implies restart where service commands act); 0: none
        /// With a dry run: $SSH_CONNECTION of the caller's session, to warn of what would lock it out.
        QString session;
        uid_t caller = 0;
    };
    /// data: Restarts; Token when armed; FileDiffs and Diff for a dry run.
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
