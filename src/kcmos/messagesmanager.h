// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"
#include "messagewidget.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace KCMOS
{
class MessageWidget;

/**
 * The page's one message area, above the page: the newest message on top. It never grows past
 * maximumAreaHeight(): older messages scroll within it, so the page below stays where it is.
 */
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
    /// Removes those of @p messages that are not sticky (MessageWidget::setSticky()): what Reset or an Apply made stale.
    void removeStaleMessages(const QList<MessageWidget *> &messages);

    /// The messages currently shown, oldest first.
    QList<MessageWidget *> messages() const;

    /// The most height the area takes, however many messages it holds: that of a few lines, or of the newest message
    /// if it is taller, so that it and its buttons are always seen whole.
    int maximumAreaHeight() const;

Q_SIGNALS:
    void messagePosted(KCMOS::MessageWidget *message);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    MessageWidget *addMessage(const QString &id, const QString &text, MessageType type);
    void dropMessage(MessageWidget *message);
    /// The height @p message takes in the area.
    int heightOf(MessageWidget *message) const;
    /// Fits the area's height to its messages, up to maximumAreaHeight().
    void fitHeight();

    QScrollArea *m_scroll;
    QVBoxLayout *m_layout;
    QList<QPointer<MessageWidget>> m_messages;
};
}
