// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "formaccessibility.h"

#include <KAcceleratorManager>

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabBar>
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

// A text that may carry an Alt shortcut: a label's with a buddy, a button's, a group box's title.
struct Mnemonic {
    QWidget *widget;
    QWidget *scope; ///< the page of a stack it is on (only one page of a stack shows at a time), or the root
    QString text;
};

QString mnemonicText(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        return label->buddy() ? label->text() : QString();
    }
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        return qobject_cast<QTabBar *>(button->parentWidget()) ? QString() : button->text();
    }
    if (auto *box = qobject_cast<QGroupBox *>(widget)) {
        return box->title();
    }
    return QString();
}

void setMnemonicText(QWidget *widget, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        label->setText(text);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        button->setText(text);
    } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
        box->setTitle(text);
    }
}

/// The position of the single '&' in @p text ("&&" is a plain ampersand), -1 when it has none.
int mnemonicPosition(const QString &text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (text.at(i + 1) != QLatin1Char('&')) {
                return i;
            }
            ++i;
        }
    }
    return -1;
}

QChar letterOf(const QString &text)
{
    const int at = mnemonicPosition(text);
    return at < 0 ? QChar() : text.at(at + 1).toLower();
}

/// @p text with its shortcut on a letter not in @p taken: the first letter of a word if one is free, else any.
QString withFreeLetter(QString text, const QString &taken)
{
    if (const int at = mnemonicPosition(text); at >= 0) {
        text.remove(at, 1);
    }
    int chosen = -1;
    for (const bool wordStart : {true, false}) {
        for (int i = 0; i < text.size() && chosen < 0; ++i) {
            if (text.at(i) == QLatin1Char('&')) {
                ++i; // "&&"
                continue;
            }
            const bool starts = i == 0 || !text.at(i - 1).isLetterOrNumber();
            if (text.at(i).isLetterOrNumber() && (starts || !wordStart) && !taken.contains(text.at(i).toLower())) {
                chosen = i;
            }
        }
    }
    if (chosen >= 0) {
        text.insert(chosen, QLatin1Char('&'));
    }
    return text;
}

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
    manageMnemonics(root);
}

void FormAccessibility::manageMnemonics(QWidget *root, const QString &reserved, const std::function<void()> &then)
{
    KAcceleratorManager::manage(root);
    moveMnemonics(root, reserved);
    if (then) {
        then();
    }
    // The accelerator manager gives the whole window its letters again when a stack shows another page, the host's
    // among them: the letters are moved again after it, once per stack.
    const auto stacks = root->findChildren<QStackedWidget *>();
    for (QStackedWidget *stack : stacks) {
        if (!stack->property("mnemonicsKept").toBool()) {
            stack->setProperty("mnemonicsKept", true);
            QObject::connect(
                stack,
                &QStackedWidget::currentChanged,
                root,
                [root, reserved, then] {
                    moveMnemonics(root, reserved);
                    if (then) {
                        then();
                    }
                },
                Qt::QueuedConnection);
        }
    }
}

void FormAccessibility::moveMnemonics(QWidget *root, const QString &reserved)
{
    QList<Mnemonic> texts;
    const auto widgets = root->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        const QString text = mnemonicText(widget);
        if (text.isEmpty()) {
            continue;
        }
        QWidget *scope = root;
        for (QWidget *part = widget; part && part != root; part = part->parentWidget()) {
            if (qobject_cast<QStackedWidget *>(part->parentWidget())) {
                scope = part;
                break;
            }
        }
        texts.append({widget, scope, text});
    }
    const auto together = [root](const QWidget *one, const QWidget *other) {
        return one == other || one == root || other == root || one->isAncestorOf(other) || other->isAncestorOf(one);
    };
    for (int i = 0; i < texts.size(); ++i) {
        Mnemonic &current = texts[i];
        const QChar letter = letterOf(current.text);
        if (letter.isNull()) {
            continue;
        }
        QString taken = reserved;
        for (int j = 0; j < texts.size(); ++j) {
            if (j != i && together(current.scope, texts.at(j).scope)) {
                const QChar other = letterOf(texts.at(j).text);
                // Earlier texts keep theirs; a later one with the same letter moves when its turn comes.
                if (!other.isNull() && (j < i || other != letter)) {
                    taken.append(other);
                }
            }
        }
        if (taken.contains(letter)) {
            current.text = withFreeLetter(current.text, taken);
            setMnemonicText(current.widget, current.text);
        }
    }
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
