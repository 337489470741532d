// SPDX-License-Identifier: GPL-2.0-or-later
#include "orbiskcmodule.h"
#include "messagesmanager.h"
#include "statewidget.h"

#include <QBoxLayout>

namespace KCMOS
{
OrbisKCModule::OrbisKCModule(const QString &componentName, QWidget *parent, const QString &, const QVariantList &args)
    : KCModule(parent, args), m_componentName(componentName), m_messages(new MessagesManager(this)), m_state(new StateWidget(this))
{
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

QString OrbisKCModule::componentName() const
{
    return m_componentName;
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

bool OrbisKCModule::isValid() const
{
    return true;
}

void OrbisKCModule::access() { }

void OrbisKCModule::change() { }

void OrbisKCModule::chooseModule() { }

void OrbisKCModule::unchooseModule() { }

void OrbisKCModule::resizeEvent(QResizeEvent *event)
{
    KCModule::resizeEvent(event);
    m_state->setGeometry(rect());
}

void OrbisKCModule::showEvent(QShowEvent *event)
{
    placeMessageArea();
    KCModule::showEvent(event);
}

// The page sets its own form's layout on the module; the message area goes on top of it.
void OrbisKCModule::placeMessageArea()
{
    auto *box = qobject_cast<QBoxLayout *>(layout());
    if (!box || box->indexOf(m_messages) == 0) {
        return;
    }
    box->removeWidget(m_messages);
    box->insertWidget(0, m_messages);
}
}
