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

ServerState::ServerState(QObject *parent)
    : QObject(parent)
{
}

ServerState::ServerState(const ServerState &other)
    : QObject(other.parent())
{
}

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

void ServerState::start(QObject *context, SSHSettings::ActionDone done) const
{
    command(QStringLiteral("start"), context, std::move(done));
}

void ServerState::stop(QObject *context, SSHSettings::ActionDone done) const
{
    command(QStringLiteral("stop"), context, std::move(done));
}

void ServerState::restart(QObject *context, SSHSettings::ActionDone done) const
{
    command(QStringLiteral("restart"), context, std::move(done));
}

void ServerState::command(const QString &command, QObject *context, SSHSettings::ActionDone done)
{
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Service, {{SSHSettings::Protocol::Arg::ServiceCommand, command}}, context, std::move(done));
}
