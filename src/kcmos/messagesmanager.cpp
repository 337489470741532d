// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagesmanager.h"
#include "messagewidget.h"

#include <KAcceleratorManager>

#include <QEvent>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace KCMOS
{
MessagesManager::MessagesManager(QWidget *parent)
    : QWidget(parent)
    , m_scroll(new QScrollArea(this))
    , m_layout(nullptr)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus); // the messages' own buttons take the focus, the area none of its own
    auto *contents = new QWidget(m_scroll);
    contents->setObjectName(QStringLiteral("messageList"));
    m_layout = new QVBoxLayout(contents);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidget(contents);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
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
    const auto shown = m_messages;
    for (const QPointer<MessageWidget> &message : shown) {
        if (message && message->id() == id) {
            dropMessage(message);
        }
    }
    fitHeight();
}

void MessagesManager::removeStaleMessages(const QList<MessageWidget *> &messages)
{
    for (MessageWidget *message : messages) {
        if (m_messages.contains(message) && !message->isSticky()) {
            dropMessage(message);
        }
    }
    fitHeight();
}

MessageWidget *MessagesManager::addMessage(const QString &id, const QString &text, MessageType type)
{
    auto *message = new MessageWidget(text, type, id, m_scroll->widget());
    // Its buttons are reached by Tab; Alt letters would take those of the host's buttons below the page (Retry, Revert Now: Reset).
    KAcceleratorManager::setNoAccel(message);
    m_layout->insertWidget(0, message); // the newest on top
    m_messages.removeAll(nullptr);
    m_messages.append(message);
    message->installEventFilter(this);
    // A closed message leaves the area for good.
    connect(message, &KMessageWidget::hideAnimationFinished, this, [this, message] {
        dropMessage(message);
        fitHeight();
    });
    show();
    message->show();
    m_scroll->verticalScrollBar()->setValue(0);
    fitHeight();
    Q_EMIT messagePosted(message);
    return message;
}

void MessagesManager::dropMessage(MessageWidget *message)
{
    m_messages.removeAll(message);
    m_messages.removeAll(nullptr);
    message->removeEventFilter(this);
    message->hide();
    m_layout->removeWidget(message);
    message->deleteLater();
}

void MessagesManager::clearMessages()
{
    const auto shown = m_messages;
    for (const QPointer<MessageWidget> &message : shown) {
        if (message) {
            dropMessage(message);
        }
    }
    m_messages.clear();
    fitHeight();
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

int MessagesManager::maximumAreaHeight() const
{
    // Room for two short messages, or one long one; more scroll. The newest is always shown whole, its buttons too.
    const QList<MessageWidget *> shown = messages();
    return std::max(fontMetrics().lineSpacing() * 8, shown.isEmpty() ? 0 : heightOf(shown.constLast()));
}

void MessagesManager::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitHeight(); // wrapped texts take another height at another width
}

bool MessagesManager::eventFilter(QObject *watched, QEvent *event)
{
    // A message's text, actions or animation change its height.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) {
        fitHeight();
    }
    return QWidget::eventFilter(watched, event);
}

int MessagesManager::heightOf(MessageWidget *message) const
{
    if (message->isHideAnimationRunning()) {
        return message->height(); // it is closing, at the height its animation gives it
    }
    // A wrapped message's own minimum is that of its text wrapped narrow: its height for the width it has is enough.
    const int width = m_scroll->viewport()->width();
    return message->hasHeightForWidth() ? message->heightForWidth(width) : message->sizeHint().height();
}

void MessagesManager::fitHeight()
{
    if (messages().isEmpty()) {
        hide();
        return;
    }
    const QList<MessageWidget *> shown = messages();
    int needed = m_layout->spacing() * (shown.size() - 1);
    for (MessageWidget *message : shown) {
        const int height = heightOf(message);
        if (!message->isHideAnimationRunning() && (message->minimumHeight() != height || message->maximumHeight() != height)) {
            message->setFixedHeight(height);
        }
        needed += height;
    }
    const int height = std::min(needed, maximumAreaHeight());
    if (height != this->height() || maximumHeight() != height) {
        setFixedHeight(height);
        // The page below moves now, not at the next turn of the event loop, which a busy page may not take soon.
        if (parentWidget() && parentWidget()->layout()) {
            parentWidget()->layout()->activate();
        }
    }
    m_scroll->setVerticalScrollBarPolicy(needed > height ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    show();
}
}
