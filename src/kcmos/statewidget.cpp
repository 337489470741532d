// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "statewidget.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

namespace KCMOS
{
StateWidget::StateWidget(QWidget *parent)
    : QWidget(parent)
    , m_indicator(new QProgressBar(this))
    , m_text(new QLabel(this))
{
    // A small card in the middle of the page; the page shows through around it.
    auto *card = new QFrame(this);
    card->setObjectName(QStringLiteral("busyCard"));
    card->setFrameShape(QFrame::StyledPanel);
    card->setAutoFillBackground(true);
    auto *column = new QVBoxLayout(card);
    m_indicator->setParent(card);
    m_text->setParent(card);
    m_text->setObjectName(QStringLiteral("busyText"));
    m_text->setAlignment(Qt::AlignCenter);
    // A bar without an end moves for as long as it shows, whatever the icon theme has.
    m_indicator->setRange(0, 0);
    m_indicator->setTextVisible(false);
    m_indicator->setMinimumWidth(fontMetrics().averageCharWidth() * 30);
    column->addWidget(m_text);
    column->addWidget(m_indicator);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(card, 0, Qt::AlignCenter);
    setAttribute(Qt::WA_NoSystemBackground);
    if (parent) {
        parent->installEventFilter(this);
    }
    hide();
}

void StateWidget::waitState(State state, const QString &text)
{
    m_state = state;
    setText(text);
    followParent();
    show();
    raise();
}

void StateWidget::setText(const QString &text)
{
    m_text->setText(text);
    m_text->setVisible(!text.isEmpty());
    setAccessibleName(text);
}

QString StateWidget::text() const
{
    return m_text->text();
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
    // A light veil: the page stays readable, and plainly not to be used now.
    QPainter painter(this);
    QColor veil = palette().color(QPalette::Window);
    veil.setAlpha(96);
    painter.fillRect(rect(), veil);
}

void StateWidget::followParent()
{
    if (parentWidget()) {
        setGeometry(parentWidget()->rect());
    }
}
}
