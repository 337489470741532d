// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Defaults: a configuration restored from its backup or the distribution's default, after a confirmation.
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "messagesmanager.h"
#include "sshoption.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

namespace
{
/// A path in a message box's rich text, never broken across lines.
QString unbroken(const QString &path)
{
    return QStringLiteral("<nobr>%1</nobr>").arg(path.toHtmlEscaped());
}

/// What the drop-in files set before their first Match, each value the first one sshd takes, in the page's words.
QStringList dropInSettings(const QString &folder)
{
    const QStringList keywords = SSHOption::pageKeywords(Server);
    QStringList seen;
    QStringList settings;
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.conf")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            continue;
        }
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
                continue;
            }
            const int end = line.indexOf(QRegularExpression(QStringLiteral("[\\s=]")));
            const QString keyword = line.left(end);
            if (keyword.compare(QLatin1String("Match"), Qt::CaseInsensitive) == 0) {
                break; // what follows holds for some connections only
            }
            if (end < 0 || seen.contains(keyword.toLower())) {
                continue; // sshd takes the first value it reads
            }
            seen.append(keyword.toLower());
            const QString value = line.mid(end + 1).trimmed();
            const auto known = std::find_if(keywords.cbegin(), keywords.cend(), [&keyword](const QString &each) {
                return each.compare(keyword, Qt::CaseInsensitive) == 0;
            });
            const SSHOption option = known == keywords.cend() ? SSHOption() : SSHOption::pageOption(Server, *known);
            const bool number = QRegularExpression(QStringLiteral("^\\d+$")).match(value).hasMatch();
            settings.append(i18nc("@item %1 a setting, %2 its value, %3 a file",
                                  "%1 stays %2 (%3)",
                                  option.displayName.isEmpty() ? keyword : option.displayName,
                                  number ? QString(value + option.unit) : value,
                                  name));
        }
    }
    return settings;
}

/// Which drop-ins outlive a restore of the distribution's default, and what they keep; empty when none do.
QString dropInNote()
{
    const QString folder = SSHPaths::serverConfig() + QStringLiteral(".d");
    QFile defaults(SSHPaths::serverDistributionDefault());
    const bool included = defaults.open(QIODevice::ReadOnly | QIODevice::Text)
        && QRegularExpression(QStringLiteral("^\\s*Include\\s+\\S*sshd_config\\.d"),
                              QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption)
               .match(QString::fromUtf8(defaults.readAll()))
               .hasMatch();
    const QStringList settings = included ? dropInSettings(folder) : QStringList();
    if (settings.isEmpty()) {
        return {};
    }
    QString note = QStringLiteral("<p>")
        + i18n("The default settings read the files in %1, which are not replaced: what they set stays in force.", unbroken(folder))
        + QStringLiteral("</p><ul>");
    for (const QString &setting : settings) {
        note += QStringLiteral("<li>") + setting.toHtmlEscaped() + QStringLiteral("</li>");
    }
    return note + QStringLiteral("</ul>");
}
}

int SSHModule::showRestoreDialog(const QString &text, const QStringList &choices, int focused)
{
    QMessageBox box(QMessageBox::Question, i18nc("@title:window", "Restore SSH Settings"), text, QMessageBox::NoButton, widget());
    box.setTextFormat(Qt::RichText);
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
                                             {i18nc("@action:button", "Last Working Settings"), i18nc("@action:button", "Distribution Default")},
                                             0);
        if (answer < 0) {
            return;
        }
        localBackup = answer == 0;
    }
    const QString target = type == Client ? SSHPaths::clientConfig() : SSHPaths::serverConfig();
    const QString source = localBackup ? (type == Client ? SSHPaths::clientBackup() : SSHPaths::serverBackup()) : SSHPaths::serverDistributionDefault();
    QString question = QStringLiteral("<p>")
        + i18n("%1 will be replaced by %2. The replaced file is kept in %3, in a folder named after the date and time; the five newest "
               "of these folders are kept.",
               unbroken(target),
               unbroken(source),
               unbroken(SSHPaths::keptFilesFolder()));
    if (type == Server && m_manager->serverState().isActive()) {
        question += QLatin1Char(' ') + i18n("The SSH server restarts afterwards.");
    }
    question += QStringLiteral("</p>");
    if (!localBackup) {
        question += dropInNote();
    }
    if (showRestoreDialog(question, {i18nc("@action:button", "Restore")}) != 0) {
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
