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
    /// Reviews (server) and applies one configuration's changes together; false when not applied.
    bool applyTransaction(SSHConfigurationTypeId type, const Transaction &transaction);
    /// Seconds before an unkept server change is reverted; 0 turns the countdown off.
    static int revertAfterSeconds();
    void startRevertCountdown(const QString &token, int seconds);
    void finishRevertCountdown(bool keep);
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
    QHash<SSHOption::Id, QLabel *> m_originIndicators;
};
