// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHash>
#include <QList>

namespace Utils
{
/// Multiset equality: the same elements the same number of times, in any order.
template<typename T>
bool areEqualIgnoringOrder(const QList<T> &first, const QList<T> &second)
{
    if (first.size() != second.size()) {
        return false;
    }
    QHash<T, int> counts;
    for (const T &element : first) {
        ++counts[element];
    }
    for (const T &element : second) {
        auto it = counts.find(element);
        if (it == counts.end() || it.value() == 0) {
            return false;
        }
        --it.value();
    }
    return true;
}
}
