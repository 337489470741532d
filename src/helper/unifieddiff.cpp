// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "unifieddiff.h"

#include <QFile>
#include <QList>
#include <QVector>

namespace
{
constexpr int Context = 3;

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
    // Longest common subsequence table; configuration files are small.
    QVector<QVector<int>> lcs(n + 1, QVector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i) {
        for (int j = m - 1; j >= 0; --j) {
            lcs[i][j] = a.at(i) == b.at(j) ? lcs[i + 1][j + 1] + 1 : qMax(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    QList<Edit> edits;
    int i = 0;
    int j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a.at(i) == b.at(j)) {
            edits.append({' ', i++, j++});
        } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
            edits.append({'-', i++, j});
        } else {
            edits.append({'+', i, j++});
        }
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
