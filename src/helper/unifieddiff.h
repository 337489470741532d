// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// A unified diff (three lines of context) between two versions of a text file.
QByteArray unifiedDiff(const QString &path, const QByteArray &before, const QByteArray &after);
