// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"
#include "messagewidget.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace KCMOS
{
class MessageWidget;

/// The stack of messages shown above the module page.
class MessagesManager : public QWidget
{
    Q_OBJECT
public:
    explicit MessagesManager(QWidget *parent = nullptr);
    ~MessagesManager() override;

    MessageWidget *newMessage(const QString &text, MessageType type, const QString &title = QString(), State state = Normal);
    /// Like newMessage(), but replaces the earlier message posted with the same id.
    MessageWidget *newMessageById(const QString &id, const QString &text, MessageType type, const QString &title = QString(), State state = Normal);
    /// Removes the message posted with the id, if any.
    void removeMessageById(const QString &id);
    void clearMessages();

    /// The messages currently shown, oldest first.
    QList<MessageWidget *> messages() const;

Q_SIGNALS:
    void messagePosted(KCMOS::MessageWidget *message);

private:
    MessageWidget *addMessage(const QString &id, const QString &text, MessageType type);

    QVBoxLayout *m_layout;
    QList<QPointer<MessageWidget>> m_messages;
};
}
