// SPDX-License-Identifier: GPL-2.0-or-later
#include "collapsiblepanel.h"

#include "animationcontroller.h"

#include <QAbstractScrollArea>
#include <QToolButton>

CollapsiblePanel::CollapsiblePanel(
    QToolButton *button, QWidget *panel, QAbstractScrollArea *view, const QString &expandText, const QString &collapseText, QObject *parent)
    : QObject(parent), m_button(button), m_panel(panel), m_view(view), m_expandText(expandText), m_collapseText(collapseText),
      m_animation(new AnimationController(panel, this))
{
    m_panel->setMaximumHeight(0);
    connect(m_button, &QToolButton::clicked, this, &CollapsiblePanel::toggle);
    connect(m_animation, &AnimationController::animationFinished, this, [this] {
        if (isExpanded()) {
            setScrollBars(true);
        }
    });
}

bool CollapsiblePanel::isExpanded() const
{
    return m_panel->maximumHeight() > 1;
}

void CollapsiblePanel::toggle()
{
    setScrollBars(false);
    const bool opening = !isExpanded();
    m_button->setText(opening ? m_collapseText : m_expandText);
    m_button->setArrowType(opening ? Qt::UpArrow : Qt::DownArrow);
    m_animation->toggleAnimation();
}

void CollapsiblePanel::expand()
{
    if (!isExpanded()) {
        toggle();
    }
}

void CollapsiblePanel::collapse()
{
    if (isExpanded()) {
        toggle();
    }
}

void CollapsiblePanel::setScrollBars(bool shown)
{
    const Qt::ScrollBarPolicy policy = shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    m_view->setVerticalScrollBarPolicy(policy);
    m_view->setHorizontalScrollBarPolicy(policy);
}
