// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>

class QTreeView;

namespace ViewColumns
{
/**
 * Keeps @p view's columns within its width, so that it never scrolls sideways: each column of @p shares
 * gets its contents' width up to its share (in percent of what the last column leaves), the last column
 * stretches over the rest. Long texts are elided; the columns follow the view's width and its contents.
 */
void fitToWidth(QTreeView *view, const QList<int> &shares);
}
