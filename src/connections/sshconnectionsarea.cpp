// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsarea.h"
#include "sshattemptsmodel.h"
#include "sshdmatch.h"
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
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

namespace
{
int s_refreshIntervalMs = 2000;
}

SSHConnectionsArea::SSHConnectionsArea(KCMOS::MessagesManager *messagesManager, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::SSHConnectionsArea>())
    , m_manager(new SSHConnectionsManager(this))
    , m_model(new SSHConnectionsModel(this))
    , m_statusBar(new QStatusBar(this))
    , m_timer(new QTimer)
{
    ui->setupUi(this);
    setupAttemptsView(messagesManager);
    ui->verticalLayout->addWidget(m_statusBar);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    ui->connectionsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_model, &QAbstractItemModel::rowsInserted, ui->connectionsView, &QTableView::resizeColumnsToContents);
    ui->connectionsView->setModel(m_proxy);

    connect(m_manager, &SSHConnectionsManager::idleTimeChanged, m_model, &SSHConnectionsModel::updateIdleTime);
    connect(m_manager, &SSHConnectionsManager::connectionOpened, m_model, &SSHConnectionsModel::addConnection);
    connect(m_manager, &SSHConnectionsManager::connectionClosed, m_model, &SSHConnectionsModel::removeConnection);
    connect(m_manager, &SSHConnectionsManager::journalReadable, this, [this, messagesManager](bool readable, const QString &reason) {
        showJournalState(readable, reason, messagesManager);
    });
    connect(m_manager, &SSHConnectionsManager::attemptsChanged, this, [this] {
        m_attemptsModel->setAttempts(m_manager->attempts());
    });

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
    m_timer->setInterval(s_refreshIntervalMs);
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

void SSHConnectionsArea::setupAttemptsView(KCMOS::MessagesManager *messagesManager)
{
    m_attemptsModel = new SSHAttemptsModel(this);
    auto *proxy = new QSortFilterProxyModel(this);
    proxy->setSourceModel(m_attemptsModel);
    m_attemptsView = new QTableView(this);
    m_attemptsView->setObjectName(QStringLiteral("attemptsView"));
    m_attemptsView->setModel(proxy);
    m_attemptsView->setSortingEnabled(true);
    m_attemptsView->sortByColumn(SSHAttemptsModel::FailuresColumn, Qt::DescendingOrder);
    m_attemptsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_attemptsView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_attemptsView->verticalHeader()->setVisible(false);
    m_attemptsView->horizontalHeader()->setStretchLastSection(true);
    // Measured on the rows shown when rows come, not on every refresh of thousands.
    connect(m_attemptsModel, &QAbstractItemModel::rowsInserted, m_attemptsView, &QTableView::resizeColumnsToContents);
    connect(m_attemptsModel, &QAbstractItemModel::modelReset, m_attemptsView, &QTableView::resizeColumnsToContents);
    m_attemptsView->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *block = new QAction(i18n("Block IP"), m_attemptsView);
    m_attemptsView->addAction(block);
    connect(block, &QAction::triggered, this, [this, proxy, messagesManager] {
        const QModelIndex current = proxy->mapToSource(m_attemptsView->currentIndex());
        const QHostAddress address = current.isValid() ? m_attemptsModel->address(current.row()) : QHostAddress();
        if (!address.isNull()) {
            blockAddress(address, messagesManager);
        }
    });
    m_blockAttemptAction = block;
    auto *title = new QLabel(i18nc("@title:table", "Failed attempts over this boot"), this);
    ui->verticalLayout->setStretch(0, 3);
    ui->verticalLayout->addWidget(title);
    ui->verticalLayout->addWidget(m_attemptsView, 2);
}

void SSHConnectionsArea::setDeniedCheck(std::function<bool(const QHostAddress &)> check)
{
    m_attemptsModel->setDeniedCheck(std::move(check));
}

bool SSHConnectionsArea::isDenied(const QVariant &accessLists, const QHostAddress &address)
{
    // The access area's lists: keyword to blank-separated "name@host" words.
    const QVariant denied = accessLists.toMap().value(QStringLiteral("DenyUsers"));
    const QStringList words =
        denied.userType() == QMetaType::QStringList ? denied.toStringList() : denied.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const int at = word.lastIndexOf(QLatin1Char('@'));
        // Denied to everyone: any user, from hosts that take in the address.
        if (at >= 0 && word.left(at) == QLatin1String("*") && SshdMatch::hosts(address.toString(), word.mid(at + 1)) == 1) {
            return true;
        }
    }
    return false;
}

void SSHConnectionsArea::updateData()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_manager->readConnections();
    m_manager->readIdleTime(m_model->connections());
    if (!m_journalUnreadable) {
        m_statusBar->showMessage(i18n("Updated at %1", QLocale().toString(now.time(), QLocale::ShortFormat)));
    }
}

void SSHConnectionsArea::showJournalState(bool readable, const QString &reason, KCMOS::MessagesManager *messagesManager)
{
    const QString id = QStringLiteral("journal_id");
    if (readable == !m_journalUnreadable) {
        return; // said already
    }
    m_journalUnreadable = !readable;
    if (readable) {
        if (messagesManager) {
            messagesManager->removeMessageById(id);
        }
        return;
    }
    const QString text = reason.isEmpty() ? i18n("Connections cannot be shown: the system journal sent nothing that could be read.")
                                          : i18n("Connections cannot be shown: the system journal could not be read (%1).", reason);
    m_statusBar->showMessage(i18n("The journal cannot be read since %1", QLocale().toString(QTime::currentTime(), QLocale::ShortFormat)));
    if (messagesManager) {
        messagesManager->newMessageById(id, text, KCMOS::Warning);
    }
}

void SSHConnectionsArea::setRefreshIntervalForTesting(int milliseconds)
{
    s_refreshIntervalMs = milliseconds;
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
    m_attemptsView->removeAction(m_blockAttemptAction);
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
    QMessageBox question(QMessageBox::Question,
                         i18nc("@title:window", "Disconnect"),
                         i18n("End the SSH session of %1 from %2?", connection.user, connection.address.ip().toString()),
                         QMessageBox::NoButton,
                         this);
    QPushButton *disconnect = question.addButton(i18nc("@action:button end the SSH session", "Disconnect"), QMessageBox::AcceptRole);
    question.setDefaultButton(question.addButton(QMessageBox::Cancel));
    question.exec();
    if (question.clickedButton() != disconnect) {
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
    blockAddress(connection.address.ip(), messagesManager);
}

void SSHConnectionsArea::blockAddress(const QHostAddress &address, KCMOS::MessagesManager *messagesManager)
{
    Q_EMIT ipBlocked(address);
    m_attemptsModel->setAttempts(m_manager->attempts()); // shows it denied
    if (!messagesManager) {
        return;
    }
    KCMOS::MessageWidget *message = messagesManager->newMessage(i18n("IP address added to the <a href=\"forbidden\">denied list</a>.\nFuture "
                                                                     "connections from this address will be blocked.\nPress Apply to write the change."),
                                                                KCMOS::Information,
                                                                QString(),
                                                                KCMOS::Normal);
    connect(message, &KCMOS::MessageWidget::linkActivated, this, &SSHConnectionsArea::focusOnAccessArea);
}
