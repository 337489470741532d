// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "configbackups.h"
#include "engine.h"

class Configuration;
class ServiceControl;

/**
 * Changes applied on probation: the files a transaction replaced are kept
 * under a random token in a root-only folder, and a countdown outside this
 * process (a systemd timer, or a detached process where systemd does not run)
 * runs `ssh-settings-tool revert TOKEN` unless the change is confirmed first.
 * Whichever of confirm and revert claims the token first wins; the other finds
 * nothing to do.
 */
class PendingChanges
{
public:
    /// Characters of a token: lower-case hexadecimal.
    static constexpr int TokenLength = 32;

    PendingChanges(const EnginePaths &paths, Configuration &configuration, ServiceControl &service);

    /// Keeps @p files and starts the countdown of @p seconds; @p token names it.
    bool arm(OptionCatalog::ConfigType type, const QList<SavedFile> &files, int seconds, QString *token, QString *error);
    /// Keeps the change: the countdown finds nothing left to undo.
    Reply confirm(const QString &token);
    /// Puts the kept files back, checks them, restarts a running sshd and logs what it did.
    Reply revert(const QString &token);

    static bool isToken(const QString &token);

private:
    bool claim(const QString &token, QString *claimed, OptionCatalog::ConfigType *type, QString *error) const;
    bool startCountdown(const QString &token, int seconds, QString *error) const;
    void log(const QString &message) const;
    QString folder() const;

    const EnginePaths &m_paths;
    Configuration &m_configuration;
    ServiceControl &m_service;
    ConfigBackups m_sets;
};
