// SPDX-License-Identifier: GPL-2.0-or-later
#include "serverstate.h"

#include "privilegedaction.h"
#include "systemdservice.h"

#include <QDebug>

namespace
{
ServerState::StateSource *s_stateSource = nullptr;
const auto serviceName = QStringLiteral("sshd");
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
    return NuvoAdmin::SystemdService(serviceName).isEnabled();
}

bool ServerState::isActive() const
{
    if (s_stateSource) {
        return s_stateSource->isActive();
    }
    return NuvoAdmin::SystemdService(serviceName).isActive();
}

void ServerState::start()
{
    jobExec(QStringLiteral("start"));
}

void ServerState::stop()
{
    jobExec(QStringLiteral("stop"));
}

void ServerState::restart()
{
    jobExec(QStringLiteral("restart"));
}

void ServerState::jobExec(const QString &command)
{
    const SSHSettings::ActionResult result =
        SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Access, {{QStringLiteral("ssh_server_command"), command}});
    if (!result.ok) {
        qCritical("ssh_server_command: Error code %s, text: \"%s\"!", qPrintable(QString::number(result.errorCode)), qPrintable(result.errorText));
    }
}
