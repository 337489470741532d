// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"

#include <QWidget>

class QLabel;
class QProgressBar;

namespace KCMOS
{
/**
 * Busy overlay over the whole page, shown by waitState() and hidden by resetState(): a moving
 * indicator and a line that says what the page waits for. It takes the clicks meant for the page.
 */
class StateWidget : public QWidget
{
    Q_OBJECT
public:
    explicit StateWidget(QWidget *parent);

    void waitState(State state, const QString &text = QString());
    /// Says what the page waits for now, while it stays busy.
    void setText(const QString &text);
    QString text() const;
    void resetState();
    State state() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followParent();

    QProgressBar *m_indicator;
    QLabel *m_text;
    State m_state = Normal;
};
}
