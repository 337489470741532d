// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "configbackups.h"
#include "enginetypes.h"
#include "optioncatalog.h"
#include "requestnonce.h"

class Configuration;
class ServiceControl;

/**
 * Changes applied on probation, one chain per configuration type. The first
 * armed change starts a chain: the files it replaced, as they were, are the
 * revert point. Every later change while the chain is pending joins it (the
 * files it replaces that the chain holds no state of yet join the revert
 * point), and an armed one starts the countdown anew. Keeping any change keeps
 * the chain; a countdown that runs out, a revert on request or the boot check
 * put every file of the revert point back.
 *
 * A chain is one file in a root-only folder, replaced atomically, so it
 * survives the death of any process. The countdown runs outside this process
 * (a transient systemd timer named by the change that started it, or a
 * detached process where systemd does not run) and then runs
 * `ssh-settings-tool revert --expired`, which reverts only chains whose time
 * has come (a stale countdown finds nothing to do) and arms the countdown again
 * when its timer is gone, as after a reboot. Callers hold the writer
 * lock (WriterLock) around every call that writes.
 */
class PendingChanges
{
public:
    /// Characters of a token: lower-case hexadecimal, random as a request's nonce.
    static constexpr int TokenLength = SSHSettings::RequestNonce::Length;

    PendingChanges(const EnginePaths &paths, Configuration &configuration, ServiceControl &service);

    /**
     * Adds a written change (@p files as they were before it, the @p keywords
     * it set) to the chain of @p type. With @p seconds > 0 the change is armed
     * and the chain's countdown runs @p seconds from now; without, a chain must
     * be pending. @p token gets the change's token, @p joined whether a chain
     * was pending.
     */
    bool
    add(OptionCatalog::ConfigType type, const QList<SavedFile> &files, const QStringList &keywords, int seconds, QString *token, bool *joined, QString *error);
    bool isPending(OptionCatalog::ConfigType type) const;
    /// The chain of @p type, oldest change first.
    Reply list(OptionCatalog::ConfigType type, QList<PendingChange> *changes) const;
    /// Keeps the chain @p token belongs to; too late once its revert time has passed (it is reverted then).
    Reply confirm(const QString &token);
    /// Puts the revert point of the chain @p token belongs to back, checks it, restarts a running sshd and logs it.
    Reply revert(const QString &token);
    /// Reverts every chain whose revert time has passed; @p done gets a line for each.
    Reply revertExpired(QStringList *done);

    static bool isToken(const QString &token);
    /// @p ms since the epoch as ISO 8601 UTC, e.g. 2026-12-07T01:02:03Z.
    static QString isoTime(qint64 ms);

private:
    struct Chain {
        OptionCatalog::ConfigType type = OptionCatalog::ConfigType::Server;
        QList<PendingChange> changes;
        QList<SavedFile> files; ///< the revert point
    };
    /// False with an empty @p error when no chain of @p type is pending.
    bool load(OptionCatalog::ConfigType type, Chain *chain, QString *error) const;
    bool store(const Chain &chain, QString *error) const;
    bool remove(OptionCatalog::ConfigType type, QString *error) const;
    bool find(const QString &token, Chain *chain, Refusal *error) const;
    Reply revertChain(const Chain &chain, const QString &why);
    bool startCountdown(const QString &token, int seconds, QString *error) const;
    bool resumeCountdown(const Chain &chain, QString *error) const;
    void stopCountdown(const Chain &chain) const;
    void log(const QString &message) const;
    QString folder() const;

    const EnginePaths &m_paths;
    Configuration &m_configuration;
    ServiceControl &m_service;
};
