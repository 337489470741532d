// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagewidget.h"

#include <QAction>
#include <QActionEvent>
#include <QIconEngine>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace KCMOS
{
namespace
{
constexpr const char *SteadyIcon = "steadyIcon";

// An icon that looks the same whether its button has the focus or the mouse: the style draws a focused button's
// icon in the Selected mode, which the icon theme colours for a selection; on a message's background that colour
// can be the background's own, and the icon vanishes while the text stays.
class SteadyIconEngine : public QIconEngine
{
public:
    explicit SteadyIconEngine(const QIcon &icon)
        : m_icon(icon)
    {
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_icon.paint(painter, rect, Qt::AlignCenter, steady(mode), state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_icon.pixmap(size, steady(mode), state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_icon.actualSize(size, steady(mode), state);
    }
    QIconEngine *clone() const override
    {
        return new SteadyIconEngine(m_icon);
    }
    QString key() const override
    {
        return QStringLiteral("SteadyIconEngine");
    }

private:
    static QIcon::Mode steady(QIcon::Mode mode)
    {
        return mode == QIcon::Disabled ? mode : QIcon::Normal;
    }
    QIcon m_icon;
};

void steadyIcon(QAction *action)
{
    if (!action->icon().isNull() && !action->property(SteadyIcon).toBool()) {
        action->setProperty(SteadyIcon, true);
        action->setIcon(QIcon(new SteadyIconEngine(action->icon())));
    }
}

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
    const auto buttons = findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (QAction *close = button->defaultAction()) {
            steadyIcon(close);
        }
    }
    // The text is no Tab stop of its own unless it has a link to follow: Tab goes to the message's buttons.
    if (!text.contains(QLatin1String("<a "))) {
        const auto labels = findChildren<QLabel *>();
        for (QLabel *label : labels) {
            label->setFocusPolicy(Qt::NoFocus);
        }
    }
}

void MessageWidget::actionEvent(QActionEvent *event)
{
    KMessageWidget::actionEvent(event);
    if (event->type() == QEvent::ActionAdded) {
        steadyIcon(event->action());
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
