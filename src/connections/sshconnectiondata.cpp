// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectiondata.h"

#include <QList>

void registerSSHConnectionMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<SSHConnectionData>("SSHConnectionData");
        qRegisterMetaType<QList<SSHConnectionData>>("QList<SSHConnectionData>");
        qRegisterMetaType<pid_t>("pid_t");
        return true;
    }();
    Q_UNUSED(registered)
}
