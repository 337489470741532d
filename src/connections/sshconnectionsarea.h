// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshattemptsmodel.h"

#include <QHostAddress>
#include <QThread>
#include <QWidget>

#include <functional>
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
 * The "Connections" tab: the SSH connections of the current boot, open and
 * closed, and, below them, the failed logins per address, refreshed every two
 * seconds while the tab is shown. The selected connection can be ended and the
 * selected address denied, with the buttons below each view or their context
 * menus.
 */
class SSHConnectionsArea : public QWidget
{
    Q_OBJECT
public:
    SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent);
    ~SSHConnectionsArea() override;

    /// Tells which addresses are denied already, or will be once applied.
    void setDeniedCheck(SSHAttemptsModel::DeniedCheck check);
    /// True when the access lists (keyword to "name@host" words) deny any user from the address.
    static bool isDenied(const QVariant &accessLists, const QHostAddress &address);
    /// How the address is denied by the lists as written and with the changes not written yet (the keywords that differ).
    static SSHAttemptsModel::DenyState denyState(const QVariant &writtenLists, const QVariant &changedLists, const QHostAddress &address);
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
    /// Hides the actions that deny an address: there is no access list to add to.
    void disableBlockIpAction();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showContextMenu(const QPoint &position);
    /// The connection of the view's selected row, when it is one an action may act on.
    bool currentConnection(SSHConnectionData *connection) const;
    /// The address of the failed-logins view's selected row; null without one.
    QHostAddress selectedAttemptAddress() const;
    /// Enables the actions and their buttons for what is selected.
    void updateActions();
    void disconnectCurrent(KCMOS::MessagesManager *messagesManager);
    void blockAddress(const QHostAddress &address, KCMOS::MessagesManager *messagesManager);
    void setupAttemptsView();
    /// Says once when and why the journal cannot be read, and takes the message back once it can.
    void showJournalState(bool readable, const QString &reason, KCMOS::MessagesManager *messagesManager);

    std::unique_ptr<Ui::SSHConnectionsArea> ui;
    SSHConnectionsManager *m_manager;
    SSHConnectionsModel *m_model;
    QThread m_thread;
    QStatusBar *m_statusBar;
    QTimer *m_timer;
    bool m_journalUnreadable = false;
    bool m_shown = false; ///< refreshed by the timer
    bool m_canDeny = true; ///< there is an access list to add deny entries to
    QAction *m_blockIpAction = nullptr;
    QAction *m_disconnectAction = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    QMenu *m_contextMenu = nullptr;
    SSHAttemptsModel *m_attemptsModel = nullptr;
    QSortFilterProxyModel *m_attemptsProxy = nullptr;
    QAction *m_blockAttemptAction = nullptr;
};
