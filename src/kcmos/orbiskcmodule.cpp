// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "orbiskcmodule.h"
#include "messagesmanager.h"
#include "statewidget.h"

#include <QBoxLayout>
#include <QEvent>

namespace KCMOS
{
OrbisKCModule::OrbisKCModule(Compat::ModuleParent *parent, const Compat::ModuleArgs &args)
    : KCModule(parent, args)
    , m_messages(new MessagesManager(widget()))
    , m_state(new StateWidget(widget()))
{
    widget()->installEventFilter(this);
    connect(m_messages, &MessagesManager::messagePosted, this, &OrbisKCModule::placeMessageArea);
}

OrbisKCModule::~OrbisKCModule() = default;

MessagesManager *OrbisKCModule::messagesManager() const
{
    return m_messages;
}

StateWidget *OrbisKCModule::stateWidget() const
{
    return m_state;
}

void OrbisKCModule::load()
{
    access();
}

void OrbisKCModule::save()
{
    change();
}

void OrbisKCModule::defaults()
{
    KCModule::defaults();
}

void OrbisKCModule::access()
{
}

void OrbisKCModule::change()
{
}

// The busy overlay covers the page; the message area is placed before the page first shows.
bool OrbisKCModule::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == widget()) {
        if (event->type() == QEvent::Resize) {
            m_state->setGeometry(widget()->rect());
        } else if (event->type() == QEvent::Show) {
            placeMessageArea();
        }
    }
    return KCModule::eventFilter(watched, event);
}

// The page sets its own form's layout on the module; the message area goes on top of it.
void OrbisKCModule::placeMessageArea()
{
    auto *box = qobject_cast<QBoxLayout *>(widget()->layout());
    if (!box || box->indexOf(m_messages) == 0) {
        return;
    }
    box->removeWidget(m_messages);
    box->insertWidget(0, m_messages);
}
}
