// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "serverstate.h"

#include "privilegedaction.h"
#include "sshsettingsprotocol.h"
#include "systemdservice.h"

#include <QDebug>

namespace
{
ServerState::StateSource *s_stateSource = nullptr;
}

ServerState::ServerState(QObject *parent) : QObject(parent) { }

ServerState::ServerState(const ServerState &other) : QObject(other.parent()) { }

void ServerState::setStateSourceForTesting(StateSource *source)
{
    s_stateSource = source;
}

bool ServerState::isEnabled() const
{
    if (s_stateSource) {
        return s_stateSource->isEnabled();
    }
    return NuvoAdmin::SystemdService().isEnabled();
}

bool ServerState::isActive() const
{
    if (s_stateSource) {
        return s_stateSource->isActive();
    }
    return NuvoAdmin::SystemdService().isActive();
}

bool ServerState::start(QString *reason)
{
    return jobExec(QStringLiteral("start"), reason);
}

bool ServerState::stop(QString *reason)
{
    return jobExec(QStringLiteral("stop"), reason);
}

bool ServerState::restart(QString *reason)
{
    return jobExec(QStringLiteral("restart"), reason);
}

bool ServerState::jobExec(const QString &command, QString *reason)
{
    const SSHSettings::ActionResult result =
        SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Service, {{SSHSettings::Protocol::Arg::ServiceCommand, command}});
    m_outcomeUnknown = result.outcomeUnknown;
    if (!result.ok && reason) {
        *reason = SSHSettings::failureReason(result);
    }
    return result.ok;
}
