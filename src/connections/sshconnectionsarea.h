// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QThread>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSortFilterProxyModel;
class QStatusBar;
class QTableView;
class QTimer;
class SSHAttemptsModel;
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
 * The "Connections" tab: the SSH connections of the current boot and, below
 * them, the failed attempts per address, refreshed every two seconds while the
 * tab is shown, with context menus to disconnect a connection or to deny an
 * address.
 */
class SSHConnectionsArea : public QWidget
{
    Q_OBJECT
public:
    SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent);
    ~SSHConnectionsArea() override;

    /// Tells the failed-attempts view which addresses are denied already.
    void setDeniedCheck(std::function<bool(const QHostAddress &)> check);
    /// True when the access lists (keyword to "name@host" words) deny any user from the address.
    static bool isDenied(const QVariant &accessLists, const QHostAddress &address);
    /// The refresh interval of the areas made from now on (two seconds unless a test sets another).
    static void setRefreshIntervalForTesting(int milliseconds);

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
    /// Hides "Block IP" from the context menus.
    void disableBlockIpAction();

private:
    void showContextMenu(const QPoint &position);
    /// The connection of the view's current row, when it is one an action may act on.
    bool currentConnection(SSHConnectionData *connection) const;
    void disconnectCurrent(KCMOS::MessagesManager *messagesManager);
    void blockCurrent(KCMOS::MessagesManager *messagesManager);
    void blockAddress(const QHostAddress &address, KCMOS::MessagesManager *messagesManager);
    void setupAttemptsView(KCMOS::MessagesManager *messagesManager);
    /// Says once when and why the journal cannot be read, and takes the message back once it can.
    void showJournalState(bool readable, const QString &reason, KCMOS::MessagesManager *messagesManager);

    std::unique_ptr<Ui::SSHConnectionsArea> ui;
    SSHConnectionsManager *m_manager;
    SSHConnectionsModel *m_model;
    QThread m_thread;
    QStatusBar *m_statusBar;
    QTimer *m_timer;
    bool m_journalUnreadable = false;
    QAction *m_blockIpAction = nullptr;
    QAction *m_disconnectAction = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    QMenu *m_contextMenu = nullptr;
    SSHAttemptsModel *m_attemptsModel = nullptr;
    QTableView *m_attemptsView = nullptr;
    QAction *m_blockAttemptAction = nullptr;
};
