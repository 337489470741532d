// SPDX-License-Identifier: GPL-2.0-or-later
#include "formaccessibility.h"

#include <KAcceleratorManager>

#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
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
}

void FormAccessibility::apply(QWidget *root)
{
    if (root->layout()) {
        setBuddies(root->layout());
    }
    KAcceleratorManager::manage(root);
}
