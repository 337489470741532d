// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "factorymanager.h"
#include "messagesmanager.h"
#include "messagewidget.h"
#include "sshconnectionsarea.h"
#include "sshmanager.h"
#include "sshpaths.h"
#include "statewidget.h"
#include "usergroupaccessarea.h"

#include <KLocalizedString>

#include <QDebug>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyle>

SSHModule::SSHModule(QWidget *parent, const QVariantList &args)
    : KCMOS::OrbisKCModule(QStringLiteral("orbis_kcm_ssh"), parent, QString(), args), ui(new Ui::SSHModule)
{
    ui->setupUi(this);
    // Hosts size their window from the page's hint; keep the form's own size.
    setMinimumSize(size());
    setButtons(Help | Default | Apply);
}

SSHModule::~SSHModule()
{
    delete ui;
}

void SSHModule::access()
{
    stateWidget()->resetState();
    if (!m_manager) {
        initManagers();
        createOptionAreas();
        stretchUiAndViewSwitch();
        setupSshServerStatus();
        createConnectionsTab();
        return;
    }
    resetValues();
}

void SSHModule::initManagers()
{
    m_manager = new SSHManager(this);
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
        m_factoryManager->initializeOptionArea(*option, this);
        if (AbstractOptionArea *area = m_factoryManager->getAreaById(option->id())) {
            configureChangeHandlers(option, area);
        }
    }
    configureLayoutWidgets();
}

void SSHModule::configureLayoutWidgets() const
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
}

void SSHModule::addWidgetsToLayout(QVBoxLayout *layout, std::initializer_list<SSHOption::Id> ids) const
{
    for (const SSHOption::Id id : ids) {
        if (AbstractOptionArea *area = m_factoryManager->getAreaById(id)) {
            layout->addWidget(area->inflate());
        }
    }
}

void SSHModule::configureChangeHandlers(QPointer<SSHOption> option, AbstractOptionArea *area)
{
    if (!option->hasSubOptions()) {
        connect(option, &SSHOption::valueChanged, area, [this, area](const QVariant &value) {
            area->updateArea(value);
            Q_EMIT changed(false);
        });
    } else {
        connect(option, &SSHOption::subOptionsChanged, area, [this, area](const SSHOptions &subOptions) {
            area->updateArea(subOptions);
            Q_EMIT changed(false);
        });
    }
    connect(area, &AbstractOptionArea::modify, this, &SSHModule::handlerChangeTrigger);
}

void SSHModule::stretchUiAndViewSwitch()
{
    for (QVBoxLayout *layout : {ui->vboxClientTab, ui->vboxServerTab, ui->vboxGeneral, ui->vboxAuth, ui->vboxOther}) {
        layout->addStretch();
    }
    connect(ui->comboBoxSshConfig, qOverload<int>(&QComboBox::currentIndexChanged), ui->configureSwitcher, &QStackedWidget::setCurrentIndex);
}

void SSHModule::createConnectionsTab()
{
    auto *connectionsArea = new SSHConnectionsArea(messagesManager(), this);
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
        qWarning() << "AllowDenyUsersGroups area is not UserGroupAccessArea, cannot block IPs in SSHConnectionsArea";
        connectionsArea->disableBlockIpAction();
        return;
    }
    connect(connectionsArea, &SSHConnectionsArea::ipBlocked, accessArea, &UserGroupAccessArea::blockIp);
    connectionsArea->setDeniedCheck([accessArea](const QHostAddress &ip) {
        return SSHConnectionsArea::isDenied(accessArea->value(), ip);
    });
    connect(connectionsArea, &SSHConnectionsArea::focusOnAccessArea, accessArea, [this, accessArea] {
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
    bool serverOptionApplied = false;
    const auto areas = m_factoryManager ? m_factoryManager->areas() : QMap<SSHOption::Id, AbstractOptionArea *>();
    for (AbstractOptionArea *area : areas) {
        if (!area->hasChanged() || !area->validate()) {
            continue;
        }
        SSHOption option(area->option());
        serverOptionApplied = serverOptionApplied || option.configureId() == Server;
        const bool ok = updateOption(area, option);
        handleChangeResult(ok, area, option);
    }
    if (serverOptionApplied) {
        m_manager->serverState().restart();
    }
    stateWidget()->resetState();
}

bool SSHModule::updateOption(AbstractOptionArea *area, SSHOption &option) const
{
    if (option.hasSubOptions()) {
        return updateSubOptions(option, area);
    }
    return m_manager->changeValueOption(option, area->value());
}

bool SSHModule::updateSubOptions(SSHOption &option, AbstractOptionArea const *area) const
{
    const QVariantMap values = area->value().toMap();
    const SSHOptions subOptions = option.subOptions();
    for (const QPointer<SSHOption> &subOption : subOptions) {
        if (!subOption) {
            continue;
        }
        if (!m_manager->changeValueOption(*subOption, values.value(subOption->name()).toString())) {
            return false;
        }
    }
    return true;
}

void SSHModule::handleChangeResult(bool ok, AbstractOptionArea *area, SSHOption &option)
{
    if (ok) {
        area->replaceOption(option);
        messagesManager()->newMessageById(QStringLiteral("success_change_id"), i18n("Changes applied successfully"), KCMOS::Positive, QString(), KCMOS::Normal);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            markAsChanged();
        },
        Qt::QueuedConnection);
}

void SSHModule::resetValues() const
{
    if (!m_factoryManager) {
        return;
    }
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        area->reset();
    }
}

void SSHModule::handlerChangeTrigger()
{
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        if (area->hasChanged()) {
            Q_EMIT changed(true);
            return;
        }
    }
    Q_EMIT changed(false);
}

void SSHModule::handleManagerError(const QString &message, SSHCodeError code)
{
    if (code != ClientLoadError && code != ServerLoadError) {
        messagesManager()->newMessage(message, KCMOS::Error, QString(), KCMOS::Normal);
        return;
    }
    const QString text = message + QLatin1Char(' ') +
        i18n("If you are dealing with an incorrect server or client configuration, then to restore it <a href=\"restore\"><span style=\" "
             "text-decoration: underline; color:#007af4;\">click on this text.</span></a>");
    KCMOS::MessageWidget *widget = messagesManager()->newMessage(text, KCMOS::Error, QString(), KCMOS::Normal);
    connect(widget, &KCMOS::MessageWidget::linkActivated, this, &SSHModule::defaults);
}

int SSHModule::showRestoreDialog(const QString &text, const QString &first, const QString &second)
{
    QMessageBox box(QMessageBox::Question, i18n("Restore configuration"), text, QMessageBox::NoButton, this);
    QPushButton *firstButton = box.addButton(first, QMessageBox::ActionRole);
    QPushButton *secondButton = box.addButton(second, QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == firstButton) {
        return 0;
    }
    if (box.clickedButton() == secondButton) {
        return 1;
    }
    return 2;
}

void SSHModule::defaults()
{
    // The host's buttons stay live while a privileged job waits in its event loop.
    if (m_running) {
        return;
    }
    const QScopedValueRollback<bool> running(m_running, true);
    stateWidget()->waitState(KCMOS::Busy);
    // Every exit, Cancel included, ends the busy state.
    const auto resetState = qScopeGuard([this] {
        stateWidget()->resetState();
    });
    if (!m_manager) {
        return;
    }
    SSHConfigurationTypeId type = Server;
    bool localBackup = false;
    if (QFile::exists(SSHPaths::clientBackup())) {
        const int answer = showRestoreDialog(i18n("Select the configuration to restore."), i18n("Client"), i18n("Server"));
        if (answer == 2) {
            return;
        }
        if (answer == 0) {
            type = Client;
            localBackup = true;
        }
    }
    if (type == Server && QFile::exists(SSHPaths::serverBackup())) {
        const int answer = showRestoreDialog(i18n("A local backup copy of the SSH server configuration was found. Please select which backup version you "
                                                  "want to restore from."),
                                             i18n("System"), i18n("Latest working configuration (local)"));
        if (answer == 2) {
            return;
        }
        localBackup = answer == 1;
    }
    if (!m_manager->restoreFileConfiguration(type, localBackup)) {
        messagesManager()->newMessage(i18n("Failed to restore the configuration file."), KCMOS::Error, QString(), KCMOS::Normal);
        return;
    }
    m_manager->serverState().restart();
    m_manager->loadValueOptions();
    serverControlButtonsHandler();
    messagesManager()->clearMessages();
    messagesManager()->newMessage(i18n("SSH settings were %1 successfully restored.", type == Client ? i18n("Client") : i18n("Server")), KCMOS::Positive,
                                  QString(), KCMOS::Normal);
}

void SSHModule::setupSshServerStatus() const
{
    ui->sshReload->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ui->warningBtn->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    ui->warningBtn->setToolTip(i18n("Failed to get SSH server status.\nPlease make sure you have the 'openssh-server' package installed."));
    serverControlButtonsHandler();
    connect(ui->sshReload, &QPushButton::clicked, this, [this] {
        m_manager->serverState().restart();
        serverControlButtonsHandler();
    });
    connect(ui->sshStopPlay, &QPushButton::clicked, this, [this] {
        ServerState state = m_manager->serverState();
        if (state.isActive()) {
            state.stop();
        } else {
            state.start();
        }
        if (m_manager->serverState().isActive()) {
            m_manager->loadValueOptions();
        }
        serverControlButtonsHandler();
    });
}

void SSHModule::serverControlButtonsHandler() const
{
    const bool active = m_manager->serverState().isActive();
    ui->label->setText(i18n("SSH server status %1", active ? i18n("launched") : i18n("switched off")));
    if (active) {
        ui->sshStopPlay->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
        ui->sshStopPlay->setToolTip(i18n("Switched off SSH server"));
    } else {
        ui->sshStopPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        ui->sshStopPlay->setToolTip(i18n("Launched SSH server"));
    }
    ui->warningBtn->setVisible(!m_manager->serverState().isEnabled());
    setEnableAreas(active, Server);
}

void SSHModule::setEnableAreas(bool enable, SSHConfigurationTypeId type) const
{
    const auto areas = m_factoryManager->areas();
    for (AbstractOptionArea *area : areas) {
        if (area->option().configureId() == type) {
            area->setEnabled(enable);
        }
    }
}
