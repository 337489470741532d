// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serveraddress.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <sys/types.h>

/// One SSH connection to this machine, keyed by the pid of its sshd process.
struct SSHConnectionData {
    /// Login name from the "Accepted" line.
    QString user;
    /// Client address and port; invalid until known.
    ServerAddress address;
    /// Time of the login.
    QDateTime openDateTime;
    /// Time at which the connection closed; null while it is open.
    QDateTime closeDateTime;
    /// How the user authenticated, as sshd names it ("password", "publickey", "keyboard-interactive/pam", …).
    QString method;
    /// For a key or host key: its type ("ED25519", "RSA-CERT") and fingerprint ("SHA256:…"); empty otherwise.
    QString keyType;
    QString fingerprint;
    /// Failed authentications of the process before its login.
    int failedTriesCount = 0;
    /// Last access time of the connection's terminals; null when it has none or it is unknown.
    QDateTime lastActivityTime;
    /// Pid of the sshd process that wrote the journal lines.
    pid_t syslogPid = 0;
};

Q_DECLARE_METATYPE(SSHConnectionData)

/// Registers SSHConnectionData and pid_t with the meta-type system (idempotent).
void registerSSHConnectionMetaTypes();
