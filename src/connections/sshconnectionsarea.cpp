// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsarea.h"
#include "ui_SSHConnectionsArea.h"

#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsmanager.h"
#include "sshconnectionsmodel.h"

#include <KLocalizedString>

#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTimer>

namespace
{
constexpr int RefreshIntervalMs = 2000;
}

SSHConnectionsArea::SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::SSHConnectionsArea>()), m_manager(new SSHConnectionsManager(this)), m_model(new SSHConnectionsModel(this)),
      m_statusBar(new QStatusBar(this)), m_timer(new QTimer)
{
    ui->setupUi(this);
    ui->verticalLayout->addWidget(m_statusBar);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    ui->connectionsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->connectionsView->setModel(m_proxy);

    connect(m_manager, &SSHConnectionsManager::idleTimeChanged, m_model, &SSHConnectionsModel::updateIdleTime);
    connect(m_manager, &SSHConnectionsManager::connectionOpened, m_model, &SSHConnectionsModel::addConnection);
    connect(m_manager, &SSHConnectionsManager::connectionClosed, m_model, &SSHConnectionsModel::removeConnection);

    m_contextMenu = new QMenu(this);
    m_disconnectAction = m_contextMenu->addAction(i18n("Disconnect"));
    m_disconnectAction->setShortcut(QKeySequence());
    m_blockIpAction = m_contextMenu->addAction(i18n("Block IP"));
    m_blockIpAction->setShortcut(QKeySequence());
    connect(m_disconnectAction, &QAction::triggered, this, [this, messagesManager] {
        disconnectCurrent(messagesManager);
    });
    connect(m_blockIpAction, &QAction::triggered, this, [this, messagesManager] {
        blockCurrent(messagesManager);
    });
    ui->connectionsView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->connectionsView, &QWidget::customContextMenuRequested, this, &SSHConnectionsArea::showContextMenu);

    // The timer ticks in its own thread; its timeouts reach updateData() on
    // the GUI thread, where the area lives, as queued calls.
    m_timer->setInterval(RefreshIntervalMs);
    m_timer->moveToThread(&m_thread);
    connect(m_timer, &QTimer::timeout, this, &SSHConnectionsArea::updateData);
    connect(&m_thread, &QThread::finished, m_timer, &QObject::deleteLater);
    m_thread.start();
}

SSHConnectionsArea::~SSHConnectionsArea()
{
    ui.reset();
    // The timer is deleted in its own thread when the thread finishes.
    m_thread.quit();
    m_thread.wait();
}

void SSHConnectionsArea::updateData()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_manager->readConnections();
    m_manager->readIdleTime(m_model->connections());
    m_statusBar->showMessage(i18n("Updated at %1", now.toString(Qt::TextDate)));
}

void SSHConnectionsArea::disableAutoUpdate()
{
    QTimer *timer = m_timer;
    QMetaObject::invokeMethod(
        timer,
        [timer] {
            timer->stop();
        },
        Qt::QueuedConnection);
}

void SSHConnectionsArea::restoreAutoUpdate()
{
    QTimer *timer = m_timer;
    QMetaObject::invokeMethod(
        timer,
        [timer] {
            timer->start();
        },
        Qt::QueuedConnection);
}

void SSHConnectionsArea::disableBlockIpAction()
{
    m_blockIpAction->setVisible(false);
}

void SSHConnectionsArea::showContextMenu(const QPoint &position)
{
    const QModelIndex index = ui->connectionsView->indexAt(position);
    if (!index.isValid()) {
        return;
    }
    const SSHConnectionData connection = m_model->connection(m_proxy->mapToSource(index));
    m_disconnectAction->setVisible(connection.closeDateTime.isNull());
    m_contextMenu->popup(ui->connectionsView->viewport()->mapToGlobal(position));
}

bool SSHConnectionsArea::currentConnection(SSHConnectionData *connection) const
{
    const QModelIndex index = m_proxy->mapToSource(ui->connectionsView->currentIndex());
    if (!index.isValid()) {
        return false;
    }
    *connection = m_model->connection(index);
    return connection->address.isValid() && connection->syslogPid >= 1 && !connection->user.isEmpty() && connection->openDateTime.isValid();
}

void SSHConnectionsArea::disconnectCurrent(KCMOS::MessagesManager *messagesManager)
{
    SSHConnectionData connection;
    if (!currentConnection(&connection)) {
        return;
    }
    m_manager->killConnection(connection, messagesManager);
    m_manager->readConnections();
}

void SSHConnectionsArea::blockCurrent(KCMOS::MessagesManager *messagesManager)
{
    SSHConnectionData connection;
    if (!currentConnection(&connection)) {
        return;
    }
    Q_EMIT ipBlocked(connection.address.ip());
    if (!messagesManager) {
        return;
    }
    KCMOS::MessageWidget *message = messagesManager->newMessage(
        i18n("IP-address added into <a href=\"forbidden\"><span style=\" text-decoration: underline; color:#007af4;\">forbidden list</span></a>.\nFuture "
             "connections from this address will be blocked.\nClick 'Apply' button to apply changes."),
        KCMOS::Information, QString(), KCMOS::Normal);
    connect(message, &KCMOS::MessageWidget::linkActivated, this, &SSHConnectionsArea::focusOnAccessArea);
}
