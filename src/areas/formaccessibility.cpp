// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "formaccessibility.h"

#include <KAcceleratorManager>

#include <algorithm>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace
{
QWidget *fieldIn(QLayoutItem *item)
{
    if (!item) {
        return nullptr;
    }
    if (QWidget *widget = item->widget()) {
        return widget->focusPolicy() & Qt::TabFocus ? widget : nullptr;
    }
    // A field with buttons beside it: the first one that takes the focus.
    if (QLayout *layout = item->layout()) {
        for (int i = 0; i < layout->count(); ++i) {
            if (QWidget *widget = fieldIn(layout->itemAt(i))) {
                return widget;
            }
        }
    }
    return nullptr;
}

void setBuddies(QLayout *layout)
{
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            for (int column = 0; column + 1 < grid->columnCount(); ++column) {
                QLayoutItem *item = grid->itemAtPosition(row, column);
                auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
                if (label && !label->buddy()) {
                    if (QWidget *field = fieldIn(grid->itemAtPosition(row, column + 1))) {
                        label->setBuddy(field);
                    }
                }
            }
        }
    }
    if (auto *form = qobject_cast<QFormLayout *>(layout)) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *item = form->itemAt(row, QFormLayout::LabelRole);
            auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
            if (label && !label->buddy()) {
                if (QWidget *field = fieldIn(form->itemAt(row, QFormLayout::FieldRole))) {
                    label->setBuddy(field);
                }
            }
        }
    }
    for (int i = 0; i < layout->count(); ++i) {
        if (QLayout *child = layout->itemAt(i)->layout()) {
            setBuddies(child);
        } else if (QWidget *widget = layout->itemAt(i)->widget(); widget && widget->layout()) {
            setBuddies(widget->layout());
        }
    }
}

void collectWidget(QWidget *widget, QList<QWidget *> *order);

void collectLayout(QLayout *layout, QList<QWidget *> *order)
{
    QList<QLayoutItem *> items;
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            for (int column = 0; column < grid->columnCount(); ++column) {
                QLayoutItem *item = grid->itemAtPosition(row, column);
                if (item && !items.contains(item)) {
                    items.append(item);
                }
            }
        }
    } else if (auto *form = qobject_cast<QFormLayout *>(layout)) {
        for (int row = 0; row < form->rowCount(); ++row) {
            for (const auto role : {QFormLayout::LabelRole, QFormLayout::FieldRole, QFormLayout::SpanningRole}) {
                if (QLayoutItem *item = form->itemAt(row, role)) {
                    items.append(item);
                }
            }
        }
    } else {
        for (int i = 0; i < layout->count(); ++i) {
            items.append(layout->itemAt(i));
        }
        auto *box = qobject_cast<QBoxLayout *>(layout);
        if (box && (box->direction() == QBoxLayout::RightToLeft || box->direction() == QBoxLayout::BottomToTop)) {
            std::reverse(items.begin(), items.end());
        }
    }
    for (QLayoutItem *item : std::as_const(items)) {
        if (QWidget *widget = item->widget()) {
            collectWidget(widget, order);
        } else if (QLayout *child = item->layout()) {
            collectLayout(child, order);
        }
    }
}

void collectWidget(QWidget *widget, QList<QWidget *> *order)
{
    // Widgets that handle the focus of their own parts are one stop.
    const bool whole = qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QComboBox *>(widget) || qobject_cast<QAbstractItemView *>(widget);
    if ((widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy()) {
        order->append(widget);
    }
    if (whole) {
        return;
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            collectWidget(tabs->widget(i), order);
        }
    } else if (auto *stack = qobject_cast<QStackedWidget *>(widget)) {
        for (int i = 0; i < stack->count(); ++i) {
            collectWidget(stack->widget(i), order);
        }
    } else if (auto *scroll = qobject_cast<QScrollArea *>(widget)) {
        if (scroll->widget()) {
            collectWidget(scroll->widget(), order);
        }
    } else if (widget->layout()) {
        collectLayout(widget->layout(), order);
    }
}
}

void FormAccessibility::apply(QWidget *root)
{
    if (root->layout()) {
        setBuddies(root->layout());
    }
    orderTabsByLayout(root);
    KAcceleratorManager::manage(root);
}

void FormAccessibility::orderTabsByLayout(QWidget *root)
{
    QList<QWidget *> order;
    if (root->layout()) {
        collectLayout(root->layout(), &order);
    }
    for (int i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    }
}

void FormAccessibility::noTabStopsIn(QWidget *root)
{
    for (QLabel *label : root->findChildren<QLabel *>()) {
        label->setFocusPolicy(Qt::NoFocus);
    }
}
