// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmcompat.h"

#include <KCModule>

namespace KCMOS
{
class MessagesManager;
class StateWidget;

/**
 * Base of our settings pages: a KCModule with a message area above the page
 * and a busy overlay. load() leads to access(), save() to change().
 * The page's widgets go on widget(), on KF5 as on KF6.
 */
class OrbisKCModule : public KCModule
{
    Q_OBJECT
public:
    OrbisKCModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args);
    ~OrbisKCModule() override;

#if QT_VERSION_MAJOR < 6
    /// KF6's name for the module's widget, which on KF5 is the module itself.
    QWidget *widget()
    {
        return this;
    }
#endif

    MessagesManager *messagesManager() const;
    StateWidget *stateWidget() const;

public Q_SLOTS:
    void load() override;
    void save() override;
    void defaults() override;
    virtual void access();
    virtual void change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeMessageArea();

    MessagesManager *m_messages;
    StateWidget *m_state;
};
}
