// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagewidget.h"

#include <QLabel>

namespace KCMOS
{
namespace
{
KMessageWidget::MessageType toKMessageType(MessageType type)
{
    switch (type) {
    case Positive:
        return KMessageWidget::Positive;
    case Warning:
        return KMessageWidget::Warning;
    case Error:
        return KMessageWidget::Error;
    case Information:
        break;
    }
    return KMessageWidget::Information;
}
}

MessageWidget::MessageWidget(const QString &text, KCMOS::MessageType type, const QString &id, QWidget *parent)
    : KMessageWidget(text, parent)
    , m_id(id)
    , m_type(type)
{
    setMessageType(toKMessageType(type));
    setWordWrap(true);
    setCloseButtonVisible(true);
    // The text is no Tab stop of its own unless it has a link to follow: Tab goes to the message's buttons.
    if (!text.contains(QLatin1String("<a "))) {
        const auto labels = findChildren<QLabel *>();
        for (QLabel *label : labels) {
            label->setFocusPolicy(Qt::NoFocus);
        }
    }
}

QString MessageWidget::id() const
{
    return m_id;
}

KCMOS::MessageType MessageWidget::messageType() const
{
    return m_type;
}

void MessageWidget::setSticky(bool sticky)
{
    m_sticky = sticky;
}

bool MessageWidget::isSticky() const
{
    return m_sticky;
}
}
