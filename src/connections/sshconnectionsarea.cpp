// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsarea.h"

SSHConnectionsArea::SSHConnectionsArea(KCMOS::MessagesManager *, QWidget *parent)
    : QWidget(parent)
{
}

void SSHConnectionsArea::updateData()
{
}

void SSHConnectionsArea::disableAutoUpdate()
{
}

void SSHConnectionsArea::restoreAutoUpdate()
{
}

void SSHConnectionsArea::disableBlockIpAction()
{
}
