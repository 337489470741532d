// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QThread>
#include <QWidget>

#include <memory>

class QAction;
class QMenu;
class QSortFilterProxyModel;
class QStatusBar;
class QTimer;
class SSHConnectionsManager;
class SSHConnectionsModel;
struct SSHConnectionData;

namespace KCMOS
{
class MessagesManager;
}

namespace Ui
{
class SSHConnectionsArea;
}

/**
 * The "Connections" tab: the SSH connections of the current boot, refreshed
 * every two seconds while the tab is shown, with a context menu to disconnect
 * a connection or to deny its address.
 */
class SSHConnectionsArea : public QWidget
{
    Q_OBJECT
public:
    SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent);
    ~SSHConnectionsArea() override;

Q_SIGNALS:
    void ipBlocked(const QHostAddress &ip);
    void focusOnAccessArea();

public Q_SLOTS:
    /// Reads the new journal lines and the terminal activity, and stamps the status bar.
    void updateData();
    /// Stops the refresh timer.
    void disableAutoUpdate();
    /// Starts the refresh timer.
    void restoreAutoUpdate();
    /// Hides "Block IP" from the context menu.
    void disableBlockIpAction();

private:
    void showContextMenu(const QPoint &position);
    /// The connection of the view's current row, when it is one an action may act on.
    bool currentConnection(SSHConnectionData *connection) const;
    void disconnectCurrent(KCMOS::MessagesManager *messagesManager);
    void blockCurrent(KCMOS::MessagesManager *messagesManager);

    std::unique_ptr<Ui::SSHConnectionsArea> ui;
    SSHConnectionsManager *m_manager;
    SSHConnectionsModel *m_model;
    QThread m_thread;
    QStatusBar *m_statusBar;
    QTimer *m_timer;
    QAction *m_blockIpAction = nullptr;
    QAction *m_disconnectAction = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    QMenu *m_contextMenu = nullptr;
};
