// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

class AnimationController;
class QAbstractScrollArea;
class QToolButton;
class QWidget;

/**
 * A panel that slides open and closed under a tool button whose text names
 * what the next click does. The view inside the panel shows no scroll bars
 * while it moves, and gets them back once it is open.
 */
class CollapsiblePanel : public QObject
{
    Q_OBJECT
public:
    /// Collapses @p panel at once and lets @p button toggle it.
    CollapsiblePanel(QToolButton *button, QWidget *panel, QAbstractScrollArea *view, const QString &expandText, const QString &collapseText, QObject *parent);

    bool isExpanded() const;
    void toggle();
    void expand();
    void collapse();

private:
    void setScrollBars(bool shown);

    QToolButton *m_button;
    QWidget *m_panel;
    QAbstractScrollArea *m_view;
    QString m_expandText;
    QString m_collapseText;
    AnimationController *m_animation;
};
