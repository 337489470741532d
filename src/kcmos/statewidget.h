// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"

#include <QWidget>

class KBusyIndicatorWidget;

namespace KCMOS
{
/// Busy overlay over the whole page; shown by waitState(), hidden by resetState().
class StateWidget : public QWidget
{
    Q_OBJECT
public:
    explicit StateWidget(QWidget *parent);

    void waitState(State state);
    void resetState();
    State state() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followParent();

    KBusyIndicatorWidget *m_indicator;
    State m_state = Normal;
};
}
