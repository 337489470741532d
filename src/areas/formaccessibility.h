// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class QWidget;

namespace FormAccessibility
{
/// Gives every label of @p root's form and grid layouts that has none the field beside it as its buddy,
/// then lets KDE's accelerator manager give labels, buttons and check boxes their Alt shortcuts.
void apply(QWidget *root);
/// Makes Tab visit the widgets under @p root in the order its layouts show them: rows top to bottom,
/// each row left to right, into tab pages and scroll areas.
void orderTabsByLayout(QWidget *root);
/// Takes the Tab stops off the texts under @p root (a message without links): Tab would stop on nothing to do.
void noTabStopsIn(QWidget *root);
}
