// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

/// The lines of sshd_config and ssh_config as sshd and ssh read them.
namespace ConfigLine
{
// Splits one line the way sshd does: keyword, then optional '=' and arguments.
struct Parsed {
    int indent = 0; ///< leading blanks
    int keywordLength = 0;
    int argumentsStart = 0; ///< offset of the first argument
    QByteArray keyword;
    QList<QByteArray> arguments;
};

bool isBlank(char c);
/// The line without its line ending.
QByteArray lineBody(const QByteArray &line);
/// False for a blank line or a comment.
bool parseLine(const QByteArray &line, Parsed *parsed);
/// "\r\n", "\n" or nothing.
QByteArray lineEnding(const QByteArray &line);
/// "#Port 22" → true for "port"; prose such as "# Port forwarding…" is not taken.
bool isCommentedOut(const QByteArray &line, const QByteArray &keyword);
/// The lines of @p contents, each with its line ending.
QList<QByteArray> splitLines(const QByteArray &contents);
}
