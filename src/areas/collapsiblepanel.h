// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QAbstractScrollArea;
class QPropertyAnimation;
class QToolButton;
class QWidget;

/**
 * A panel that slides open and closed under a tool button that names it; the
 * button's arrow shows whether it is open. A closed panel is hidden, so nothing
 * inside it takes the focus. The view inside shows no scroll bars while it moves.
 */
class CollapsiblePanel : public QObject
{
    Q_OBJECT
public:
    /// Collapses @p panel at once and lets @p button toggle it.
    CollapsiblePanel(QToolButton *button, QWidget *panel, QAbstractScrollArea *view, const QString &title, QObject *parent);

    bool isExpanded() const;
    void toggle();
    void expand();
    void collapse();

private:
    void setScrollBars(bool shown);
    void finish();

    QToolButton *m_button;
    QWidget *m_panel;
    QAbstractScrollArea *m_view;
    QPropertyAnimation *m_animation;
    bool m_expanded = false;
};
