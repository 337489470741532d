// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Checks of a shown window against KDE's interface guidelines, for pages and dialogs alike. Each returns
// what breaks the rule (empty when nothing does), so that a failing test names the widgets.

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QWidget>

namespace HigChecks
{
/// The letters of the buttons a KDE settings host puts below a page: Apply, Reset, Defaults, OK, Cancel, Help.
inline const QString HostMnemonics = QStringLiteral("ardoch");

/// The Alt shortcut letter of @p text, lower case; a null QChar when it has none ("&&" is a plain ampersand).
inline QChar mnemonic(const QString &text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (text.at(i + 1) != QLatin1Char('&')) {
                return text.at(i + 1).toLower();
            }
            ++i;
        }
    }
    return QChar();
}

/// A name for @p widget in a failure: its object name, or its class and text.
inline QString describe(const QWidget *widget)
{
    if (!widget->objectName().isEmpty()) {
        return widget->objectName();
    }
    QString text;
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        text = button->text();
    } else if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        text = label->text();
    }
    return QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char('(') + text + QLatin1Char(')');
}

/// The widgets Tab stops at, in its order, from @p window on: shown, enabled, not a part of a spin box or combo box.
inline QList<QWidget *> focusChain(QWidget *window)
{
    QList<QWidget *> chain;
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        const bool inner = w->parentWidget() && (qobject_cast<QAbstractSpinBox *>(w->parentWidget()) || qobject_cast<QComboBox *>(w->parentWidget()));
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && !inner) {
            chain.append(w);
        }
    }
    return chain;
}

/// The first pair of focus-chain neighbours inside @p container that Tab visits against the reading order
/// (rows top to bottom, each row left to right), empty when none.
inline QString focusOutOfOrder(QWidget *window, QWidget *container)
{
    QList<QWidget *> chain;
    const auto all = focusChain(window);
    for (QWidget *w : all) {
        if (container->isAncestorOf(w)) {
            chain.append(w);
        }
    }
    for (int i = 1; i < chain.size(); ++i) {
        const QRect before(chain.at(i - 1)->mapTo(container, QPoint()), chain.at(i - 1)->size());
        const QRect after(chain.at(i)->mapTo(container, QPoint()), chain.at(i)->size());
        const bool sameRow = after.top() < before.bottom() && before.top() < after.bottom();
        if (sameRow ? after.left() < before.left() : after.top() < before.top()) {
            return describe(chain.at(i - 1)) + QStringLiteral(" -> ") + describe(chain.at(i));
        }
    }
    return chain.size() < 2 ? QStringLiteral("nothing takes the focus") : QString();
}

/// Tab stops of @p window that a user cannot see: of no size, or inside something of no size (a closed panel).
inline QStringList invisibleFocusStops(QWidget *window)
{
    QStringList invisible;
    const auto chain = focusChain(window);
    for (QWidget *w : chain) {
        for (const QWidget *part = w; part && part != window; part = part->parentWidget()) {
            if (part->width() <= 0 || part->height() <= 0) {
                invisible.append(describe(w));
                break;
            }
        }
    }
    return invisible;
}

/// Tab stops of @p window that a screen reader has no name for: no accessible name, no label whose buddy they are,
/// no text of their own (a button's); and texts Tab stops at that have no link to follow.
inline QStringList unnamedFocusStops(QWidget *window)
{
    QSet<const QWidget *> labelled;
    const auto labels = window->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->buddy()) {
            labelled.insert(label->buddy());
        }
    }
    QStringList unnamed;
    const auto chain = focusChain(window);
    for (QWidget *w : chain) {
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (!label->text().contains(QLatin1String("<a "))) {
                unnamed.append(describe(w));
            }
            continue;
        }
        const auto *button = qobject_cast<const QAbstractButton *>(w);
        const bool ownText = button && !button->text().remove(QLatin1Char('&')).trimmed().isEmpty();
        if (!ownText && w->accessibleName().isEmpty() && !labelled.contains(w) && !qobject_cast<QTabBar *>(w)) {
            unnamed.append(describe(w));
        }
    }
    return unnamed;
}

/// Buttons that show only an icon and say nothing to a tool tip or a screen reader.
inline QStringList mutedButtons(QWidget *root)
{
    QStringList muted;
    const auto buttons = root->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        // Qt's own parts (line edit icons, table corners, tab scrollers) take no focus and are left out.
        if ((button->focusPolicy() & Qt::TabFocus) && !qobject_cast<QTabBar *>(button->parentWidget())
            && button->text().remove(QLatin1Char('&')).trimmed().isEmpty() && (button->toolTip().isEmpty() || button->accessibleName().isEmpty())) {
            muted.append(describe(button));
        }
    }
    return muted;
}

/// Shown labels under @p root with an Alt shortcut but no buddy to take the focus.
inline QStringList labelsWithoutBuddy(QWidget *root)
{
    QStringList lonely;
    const auto labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->isVisible() && !label->buddy() && !mnemonic(label->text()).isNull()) {
            lonely.append(label->text());
        }
    }
    return lonely;
}

/// The shown texts under @p root (labels with buddies, buttons, group boxes, tabs) whose Alt shortcut is one of @p taken.
inline QStringList mnemonicsTaken(QWidget *root, const QString &taken = HostMnemonics)
{
    QStringList texts;
    const auto check = [&](const QString &text) {
        const QChar letter = mnemonic(text);
        if (!letter.isNull() && taken.contains(letter)) {
            texts.append(text);
        }
    };
    const auto widgets = root->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!widget->isVisible()) {
            continue;
        }
        if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy()) {
            check(label->text());
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            check(button->text());
        } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
            check(box->title());
        } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                check(tabs->tabText(i));
            }
        }
    }
    return texts;
}

/// The Alt letters that more than one shown text under @p root has (labels with buddies, buttons, group boxes).
inline QString duplicateMnemonics(QWidget *root)
{
    QString seen;
    QString twice;
    const auto widgets = root->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QString text;
        if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy()) {
            text = label->text();
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            text = button->text();
        } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
            text = box->title();
        }
        const QChar letter = mnemonic(text);
        if (widget->isVisible() && !letter.isNull()) {
            (seen.contains(letter) ? twice : seen).append(letter);
        }
    }
    return twice;
}

/// What scrolls sideways under @p root: shown scroll areas with a horizontal scroll bar (item views, whose columns
/// may be wider than they are, left out), and shown widgets that stick out of @p root on the right.
inline QStringList horizontalScrolling(QWidget *root)
{
    QStringList found;
    const auto areas = root->findChildren<QAbstractScrollArea *>();
    for (QAbstractScrollArea *area : areas) {
        if (area->isVisible() && area->inherits("QScrollArea") && area->horizontalScrollBar()->isVisible()) {
            found.append(
                QString(describe(area) + QStringLiteral(" scrolls: ") + QString::number(area->horizontalScrollBar()->maximum()) + QStringLiteral(" px")));
        }
    }
    if (root->minimumSizeHint().width() > root->width()) {
        found.append(QString(describe(root) + QStringLiteral(" needs ") + QString::number(root->minimumSizeHint().width()) + QStringLiteral(" px")));
    }
    return found;
}

/// Shown widgets among @p widgets cut off by the right edge of @p root.
inline QStringList cutOff(QWidget *root, const QList<QWidget *> &widgets)
{
    QStringList found;
    for (QWidget *widget : widgets) {
        const int right = widget->mapTo(root, QPoint(widget->width(), 0)).x();
        if (widget->isVisible() && right > root->width()) {
            found.append(QString(describe(widget) + QStringLiteral(" by ") + QString::number(right - root->width()) + QStringLiteral(" px")));
        }
    }
    return found;
}
}
