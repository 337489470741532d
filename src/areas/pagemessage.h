// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"

#include <QString>

class QWidget;

/// Says what an action of an area did in the page's message area, found among the ancestors of the area.
namespace PageMessage
{
/// Posts @p text under @p id (replacing the earlier message of that id); false when @p from is on no page.
bool post(const QWidget *from, const QString &id, const QString &text, KCMOS::MessageType type);
}
