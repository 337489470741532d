// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Apply: each configuration's changes reviewed (server) and written as one transaction.
#include "sshmodule.h"

#include "abstractoptionarea.h"
#include "messagesmanager.h"
#include "revertcountdown.h"
#include "reviewdialog.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>
#include <KMessageBox>

#include <QAction>
#include <QCheckBox>

#include <utility>

void SSHModule::change()
{
    if (busy() || !m_manager) {
        return;
    }
    // What the messages said before this Apply is stale once it has written something; its own errors stay.
    m_staleAfterApply.clear();
    for (KCMOS::MessageWidget *message : messagesManager()->messages()) {
        m_staleAfterApply.append(message);
    }
    // Each configuration's changes go to the helper as one transaction.
    m_apply = ApplyRun();
    QMap<SSHConfigurationTypeId, Transaction> transactions;
    for (AbstractOptionArea *area : std::as_const(m_areas)) {
        if (!area->hasChanged()) {
            continue;
        }
        const SSHOption &option = area->option();
        const QString id = QStringLiteral("change_%1_%2").arg(option.type == Client ? QStringLiteral("Client") : QStringLiteral("Server"), option.keyword());
        const QVariantMap changes = area->changes();
        if (changes.isEmpty()) {
            area->setHasChanged(false); // the same lists in another order: nothing to write
            continue;
        }
        if (!area->validate()) {
            m_apply.anyFailed = true;
            m_apply.failed.append(area);
            messagesManager()->newMessageById(id, i18n("%1 was not applied: %2", option.displayName, area->validationError()), KCMOS::Error);
            continue;
        }
        messagesManager()->removeMessageById(id);
        Transaction &transaction = transactions[option.type];
        transaction.type = option.type;
        transaction.changes.insert(changes);
        transaction.areas.append(area);
    }
    m_apply.pending = transactions.values();
    beginFlow(i18nc("@info:progress", "Applying…"));
    applyNext();
}

void SSHModule::startSingleRun(std::function<void()> again)
{
    m_staleAfterApply.clear();
    m_apply = ApplyRun();
    m_apply.again = std::move(again);
    // Edits waiting for Apply stay as they are, to be applied with it.
    for (AbstractOptionArea *other : std::as_const(m_areas)) {
        if (other->hasChanged()) {
            m_apply.kept.append(other);
        }
    }
}

void SSHModule::runBlockRequest(ConditionalArea *area, const ConditionalArea::Request &request)
{
    if (busy() || !m_manager) {
        return;
    }
    startSingleRun([this, area, request] {
        runBlockRequest(area, request);
    });
    m_apply.blocks = area;
    m_apply.pending.append({area->type(), request.changes, {}, request.arguments(), false});
    if (!request.globalAfter.isEmpty()) {
        m_apply.pending.append({area->type(), request.globalAfter, {}, {}, true});
    }
    beginFlow(i18nc("@info:progress", "Applying…"));
    applyNext();
}

void SSHModule::runSecurityRequest(const SSHSettings::ActionArguments &arguments, const QString &warning)
{
    if (busy() || !m_manager) {
        return;
    }
    startSingleRun([this, arguments, warning] {
        runSecurityRequest(arguments, warning);
    });
    m_apply.security = true;
    m_apply.warning = warning;
    // A fix leaves out what would lock this session out, in its review and again when it writes.
    const QString first = arguments.isEmpty() ? QString() : arguments.constFirst().first;
    if (first == SSHSettings::Protocol::Arg::AuditFix || first == SSHSettings::Protocol::Arg::AuditFixAll) {
        m_apply.session = qEnvironmentVariable("SSH_CONNECTION");
    }
    m_apply.pending.append({Server, {}, {}, arguments, false});
    beginFlow(i18nc("@info:progress", "Applying…"));
    applyNext();
}

void SSHModule::applyNext()
{
    // What depends on a transaction that was not written is not written either.
    while (!m_apply.lastApplied && !m_apply.pending.isEmpty() && m_apply.pending.constFirst().afterPrevious) {
        m_apply.pending.removeFirst();
    }
    if (m_apply.pending.isEmpty()) {
        finishApply();
        return;
    }
    m_apply.current = m_apply.pending.takeFirst();
    // What the server's change writes is shown first: the dry run of the very same transaction.
    if (m_apply.current.type == Server) {
        m_manager->review(
            Server,
            m_apply.current.changes,
            qEnvironmentVariable("SSH_CONNECTION"),
            this,
            [this](const SSHManager::Review &review) {
                reviewed(review);
            },
            m_apply.current.block);
    } else {
        sendApply(QString());
    }
}

namespace
{
QString transactionMessageId(SSHConfigurationTypeId type)
{
    return type == Server ? QStringLiteral("transaction_server") : QStringLiteral("transaction_client");
}

KLocalizedString notAppliedText(SSHConfigurationTypeId type)
{
    return type == Server ? ki18n("The server settings were not applied: %1") : ki18n("The client settings were not applied: %1");
}
}

void SSHModule::reviewed(const SSHManager::Review &review)
{
    const QString id = transactionMessageId(Server);
    if (!review.ok) {
        messagesManager()->newMessageById(id, notAppliedText(Server).subs(review.reason).toString(), KCMOS::Error);
        transactionDone(Outcome::NotApplied);
        return;
    }
    // "Do not show this again" skips only the reviews that warn of nothing.
    const bool warns = !ReviewDialog::lockoutWarnings(review).isEmpty();
    // A block operation or a fix is one click: its review is always shown, and says nothing of the others'.
    const bool single = m_apply.blocks || m_apply.security;
    if (!review.diffs.isEmpty() && (warns || single || KMessageBox::shouldBeShownContinue(ReviewDialog::DontAskAgainName))) {
        ReviewDialog dialog(review, widget());
        if (single) {
            dialog.findChild<QCheckBox *>(QStringLiteral("dontShowAgain"))->hide();
        }
        dialog.setWarning(m_apply.warning);
        if (dialog.exec() != QDialog::Accepted) {
            messagesManager()->removeMessageById(id);
            transactionDone(Outcome::NotApplied);
            return;
        }
        if (dialog.dontShowAgain()) {
            KMessageBox::saveDontShowAgainContinue(ReviewDialog::DontAskAgainName);
        }
    }
    sendApply(review.base);
}

void SSHModule::sendApply(const QString &base)
{
    const SSHConfigurationTypeId type = m_apply.current.type;
    const int revertAfter = type == Server ? revertAfterSeconds() : 0;
    const QVariantMap before = serverValues();
    m_manager->apply(
        type,
        m_apply.current.changes,
        revertAfter,
        base,
        this,
        [this, before, revertAfter](const SSHManager::Applied &outcome) {
            applied(outcome, before, revertAfter);
        },
        m_apply.current.block,
        m_apply.session);
}

void SSHModule::applied(const SSHManager::Applied &outcome, const QVariantMap &before, int revertAfter)
{
    const SSHConfigurationTypeId type = m_apply.current.type;
    const QString id = transactionMessageId(type);
    if (!outcome.ok && outcome.baseChanged) {
        // Another hand changed the files after the review: nothing was written, the new review shows theirs too.
        KCMOS::MessageWidget *message =
            messagesManager()->newMessageById(id, i18n("The settings were not applied: the configuration changed since it was reviewed."), KCMOS::Warning);
        auto *again = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), i18nc("@action:button", "Review Again"), message);
        if (m_apply.again) {
            connect(again, &QAction::triggered, this, m_apply.again, Qt::QueuedConnection);
        } else {
            connect(again, &QAction::triggered, this, &SSHModule::change, Qt::QueuedConnection);
        }
        message->addAction(again);
        transactionDone(Outcome::NotApplied);
        return;
    }
    if (!outcome.ok && !outcome.outcomeUnknown) {
        messagesManager()->newMessageById(id, notAppliedText(type).subs(outcome.reason).toString(), KCMOS::Error);
        transactionDone(Outcome::NotApplied);
        return;
    }
    if (!outcome.ok) {
        // A running countdown keeps its token, which still names the pending changes.
        QString text = i18n("The result of the change is not known; the settings shown were read again.");
        if (revertAfter > 0 && !m_countdown) {
            text += QLatin1Char(' ')
                + i18np("If it was written, it is undone after %1 second unless it is kept: “ssh-settings-tool pending” lists it, "
                        "“ssh-settings-tool confirm” keeps it.",
                        "If it was written, it is undone after %1 seconds unless it is kept: “ssh-settings-tool pending” lists it, "
                        "“ssh-settings-tool confirm” keeps it.",
                        revertAfter);
        }
        messagesManager()->newMessageById(id, text, KCMOS::Warning);
        transactionDone(Outcome::Unknown);
        return;
    }
    messagesManager()->removeMessageById(id);
    m_apply.values = outcome.values;
    m_apply.skipped += outcome.skipped;
    if (!outcome.token.isEmpty()) {
        // Joined pending changes the page did not make (ssh-settings-tool, another session): Keep and Revert act on them too.
        if (!m_countdown) {
            m_joinedOthers = outcome.joinedPending;
        }
        startRevertCountdown(outcome.token, revertAfter, outcome.unanswered, before);
    } else if (!outcome.unanswered.isEmpty()) {
        messagesManager()->newMessageById(QStringLiteral("unanswered_id"), unansweredText(outcome.unanswered), KCMOS::Warning);
    } else {
        messagesManager()->removeMessageById(QStringLiteral("unanswered_id"));
    }
    transactionDone(Outcome::Applied);
}

void SSHModule::transactionDone(Outcome outcome)
{
    m_apply.anyChanged = m_apply.anyChanged || outcome == Outcome::Applied;
    m_apply.anyFailed = m_apply.anyFailed || outcome == Outcome::NotApplied;
    m_apply.anyUnknown = m_apply.anyUnknown || outcome == Outcome::Unknown;
    m_apply.lastApplied = outcome == Outcome::Applied;
    for (AbstractOptionArea *area : std::as_const(m_apply.current.areas)) {
        if (outcome == Outcome::NotApplied) {
            m_apply.failed.append(area);
        } else if (outcome == Outcome::Unknown) {
            m_apply.unknown.append(area);
        }
    }
    if (outcome == Outcome::NotApplied) {
        applyNext();
        return;
    }
    // What was (or may have been) written is shown as the helper read it; what failed keeps its edit, still changed (takeValues()).
    if (m_apply.values.isEmpty()) {
        // No values came with the answer: they are read.
        m_manager->loadConfigurations({m_apply.current.type}, this, [this] {
            applyNext();
        });
        return;
    }
    m_manager->takeReadValues(m_apply.current.type, std::exchange(m_apply.values, {}));
    applyNext();
}

void SSHModule::finishApply()
{
    for (AbstractOptionArea *area : std::as_const(m_apply.unknown)) {
        area->reset(); // shows what was read, written or not
        area->setHasChanged(false);
    }
    if (m_apply.anyChanged || m_apply.anyUnknown) {
        updateOriginIndicators();
        handlerChangeTrigger();
        Q_EMIT valuesShown();
    }
    if (m_apply.anyChanged) {
        QList<KCMOS::MessageWidget *> stale;
        for (const QPointer<KCMOS::MessageWidget> &message : std::exchange(m_staleAfterApply, {})) {
            if (message) {
                stale.append(message);
            }
        }
        messagesManager()->removeStaleMessages(stale);
        // Beside a failure, the success names only the rest.
        messagesManager()->newMessageById(QStringLiteral("success_change_id"),
                                          m_apply.anyFailed || m_apply.anyUnknown ? i18n("The other changes were applied.") : i18n("The changes were applied."),
                                          KCMOS::Positive);
    } else {
        messagesManager()->removeMessageById(QStringLiteral("success_change_id"));
    }
    ConditionalArea *blocks = m_apply.blocks;
    if (blocks && (m_apply.anyChanged || m_apply.anyUnknown)) {
        blocks->requestWritten(); // the blocks read next show what was written
    }
    const bool security = m_apply.security;
    if (security) {
        showSkippedFixes(m_apply.skipped);
    }
    if (m_apply.anyFailed && !blocks && !security) {
        markAsChanged();
    }
    m_securityStale = m_securityStale || m_apply.anyChanged || m_apply.anyUnknown;
    m_apply = ApplyRun();
    // Blocks are read again as written: a block operation's always, the others' where shown (global lines move them).
    for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
        readBlocks(area, area == blocks);
    }
    // So is the security check, where shown, after a fix or any other change.
    readSecurity();
    endFlow();
}
