// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Defaults: a configuration restored from its backup or the distribution's default, after a confirmation.
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "configuration.h"
#include "messagesmanager.h"
#include "originnote.h"
#include "sshoption.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

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

/**
 * What the files the distribution's default reads, and which a restore of it leaves, keep in force, in the page's words:
 * the default read by the parser the helper reads with, as if it stood in place of sshd_config (its relative Include
 * lines resolved there), and each setting whose first global value comes from a file other than the default itself.
 */
QStringList keptByIncludes(const QStringList &keywords)
{
    QFile defaults(SSHPaths::serverDistributionDefault());
    const QByteArray contents = defaults.open(QIODevice::ReadOnly) ? defaults.readAll() : QByteArray();
    if (contents.isEmpty()) {
        return {};
    }
    EnginePaths paths = EnginePaths::system();
    paths.serverConfig = SSHPaths::serverConfig();
    const Reply reply = Configuration(paths).readFiles(OptionCatalog::ConfigType::Server, keywords, contents);
    if (!reply.ok) {
        return {};
    }
    namespace Key = SSHSettings::Protocol::Reply;
    const QVariantMap origins = reply.data.value(Key::Origins).toMap();
    QList<std::pair<std::pair<QString, int>, QString>> kept; // (file, line) → what it keeps
    for (const QString &keyword : keywords) {
        const QVariantMap origin = origins.value(keyword.toLower()).toMap();
        const QString file = origin.value(Key::OriginFile).toString();
        if (file.isEmpty() || origin.value(Key::OriginMainFile).toBool()) {
            continue; // the default's own value, or none: what the restore writes
        }
        const QVariant read = reply.data.value(keyword.toLower());
        const QString value = read.userType() == QMetaType::QStringList ? read.toStringList().join(QLatin1Char(' ')) : read.toString();
        const SSHOption option = SSHOption::pageOption(Server, keyword);
        const bool number = QRegularExpression(QStringLiteral("^\\d+$")).match(value).hasMatch();
        const int line = origin.value(Key::OriginLine).toInt();
        kept.append({{file, line},
                     i18nc("@item %1 a setting, %2 its value, %3 a file, %4 a line number",
                           "%1 stays %2 (%3, line %4)",
                           option.displayName.isEmpty() ? keyword : option.displayName,
                           number ? QString(value + option.unit) : value,
                           OriginText::shownPath(file),
                           line)});
    }
    std::sort(kept.begin(), kept.end());
    QStringList settings;
    for (const auto &each : std::as_const(kept)) {
        settings.append(each.second);
    }
    return settings;
}

/// Which files outlive a restore of the distribution's default, and what they keep; empty when none do.
QString includedNote(const QStringList &keywords)
{
    const QStringList settings = keptByIncludes(keywords);
    if (settings.isEmpty()) {
        return {};
    }
    QString note =
        QStringLiteral("<p>") + i18n("The default settings also read files that are not replaced: what they set stays in force.") + QStringLiteral("</p><ul>");
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
    // The client is only ever restored from its backup; the server from its backup or the system's default. The helper
    // restores the set of files it saved in its root-only backup folder, which the page cannot read; with every set it
    // writes the copy of the main file beside it (a change whose copy cannot be written is refused), so that copy tells
    // the page a backup is there. A copy older than the sets is restored alone.
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
    QString question = QStringLiteral("<p>");
    if (localBackup) {
        question += i18n(
            "The files of the last working configuration are put back as they were saved then: %1 and the files it included; files "
            "added since stay as they are. The files replaced are kept in %2, in a folder named after the date and time; the five "
            "newest of these folders are kept.",
            unbroken(target),
            unbroken(SSHPaths::keptFilesFolder()));
    } else {
        question += i18n(
            "%1 will be replaced by %2. The replaced file is kept in %3, in a folder named after the date and time; the five newest "
            "of these folders are kept.",
            unbroken(target),
            unbroken(SSHPaths::serverDistributionDefault()),
            unbroken(SSHPaths::keptFilesFolder()));
    }
    if (type == Server && m_manager->serverState().isActive()) {
        question += QLatin1Char(' ') + i18n("The SSH server restarts afterwards.");
    }
    question += QStringLiteral("</p>");
    if (!localBackup) {
        question += includedNote(m_manager->readKeywords(Server));
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
                                              previous.isEmpty() ? done : done + QLatin1Char(' ') + i18n("What was replaced is kept in %1.", previous),
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
