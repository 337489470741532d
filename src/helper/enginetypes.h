// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "refusalcodes.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

#include <sys/types.h>

// The values the engine's parts share: what they are given (EnginePaths, the
// accounts it looks up) and what they answer (Reply). The Engine facade in
// engine.h composes the parts; the parts include only this header.

/// A local account, as the password database gives it.
struct UserAccount {
    QString name;
    QString home;
    uid_t uid = 0;
    gid_t gid = 0;
};

/// Every file and program the engine touches. The helper uses system();
/// tests point the engine at temporary folders.
struct EnginePaths {
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
    /// The folder of the host keys sshd uses by default and of its moduli file.
    QString sshDir;
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
    /// Milliseconds since the epoch, of pending changes and their countdowns; the system clock when unset.
    std::function<qint64()> clock;
    /// How long a writer waits for another one to finish.
    int writerWaitMs = 30000;
    /// After sshd is (re)started, each socket of its configuration is given this long in all to
    /// answer with an SSH banner, and each connection attempt at most probeAttemptMs.
    int probeTotalMs = 10000;
    int probeAttemptMs = 1000;

    static EnginePaths system();
    /// These paths with every file (configurations, backups, defaults, banners, pid file) under @p root; programs stay.
    EnginePaths filesUnder(const QString &root) const;
};

/// One change of a chain of changes waiting to be kept.
struct PendingChange {
    QString token;
    qint64 armedAt = 0; ///< ms since the epoch
    qint64 revertAt = 0; ///< ms since the epoch: when the chain is reverted unless kept
    int seconds = 0; ///< its countdown; 0: made without one, it joined the chain
    QStringList keywords;
};

/// An operation on a block (Match; Host or Match for the client) that a transaction makes instead of global changes.
struct BlockEdit {
    QString operation; ///< "add", "criteria", "remove", "up", "down"; empty: the changes apply inside block index
    int index = 0; ///< 1-based, blocks in reading order; 0 with "add"
    QString criteria; ///< with "add" and "criteria"
    QString file; ///< with "add": the configuration's file it goes into; empty: the main file

    bool isSet() const
    {
        return !operation.isEmpty() || index > 0;
    }
};

/// New values of keywords in the body of an existing block: a part of a transaction beside its global changes.
struct BlockBody {
    int index = 0; ///< 1-based, blocks in reading order
    QList<QPair<QString, QVariant>> changes; ///< keyword and value as a global change gives them; an empty list removes the lines
};

/// Why something was refused: a code of src/protocol/refusalcodes.h and its arguments.
struct Refusal {
    using Code = SSHSettings::Refusals::Code;
    Refusal() = default;
    Refusal(Code code, const QStringList &arguments = {});
    QString code; ///< empty: nothing was refused
    QStringList arguments;

    bool isNull() const
    {
        return code.isEmpty();
    }
    bool is(Code other) const
    {
        return code == QLatin1String(SSHSettings::Refusals::entry(other).id);
    }
    /// This refusal as the reason @p outer (a code that nests) gives, after its own @p arguments.
    Refusal within(Code outer, const QStringList &arguments = {}) const;
    /// This refusal followed by @p more (such as what putBack() reports); itself when @p more is empty.
    Refusal also(const QString &more) const;
    /// The English text, as the tool prints it and the logs keep it.
    QString text() const;
};

struct Reply {
    bool ok = false;
    QString error; ///< the refusal's English text
    QVariantMap data; ///< a refusal: Reply::RefusalCode and Reply::RefusalArguments

    static Reply success(const QVariantMap &data = {});
    static Reply failure(const Refusal &refusal);
    static Reply failure(Refusal::Code code, const QStringList &arguments = {})
    {
        return failure(Refusal(code, arguments));
    }
    /// The refusal this reply carries (for a reason given in turn); null for a success.
    Refusal refusal() const;
};
