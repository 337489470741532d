// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "factorymanager.h"
#include "areas_debug.h"

#include "abstractoptionarea.h"
#include "optionareafactory.h"
#include "sshmanager.h"

#include <QDebug>

FactoryManager::FactoryManager(SSHManager *manager, QObject *parent)
    : QObject(parent)
{
    if (!manager) {
        return;
    }
    const SSHOption::Id checkboxIds[] = {
        SSHOption::X11Forwarding,
        SSHOption::PermitRootLogin,
        SSHOption::PermitEmptyPasswords,
        SSHOption::UsePAM,
        SSHOption::GSSAPIAuthentication,
        SSHOption::HostbasedAuthentication,
        SSHOption::KbdInteractiveAuthentication,
        SSHOption::KerberosAuthentication,
        SSHOption::PasswordAuthentication,
        SSHOption::PubkeyAuthentication,
        SSHOption::IgnoreUserKnownHosts,
        SSHOption::IgnoreRhosts,
        SSHOption::UseDNS,
        SSHOption::TCPKeepAlive,
        SSHOption::PrintLastLog,
        SSHOption::PrintMotd,
        SSHOption::Subsystem,
    };
    for (const SSHOption::Id id : checkboxIds) {
        registerFactory(id, new CheckboxOptionAreaFactory);
    }
    const SSHOption::Id spinboxIds[] = {
        SSHOption::Port,
        SSHOption::ClientPort,
        SSHOption::LoginGraceTime,
        SSHOption::MaxSessions,
        SSHOption::ServerAliveCountMax,
        SSHOption::ServerAliveInterval,
    };
    for (const SSHOption::Id id : spinboxIds) {
        registerFactory(id, new SpinboxOptionAreaFactory);
    }
    registerFactory(SSHOption::PermitTunnel, new TunnelModeOptionAreaFactory);
    registerFactory(SSHOption::AllowDenyUsersGroups, new UserGroupAccessAreaFactory);
    registerFactory(SSHOption::ListenAddress, new ListenAddressOptionAreaFactory(manager->currentServerPort()));
    registerFactory(SSHOption::AddressFamily, new AddressFamilyAreaFactory(manager->currentLisstenAddresses()));
    registerFactory(SSHOption::Banner, new BannerOptionAreaFactory);
    registerFactory(SSHOption::AuthorizedKeysFile, new AuthorizedKeysAreaFactory);
}

FactoryManager::~FactoryManager()
{
    qDeleteAll(m_factories);
}

void FactoryManager::registerFactory(SSHOption::Id id, OptionAreaFactory *factory)
{
    delete m_factories.take(id);
    m_factories.insert(id, factory);
}

void FactoryManager::initializeOptionArea(const SSHOption &option, QWidget *parent) const
{
    if (m_areas.contains(option.id())) {
        qCWarning(SSHSETTINGS_AREAS) << "Trying to initialize an existing area!";
        return;
    }
    const OptionAreaFactory *factory = m_factories.value(option.id());
    if (!factory) {
        qCWarning(SSHSETTINGS_AREAS) << QStringLiteral("Cannot create widget for option '%1' with unsupported type '%2' and id '%3'")
                                            .arg(option.name(), QString::fromLatin1(option.value().typeName()))
                                            .arg(static_cast<int>(option.id()));
        return;
    }
    m_areas.insert(option.id(), factory->createOptionArea(option, parent));
}

AbstractOptionArea *FactoryManager::getAreaById(SSHOption::Id id) const
{
    return m_areas.value(id);
}

QMap<SSHOption::Id, AbstractOptionArea *> FactoryManager::areas() const
{
    return m_areas;
}
