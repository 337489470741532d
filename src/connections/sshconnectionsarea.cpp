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
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

namespace
{
int s_refreshIntervalMs = 2000;

/// Shows a time of today as the time of day alone, others with their date: the columns stay narrow.
class TimeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        if (value.userType() != QMetaType::QDateTime) {
            return QStyledItemDelegate::displayText(value, locale);
        }
        const QDateTime time = value.toDateTime();
        return time.date() == QDate::currentDate() ? locale.toString(time.time(), QLocale::ShortFormat) : locale.toString(time, QLocale::ShortFormat);
    }
};
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
    m_statusBar->setSizeGripEnabled(false);
    ui->verticalLayout->addWidget(m_statusBar);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(SSHConnectionsModel::SortRole);
    // Sized to their contents, headers included; the view scrolls when they do not fit.
    ui->connectionsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->connectionsView->setModel(m_proxy);
    ui->connectionsView->setItemDelegate(new TimeDelegate(ui->connectionsView));
    ui->attemptsView->setItemDelegate(new TimeDelegate(ui->attemptsView));
    ui->connectionsView->sortByColumn(SSHConnectionsModel::ConnectionOpenDateTimeProperty, Qt::DescendingOrder);
    setupAttemptsView();

    connect(m_manager, &SSHConnectionsManager::idleTimeChanged, m_model, &SSHConnectionsModel::updateIdleTime);
    connect(m_manager, &SSHConnectionsManager::connectionOpened, m_model, &SSHConnectionsModel::addConnection);
    connect(m_manager, &SSHConnectionsManager::connectionClosed, m_model, &SSHConnectionsModel::closeConnection);
    connect(m_manager, &SSHConnectionsManager::journalReadable, this, [this, messagesManager](bool readable, const QString &reason) {
        showJournalState(readable, reason, messagesManager);
    });
    connect(m_manager, &SSHConnectionsManager::attemptsChanged, this, [this] {
        m_attemptsModel->setAttempts(m_manager->attempts());
    });

    m_contextMenu = new QMenu(this);
    m_disconnectAction = m_contextMenu->addAction(ui->disconnectButton->text());
    m_blockIpAction = m_contextMenu->addAction(ui->denyConnectionButton->text());
    m_blockAttemptAction = new QAction(ui->denyAttemptButton->text(), ui->attemptsView);
    ui->attemptsView->addAction(m_blockAttemptAction);
    connect(m_disconnectAction, &QAction::triggered, this, [this, messagesManager] {
        disconnectCurrent(messagesManager);
    });
    connect(m_blockIpAction, &QAction::triggered, this, [this, messagesManager] {
        SSHConnectionData connection;
        if (currentConnection(&connection)) {
            blockAddress(connection.address.ip(), messagesManager);
        }
    });
    connect(m_blockAttemptAction, &QAction::triggered, this, [this, messagesManager] {
        blockAddress(selectedAttemptAddress(), messagesManager);
    });
    connect(ui->disconnectButton, &QPushButton::clicked, m_disconnectAction, &QAction::trigger);
    connect(ui->denyConnectionButton, &QPushButton::clicked, m_blockIpAction, &QAction::trigger);
    connect(ui->denyAttemptButton, &QPushButton::clicked, m_blockAttemptAction, &QAction::trigger);
    connect(ui->connectionsView, &QWidget::customContextMenuRequested, this, &SSHConnectionsArea::showContextMenu);
    // What the actions may do changes with the selection and with the rows (a connection closes, an address is denied).
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(ui->connectionsView), static_cast<QAbstractItemView *>(ui->attemptsView)}) {
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SSHConnectionsArea::updateActions);
        connect(view->model(), &QAbstractItemModel::dataChanged, this, &SSHConnectionsArea::updateActions);
        connect(view->model(), &QAbstractItemModel::rowsRemoved, this, &SSHConnectionsArea::updateActions);
        connect(view->model(), &QAbstractItemModel::modelReset, this, &SSHConnectionsArea::updateActions);
    }
    updateActions();

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

void SSHConnectionsArea::setupAttemptsView()
{
    m_attemptsModel = new SSHAttemptsModel(this);
    m_attemptsProxy = new QSortFilterProxyModel(this);
    m_attemptsProxy->setSourceModel(m_attemptsModel);
    QTableView *view = ui->attemptsView;
    view->setModel(m_attemptsProxy);
    view->sortByColumn(SSHAttemptsModel::FailuresColumn, Qt::DescendingOrder);
    // Measured on the rows shown when rows come, not on every refresh of thousands; never narrower than the headers.
    view->horizontalHeader()->setMinimumSectionSize(0);
    connect(m_attemptsModel, &QAbstractItemModel::rowsInserted, view, &QTableView::resizeColumnsToContents);
    connect(m_attemptsModel, &QAbstractItemModel::modelReset, view, &QTableView::resizeColumnsToContents);
    view->resizeColumnsToContents();
}

void SSHConnectionsArea::setDeniedCheck(SSHAttemptsModel::DeniedCheck check)
{
    m_attemptsModel->setDeniedCheck(std::move(check));
    updateActions();
}

SSHAttemptsModel::DenyState SSHConnectionsArea::denyState(const QVariant &writtenLists, const QVariant &changedLists, const QHostAddress &address)
{
    using DenyState = SSHAttemptsModel::DenyState;
    const bool now = isDenied(writtenLists, address);
    const QVariantMap changed = changedLists.toMap();
    const bool applied = changed.contains(QStringLiteral("DenyUsers")) ? isDenied(changed, address) : now;
    if (now == applied) {
        return now ? DenyState::Denied : DenyState::NotDenied;
    }
    return applied ? DenyState::DeniedOnApply : DenyState::AllowedOnApply;
}

bool SSHConnectionsArea::isDenied(const QVariant &accessLists, const QHostAddress &address)
{
    // Keyword to blank-separated "name@host" words, in one string or in a list of them (one per line of the file).
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QVariant denied = accessLists.toMap().value(QStringLiteral("DenyUsers"));
    const QString text = denied.userType() == QMetaType::QStringList ? denied.toStringList().join(QLatin1Char(' ')) : denied.toString();
    const QStringList words = text.split(blanks, Qt::SkipEmptyParts);
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
    // Said once, in the message area; the status bar no longer claims fresh data.
    m_statusBar->clearMessage();
    const QString text = reason.isEmpty() ? i18n("Connections cannot be shown: the system journal sent nothing that could be read.")
                                          : i18n("Connections cannot be shown: the system journal could not be read (%1).", reason);
    if (messagesManager) {
        messagesManager->newMessageById(id, text, KCMOS::Warning);
    }
}

void SSHConnectionsArea::setRefreshIntervalForTesting(int milliseconds)
{
    s_refreshIntervalMs = milliseconds;
}

void SSHConnectionsArea::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Fresh whenever shown, however the page shows it (a window shown again announces it twice).
    if (!m_shown) {
        m_shown = true;
        // Measured again in the style and fonts the page has now.
        ui->attemptsView->resizeColumnsToContents();
        updateData();
        restoreAutoUpdate();
    }
}

void SSHConnectionsArea::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (m_shown) {
        m_shown = false;
        disableAutoUpdate();
    }
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
    m_canDeny = false;
    m_blockIpAction->setVisible(false);
    ui->attemptsView->removeAction(m_blockAttemptAction);
    ui->denyConnectionButton->hide();
    ui->denyAttemptButton->hide();
}

void SSHConnectionsArea::showContextMenu(const QPoint &position)
{
    if (!ui->connectionsView->indexAt(position).isValid()) {
        return;
    }
    updateActions();
    m_contextMenu->popup(ui->connectionsView->viewport()->mapToGlobal(position));
}

bool SSHConnectionsArea::currentConnection(SSHConnectionData *connection) const
{
    const QModelIndexList rows = ui->connectionsView->selectionModel()->selectedRows();
    const QModelIndex index = rows.isEmpty() ? QModelIndex() : m_proxy->mapToSource(rows.constFirst());
    if (!index.isValid()) {
        return false;
    }
    *connection = m_model->connection(index);
    return connection->address.isValid() && connection->syslogPid >= 1 && !connection->user.isEmpty() && connection->openDateTime.isValid();
}

QHostAddress SSHConnectionsArea::selectedAttemptAddress() const
{
    const QModelIndexList rows = ui->attemptsView->selectionModel()->selectedRows();
    return rows.isEmpty() ? QHostAddress() : m_attemptsModel->address(m_attemptsProxy->mapToSource(rows.constFirst()).row());
}

void SSHConnectionsArea::updateActions()
{
    using DenyState = SSHAttemptsModel::DenyState;
    const auto deniable = [this](const QHostAddress &address) {
        const DenyState state = m_attemptsModel->denyState(address);
        return m_canDeny && !address.isNull() && state != DenyState::Denied && state != DenyState::DeniedOnApply;
    };
    SSHConnectionData connection;
    const bool usable = currentConnection(&connection);
    const bool open = usable && connection.closeDateTime.isNull();
    m_disconnectAction->setEnabled(open);
    ui->disconnectButton->setEnabled(open);
    const bool denyConnection = usable && deniable(connection.address.ip());
    m_blockIpAction->setEnabled(denyConnection);
    ui->denyConnectionButton->setEnabled(denyConnection);
    const bool denyAttempt = deniable(selectedAttemptAddress());
    m_blockAttemptAction->setEnabled(denyAttempt);
    ui->denyAttemptButton->setEnabled(denyAttempt);
}

void SSHConnectionsArea::disconnectCurrent(KCMOS::MessagesManager *messagesManager)
{
    SSHConnectionData connection;
    if (!currentConnection(&connection) || !connection.closeDateTime.isNull()) {
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
}

void SSHConnectionsArea::blockAddress(const QHostAddress &address, KCMOS::MessagesManager *messagesManager)
{
    if (address.isNull() || !m_canDeny) {
        return;
    }
    Q_EMIT ipBlocked(address);
    m_attemptsModel->setAttempts(m_manager->attempts()); // shows it denied once applied
    updateActions();
    if (!messagesManager) {
        return;
    }
    // One message, replaced by the next deny and taken back by Apply or Reset.
    KCMOS::MessageWidget *message = messagesManager->newMessageById(
        QStringLiteral("connections_deny"),
        i18n("A deny entry for %1 was added to the <a href=\"access\">access list</a>. Press Apply to write it; connections from %1 are refused from then on.",
             address.toString()),
        KCMOS::Information);
    connect(message, &KCMOS::MessageWidget::linkActivated, this, &SSHConnectionsArea::focusOnAccessArea);
}
