// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

class Configuration;

/// Starts, stops and restarts sshd through systemd or the init script.
class ServiceControl
{
public:
    /// The longest a service command may take.
    static constexpr int CommandTimeoutMs = 90000;

    ServiceControl(const EnginePaths &paths, const Configuration &configuration);
    /// After a start or restart, data[Reply::Unanswered] lists the sockets of the configuration
    /// that did not answer with an SSH banner ("address port"); empty when every one did.
    /// @p listenAddresses: those `sshd -T` just gave for the configuration, so it need not run again.
    Reply run(const QString &command, const QList<QByteArray> *listenAddresses = nullptr) const;
    /// data[Reply::Running]: whether sshd (or its socket) is active.
    Reply status() const;

private:
    /// The unit that runs sshd here: an active ssh.socket/sshd.socket, else the service
    /// that is loaded (ssh.service on Debian and Ubuntu, sshd.service elsewhere).
    QString systemdUnit() const;
    /// The sockets of the server configuration where sshd does not answer.
    QStringList unansweredSockets(const QList<QByteArray> *listenAddresses) const;

    const EnginePaths &m_paths;
    const Configuration &m_configuration;
};
