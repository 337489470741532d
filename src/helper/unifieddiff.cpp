// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "unifieddiff.h"

#include <QFile>
#include <QList>
#include <QVector>

namespace
{
constexpr int Context = 3;
/// The most cells of the comparison table, about 16 MB.
constexpr qint64 MaxCells = 4 * 1024 * 1024;

QList<QByteArray> splitKeepingEnds(const QByteArray &text)
{
    QList<QByteArray> lines;
    int start = 0;
    while (start < text.size()) {
        const int newline = text.indexOf('\n', start);
        const int stop = newline < 0 ? text.size() : newline + 1;
        lines.append(text.mid(start, stop - start));
        start = stop;
    }
    return lines;
}

struct Edit {
    char kind; // ' ', '-', '+'
    int oldLine;
    int newLine;
};
}

QByteArray unifiedDiff(const QString &path, const QByteArray &before, const QByteArray &after)
{
    if (before == after) {
        return {};
    }
    const QList<QByteArray> a = splitKeepingEnds(before);
    const QList<QByteArray> b = splitKeepingEnds(after);
    const int n = a.size();
    const int m = b.size();
    // Lines the change leaves alone at the start and the end are not compared with each other.
    int prefix = 0;
    while (prefix < n && prefix < m && a.at(prefix) == b.at(prefix)) {
        ++prefix;
    }
    int suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && a.at(n - 1 - suffix) == b.at(m - 1 - suffix)) {
        ++suffix;
    }
    const int rows = n - prefix - suffix;
    const int columns = m - prefix - suffix;
    // Longest common subsequence of what lies between; past MaxCells, whatever lies between is replaced whole.
    const bool compare = qint64(rows + 1) * (columns + 1) <= MaxCells;
    QVector<QVector<int>> lcs(compare ? rows + 1 : 0, QVector<int>(compare ? columns + 1 : 0, 0));
    for (int i = rows - 1; compare && i >= 0; --i) {
        for (int j = columns - 1; j >= 0; --j) {
            lcs[i][j] = a.at(prefix + i) == b.at(prefix + j) ? lcs[i + 1][j + 1] + 1 : qMax(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    QList<Edit> edits;
    for (int k = 0; k < prefix; ++k) {
        edits.append({' ', k, k});
    }
    int i = 0;
    int j = 0;
    while (i < rows || j < columns) {
        if (compare && i < rows && j < columns && a.at(prefix + i) == b.at(prefix + j)) {
            edits.append({' ', prefix + i++, prefix + j++});
        } else if (i < rows && (j == columns || !compare || lcs[i + 1][j] >= lcs[i][j + 1])) {
            edits.append({'-', prefix + i++, prefix + j});
        } else {
            edits.append({'+', prefix + i, prefix + j++});
        }
    }
    for (int k = 0; k < suffix; ++k) {
        edits.append({' ', n - suffix + k, m - suffix + k});
    }

    const QByteArray name = QFile::encodeName(path);
    QByteArray out = "--- " + name + "\n+++ " + name + "\n";
    int k = 0;
    while (k < edits.size()) {
        if (edits.at(k).kind == ' ') {
            ++k;
            continue;
        }
        const int start = qMax(0, k - Context);
        int end = k;
        // Extend the hunk while changes are closer than twice the context.
        while (end < edits.size()) {
            if (edits.at(end).kind != ' ') {
                ++end;
                continue;
            }
            int run = end;
            while (run < edits.size() && edits.at(run).kind == ' ') {
                ++run;
            }
            if (run == edits.size() || run - end > 2 * Context) {
                end = qMin(run, end + Context);
                break;
            }
            end = run;
        }
        int oldCount = 0;
        int newCount = 0;
        for (int e = start; e < end; ++e) {
            oldCount += edits.at(e).kind != '+';
            newCount += edits.at(e).kind != '-';
        }
        const int oldStart = edits.at(start).oldLine + (oldCount ? 1 : 0);
        const int newStart = edits.at(start).newLine + (newCount ? 1 : 0);
        out += QStringLiteral("@@ -%1,%2 +%3,%4 @@\n").arg(oldStart).arg(oldCount).arg(newStart).arg(newCount).toLatin1();
        for (int e = start; e < end; ++e) {
            const QByteArray &line = edits.at(e).kind == '+' ? b.at(edits.at(e).newLine) : a.at(edits.at(e).oldLine);
            out += edits.at(e).kind + line;
            if (!line.endsWith('\n')) {
                out += "\n\\ No newline at end of file\n";
            }
        }
        k = end;
    }
    return out;
}
