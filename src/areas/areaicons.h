// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QIcon>

namespace AreaIcons
{
/// The forms ask for the theme icon "pencil"; themes without it (Breeze) get their edit icon.
inline void setEditIcon(QAbstractButton *button)
{
    button->setIcon(QIcon::fromTheme(QStringLiteral("pencil"), QIcon::fromTheme(QStringLiteral("document-edit"))));
}
}
