// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "pagemessage.h"

#include "messagesmanager.h"

namespace PageMessage
{
bool post(const QWidget *from, const QString &id, const QString &text, KCMOS::MessageType type)
{
    // The nearest ancestor that holds a message area is the page the area belongs to.
    for (const QWidget *ancestor = from; ancestor; ancestor = ancestor->parentWidget()) {
        if (auto *manager = ancestor->findChild<KCMOS::MessagesManager *>()) {
            manager->newMessageById(id, text, type);
            return true;
        }
    }
    return false;
}
}
