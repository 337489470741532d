// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace FormAccessibility
{
/// Gives every label of @p root's form and grid layouts that has none the field beside it as its buddy,
/// then gives labels, buttons and check boxes their Alt shortcuts (manageMnemonics).
void apply(QWidget *root);
/// Lets KDE's accelerator manager give the labels with a buddy, buttons, check boxes and group boxes under @p root
/// their Alt shortcuts, then moves every one that is among @p reserved (lower case: the letters of a host's buttons
/// or of tabs around @p root) or taken by another text shown at the same time to a free letter of its text; a text
/// with no free letter gets no shortcut. Pages of a stacked or tab widget are never shown together: they may share.
/// @p then runs after each time the letters are moved (a frame that gives some texts their own again).
void manageMnemonics(QWidget *root, const QString &reserved = QString(), const std::function<void()> &then = {});
/// The second half of manageMnemonics(): the letters already given moved off @p reserved and off each other.
void moveMnemonics(QWidget *root, const QString &reserved);
/// Makes Tab visit the widgets under @p root in the order its layouts show them: rows top to bottom,
/// each row left to right, into tab pages and scroll areas.
void orderTabsByLayout(QWidget *root);
/// Takes the Tab stops off the texts under @p root (a message without links): Tab would stop on nothing to do.
void noTabStopsIn(QWidget *root);
}
