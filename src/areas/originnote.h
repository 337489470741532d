// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshtypes.h"

#include <QLabel>
#include <QList>
#include <QPair>
#include <QVariantMap>

class AbstractOptionArea;

/**
 * Where a value comes from, in words: the line that sets it for every connection, and the blocks that
 * set it for some. Built from one keyword's entry of a read reply's origins (OriginFile, OriginLine,
 * OriginMainFile, OriginOverrides); the note under a field and the "All settings" tool tips say the same.
 */
namespace OriginText
{
/// @p file as the page shows it: relative to the folder of the configuration files when it is inside it.
QString shownPath(const QString &file);
/// "file:line" of an origin (or of one of its overrides): the file's name only, or its whole path.
QString place(const QVariantMap &where, bool fullPath);
/// A sentence per line that sets the keyword: "Set in …, line 3.", then "Overridden for … (…, line 20)."
/// The main file's line is left out unless @p withMainFile. With @p firstLink from 0 up, each place is a link whose
/// target is its index in places() plus @p firstLink; plain text without.
QStringList sentences(SSHConfigurationTypeId type, const QVariantMap &origin, bool withMainFile, int firstLink = -1);
/// The lines sentences() names, in its order, as file and line.
QList<QPair<QString, int>> places(const QVariantMap &origin, bool withMainFile);
}

/**
 * A small note under an option's field, shown when a drop-in file or a block sets one of its keywords.
 * Each place in it is a link that Tab reaches and that opens a read-only view of the file at that line;
 * the field's accessible description says the same as the note.
 */
class OriginNote : public QLabel
{
    Q_OBJECT
public:
    OriginNote(AbstractOptionArea *area, QWidget *parent);

    /// Takes a read reply's origins (lower-case keyword → origin) and shows those of the area's keywords.
    void setOrigins(const QVariantMap &origins);
    /// The widget of the area that takes the focus: its labelled field, its check box or its first focusable part.
    static QWidget *fieldOf(AbstractOptionArea *area);
    /// Opens a read-only view of @p file with @p line marked; it deletes itself when closed.
    static QWidget *showLine(const QString &file, int line, QWidget *parent);

private:
    AbstractOptionArea *m_area;
    QList<QPair<QString, int>> m_places;
};
