// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "optionareafactory.h"

#include "addressfamilyarea.h"
#include "authorizedkeysarea.h"
#include "bannerarea.h"
#include "checkboxoptionarea.h"
#include "listenaddressarea.h"
#include "spinboxoptionarea.h"
#include "tunnelmodearea.h"
#include "usergroupaccessarea.h"

OptionAreaFactory::~OptionAreaFactory() = default;

AbstractOptionArea *CheckboxOptionAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new CheckboxOptionArea(option, parent);
}

AbstractOptionArea *SpinboxOptionAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new SpinboxOptionArea(option, parent);
}

AbstractOptionArea *TunnelModeOptionAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new TunnelModeArea(option, parent);
}

AbstractOptionArea *UserGroupAccessAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new UserGroupAccessArea(option, parent);
}

AbstractOptionArea *BannerOptionAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new BannerArea(option, parent);
}

AbstractOptionArea *AuthorizedKeysAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new AuthorizedKeysArea(option, parent);
}

ListenAddressOptionAreaFactory::ListenAddressOptionAreaFactory(const QString &port)
    : m_port(port)
{
}

AbstractOptionArea *ListenAddressOptionAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new ListenAddressArea(option, m_port, parent);
}

AddressFamilyAreaFactory::AddressFamilyAreaFactory(const QStringList &addresses)
    : m_addresses(addresses)
{
}

AbstractOptionArea *AddressFamilyAreaFactory::createOptionArea(const SSHOption &option, QWidget *parent) const
{
    return new AddressFamilyArea(option, m_addresses, parent);
}
