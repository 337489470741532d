// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QWidget>

namespace KCMOS
{
class MessagesManager;
}

// Placeholder until the real connections tab lands.
class SSHConnectionsArea : public QWidget
{
    Q_OBJECT
public:
    SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent);

Q_SIGNALS:
    void ipBlocked(const QHostAddress &ip);
    void focusOnAccessArea();

public Q_SLOTS:
    void updateData();
    void disableAutoUpdate();
    void restoreAutoUpdate();
    void disableBlockIpAction();
};
