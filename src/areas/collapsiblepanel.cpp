// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "collapsiblepanel.h"

#include <KLocalizedString>

#include <QAbstractScrollArea>
#include <QEasingCurve>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QWidget>

CollapsiblePanel::CollapsiblePanel(QToolButton *button, QWidget *panel, QAbstractScrollArea *view, const QString &title, QObject *parent)
    : QObject(parent)
    , m_button(button)
    , m_panel(panel)
    , m_view(view)
    , m_animation(new QPropertyAnimation(panel, "maximumHeight", this))
{
    m_animation->setDuration(200);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    m_button->setText(title);
    m_button->setAccessibleName(title);
    m_button->setArrowType(Qt::RightArrow);
    m_panel->setVisible(false);
    connect(m_button, &QToolButton::clicked, this, &CollapsiblePanel::toggle);
    connect(m_animation, &QPropertyAnimation::finished, this, &CollapsiblePanel::finish);
}

bool CollapsiblePanel::isExpanded() const
{
    return m_expanded;
}

void CollapsiblePanel::toggle()
{
    m_expanded = !m_expanded;
    m_button->setArrowType(m_expanded ? Qt::DownArrow : Qt::RightArrow);
    m_button->setAccessibleDescription(m_expanded ? i18nc("@info accessible state of a panel", "Expanded")
                                                  : i18nc("@info accessible state of a panel", "Collapsed"));
    setScrollBars(false);
    m_animation->stop();
    const int height = m_panel->isVisible() ? m_panel->height() : 0;
    if (m_expanded) {
        m_panel->setMaximumHeight(0);
        m_panel->setVisible(true);
    }
    m_animation->setStartValue(height);
    m_animation->setEndValue(m_expanded ? m_panel->sizeHint().height() : 0);
    m_animation->start();
}

void CollapsiblePanel::finish()
{
    if (m_expanded) {
        m_panel->setMaximumHeight(QWIDGETSIZE_MAX); // open panels follow their content
        setScrollBars(true);
    } else {
        m_panel->setVisible(false); // nothing inside a closed panel takes the focus
    }
}

void CollapsiblePanel::expand()
{
    if (!m_expanded) {
        toggle();
    }
}

void CollapsiblePanel::collapse()
{
    if (m_expanded) {
        toggle();
    }
}

void CollapsiblePanel::setScrollBars(bool shown)
{
    const Qt::ScrollBarPolicy policy = shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    m_view->setVerticalScrollBarPolicy(policy);
    m_view->setHorizontalScrollBarPolicy(policy);
}
