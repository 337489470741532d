// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "configuration.h"
#include "formaccessibility.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "revertcountdown.h"
#include "sshpaths.h"
#include "statewidget.h"

#include <KLocalizedString>

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QScrollArea>
#include <QTabBar>

SSHModule::SSHModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args)
    : KCMOS::OrbisKCModule(parent, args)
    , ui(new Ui::SSHModule)
{
    ui->setupUi(widget());
    m_frameMnemonics.append(ui->label_2->text());
    for (int i = 0; i < ui->tabWidgetServer->count(); ++i) {
        m_frameMnemonics.append(ui->tabWidgetServer->tabText(i));
    }
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
    // The page goes away (closed, or the host moved on) with a countdown that nobody was asked about;
    // what is chosen is still sent, its answer has nobody to go to.
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
    // The page lives in the host's window by now: its closing is watched.
    if (widget()->window() != m_window) {
        if (m_window) {
            m_window->removeEventFilter(this);
        }
        m_window = widget()->window();
        m_window->installEventFilter(this);
    }
    if (busy()) {
        return; // what the running flow ends with is shown then
    }
    if (!m_manager) {
        m_manager = new SSHManager(this);
        connect(m_manager, &SSHManager::error, this, &SSHModule::handleManagerError);
        connect(m_manager, &SSHManager::valuesRead, this, &SSHModule::takeValues);
        createOptionAreas();
        stretchUiAndViewSwitch();
        setupSshServerStatus();
        createConnectionsTab();
        createConditionalAreas();
        createSecurityArea();
        orderFrameFocus();
        // Nothing is shown as if it had been read before the first answer.
        readValues();
        return;
    }
    // Reset: what the messages said of the edits is stale now; what still holds (a countdown, missing rights) stays.
    messagesManager()->removeStaleMessages(messagesManager()->messages());
    resetValues();
    handlerChangeTrigger();
}

void SSHModule::beginFlow(const QString &text)
{
    const QString shown =
        m_authorized ? (text.isEmpty() ? i18nc("@info:progress", "Please wait…") : text) : i18nc("@info:progress", "Waiting for administrator rights…");
    if (m_flows++ == 0) {
        m_focus = QApplication::focusWidget();
        stateWidget()->waitState(KCMOS::Busy, shown);
        updateControls();
    } else if (!text.isEmpty() && m_authorized) {
        stateWidget()->setText(shown);
    }
}

void SSHModule::endFlow()
{
    // An answer came: the rights were given, unless it was the refusal.
    m_authorized = !m_refused;
    if (--m_flows == 0) {
        stateWidget()->resetState();
        updateControls();
        restoreFocus();
        readAlgorithmsWhenShown(); // what was shown while the page was busy
    }
}

void SSHModule::updateControls()
{
    const bool idle = !busy();
    // Requests come one at a time; without rights, nothing the helper does can work.
    ui->sshStopPlay->setEnabled(idle && !m_refused);
    ui->sshReload->setEnabled(idle && !m_refused && m_manager && m_manager->serverState().isActive());
    // The host's Apply and Reset follow the unsaved state, its Defaults the defaulted state: while a request runs
    // (or without rights) there is nothing to apply and nothing to reset to. A second Apply the host still lets
    // through (OK stays enabled) is ignored by change().
    unmanagedWidgetDefaultState(!idle || m_refused);
    if (idle) {
        handlerChangeTrigger();
    } else {
        unmanagedWidgetChangeState(false);
    }
}

void SSHModule::restoreFocus()
{
    QWidget *focus = m_focus;
    m_focus = nullptr;
    if (focus && focus != QApplication::focusWidget() && focus->isVisible() && focus->isEnabled() && focus->window()->isActiveWindow()) {
        focus->setFocus(Qt::OtherFocusReason);
    }
}

void SSHModule::keepFrameMnemonics()
{
    for (int i = 0; i < ui->tabWidgetServer->count() && i < m_frameMnemonics.size() - 1; ++i) {
        ui->tabWidgetServer->setTabText(i, m_frameMnemonics.at(i + 1));
    }
    if (!m_frameMnemonics.isEmpty()) {
        ui->label_2->setText(m_frameMnemonics.constFirst());
    }
}

void SSHModule::manageMnemonics()
{
    // The host's buttons below the page: Apply, Reset, Defaults, OK, Cancel, Help, and Save in some hosts.
    QString reserved = QStringLiteral("ardochs");
    for (const QString &text : std::as_const(m_frameMnemonics)) {
        const int at = text.indexOf(QLatin1Char('&'));
        if (at >= 0 && at + 1 < text.size()) {
            reserved.append(text.at(at + 1).toLower());
        }
    }
    // The page's widget may outlive the module (Plasma 6 hosts own it), and the letters are moved again later.
    FormAccessibility::manageMnemonics(widget(), reserved, [module = QPointer<SSHModule>(this)] {
        if (module) {
            module->keepFrameMnemonics();
        }
    });
}

void SSHModule::orderFrameFocus()
{
    // A scroll area is no stop of its own: it scrolls to the field that has the focus.
    const auto scrollAreas = widget()->findChildren<QScrollArea *>();
    for (QScrollArea *scroll : scrollAreas) {
        scroll->setFocusPolicy(Qt::NoFocus);
    }
    // The tab bar is no child of a layout: by the order of the layouts it would come last, after the content of
    // every tab. Tab goes from the status row to the configuration, then to the tab bar, then into the tab.
    QTabBar *tabs = ui->tabWidgetServer->tabBar();
    tabs->setObjectName(QStringLiteral("serverTabBar"));
    tabs->setAccessibleName(i18nc("@info:accessible the tabs of the server's settings", "Server settings"));
    QWidget *content = ui->comboBoxSshConfig->nextInFocusChain();
    while (content != ui->comboBoxSshConfig && (content == tabs || ui->comboBoxSshConfig->isAncestorOf(content))) {
        content = content->nextInFocusChain();
    }
    // Every label with a buddy, check box, button and group gets an Alt shortcut, again each time the configuration
    // shown changes; the tabs and the configuration's label keep their own, which are none of the host's.
    manageMnemonics();
    QWidget::setTabOrder(ui->comboBoxSshConfig, tabs);
    if (content != ui->comboBoxSshConfig && content != tabs) {
        QWidget::setTabOrder(tabs, content);
    }
}

void SSHModule::readAlgorithmsWhenShown()
{
    if (!m_manager || m_refused || busy()) {
        return;
    }
    const bool server = ui->configureSwitcher->currentIndex() == 0;
    const QWidget *tab = ui->tabWidgetServer->currentWidget();
    const SSHConfigurationTypeId type = server ? Server : Client;
    if ((server && tab != ui->allSettingsTab && tab != ui->conditionalTab) || m_manager->algorithmsAsked(type)) {
        return;
    }
    // Like a read of the blocks, it only adds to what is shown: it keeps no flow waiting.
    m_manager->loadAlgorithms(type, this, [this, type](bool taken) {
        const QVariantMap values = m_manager->readValues(type);
        for (AbstractOptionArea *area : std::as_const(m_areas)) {
            // Nothing is edited in a list before it is shown.
            if (taken && area->option().type == type && area->option().tab == PageTab::AllSettings && !area->hasChanged()) {
                area->takeReply(values);
            }
        }
        for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
            if (taken && area->type() == type) {
                area->setGlobalValues(values);
            }
        }
    });
}

void SSHModule::readValues(std::function<void()> then)
{
    beginFlow(i18nc("@info:progress", "Reading the settings…"));
    m_refused = false;
    m_manager->loadValueOptions(this, [this, then] {
        showReadValues();
        if (then) {
            then();
        }
        endFlow();
    });
}

void SSHModule::showReadValues()
{
    resetValues();
    updateOriginIndicators();
    serverControlButtonsHandler(); // the areas show, or stay hidden after a refusal
    handlerChangeTrigger();
    for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
        readBlocks(area);
    }
    m_securityStale = true;
    readSecurity();
    Q_EMIT valuesShown();
}

void SSHModule::takeValues(SSHConfigurationTypeId type)
{
    const QVariantMap values = m_manager->readValues(type);
    for (AbstractOptionArea *area : std::as_const(m_areas)) {
        if (area->option().type == type && !m_apply.failed.contains(area) && !m_apply.kept.contains(area)) {
            area->takeReply(values);
        }
    }
    for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
        if (area->type() == type) {
            area->setGlobalValues(values);
        }
    }
    handlerChangeTrigger();
}

void SSHModule::resetValues() const
{
    for (AbstractOptionArea *area : m_areas) {
        area->reset();
        area->setHasChanged(false);
    }
}

void SSHModule::handlerChangeTrigger()
{
    for (AbstractOptionArea *area : std::as_const(m_areas)) {
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
        // It holds until the server starts: Reset and Apply leave it.
        messagesManager()
            ->newMessageById(QStringLiteral("stopped_id"),
                             i18n("The SSH server is stopped. Changes to its settings are saved and take effect when it starts."),
                             KCMOS::Information)
            ->setSticky(true);
        return;
    case ServerConfigurationInvalid:
    case ClientConfigurationInvalid: {
        const QString text = i18n("%1: %2", message, reason) + QLatin1Char(' ') + i18n("<a href=\"restore\">Restore a working configuration…</a>");
        KCMOS::MessageWidget *widget = messagesManager()->newMessageById(QStringLiteral("load_id"), text, KCMOS::Error);
        widget->setSticky(true); // it holds until a read succeeds
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
    KCMOS::MessageWidget *widget =
        messagesManager()->newMessageById(QStringLiteral("load_id"), reason.isEmpty() ? message : i18n("%1: %2", message, reason), KCMOS::Error);
    widget->setSticky(true); // it holds until a read succeeds
    auto *retry = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), i18nc("@action:button", "Retry"), widget);
    connect(retry, &QAction::triggered, this, &SSHModule::retryRead, Qt::QueuedConnection);
    widget->addAction(retry);
}

void SSHModule::setPermissionRefused(bool refused)
{
    m_refused = refused;
    m_filesShown = refused && readFilesWithoutRights();
    if (refused) {
        m_authorized = false; // the next request asks for them again
        messagesManager()->clearMessages();
        KCMOS::MessageWidget *message = messagesManager()->newMessageById(
            QStringLiteral("load_id"),
            m_filesShown ? i18n("These are the values of the configuration files that everyone may read; the SSH server may use other values. "
                                "To see the values in force and change them, click Retry and give an administrator's password.")
                         : i18n("Administrator rights are needed to read and change the SSH settings. "
                                "Click Retry and give an administrator's password when asked."),
            m_filesShown ? KCMOS::Warning : KCMOS::Error);
        message->setObjectName(QStringLiteral("rightsMessage"));
        auto *retry = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), i18nc("@action:button", "Retry"), message);
        retry->setObjectName(QStringLiteral("retryRead"));
        connect(retry, &QAction::triggered, this, &SSHModule::retryRead, Qt::QueuedConnection);
        message->addAction(retry);
        message->setCloseButtonVisible(false); // the message stays until the rights are given
        message->setSticky(true);
        showCountdownMessage();
    } else {
        messagesManager()->removeMessageById(QStringLiteral("load_id"));
    }
    if (m_manager) {
        updateAreasState();
        updateControls();
    }
}

bool SSHModule::readFilesWithoutRights()
{
    if (!m_manager) {
        return false;
    }
    // The parser the helper reads with, in this process: it only reads, and what it cannot read it leaves out.
    EnginePaths paths = EnginePaths::system();
    paths.serverConfig = SSHPaths::serverConfig();
    paths.clientConfig = SSHPaths::clientConfig();
    const Configuration files(paths);
    bool any = false;
    for (const SSHConfigurationTypeId type : {Server, Client}) {
        const Reply reply =
            files.readFiles(type == Server ? OptionCatalog::ConfigType::Server : OptionCatalog::ConfigType::Client, m_manager->readKeywords(type));
        if (reply.ok) {
            m_manager->takeReadValues(type, reply.data);
            any = true;
        }
    }
    if (any) {
        resetValues();
        updateOriginIndicators();
    }
    return any;
}

void SSHModule::retryRead()
{
    if (busy()) {
        return;
    }
    messagesManager()->removeMessageById(QStringLiteral("load_id"));
    readValues();
}
