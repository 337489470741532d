// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "conditionalarea.h"
#include "orbiskcmodule.h"
#include "privilegedaction.h"
#include "serverstate.h"
#include "sshmanager.h"
#include "sshoption.h"

#include <QHash>
#include <QPointer>

#include <functional>

class AbstractOptionArea;
class KLocalizedString;
namespace KCMOS
{
class MessageWidget;
}
class OriginNote;
class QLabel;
class RevertCountdown;
class SecurityArea;
class QVBoxLayout;
class SSHManager;

namespace Ui
{
class SSHModule;
}

/**
 * The SSH settings page: server tabs, client page, service row and connections tab.
 *
 * Every request to the helper is asynchronous: a flow (read, apply, restore, service command,
 * keep or revert) sends one and goes on in its answer. While a flow runs the page shows the busy
 * indicator and Apply, Reset and Defaults start nothing. Its parts live in pagelayout.cpp,
 * applyflow.cpp, countdownflow.cpp, restoreflow.cpp and servicerow.cpp.
 */
class SSHModule : public KCMOS::OrbisKCModule
{
    Q_OBJECT
public:
    SSHModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args);
    /// The commands of the service row.
    enum class ServiceCommand {
        Start,
        Stop,
        Restart,
    };
    ~SSHModule() override;

Q_SIGNALS:
    /// Values read from the helper (by a read, or in an apply's reply) are now on the page.
    void valuesShown();

protected:
    /// Notices the closing of the window while a countdown runs.
    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    void access() override;
    void change() override;
    void defaults() override;

private:
    // The page's layout (pagelayout.cpp).
    void createOptionAreas();
    void configureLayoutWidgets();
    void addWidgetsToLayout(QVBoxLayout *layout, PageTab tab);
    /// Lays the areas of a tab out as one form: labels right-aligned in one column with their buddies
    /// beside them, check boxes in the field column.
    void alignFormColumns(QVBoxLayout *layout) const;
    void stretchUiAndViewSwitch();
    void createConnectionsTab();
    /// The "Conditional settings" of both configurations; their blocks are read when they are shown.
    void createConditionalAreas();
    /// Reads the blocks of @p area's configuration, if the page shows it (or @p always).
    void readBlocks(ConditionalArea *area, bool always = false);
    void testConnection(ConditionalArea *area, const QString &user, const QString &address, const QString &host);
    /// The "Security" tab; the check is read when it is shown.
    void createSecurityArea();
    /// Reads the security check and the host keys, if the page shows them and they may have changed since the last read.
    void readSecurity();
    /// Says which fixes the helper left out, and why; removes the message when none was.
    void showSkippedFixes(const QVariantList &skipped);
    void updateOriginIndicators() const;
    /// The area that shows @p keyword of @p type; nullptr when none does.
    AbstractOptionArea *area(SSHConfigurationTypeId type, const QString &keyword) const;

    // Reading (sshmodule.cpp).
    /// A flow starts: the busy indicator shows, saying @p text, until as many end. Until the helper first
    /// answers it says that the page waits for administrator rights. The page's and the host's buttons
    /// that would start another request are disabled meanwhile.
    void beginFlow(const QString &text = QString());
    void endFlow();
    /// Enables the page's and the host's buttons that start requests, as the page's state allows.
    void updateControls();
    /// Puts the focus back where it was when the flow began, if it went elsewhere.
    void restoreFocus();
    /// Gives the tab bar its place in the Tab order: after the status row and the configuration, before the tabs' content.
    void orderFrameFocus();
    /// Gives the configuration's label and the tabs their own Alt letters again (m_frameMnemonics).
    void keepFrameMnemonics();
    /// Gives the page's texts Alt letters, none of them one of the host's buttons or of the frame.
    void manageMnemonics();
    bool busy() const
    {
        return m_flows > 0;
    }
    /// Reads both configurations; then the areas show what was read and @p then runs.
    void readValues(std::function<void()> then = {});
    /// Shows what was read, as unchanged, and says so.
    void showReadValues();
    /// The areas of @p type take the values just read, but those whose edit failed to apply keep it.
    void takeValues(SSHConfigurationTypeId type);
    /// Reads the algorithm lists of the configuration shown, once, where the page shows them ("All settings", a block's body).
    void readAlgorithmsWhenShown();

    // Apply (applyflow.cpp).
    /// The changes of one configuration, and the areas they came from.
    struct Transaction {
        SSHConfigurationTypeId type = Server;
        SSHManager::Changes changes;
        QList<AbstractOptionArea *> areas;
        SSHSettings::ActionArguments block; ///< the block and its operation; @a changes are then its body
        bool afterPrevious = false; ///< written only when the transaction before it was
    };
    enum class Outcome {
        Applied,
        NotApplied,
        Unknown, ///< no answer tied to the request came: what is on disk is read again
    };
    /// One press of Apply: its transactions go one after the other.
    struct ApplyRun {
        QList<Transaction> pending;
        Transaction current;
        QList<AbstractOptionArea *> failed; ///< keep what they show, still changed
        QList<AbstractOptionArea *> unknown;
        QVariantMap values; ///< what the current transaction's answer says was written, as a read reply
        bool anyChanged = false;
        bool anyFailed = false;
        bool anyUnknown = false;
        bool lastApplied = true; ///< the transaction before the current one was applied
        ConditionalArea *blocks = nullptr; ///< a block operation's: its blocks are read again at the end
        bool security = false; ///< a security fix or host-key operation: the check is read again at the end
        QString warning; ///< said in the review
        QString session; ///< a security fix's: the session whose lockout review its apply repeats
        QVariantList skipped; ///< the fixes the helper left out (Protocol::Reply::AuditSkipped)
        QList<AbstractOptionArea *> kept; ///< edits waiting for Apply that a block operation leaves alone
        std::function<void()> again; ///< reviews the run again; Apply's by default
    };
    /// One block operation, sent at once as Apply sends its changes: reviewed (server), written, counted down.
    void runBlockRequest(ConditionalArea *area, const ConditionalArea::Request &request);
    /// One fix of the security check, or a host key's operation, sent at once as a block operation is.
    void runSecurityRequest(const SSHSettings::ActionArguments &arguments, const QString &warning);
    /// Starts m_apply as one click's run: edits waiting for Apply stay as they are.
    void startSingleRun(std::function<void()> again);
    /// Reviews (server) and applies the next transaction, or ends the run.
    void applyNext();
    void reviewed(const SSHManager::Review &review);
    void sendApply(const QString &base);
    void applied(const SSHManager::Applied &outcome, const QVariantMap &before, int revertAfter);
    void transactionDone(Outcome outcome);
    void finishApply();

    // The countdown of an applied server change (countdownflow.cpp).
    /// Seconds before an unkept server change is reverted; 0 turns the countdown off.
    static int revertAfterSeconds();
    /// Starts the one countdown, or restarts it under @p token when a change joined the pending ones.
    void startRevertCountdown(const QString &token, int seconds, const QStringList &unanswered, const QVariantMap &before);
    /// Shows (again) the countdown's message, which cannot be closed while the countdown runs.
    void showCountdownMessage();
    enum class CountdownEnd {
        Keep,
        RevertNow,
        Expired,
    };
    void finishRevertCountdown(CountdownEnd end, bool leaving = false);
    void countdownAnswered(CountdownEnd end, const SSHSettings::ActionResult &result);
    /// While a countdown runs, asks whether to keep the settings, revert them now or leave the countdown running.
    void askAboutCountdown(QWidget *parent);
    /// The server's values read, by lower-case keyword, without their origins.
    QVariantMap serverValues() const;
    /// "sshd does not answer on …" for the "address port" sockets of a restart's reply.
    static QString unansweredText(const QStringList &unanswered);

    // Restore (restoreflow.cpp).
    /// The index of the chosen button, -1 for Cancel; @p focused is the default button's index, Cancel when out of range.
    int showRestoreDialog(const QString &text, const QStringList &choices, int focused = -1);
    void restored(SSHConfigurationTypeId type, const SSHSettings::ActionResult &result);

    // The service row (servicerow.cpp).
    void setupSshServerStatus();
    bool confirmStop();
    void serviceCommand(ServiceCommand command);
    void serverControlButtonsHandler() const;
    /// Sets the state of every area from the permission and the service: stopped servers stay editable.
    void updateAreasState() const;

    void resetValues() const;
    void handlerChangeTrigger();
    void handleManagerError(const QString &message, SSHCodeError code, const QString &reason);
    /// Without administrator rights nothing was read: the areas are hidden and disabled, one message offers Retry.
    void setPermissionRefused(bool refused);
    void retryRead();
    /// Without rights: shows, read-only, what the configuration files that everyone may read set; true if any was read.
    bool readFilesWithoutRights();

    Ui::SSHModule *ui;
    SSHManager *m_manager = nullptr;
    QList<AbstractOptionArea *> m_areas;
    int m_flows = 0; ///< flows waiting for the helper
    bool m_authorized = false; ///< the helper has answered since the page opened, or since the last refusal
    QPointer<QWidget> m_focus; ///< where the focus was when the running flow began
    QStringList m_frameMnemonics; ///< the texts of the configuration's label and of the tabs, with their own Alt letters
    QList<QPointer<KCMOS::MessageWidget>> m_staleAfterApply; ///< the messages shown when Apply was pressed
    bool m_refused = false; ///< the last read was refused or cancelled at the password prompt
    bool m_filesShown = false; ///< refused, the page shows read-only what the files everyone may read set
    ApplyRun m_apply;
    QPointer<RevertCountdown> m_countdown;
    QPointer<KCMOS::MessageWidget> m_countdownMessage;
    QStringList m_unanswered; ///< sockets that did not answer after the last restart of the countdown's change
    QVariantMap m_beforeCountdown; ///< the server's values before the first change of the countdown
    bool m_joinedOthers = false; ///< the countdown's first change joined pending changes the page did not make
    bool m_countdownAsked = false; ///< the question on closing was asked for this countdown
    QPointer<QWidget> m_window; ///< the window whose closing is watched
    QHash<AbstractOptionArea *, OriginNote *> m_originIndicators;
    QList<ConditionalArea *> m_conditionalAreas;
    SecurityArea *m_security = nullptr;
    bool m_securityStale = true; ///< the security check shown may no longer be that of the configuration
};
