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

void SSHModule::serviceCommand(void (ServerState::*command)(QObject *, SSHSettings::ActionDone) const, const KLocalizedString &failure)
{
    if (busy()) {
        return;
    }
    beginFlow();
    (m_manager->serverState().*command)(this, [this, failure](const SSHSettings::ActionResult &result) {
        if (result.outcomeUnknown) {
            // The state below is asked anew, whatever the answer said.
            messagesManager()->newMessageById(QStringLiteral("service_id"),
                                              i18n("The result of the command is not known; the state shown was read again."),
                                              KCMOS::Warning);
        } else if (!result.ok) {
            messagesManager()->newMessageById(QStringLiteral("service_id"), failure.subs(SSHSettings::failureReason(result)).toString(), KCMOS::Error);
        } else {
            messagesManager()->removeMessageById(QStringLiteral("service_id"));
        }
        serverControlButtonsHandler();
        // A server that runs now is read anew, its values may have changed meanwhile.
        if (m_manager->serverState().isActive()) {
            messagesManager()->removeMessageById(QStringLiteral("load_id"));
            messagesManager()->removeMessageById(QStringLiteral("stopped_id"));
            beginFlow();
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
    ui->sshReload->setEnabled(active);
    ui->warningBtn->setVisible(!m_manager->serverState().isEnabled());
    updateAreasState();
}

void SSHModule::updateAreasState() const
{
    // A stopped server stays editable: its files are written now and read when it starts.
    for (AbstractOptionArea *area : m_areas) {
        area->setEnabled(!m_refused);
        area->setVisible(!m_refused);
    }
    if (m_security) {
        m_security->setEnabled(!m_refused); // nothing of the check is shown as if it had been read
    }
}
