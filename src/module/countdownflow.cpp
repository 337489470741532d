// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The countdown of an applied server change: Keep, Revert Now, its end, and the question on closing.
#include "sshmodule.h"

#include "messagesmanager.h"
#include "messagewidget.h"
#include "privilegedaction.h"
#include "revertcountdown.h"
#include "sshsettingsprotocol.h"

#include <KConfigGroup>
#include <KLocalizedString>
#include <KSharedConfig>

#include <QAction>
#include <QMessageBox>
#include <QPushButton>

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
    QString text = i18np("Keep these settings? They will be reverted in %1 second.",
                         "Keep these settings? They will be reverted in %1 seconds.",
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
    m_countdownMessage->setSticky(true);
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
    // Every keyword read, those only "All settings" shows included; not where they come from.
    QVariantMap values = m_manager->readValues(Server);
    namespace Reply = SSHSettings::Protocol::Reply;
    for (const QLatin1String other : {Reply::Origins, Reply::Version, Reply::Algorithms, Reply::Nonce}) {
        values.remove(other);
    }
    return values;
}

void SSHModule::finishRevertCountdown(CountdownEnd end, bool leaving)
{
    if (!m_countdown) {
        return;
    }
    const QString token = m_countdown->token();
    // The end of the countdown is never dropped, nor a choice made as the page goes; Keep or Revert Now pressed
    // while another flow runs is not taken.
    if (busy() && end != CountdownEnd::Expired && !leaving) {
        return;
    }
    m_countdown->stop(); // no tick ends it while the helper is asked
    beginFlow(end == CountdownEnd::Keep ? i18nc("@info:progress", "Keeping the new settings…") : i18nc("@info:progress", "Reverting the settings…"));
    // Not tied to the page, which may be gone before the request's turn comes: the page hears the answer if it is still there.
    const auto answered = [page = QPointer<SSHModule>(this), end](const SSHSettings::ActionResult &result) {
        if (page) {
            page->countdownAnswered(end, result);
        }
    };
    end == CountdownEnd::Keep ? m_manager->keepChange(token, nullptr, answered) : m_manager->revertChange(token, nullptr, answered);
}

void SSHModule::countdownAnswered(CountdownEnd end, const SSHSettings::ActionResult &result)
{
    const bool unknown = result.outcomeUnknown;
    const QString reason = result.ok ? QString() : SSHSettings::failureReason(result);
    messagesManager()->removeMessageById(QStringLiteral("revert_result"));
    if (unknown && end != CountdownEnd::Expired) {
        // The token is not given up: Keep and Revert Now stay, and the countdown goes on.
        m_countdown->resume();
        messagesManager()->removeMessageById(QStringLiteral("success_change_id"));
        readValues([this] {
            messagesManager()->newMessageById(QStringLiteral("revert_result"),
                                              i18n("The result is not known; the settings shown were read again. Keep or Revert Now can be pressed again."),
                                              KCMOS::Warning);
        });
        endFlow();
        return;
    }
    m_countdown->deleteLater();
    m_countdown = nullptr;
    m_unanswered.clear();
    messagesManager()->removeMessageById(QStringLiteral("revert_countdown"));
    if (end == CountdownEnd::Keep && result.ok) {
        messagesManager()->newMessageById(QStringLiteral("success_change_id"), i18n("The new settings are kept."), KCMOS::Positive);
        endFlow();
        return;
    }
    messagesManager()->removeMessageById(QStringLiteral("success_change_id"));
    readValues([this, end, unknown, reason, done = result.ok] {
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
    });
    endFlow();
}

void SSHModule::askAboutCountdown(QWidget *parent)
{
    if (!m_countdown) {
        return;
    }
    m_countdownAsked = true;
    QMessageBox box(QMessageBox::Question,
                    i18nc("@title:window", "Keep the New SSH Settings?"),
                    i18np("The new SSH server settings are not kept yet: they will be reverted in %1 second.",
                          "The new SSH server settings are not kept yet: they will be reverted in %1 seconds.",
                          m_countdown->remaining()),
                    QMessageBox::NoButton,
                    parent);
    QPushButton *keep = box.addButton(i18nc("@action:button", "Keep the Settings"), QMessageBox::AcceptRole);
    QPushButton *revert = box.addButton(i18nc("@action:button", "Revert Now"), QMessageBox::DestructiveRole);
    QPushButton *leave = box.addButton(i18nc("@action:button", "Leave the Countdown Running"), QMessageBox::RejectRole);
    box.setDefaultButton(leave);
    box.setEscapeButton(leave);
    box.exec();
    // Asked because the page goes: the choice is sent whatever else runs.
    if (box.clickedButton() == keep) {
        finishRevertCountdown(CountdownEnd::Keep, true);
    } else if (box.clickedButton() == revert) {
        finishRevertCountdown(CountdownEnd::RevertNow, true);
    }
}
