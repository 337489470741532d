// SPDX-License-Identifier: GPL-2.0-or-later
#include "equaltabwidthwidget.h"

#include <QTabBar>

#include <cmath>

int EqualTabWidthWidget::tabWidthFor(int widgetWidth, int tabCount)
{
    return static_cast<int>(std::floor(static_cast<double>(widgetWidth) / tabCount)) - 1;
}

void EqualTabWidthWidget::resizeEvent(QResizeEvent *event)
{
    if (count() > 0) {
        tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab{width:%1px;}").arg(tabWidthFor(width(), count())));
    }
    QTabWidget::resizeEvent(event);
}
