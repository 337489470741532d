// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "statewidget.h"

#include <KBusyIndicatorWidget>

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace KCMOS
{
StateWidget::StateWidget(QWidget *parent)
    : QWidget(parent)
    , m_indicator(new KBusyIndicatorWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_indicator, 0, Qt::AlignCenter);
    m_indicator->setMinimumSize(48, 48);
    setAttribute(Qt::WA_NoSystemBackground);
    if (parent) {
        parent->installEventFilter(this);
    }
    hide();
}

void StateWidget::waitState(State state)
{
    m_state = state;
    followParent();
    show();
    raise();
    // The overlay must be painted before the caller blocks on a privileged job.
    repaint();
}

void StateWidget::resetState()
{
    m_state = Normal;
    hide();
}

State StateWidget::state() const
{
    return m_state;
}

bool StateWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        followParent();
    }
    return QWidget::eventFilter(watched, event);
}

void StateWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor veil = palette().color(QPalette::Window);
    veil.setAlpha(160);
    painter.fillRect(rect(), veil);
}

void StateWidget::followParent()
{
    if (parentWidget()) {
        setGeometry(parentWidget()->rect());
    }
}
}
