// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configline.h"

namespace ConfigLine
{
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArray lineBody(const QByteArray &line)
{
    QByteArray body = line;
    while (!body.isEmpty() && (body.endsWith('\n') || body.endsWith('\r'))) {
        body.chop(1);
    }
    return body;
}

bool parseLine(const QByteArray &line, Parsed *parsed)
{
    const QByteArray body = lineBody(line);
    int i = 0;
    while (i < body.size() && isBlank(body.at(i))) {
        ++i;
    }
    if (i == body.size() || body.at(i) == '#') {
        return false;
    }
    parsed->indent = i;
    int end = i;
    while (end < body.size() && !isBlank(body.at(end)) && body.at(end) != '=') {
        ++end;
    }
    parsed->keyword = body.mid(i, end - i).toLower();
    parsed->keywordLength = end - i;
    int j = end;
    while (j < body.size() && isBlank(body.at(j))) {
        ++j;
    }
    if (j < body.size() && body.at(j) == '=') {
        ++j;
        while (j < body.size() && isBlank(body.at(j))) {
            ++j;
        }
    }
    parsed->argumentsStart = j;
    parsed->arguments.clear();
    while (j < body.size()) {
        QByteArray argument;
        if (body.at(j) == '"') {
            const int close = body.indexOf('"', j + 1);
            const int stop = close < 0 ? body.size() : close;
            argument = body.mid(j + 1, stop - j - 1);
            j = stop + 1;
        } else {
            const int start = j;
            while (j < body.size() && !isBlank(body.at(j))) {
                ++j;
            }
            argument = body.mid(start, j - start);
        }
        parsed->arguments.append(argument);
        while (j < body.size() && isBlank(body.at(j))) {
            ++j;
        }
    }
    return !parsed->keyword.isEmpty();
}

QByteArray lineEnding(const QByteArray &line)
{
    if (line.endsWith("\r\n")) {
        return QByteArrayLiteral("\r\n");
    }
    return line.endsWith('\n') ? QByteArrayLiteral("\n") : QByteArray();
}

bool isCommentedOut(const QByteArray &line, const QByteArray &keyword)
{
    QByteArray body = lineBody(line).trimmed();
    if (!body.startsWith('#')) {
        return false;
    }
    while (body.startsWith('#')) {
        body.remove(0, 1);
    }
    if (body.isEmpty() || isBlank(body.at(0))) {
        return false;
    }
    Parsed parsed;
    return parseLine(body, &parsed) && parsed.keyword == keyword;
}

QList<QByteArray> splitLines(const QByteArray &contents)
{
    QList<QByteArray> lines;
    int start = 0;
    while (start < contents.size()) {
        const int newline = contents.indexOf('\n', start);
        const int stop = newline < 0 ? contents.size() : newline + 1;
        lines.append(contents.mid(start, stop - start));
        start = stop;
    }
    return lines;
}
}
