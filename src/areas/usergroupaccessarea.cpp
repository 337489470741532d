// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupaccessarea.h"

UserGroupAccessArea::UserGroupAccessArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
{
}

QWidget *UserGroupAccessArea::inflate()
{
    return this;
}

QVariant UserGroupAccessArea::value() const
{
    return m_option.value();
}

void UserGroupAccessArea::reset() const
{
}

void UserGroupAccessArea::blockIp(const QHostAddress &)
{
}

void UserGroupAccessArea::expandSettings()
{
}

void UserGroupAccessArea::collapseSettings()
{
}
