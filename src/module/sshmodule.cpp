// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmodule.h"
#include "module_debug.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "addressfamilyarea.h"
#include "factorymanager.h"
#include "formaccessibility.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "revertcountdown.h"
#include "reviewdialog.h"
#include "sshconnectionsarea.h"
#include "sshmanager.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"
#include "statewidget.h"
#include "usergroupaccessarea.h"

#include <KAcceleratorManager>
#include <KConfigGroup>
#include <KLocalizedString>
#include <KMessageBox>
#include <KSharedConfig>

#include <QAction>
#include <QCheckBox>
#include <QDebug>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyle>

#include <algorithm>
#include <memory>
#include <vector>

SSHModule::SSHModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args) : KCMOS::OrbisKCModule(parent, args), ui(new Ui::SSHModule)
{
    ui->setupUi(widget());
    // Hosts size their window from the page's minimum size (KF5) or its size hint (KF6),
    // before the first load fills the tabs: keep the form's own size for both.
    const QSize formSize = widget()->size();
    widget()->setMinimumSize(formSize);
    ui->configureSwitcher->setMinimumSize(formSize.width(), formSize.height() - ui->horizontalLayout_3->sizeHint().height());
    setButtons(Help | Default | Apply);
}

SSHModule::~SSHModule()
{
    if (m_window) {
        m_window->removeEventFilter(this);
    }
    // The page goes away (closed, or the host moved on) with a countdown that nobody was asked about.
    if (m_countdown && !m_countdownAsked) {
        askAboutCountdown(nullptr);
    }
    delete ui;
}

bool SSHModule::eventFilter(QObject *watched, QEvent *event)
{
    // A close, or a hide that is no minimising (a dialog's Cancel), of the window ends the page.
    const bool closing = event->type() == QEvent::Close || (event->type() == QEvent::Hide && !event->spontaneous());
    if (watched == m_window && closing && m_countdown && !m_countdownAsked) {
        askAboutCountdown(m_window);
    }
    return KCMOS::OrbisKCModule::eventFilter(watched, event);
}

void SSHModule::access()
{
    stateWidget()->resetState();
    // The page lives in the host's window by now: its closing is watched.
    if (widget()->window() != m_window) {
        if (m_window) {
            m_window->removeEventFilter(this);
        }
        m_window = widget()->window();
        m_window->installEventFilter(this);
    }
    if (!m_manager) {
        initManagers();
        createOptionAreas();
        stretchUiAndViewSwitch();
        setupSshServerStatus();
        createConnectionsTab();
        updateOriginIndicators();
        if (m_refused) {
            setPermissionRefused(true);
        }
        return;
    }
    resetValues();
}

void SSHModule::initManagers()
{
    m_manager = new SSHManager(this);
    // Known at once, so that no area ever shows the built-in defaults as if they had been read.
    connect(m_manager, &SSHManager::error, this, [this](const QString &, SSHCodeError code) {
        m_refused = m_refused || code == AuthorizationRefused;
    });
    connect(m_manager, &SSHManager::error, this, &SSHModule::handleManagerError, Qt::QueuedConnection);
    m_manager->initializeConfigurations(true);
    m_factoryManager = new FactoryManager(m_manager, this);
}

void SSHModule::createOptionAreas()
{
    const SSHOptions options = m_manager->allOptions();
    for (const QPointer<SSHOption> &option : options) {
        if (!option) {
            continue;
        }
        m_factoryManager->initializeOptionArea(*option, widget());
        if (AbstractOptionArea *area = m_factoryManager->getAreaById(option->id())) {
            configureChangeHandlers(option, area);
        }
    }
    configureLayoutWidgets();
    // The address-family check asks the listen-address area for the list it shows at the time.
    auto *family = qobject_cast<AddressFamilyArea *>(m_factoryManager->getAreaById(SSHOption::AddressFamily));
    AbstractOptionArea *listen = m_factoryManager->getAreaById(SSHOption::ListenAddress);
    if (family && listen) {
        family->setAddressSource([listen] {
            return listen->value().toStringList();
        });
    }
}

void SSHModule::configureLayoutWidgets()
{
    addWidgetsToLayout(ui->vboxGeneral,
                       {SSHOption::Port, SSHOption::LoginGraceTime, SSHOption::MaxSessions, SSHOption::PermitTunnel, SSHOption::AddressFamily,
                        SSHOption::X11Forwarding, SSHOption::ListenAddress, SSHOption::AllowDenyUsersGroups});
    addWidgetsToLayout(ui->vboxAuth,
                       {SSHOption::PermitRootLogin, SSHOption::PermitEmptyPasswords, SSHOption::UsePAM, SSHOption::GSSAPIAuthentication,
                        SSHOption::HostbasedAuthentication, SSHOption::KbdInteractiveAuthentication, SSHOption::KerberosAuthentication,
                        SSHOption::PasswordAuthentication, SSHOption::IgnoreUserKnownHosts, SSHOption::IgnoreRhosts, SSHOption::PubkeyAuthentication,
                        SSHOption::AuthorizedKeysFile});
    addWidgetsToLayout(ui->vboxOther,
                       {SSHOption::UseDNS, SSHOption::TCPKeepAlive, SSHOption::PrintLastLog, SSHOption::PrintMotd, SSHOption::Subsystem, SSHOption::Banner});
    addWidgetsToLayout(ui->vboxClientTab, {SSHOption::ClientPort, SSHOption::ServerAliveCountMax, SSHOption::ServerAliveInterval});
    for (QVBoxLayout *layout : {ui->vboxGeneral, ui->vboxAuth, ui->vboxOther, ui->vboxClientTab}) {
        alignFormColumns(layout);
    }
    // Tab follows the screen; every label with a buddy, every check box, button and tab gets an Alt shortcut.
    QWidget *page = ui->configureSwitcher->parentWidget();
    FormAccessibility::orderTabsByLayout(page);
    KAcceleratorManager::manage(page);
}

void SSHModule::alignFormColumns(QVBoxLayout *layout) const
{
    QList<AbstractOptionArea *> areas;
    for (int i = 0; i < layout->count(); ++i) {
        // An area, or the row that holds an area and its origin indicator.
        QWidget *widget = layout->itemAt(i)->widget();
        auto *area = qobject_cast<AbstractOptionArea *>(widget);
        if (!area && widget) {
            area = widget->findChild<AbstractOptionArea *>(QString(), Qt::FindDirectChildrenOnly);
        }
        if (area) {
            areas.append(area);
        }
    }
    auto labelOf = [](const AbstractOptionArea *area) -> QLabel * {
        const auto labels = area->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        for (QLabel *label : labels) {
            if (label->objectName() == QLatin1String("label") || label->objectName() == QLatin1String("nameLabel")) {
                return label;
            }
        }
        return nullptr;
    };
    int column = 0;
    for (const AbstractOptionArea *area : std::as_const(areas)) {
        if (QLabel *label = labelOf(area)) {
            if (!label->text().endsWith(QLatin1Char(':'))) {
                label->setText(i18nc("@label a form label, %1 is its text", "%1:", label->text()));
            }
            column = std::max(column, label->sizeHint().width());
        }
    }
    const int spacing = ui->configureSwitcher->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    for (AbstractOptionArea *area : std::as_const(areas)) {
        QLayout *own = area->layout();
        if (!own) {
            continue;
        }
        const QMargins margins = own->contentsMargins();
        if (QLabel *label = labelOf(area)) {
            label->setFixedWidth(column);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (!label->buddy()) {
                const auto fields = area->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
                for (QWidget *field : fields) {
                    if (field != label && (field->focusPolicy() & Qt::TabFocus)) {
                        label->setBuddy(field);
                        break;
                    }
                }
            }
            own->setContentsMargins(6, margins.top(), margins.right(), margins.bottom());
        } else if (area->findChild<QCheckBox *>(QStringLiteral("checkBox"), Qt::FindDirectChildrenOnly)) {
            own->setContentsMargins(6 + column + spacing, margins.top(), margins.right(), margins.bottom());
        }
    }
}

void SSHModule::addWidgetsToLayout(QVBoxLayout *layout, std::initializer_list<SSHOption::Id> ids)
{
    for (const SSHOption::Id id : ids) {
        if (AbstractOptionArea *area = m_factoryManager->getAreaById(id)) {
            // Beside each option, a sign when its value comes from elsewhere than the main file.
            auto *row = new QWidget(widget());
            auto *rowLayout = new QHBoxLayout(row);
            rowLayout->setContentsMargins(0, 0, 0, 0);
            rowLayout->addWidget(area->inflate(), 1);
            auto *indicator = new QLabel(row);
            indicator->setObjectName(QStringLiteral("originIndicator"));
            const int size = widget()->style()->pixelMetric(QStyle::PM_SmallIconSize);
            indicator->setPixmap(QIcon::fromTheme(QStringLiteral("document-open"), widget()->style()->standardIcon(QStyle::SP_FileIcon)).pixmap(size, size));
            indicator->setAlignment(Qt::AlignTop);
            indicator->hide();
            rowLayout->addWidget(indicator, 0, Qt::AlignTop);
            m_originIndicators.insert(id, indicator);
            layout->addWidget(row);
        }
    }
}

void SSHModule::configureChangeHandlers(QPointer<SSHOption> option, AbstractOptionArea *area)
{
    if (!option->hasSubOptions()) {
        connect(option, &SSHOption::valueChanged, area, [this, area](const QVariant &value) {
            area->updateArea(value);
            handlerChangeTrigger();
        });
    } else {
        connect(option, &SSHOption::subOptionsChanged, area, [this, area](const SSHOptions &subOptions) {
            area->updateArea(subOptions);
            handlerChangeTrigger();
        });
    }
    connect(area, &AbstractOptionArea::modify, this, &SSHModule::handlerChangeTrigger);
}

void SSHModule::stretchUiAndViewSwitch()
{
    for (QVBoxLayout *layout : {ui->vboxClientTab, ui->vboxGeneral, ui->vboxAuth, ui->vboxOther}) {
        layout->addStretch();
    }
    connect(ui->comboBoxSshConfig, qOverload<int>(&QComboBox::currentIndexChanged), ui->configureSwitcher, &QStackedWidget::setCurrentIndex);
    // Shortcuts are given to what is shown: the page switched to gets its own.
    connect(ui->configureSwitcher, &QStackedWidget::currentChanged, this, [this] {
        KAcceleratorManager::manage(widget());
    });
}

void SSHModule::createConnectionsTab()
{
    auto *connectionsArea = new SSHConnectionsArea(messagesManager(), widget());
    ui->vboxConnections->addWidget(connectionsArea);
    connect(ui->tabWidgetServer, &QTabWidget::currentChanged, connectionsArea, [this, connectionsArea] {
        if (ui->tabWidgetServer->currentWidget() == ui->connectionsTab) {
            connectionsArea->updateData();
            connectionsArea->restoreAutoUpdate();
        } else {
            connectionsArea->disableAutoUpdate();
        }
    });
    auto *accessArea = qobject_cast<UserGroupAccessArea *>(m_factoryManager->getAreaById(SSHOption::AllowDenyUsersGroups));
    if (!accessArea) {
        qCWarning(SSHSETTINGS_MODULE) << "AllowDenyUsersGroups area is not UserGroupAccessArea, cannot block IPs in SSHConnectionsArea";
        connectionsArea->disableBlockIpAction();
        return;
    }
    connect(connectionsArea, &SSHConnectionsArea::ipBlocked, accessArea, &UserGroupAccessArea::blockIp);
    connectionsArea->setDeniedCheck([accessArea](const QHostAddress &ip) {
        return SSHConnectionsArea::isDenied(accessArea->value(), ip);
    });
    connect(connectionsArea, &SSHConnectionsArea::focusOnAccessArea, accessArea, [this, accessArea] {
        ui->comboBoxSshConfig->setCurrentIndex(0);
        ui->tabWidgetServer->setCurrentWidget(ui->generalTab);
        accessArea->expandSettings();
    });
}

void SSHModule::change()
{
    // The host's buttons stay live while a privileged job waits in its event loop.
    if (m_running) {
        return;
    }
    const QScopedValueRollback<bool> running(m_running, true);
    stateWidget()->waitState(KCMOS::Busy);
    // Each configuration's changes go to the helper as one transaction.
    QMap<SSHConfigurationTypeId, Transaction> transactions;
    bool anyFailed = false;
    QList<SSHConfigurationTypeId> written;
    QList<AbstractOptionArea *> failed;
    const auto areas = m_factoryManager ? m_factoryManager->areas() : QMap<SSHOption::Id, AbstractOptionArea *>();
    for (AbstractOptionArea *area : areas) {
        if (!area->hasChanged()) {
            continue;
        }
        auto copy = std::make_shared<SSHOption>(area->option());
        const QString id = QStringLiteral("change_") + copy->nameWithConfigType();
        if (copy->hasSubOptions() && area->value().toMap().isEmpty()) {
            area->replaceOption(*copy); // the same lists in another order: nothing to write
            continue;
        }
        if (!area->validate()) {
            anyFailed = true;
            failed.append(area);
            messagesManager()->newMessageById(id, i18n("%1 was not applied: %2", copy->displayName(), area->validationError()), KCMOS::Error);
            continue;
        }
        messagesManager()->removeMessageById(id);
        Transaction &transaction = transactions[copy->configureId()];
        if (copy->hasSubOptions()) {
            // Only the lists that changed are in the value.
            const QVariantMap values = area->value().toMap();
            const SSHOptions subOptions = copy->subOptions();
            for (const QPointer<SSHOption> &subOption : subOptions) {
                if (subOption && values.contains(subOption->name())) {
                    transaction.changes.append({subOption, values.value(subOption->name()).toString()});
                }
            }
        } else {
            transaction.changes.append({copy.get(), area->value()});
        }
        transaction.areas.append({area, copy});
    }
    bool anyChanged = false;
    bool anyUnknown = false;
    QList<AbstractOptionArea *> unknown;
    for (auto it = transactions.begin(); it != transactions.end(); ++it) {
        const Outcome outcome = applyTransaction(it.key(), it.value());
        anyChanged = anyChanged || outcome == Outcome::Applied;
        anyFailed = anyFailed || outcome == Outcome::NotApplied;
        anyUnknown = anyUnknown || outcome == Outcome::Unknown;
        if (outcome != Outcome::NotApplied) {
            written.append(it.key());
        }
        for (const auto &entry : it.value().areas) {
            if (outcome == Outcome::NotApplied) {
                failed.append(entry.first);
            } else if (outcome == Outcome::Unknown) {
                unknown.append(entry.first);
            }
        }
    }
    // What was (or may have been) written is read back; what failed keeps its edit, still changed.
    reloadAfterApply(written, failed);
    for (AbstractOptionArea *area : std::as_const(unknown)) {
        area->reset(); // shows what was read, written or not
        area->setHasChanged(false);
    }
    if (anyChanged || anyUnknown) {
        updateOriginIndicators();
        handlerChangeTrigger();
    }
    if (anyChanged) {
        // Beside a failure, the success names only the rest.
        messagesManager()->newMessageById(QStringLiteral("success_change_id"),
                                          anyFailed || anyUnknown ? i18n("The other changes were applied.") : i18n("Changes applied successfully"),
                                          KCMOS::Positive);
    } else {
        messagesManager()->removeMessageById(QStringLiteral("success_change_id"));
    }
    if (anyFailed) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                markAsChanged();
            },
            Qt::QueuedConnection);
    }
    stateWidget()->resetState();
}

SSHModule::Outcome SSHModule::applyTransaction(SSHConfigurationTypeId type, const Transaction &transaction)
{
    const QString id = type == Server ? QStringLiteral("transaction_server") : QStringLiteral("transaction_client");
    const KLocalizedString failure = type == Server ? ki18n("The server settings were not applied: %1") : ki18n("The client settings were not applied: %1");
    // What the server's change writes is shown first: the dry run of the very same transaction.
    // "Do not show this again" skips only the reviews that warn of nothing.
    if (type == Server) {
        const SSHManager::Review review = m_manager->review(type, transaction.changes, qEnvironmentVariable("SSH_CONNECTION"));
        if (!review.ok) {
            messagesManager()->newMessageById(id, failure.subs(review.reason).toString(), KCMOS::Error);
            return Outcome::NotApplied;
        }
        const bool warns = !ReviewDialog::lockoutWarnings(review).isEmpty();
        if (!review.diffs.isEmpty() && (warns || KMessageBox::shouldBeShownContinue(ReviewDialog::DontAskAgainName))) {
            ReviewDialog dialog(review, widget());
            if (dialog.exec() != QDialog::Accepted) {
                messagesManager()->removeMessageById(id);
                return Outcome::NotApplied;
            }
            if (dialog.dontShowAgain()) {
                KMessageBox::saveDontShowAgainContinue(ReviewDialog::DontAskAgainName);
            }
        }
    }
    const int revertAfter = type == Server ? revertAfterSeconds() : 0;
    const QVariantMap before = serverValues();
    QString token;
    QString reason;
    SSHManager::ApplyDetails details;
    if (!m_manager->apply(type, transaction.changes, revertAfter, &token, &reason, &details)) {
        if (!details.outcomeUnknown) {
            messagesManager()->newMessageById(id, failure.subs(reason).toString(), KCMOS::Error);
            return Outcome::NotApplied;
        }
        // A running countdown keeps its token, which still names the pending changes.
        QString text = i18n("The result of the change is not known; the settings shown were read again.");
        if (revertAfter > 0 && !m_countdown) {
            text += QLatin1Char(' ') +
                i18np("If it was written, it is undone after %1 second unless it is kept: “ssh-settings-tool pending” lists it, "
                      "“ssh-settings-tool confirm” keeps it.",
                      "If it was written, it is undone after %1 seconds unless it is kept: “ssh-settings-tool pending” lists it, "
                      "“ssh-settings-tool confirm” keeps it.",
                      revertAfter);
        }
        messagesManager()->newMessageById(id, text, KCMOS::Warning);
        return Outcome::Unknown;
    }
    messagesManager()->removeMessageById(id);
    for (const auto &[area, option] : transaction.areas) {
        area->replaceOption(*option);
    }
    if (!token.isEmpty()) {
        // Joined pending changes the page did not make (ssh-settings-tool, another session): Keep and Revert act on them too.
        if (!m_countdown) {
            m_joinedOthers = details.joinedPending;
        }
        startRevertCountdown(token, revertAfter, details.unanswered, before);
    } else if (!details.unanswered.isEmpty()) {
        messagesManager()->newMessageById(QStringLiteral("unanswered_id"), unansweredText(details.unanswered), KCMOS::Warning);
    } else {
        messagesManager()->removeMessageById(QStringLiteral("unanswered_id"));
    }
    return Outcome::Applied;
}

int SSHModule::revertAfterSeconds()
{
    const KConfigGroup group(KSharedConfig::openConfig(QStringLiteral("kcm_sshsettingsrc")), QStringLiteral("Apply"));
    return qBound(0, group.readEntry("RevertAfterSeconds", 60), SSHSettings::Protocol::MaxRevertAfter);
}

void SSHModule::startRevertCountdown(const QString &token, int seconds, const QStringList &unanswered, const QVariantMap &before)
{
    // One countdown: a change that joined the pending ones restarts it under the token that names them all.
    if (m_countdown) {
        m_countdown->restart(token, seconds);
    } else {
        m_beforeCountdown = before;
        m_countdown = new RevertCountdown(token, seconds, this);
        connect(m_countdown, &RevertCountdown::remainingChanged, this, &SSHModule::showCountdownMessage);
        connect(m_countdown, &RevertCountdown::expired, this, [this] {
            finishRevertCountdown(CountdownEnd::Expired);
        });
    }
    m_unanswered = unanswered;
    m_countdownAsked = false;
    messagesManager()->removeMessageById(QStringLiteral("unanswered_id"));
    showCountdownMessage();
}

void SSHModule::showCountdownMessage()
{
    if (!m_countdown) {
        return;
    }
    QString text = i18np("Keep these settings? They will be reverted in %1 second.", "Keep these settings? They will be reverted in %1 seconds.",
                         m_countdown->remaining());
    if (m_joinedOthers) {
        text += QLatin1Char(' ') + i18n("Changes made elsewhere were waiting to be kept too: Keep and Revert Now act on all of them.");
    }
    if (!m_unanswered.isEmpty()) {
        text += QLatin1Char(' ') + unansweredText(m_unanswered);
    }
    if (m_countdownMessage) {
        m_countdownMessage->setText(text);
        return;
    }
    m_countdownMessage = messagesManager()->newMessageById(QStringLiteral("revert_countdown"), text, KCMOS::Warning);
    m_countdownMessage->setObjectName(QStringLiteral("revertCountdown"));
    // Keep and Revert Now stay until one of them, or the end of the countdown, answers.
    m_countdownMessage->setCloseButtonVisible(false);
    auto *keep = new QAction(QIcon::fromTheme(QStringLiteral("dialog-ok-apply")), i18nc("@action:button keep the new settings", "Keep"), m_countdownMessage);
    auto *revert = new QAction(QIcon::fromTheme(QStringLiteral("edit-undo")), i18nc("@action:button", "Revert Now"), m_countdownMessage);
    keep->setObjectName(QStringLiteral("keepSettings"));
    revert->setObjectName(QStringLiteral("revertSettings"));
    m_countdownMessage->addAction(keep);
    m_countdownMessage->addAction(revert);
    connect(keep, &QAction::triggered, this, [this] {
        finishRevertCountdown(CountdownEnd::Keep);
    });
    connect(revert, &QAction::triggered, this, [this] {
        finishRevertCountdown(CountdownEnd::RevertNow);
    });
}

QString SSHModule::unansweredText(const QStringList &unanswered)
{
    QStringList sockets;
    for (const QString &socket : unanswered) {
        const int blank = socket.lastIndexOf(QLatin1Char(' '));
        sockets.append(blank < 0 ? socket : i18nc("%1 address, %2 port", "%1 port %2", socket.left(blank), socket.mid(blank + 1)));
    }
    return i18np("sshd does not answer on %2.", "sshd does not answer on %2.", sockets.size(), sockets.join(i18nc("separator of a list of addresses", ", ")));
}

QVariantMap SSHModule::serverValues() const
{
    QVariantMap values;
    for (const QPointer<SSHOption> &option : m_manager->sshOptions().value(Server)) {
        if (!option) {
            continue;
        }
        values.insert(option->name(), option->value());
        for (const QPointer<SSHOption> &subOption : option->subOptions()) {
            if (subOption) {
                values.insert(subOption->name(), subOption->value());
            }
        }
    }
    return values;
}

void SSHModule::finishRevertCountdown(CountdownEnd end)
{
    if (!m_countdown) {
        return;
    }
    const QString token = m_countdown->token();
    m_countdown->stop(); // no tick ends it while the helper is asked
    QString reason;
    bool unknown = false;
    const bool done = end == CountdownEnd::Keep ? m_manager->keepChange(token, &reason, &unknown) : m_manager->revertChange(token, &reason, &unknown);
    const auto reread = [this] {
        messagesManager()->removeMessageById(QStringLiteral("success_change_id"));
        m_manager->loadValueOptions();
        updateOriginIndicators();
        serverControlButtonsHandler();
    };
    if (unknown && end != CountdownEnd::Expired) {
        // The token is not given up: Keep and Revert Now stay, and the countdown goes on.
        m_countdown->resume();
        messagesManager()->newMessageById(QStringLiteral("revert_result"),
                                          i18n("The result is not known; the settings shown were read again. Keep or Revert Now can be pressed again."),
                                          KCMOS::Warning);
        reread();
        return;
    }
    m_countdown->deleteLater();
    m_countdown = nullptr;
    m_unanswered.clear();
    messagesManager()->removeMessageById(QStringLiteral("revert_countdown"));
    if (end == CountdownEnd::Keep && done) {
        messagesManager()->newMessageById(QStringLiteral("success_change_id"), i18n("The new settings are kept."), KCMOS::Positive);
        return;
    }
    reread();
    QString text;
    KCMOS::MessageType type = KCMOS::Information;
    if (unknown) {
        text = i18n("The result is not known; the settings shown were read again.");
        type = KCMOS::Warning;
    } else if (end == CountdownEnd::Keep) {
        text = i18n("The new settings could not be kept: %1", reason);
        type = KCMOS::Error;
    } else if (done || (end == CountdownEnd::Expired && serverValues() == m_beforeCountdown)) {
        // At the end of the countdown the helper's own countdown is usually first: the settings read tell.
        text = i18n("The previous settings were restored.");
    } else if (end == CountdownEnd::Expired) {
        text = i18n("The countdown has ended; the settings shown were read again.");
    } else {
        text = i18n("The settings were not reverted: %1", reason);
        type = KCMOS::Warning;
    }
    messagesManager()->newMessageById(QStringLiteral("revert_result"), text, type);
}

void SSHModule::askAboutCountdown(QWidget *parent)
{
    if (!m_countdown) {
        return;
    }
    m_countdownAsked = true;
    QMessageBox box(QMessageBox::Question, i18nc("@title:window", "Keep the New SSH Settings?"),
                    i18np("The new SSH server settings are not kept yet: they will be reverted in %1 second.",
                          "The new SSH server settings are not kept yet: they will be reverted in %1 seconds.", m_countdown->remaining()),
                    QMessageBox::NoButton, parent);
    QPushButton *keep = box.addButton(i18nc("@action:button", "Keep the Settings"), QMessageBox::AcceptRole);
    QPushButton *revert = box.addButton(i18nc("@action:button", "Revert Now"), QMessageBox::DestructiveRole);
    QPushButton *leave = box.addButton(i18nc("@action:button", "Leave the Countdown Running"), QMessageBox::RejectRole);
    box.setDefaultButton(leave);
    box.setEscapeButton(leave);
    box.exec();
    if (box.clickedButton() == keep) {
        finishRevertCountdown(CountdownEnd::Keep);
    } else if (box.clickedButton() == revert) {
        finishRevertCountdown(CountdownEnd::RevertNow);
    }
}

void SSHModule::updateOriginIndicators() const
{
    namespace Reply = SSHSettings::Protocol::Reply;
    const auto place = [](const QVariantMap &where) {
        return i18nc("file and line of a configuration", "%1, line %2", where.value(Reply::OriginFile).toString(), where.value(Reply::OriginLine).toInt());
    };
    for (auto it = m_originIndicators.cbegin(); it != m_originIndicators.cend(); ++it) {
        AbstractOptionArea *area = m_factoryManager->getAreaById(it.key());
        if (!area) {
            continue;
        }
        const SSHOption &option = area->option();
        QStringList keywords = {option.name()};
        if (option.hasSubOptions()) {
            keywords.clear();
            for (const QPointer<SSHOption> &subOption : option.subOptions()) {
                if (subOption) {
                    keywords.append(subOption->name());
                }
            }
        }
        QStringList lines;
        for (const QString &keyword : std::as_const(keywords)) {
            const QVariantMap origin = m_manager->origin(option.configureId(), keyword);
            const QString file = origin.value(Reply::OriginFile).toString();
            if (!file.isEmpty() && !origin.value(Reply::OriginMainFile).toBool()) {
                lines.append(i18nc("%1 keyword, %2 where", "%1 is set in %2.", keyword, place(origin)));
            }
            const QVariantList overrides = origin.value(Reply::OriginOverrides).toList();
            for (const QVariant &entry : overrides) {
                lines.append(i18nc("%1 keyword, %2 Match line, %3 where", "%1 is set for some connections by “%2” in %3.", keyword,
                                   entry.toMap().value(Reply::OriginMatch).toString(), place(entry.toMap())));
            }
        }
        it.value()->setVisible(!lines.isEmpty());
        it.value()->setToolTip(lines.join(QLatin1Char('\n')));
    }
}

void SSHModule::resetValues() const
{
    if (!m_factoryManager) {
        return;
    }
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        area->reset();
        area->setHasChanged(false);
    }
}

void SSHModule::handlerChangeTrigger()
{
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        if (area->hasChanged()) {
            unmanagedWidgetChangeState(true);
            return;
        }
    }
    unmanagedWidgetChangeState(false);
}

void SSHModule::handleManagerError(const QString &message, SSHCodeError code, const QString &reason)
{
    switch (code) {
    case AuthorizationRefused:
        setPermissionRefused(true);
        return;
    case ServerNotRunning:
        if (m_refused) {
            return; // the permission message says what matters
        }
        messagesManager()->newMessageById(QStringLiteral("stopped_id"),
                                          i18n("The SSH server is stopped. Changes to its settings are saved and take effect when it starts."),
                                          KCMOS::Information);
        return;
    case ServerConfigurationInvalid:
    case ClientConfigurationInvalid: {
        const QString text = i18n("%1: %2", message, reason) + QLatin1Char(' ') + i18n("<a href=\"restore\">Restore a working configuration…</a>");
        KCMOS::MessageWidget *widget = messagesManager()->newMessageById(QStringLiteral("load_id"), text, KCMOS::Error);
        // The restore is for the configuration that failed, whichever the page shows.
        connect(widget, &KCMOS::MessageWidget::linkActivated, this, [this, code] {
            ui->comboBoxSshConfig->setCurrentIndex(code == ClientConfigurationInvalid ? 1 : 0);
            defaults();
        });
        return;
    }
    default:
        break;
    }
    messagesManager()->newMessageById(QStringLiteral("load_id"), reason.isEmpty() ? message : i18n("%1: %2", message, reason), KCMOS::Error);
}

int SSHModule::showRestoreDialog(const QString &text, const QStringList &choices, int focused)
{
    QMessageBox box(QMessageBox::Question, i18nc("@title:window", "Restore SSH settings"), text, QMessageBox::NoButton, widget());
    QList<QPushButton *> buttons;
    for (const QString &choice : choices) {
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    }
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(focused >= 0 && focused < buttons.size() ? buttons.at(focused) : cancel);
    box.exec();
    return buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
}

void SSHModule::defaults()
{
    // The host's buttons stay live while a privileged job waits in its event loop.
    if (m_running || !m_manager || m_refused) {
        return;
    }
    const QScopedValueRollback<bool> running(m_running, true);
    stateWidget()->waitState(KCMOS::Busy);
    // Every exit, Cancel included, ends the busy state.
    const auto resetState = qScopeGuard([this] {
        stateWidget()->resetState();
    });
    // Defaults acts on the configuration the page shows.
    const SSHConfigurationTypeId type = ui->comboBoxSshConfig->currentIndex() == 1 ? Client : Server;
    if (type == Client && !QFile::exists(SSHPaths::clientBackup())) {
        messagesManager()->newMessageById(QStringLiteral("restore_id"), i18n("There is no saved copy of the SSH client settings to restore."),
                                          KCMOS::Information);
        return;
    }
    // The client is only ever restored from its backup; the server from its backup or the system's default.
    bool localBackup = type == Client;
    if (type == Server && QFile::exists(SSHPaths::serverBackup())) {
        const int answer = showRestoreDialog(i18n("Restore the last working SSH server settings, or the distribution's default settings?"),
                                             {i18n("Last working settings"), i18n("Distribution default")}, 0);
        if (answer < 0) {
            return;
        }
        localBackup = answer == 0;
    }
    const QString target = type == Client ? SSHPaths::clientConfig() : SSHPaths::serverConfig();
    const QString source = localBackup ? (type == Client ? SSHPaths::clientBackup() : SSHPaths::serverBackup()) : SSHPaths::serverDistributionDefault();
    QString question = i18n("%1 will be replaced by %2. The replaced file is kept in %3, in a folder named after the date and time; the five newest "
                            "of these folders are kept.",
                            target, source, SSHPaths::keptFilesFolder());
    if (type == Server && m_manager->serverState().isActive()) {
        question += QLatin1Char(' ') + i18n("The SSH server restarts afterwards.");
    }
    if (showRestoreDialog(question, {i18n("Restore")}) != 0) {
        return;
    }
    QString reason;
    QString previous;
    bool unknown = false;
    if (!m_manager->restoreFileConfiguration(type, localBackup, &reason, &previous, &unknown) && !unknown) {
        messagesManager()->newMessageById(QStringLiteral("restore_id"), i18n("The configuration was not restored: %1", reason), KCMOS::Error);
        return;
    }
    messagesManager()->clearMessages();
    showCountdownMessage();
    // Only a server that runs is restarted; a stopped one reads the file when it starts.
    if (type == Server && m_manager->serverState().isActive() && !m_manager->serverState().restart(&reason)) {
        messagesManager()->newMessageById(QStringLiteral("service_id"), i18n("The SSH server was not restarted: %1", reason), KCMOS::Error);
    }
    m_manager->loadValueOptions();
    for (AbstractOptionArea *area : m_factoryManager->areas()) {
        area->setHasChanged(false);
    }
    handlerChangeTrigger();
    serverControlButtonsHandler();
    if (unknown) {
        messagesManager()->newMessageById(QStringLiteral("restore_id"), i18n("The result of the restore is not known; the settings shown were read again."),
                                          KCMOS::Warning);
        return;
    }
    const QString done = type == Client ? i18n("The SSH client settings were restored.") : i18n("The SSH server settings were restored.");
    messagesManager()->newMessageById(QStringLiteral("restore_id"),
                                      previous.isEmpty() ? done : done + QLatin1Char(' ') + i18n("The replaced file is kept as %1.", previous),
                                      KCMOS::Positive);
}

void SSHModule::setupSshServerStatus()
{
    ui->sshReload->setIcon(ui->sshReload->style()->standardIcon(QStyle::SP_BrowserReload));
    ui->warningBtn->setIcon(ui->warningBtn->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    ui->warningBtn->setToolTip(
        i18n("The SSH server does not start with the system. Make sure the openssh-server package is installed and the service enabled."));
    ui->warningBtn->setAccessibleName(i18n("SSH server not enabled"));
    ui->sshReload->setToolTip(i18n("Restart the SSH server"));
    ui->sshReload->setAccessibleName(ui->sshReload->toolTip());
    serverControlButtonsHandler();
    connect(ui->sshReload, &QPushButton::clicked, this, [this] {
        serviceCommand(&ServerState::restart, ki18n("The SSH server was not restarted: %1"));
    });
    connect(ui->sshStopPlay, &QPushButton::clicked, this, [this] {
        if (m_manager->serverState().isActive()) {
            if (confirmStop()) {
                serviceCommand(&ServerState::stop, ki18n("The SSH server was not stopped: %1"));
            }
        } else {
            serviceCommand(&ServerState::start, ki18n("The SSH server was not started: %1"));
        }
    });
}

bool SSHModule::confirmStop()
{
    QString text = i18n("Stop the SSH server? No new SSH login to this computer is possible while it is stopped.");
    if (!qEnvironmentVariableIsEmpty("SSH_CONNECTION")) {
        text += QLatin1Char(' ') + i18n("This includes you: this session came in over SSH, and you could not log in again that way.");
    }
    QMessageBox box(QMessageBox::Warning, i18nc("@title:window", "Stop the SSH Server"), text, QMessageBox::NoButton, widget());
    QPushButton *stop = box.addButton(i18nc("@action:button", "Stop"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == stop;
}

void SSHModule::serviceCommand(bool (ServerState::*command)(QString *), const KLocalizedString &failure)
{
    ServerState state = m_manager->serverState();
    QString reason;
    const bool done = (state.*command)(&reason);
    if (state.lastOutcomeUnknown()) {
        // The state below is asked anew, whatever the answer said.
        messagesManager()->newMessageById(QStringLiteral("service_id"), i18n("The result of the command is not known; the state shown was read again."),
                                          KCMOS::Warning);
    } else if (!done) {
        messagesManager()->newMessageById(QStringLiteral("service_id"), failure.subs(reason).toString(), KCMOS::Error);
    } else {
        messagesManager()->removeMessageById(QStringLiteral("service_id"));
    }
    // A server that runs now is read anew before its areas are enabled, its values may have changed meanwhile.
    if (m_manager->serverState().isActive()) {
        messagesManager()->removeMessageById(QStringLiteral("load_id"));
        messagesManager()->removeMessageById(QStringLiteral("stopped_id"));
        m_manager->loadConfigurations({Server, Client});
        resetValues();
    }
    serverControlButtonsHandler();
}

void SSHModule::serverControlButtonsHandler() const
{
    const bool active = m_manager->serverState().isActive();
    ui->label->setText(i18nc("@label %1 is the state of the service", "SSH server: %1",
                             active ? i18nc("@info server state", "Running") : i18nc("@info server state", "Stopped")));
    if (active) {
        ui->sshStopPlay->setIcon(ui->sshStopPlay->style()->standardIcon(QStyle::SP_MediaStop));
        ui->sshStopPlay->setToolTip(i18n("Stop the SSH server"));
    } else {
        ui->sshStopPlay->setIcon(ui->sshStopPlay->style()->standardIcon(QStyle::SP_MediaPlay));
        ui->sshStopPlay->setToolTip(i18n("Start the SSH server"));
    }
    ui->sshStopPlay->setAccessibleName(ui->sshStopPlay->toolTip());
    ui->sshReload->setEnabled(active);
    ui->warningBtn->setVisible(!m_manager->serverState().isEnabled());
    updateAreasState();
}

void SSHModule::updateAreasState() const
{
    // A stopped server stays editable: its files are written now and read when it starts.
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        area->setEnabled(!m_refused);
        area->setVisible(!m_refused);
    }
}

void SSHModule::setPermissionRefused(bool refused)
{
    m_refused = refused;
    if (refused) {
        messagesManager()->clearMessages();
        KCMOS::MessageWidget *message =
            messagesManager()->newMessageById(QStringLiteral("load_id"), i18n("Administrator rights are needed to read the SSH configuration."), KCMOS::Error);
        auto *retry = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), i18nc("@action:button", "Retry"), message);
        connect(retry, &QAction::triggered, this, &SSHModule::retryRead, Qt::QueuedConnection);
        message->addAction(retry);
        message->setCloseButtonVisible(false); // the message stays until the rights are given
        showCountdownMessage();
    } else {
        messagesManager()->removeMessageById(QStringLiteral("load_id"));
    }
    if (m_factoryManager) {
        updateAreasState();
        handlerChangeTrigger();
    }
}

void SSHModule::retryRead()
{
    m_refused = false;
    messagesManager()->removeMessageById(QStringLiteral("load_id"));
    m_manager->loadValueOptions();
    resetValues();
    setPermissionRefused(m_refused);
    serverControlButtonsHandler();
}

void SSHModule::reloadAfterApply(const QList<SSHConfigurationTypeId> &types, const QList<AbstractOptionArea *> &failed)
{
    if (types.isEmpty()) {
        return;
    }
    // A failed option keeps the value its area shows, still marked changed, so that Apply can try again.
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (AbstractOptionArea *area : failed) {
        const SSHOption &shown = area->option();
        if (QPointer<SSHOption> option = m_manager->findOptionById(shown.configureId(), shown.id())) {
            blockers.push_back(std::make_unique<QSignalBlocker>(option.data()));
        }
    }
    const bool server = types.contains(Server);
    const bool client = types.contains(Client);
    if (server && client) {
        m_manager->loadConfigurations({Server, Client});
    } else {
        m_manager->loadConfigurations({server ? Server : Client});
    }
}
