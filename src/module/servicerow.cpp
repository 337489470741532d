// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The service row: the state of sshd, and start, stop and restart.
#include "securityarea.h"
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "messagesmanager.h"
#include "securityarea.h"

#include <KLocalizedString>

#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

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
        serviceCommand(ServiceCommand::Restart);
    });
    connect(ui->sshStopPlay, &QPushButton::clicked, this, [this] {
        if (m_manager->serverState().isActive()) {
            if (confirmStop()) {
                serviceCommand(ServiceCommand::Stop);
            }
        } else {
            serviceCommand(ServiceCommand::Start);
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

namespace
{
/// What a service command says while it runs, when it failed, and once done, as the server then runs or not.
struct ServiceWords {
    QString progress;
    KLocalizedString failure;
    QString running;
    QString stopped;
    bool runs = true; ///< what the command leaves the server doing when it works
};

ServiceWords serviceWords(SSHModule::ServiceCommand command)
{
    switch (command) {
    case SSHModule::ServiceCommand::Start:
        return {i18nc("@info:progress", "Starting the SSH server…"),
                ki18n("The SSH server was not started: %1"),
                i18n("The SSH server (sshd) was started: it is running."),
                i18n("The SSH server (sshd) was started, but it is not running. The system log says why.")};
    case SSHModule::ServiceCommand::Stop:
        return {i18nc("@info:progress", "Stopping the SSH server…"),
                ki18n("The SSH server was not stopped: %1"),
                i18n("The SSH server (sshd) was asked to stop, but it is still running."),
                i18n("The SSH server (sshd) was stopped: no new SSH login is possible until it is started."),
                false};
    case SSHModule::ServiceCommand::Restart:
        break;
    }
    return {i18nc("@info:progress", "Restarting the SSH server…"),
            ki18n("The SSH server was not restarted: %1"),
            i18n("The SSH server (sshd) was restarted: it is running with the settings in its files."),
            i18n("The SSH server (sshd) was restarted, but it is not running. The system log says why.")};
}
}

void SSHModule::serviceCommand(ServiceCommand command)
{
    if (busy()) {
        return;
    }
    const ServiceWords words = serviceWords(command);
    const auto run = command == ServiceCommand::Start ? &ServerState::start : command == ServiceCommand::Stop ? &ServerState::stop : &ServerState::restart;
    beginFlow(words.progress);
    (m_manager->serverState().*run)(this, [this, words](const SSHSettings::ActionResult &result) {
        const bool active = m_manager->serverState().isActive();
        if (result.outcomeUnknown) {
            // The state below is asked anew, whatever the answer said.
            messagesManager()->newMessageById(QStringLiteral("service_id"),
                                              i18n("The result of the command is not known; the state shown was read again."),
                                              KCMOS::Warning);
        } else if (!result.ok) {
            messagesManager()->newMessageById(QStringLiteral("service_id"), words.failure.subs(SSHSettings::failureReason(result)).toString(), KCMOS::Error);
        } else {
            // The state is that of the service now, not what the command hoped for.
            messagesManager()->newMessageById(QStringLiteral("service_id"),
                                              active ? words.running : words.stopped,
                                              active == words.runs ? KCMOS::Positive : KCMOS::Warning);
        }
        serverControlButtonsHandler();
        // A server that runs now is read anew, its values may have changed meanwhile.
        if (active) {
            messagesManager()->removeMessageById(QStringLiteral("load_id"));
            messagesManager()->removeMessageById(QStringLiteral("stopped_id"));
            beginFlow(i18nc("@info:progress", "Reading the settings…"));
            m_manager->loadConfigurations({Server, Client}, this, [this] {
                showReadValues();
                endFlow();
            });
        }
        endFlow();
    });
}

void SSHModule::serverControlButtonsHandler() const
{
    const bool active = m_manager->serverState().isActive();
    ui->label->setText(i18nc("@label %1 is the state of the service",
                             "SSH server: %1",
                             active ? i18nc("@info server state", "Running") : i18nc("@info server state", "Stopped")));
    if (active) {
        ui->sshStopPlay->setIcon(ui->sshStopPlay->style()->standardIcon(QStyle::SP_MediaStop));
        ui->sshStopPlay->setToolTip(i18n("Stop the SSH server"));
    } else {
        ui->sshStopPlay->setIcon(ui->sshStopPlay->style()->standardIcon(QStyle::SP_MediaPlay));
        ui->sshStopPlay->setToolTip(i18n("Start the SSH server"));
    }
    ui->sshStopPlay->setAccessibleName(ui->sshStopPlay->toolTip());
    ui->sshStopPlay->setEnabled(!busy() && !m_refused);
    ui->sshReload->setEnabled(active && !busy() && !m_refused);
    ui->warningBtn->setVisible(!m_manager->serverState().isEnabled());
    updateAreasState();
}

void SSHModule::updateAreasState() const
{
    // A stopped server stays editable: its files are written now and read when it starts.
    // Without rights, what the files everyone may read set is shown, read-only; nothing else is shown as if it had been read.
    for (AbstractOptionArea *area : m_areas) {
        area->setEnabled(!m_refused);
        area->setVisible(!m_refused || m_filesShown);
    }
    if (m_security) {
        m_security->setEnabled(!m_refused); // nothing of the check is shown as if it had been read
    }
}
