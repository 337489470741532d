// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagesmanager.h"
#include "messagewidget.h"

#include <QVBoxLayout>

namespace KCMOS
{
MessagesManager::MessagesManager(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    hide();
}

MessagesManager::~MessagesManager() = default;

MessageWidget *MessagesManager::newMessage(const QString &text, MessageType type, const QString &, State)
{
    return addMessage(QString(), text, type);
}

MessageWidget *MessagesManager::newMessageById(const QString &id, const QString &text, MessageType type, const QString &, State)
{
    removeMessageById(id);
    return addMessage(id, text, type);
}

void MessagesManager::removeMessageById(const QString &id)
{
    for (const QPointer<MessageWidget> &message : std::as_const(m_messages)) {
        if (message && message->id() == id) {
            message->deleteLater();
            message->hide();
            m_layout->removeWidget(message);
        }
    }
    m_messages.removeAll(nullptr);
    if (messages().isEmpty()) {
        hide();
    }
}

MessageWidget *MessagesManager::addMessage(const QString &id, const QString &text, MessageType type)
{
    auto *message = new MessageWidget(text, type, id, this);
    m_layout->addWidget(message);
    m_messages.removeAll(nullptr);
    m_messages.append(message);
    // A closed message leaves the stack for good.
    connect(message, &KMessageWidget::hideAnimationFinished, this, [this, message] {
        m_messages.removeAll(message);
        m_layout->removeWidget(message);
        message->deleteLater();
        if (messages().isEmpty()) {
            hide();
        }
    });
    show();
    message->show();
    Q_EMIT messagePosted(message);
    return message;
}

void MessagesManager::clearMessages()
{
    for (const QPointer<MessageWidget> &message : std::as_const(m_messages)) {
        if (message) {
            message->hide();
            m_layout->removeWidget(message);
            message->deleteLater();
        }
    }
    m_messages.clear();
    hide();
}

QList<MessageWidget *> MessagesManager::messages() const
{
    QList<MessageWidget *> result;
    for (const QPointer<MessageWidget> &message : m_messages) {
        if (message && !message->isHidden()) {
            result.append(message);
        }
    }
    return result;
}
}
