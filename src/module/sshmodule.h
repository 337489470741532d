// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "orbiskcmodule.h"
#include "serverstate.h"
#include "sshmanager.h"
#include "sshoption.h"

#include <QHash>
#include <QPointer>

#include <memory>

#include <initializer_list>

class AbstractOptionArea;
class KLocalizedString;
namespace KCMOS
{
class MessageWidget;
}
class FactoryManager;
class QLabel;
class RevertCountdown;
class QVBoxLayout;
class SSHManager;

namespace Ui
{
class SSHModule;
}

/// The SSH settings page: server tabs, client page, service row and connections tab.
class SSHModule : public KCMOS::OrbisKCModule
{
    Q_OBJECT
public:
    SSHModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args);
    ~SSHModule() override;

protected:
    /// Notices the closing of the window while a countdown runs.
    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    void access() override;
    void change() override;
    void defaults() override;

private:
    void initManagers();
    void createOptionAreas();
    void configureLayoutWidgets();
    void addWidgetsToLayout(QVBoxLayout *layout, std::initializer_list<SSHOption::Id> ids);
    /// Lays the areas of a tab out as one form: labels right-aligned in one column with their buddies
    /// beside them, check boxes in the field column.
    void alignFormColumns(QVBoxLayout *layout) const;
    void configureChangeHandlers(QPointer<SSHOption> option, AbstractOptionArea *area);
    void stretchUiAndViewSwitch();
    void createConnectionsTab();

    /// The changes of one configuration, and the areas (with their option copies) they came from.
    struct Transaction
    {
        SSHManager::Changes changes;
        QList<QPair<AbstractOptionArea *, std::shared_ptr<SSHOption>>> areas;
    };
    enum class Outcome {
        Applied,
        NotApplied,
        Unknown, ///< no answer tied to the request came: what is on disk is read again
    };
    /// Reviews (server) and applies one configuration's changes together.
    Outcome applyTransaction(SSHConfigurationTypeId type, const Transaction &transaction);
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
    void finishRevertCountdown(CountdownEnd end);
    /// While a countdown runs, asks whether to keep the settings, revert them now or leave the countdown running.
    void askAboutCountdown(QWidget *parent);
    /// Every server option's value, sub-options included, by keyword.
    QVariantMap serverValues() const;
    /// "sshd does not answer on …" for the "address port" sockets of a restart's reply.
    static QString unansweredText(const QStringList &unanswered);
    bool confirmStop();
    void updateOriginIndicators() const;

    void resetValues() const;
    void handlerChangeTrigger();
    void handleManagerError(const QString &message, SSHCodeError code, const QString &reason);
    /// The index of the chosen button, -1 for Cancel; @p focused is the default button's index, Cancel when out of range.
    int showRestoreDialog(const QString &text, const QStringList &choices, int focused = -1);
    void serviceCommand(bool (ServerState::*command)(QString *), const KLocalizedString &failure);

    void setupSshServerStatus();
    void serverControlButtonsHandler() const;
    /// Without administrator rights nothing was read: the areas are hidden and disabled, one message offers Retry.
    void setPermissionRefused(bool refused);
    void retryRead();
    /// Reads anew the configurations an apply wrote to; the options that failed keep what their areas show.
    void reloadAfterApply(const QList<SSHConfigurationTypeId> &types, const QList<AbstractOptionArea *> &failed);
    /// Sets the state of every area from the permission and the service: stopped servers stay editable.
    void updateAreasState() const;

    Ui::SSHModule *ui;
    SSHManager *m_manager = nullptr;
    FactoryManager *m_factoryManager = nullptr;
    bool m_running = false; ///< an apply or restore is waiting for the helper
    bool m_refused = false; ///< the last read was refused or cancelled at the password prompt
    QPointer<RevertCountdown> m_countdown;
    QPointer<KCMOS::MessageWidget> m_countdownMessage;
    QStringList m_unanswered; ///< sockets that did not answer after the last restart of the countdown's change
    QVariantMap m_beforeCountdown; ///< the server's values before the first change of the countdown
    bool m_joinedOthers = false; ///< the countdown's first change joined pending changes the page did not make
    bool m_countdownAsked = false; ///< the question on closing was asked for this countdown
    QPointer<QWidget> m_window; ///< the window whose closing is watched
    QHash<SSHOption::Id, QLabel *> m_originIndicators;
};
