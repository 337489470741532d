// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QTabWidget>

/// A tab widget whose tabs share its width equally.
class EqualTabWidthWidget : public QTabWidget
{
    Q_OBJECT
public:
    using QTabWidget::QTabWidget;

    /// The tab width for a widget of the given width: floor(width / tabs) - 1.
    static int tabWidthFor(int widgetWidth, int tabCount);

protected:
    void resizeEvent(QResizeEvent *event) override;
};
