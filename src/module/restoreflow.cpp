// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Defaults: a configuration restored from its backup or the distribution's default, after a confirmation.
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "messagesmanager.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QFile>
#include <QMessageBox>
#include <QPushButton>

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
    if (busy() || !m_manager || m_refused) {
        return;
    }
    // Defaults acts on the configuration the page shows.
    const SSHConfigurationTypeId type = ui->comboBoxSshConfig->currentIndex() == 1 ? Client : Server;
    if (type == Client && !QFile::exists(SSHPaths::clientBackup())) {
        messagesManager()->newMessageById(QStringLiteral("restore_id"),
                                          i18n("There is no saved copy of the SSH client settings to restore."),
                                          KCMOS::Information);
        return;
    }
    // The client is only ever restored from its backup; the server from its backup or the system's default.
    bool localBackup = type == Client;
    if (type == Server && QFile::exists(SSHPaths::serverBackup())) {
        const int answer = showRestoreDialog(i18n("Restore the last working SSH server settings, or the distribution's default settings?"),
                                             {i18n("Last working settings"), i18n("Distribution default")},
                                             0);
        if (answer < 0) {
            return;
        }
        localBackup = answer == 0;
    }
    const QString target = type == Client ? SSHPaths::clientConfig() : SSHPaths::serverConfig();
    const QString source = localBackup ? (type == Client ? SSHPaths::clientBackup() : SSHPaths::serverBackup()) : SSHPaths::serverDistributionDefault();
    QString question = i18n(
        "%1 will be replaced by %2. The replaced file is kept in %3, in a folder named after the date and time; the five newest "
        "of these folders are kept.",
        target,
        source,
        SSHPaths::keptFilesFolder());
    if (type == Server && m_manager->serverState().isActive()) {
        question += QLatin1Char(' ') + i18n("The SSH server restarts afterwards.");
    }
    if (showRestoreDialog(question, {i18n("Restore")}) != 0) {
        return;
    }
    beginFlow();
    m_manager->restoreFileConfiguration(type, localBackup, this, [this, type](const SSHSettings::ActionResult &result) {
        restored(type, result);
    });
}

void SSHModule::restored(SSHConfigurationTypeId type, const SSHSettings::ActionResult &result)
{
    if (!result.ok && !result.outcomeUnknown) {
        messagesManager()->newMessageById(QStringLiteral("restore_id"),
                                          i18n("The configuration was not restored: %1", SSHSettings::failureReason(result)),
                                          KCMOS::Error);
        endFlow();
        return;
    }
    messagesManager()->clearMessages();
    showCountdownMessage();
    const auto reread = [this, type, unknown = result.outcomeUnknown, previous = result.data.value(SSHSettings::Protocol::Reply::Previous).toString()] {
        readValues([this, type, unknown, previous] {
            if (unknown) {
                messagesManager()->newMessageById(QStringLiteral("restore_id"),
                                                  i18n("The result of the restore is not known; the settings shown were read again."),
                                                  KCMOS::Warning);
                return;
            }
            const QString done = type == Client ? i18n("The SSH client settings were restored.") : i18n("The SSH server settings were restored.");
            messagesManager()->newMessageById(QStringLiteral("restore_id"),
                                              previous.isEmpty() ? done : done + QLatin1Char(' ') + i18n("The replaced file is kept as %1.", previous),
                                              KCMOS::Positive);
        });
        endFlow();
    };
    // Only a server that runs is restarted; a stopped one reads the file when it starts.
    if (type != Server || !m_manager->serverState().isActive()) {
        reread();
        return;
    }
    m_manager->serverState().restart(this, [this, reread](const SSHSettings::ActionResult &restart) {
        reread();
        if (!restart.ok) {
            messagesManager()->newMessageById(QStringLiteral("service_id"),
                                              i18n("The SSH server was not restarted: %1", SSHSettings::failureReason(restart)),
                                              KCMOS::Error);
        }
    });
}
