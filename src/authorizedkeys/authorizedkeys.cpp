// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeys.h"

#include <QList>

namespace AuthorizedKeys
{
namespace
{
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isKeyType(const QByteArray &word)
{
    return word.startsWith("ssh-") || word.startsWith("ecdsa-sha2-") || word.startsWith("sk-ssh-") || word.startsWith("sk-ecdsa-");
}

// The end of the options prefix: the first blank outside double quotes; -1 when a quote is left open.
int optionsEnd(const QByteArray &text, int start)
{
    bool quoted = false;
    for (int i = start; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\\' && quoted && i + 1 < text.size() && text.at(i + 1) == '"') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (isBlank(c) && !quoted) {
            return i;
        }
    }
    return quoted ? -1 : int(text.size());
}

QByteArray nextWord(const QByteArray &text, int *position)
{
    int i = *position;
    while (i < text.size() && isBlank(text.at(i))) {
        ++i;
    }
    const int start = i;
    while (i < text.size() && !isBlank(text.at(i))) {
        ++i;
    }
    *position = i;
    return text.mid(start, i - start);
}
}

void splitOptions(const QByteArray &text, QByteArray *options, QByteArray *rest)
{
    const QByteArray trimmed = text.trimmed();
    int position = 0;
    const int end = isKeyType(nextWord(trimmed, &position)) ? -1 : optionsEnd(trimmed, 0);
    *options = end < 0 ? QByteArray() : trimmed.left(end);
    *rest = end < 0 ? trimmed : trimmed.mid(end).trimmed();
}

bool parse(const QByteArray &text, Line *line)
{
    *line = Line();
    int i = 0;
    while (i < text.size() && isBlank(text.at(i))) {
        ++i;
    }
    if (i == text.size() || text.at(i) == '#' || text.contains('\n') || text.contains('\r')) {
        return false;
    }
    QByteArray rest;
    splitOptions(text, &line->options, &rest);
    int position = 0;
    line->type = nextWord(rest, &position);
    line->key = nextWord(rest, &position);
    line->comment = rest.mid(position).trimmed();
    return isKeyType(line->type) && !line->key.isEmpty();
}

bool checkOptions(const QByteArray &options, QString *error, QHash<QByteArray, QByteArray> *given)
{
    // Flags, and options that take a quoted value, as sshd accepts them.
    static const QList<QByteArray> flags = {"agent-forwarding",
                                            "cert-authority",
                                            "no-agent-forwarding",
                                            "no-port-forwarding",
                                            "no-pty",
                                            "no-user-rc",
                                            "no-x11-forwarding",
                                            "port-forwarding",
                                            "pty",
                                            "restrict",
                                            "user-rc",
                                            "x11-forwarding",
                                            "no-touch-required",
                                            "touch-required",
                                            "verify-required"};
    static const QList<QByteArray> valued = {"command", "environment", "expiry-time", "from", "permitopen", "permitlisten", "principals", "tunnel"};
    if (options.contains('\n') || options.contains('\r')) {
        *error = QStringLiteral("the key options hold a line break");
        return false;
    }
    int i = 0;
    while (i < options.size()) {
        int nameEnd = i;
        while (nameEnd < options.size() && options.at(nameEnd) != '=' && options.at(nameEnd) != ',') {
            ++nameEnd;
        }
        const QByteArray name = options.mid(i, nameEnd - i).toLower();
        if (nameEnd < options.size() && options.at(nameEnd) == '=') {
            if (!valued.contains(name)) {
                *error = QStringLiteral("\"%1\" is not a key option sshd knows").arg(QString::fromUtf8(name.left(40)));
                return false;
            }
            int j = nameEnd + 1;
            if (j >= options.size() || options.at(j) != '"') {
                *error = QStringLiteral("the value of \"%1\" must be quoted").arg(QString::fromUtf8(name));
                return false;
            }
            QByteArray value;
            for (++j; j < options.size() && options.at(j) != '"'; ++j) {
                if (options.at(j) == '\\' && j + 1 < options.size() && options.at(j + 1) == '"') {
                    ++j;
                }
                value += options.at(j);
            }
            if (j >= options.size()) {
                *error = QStringLiteral("the value of \"%1\" has no closing quote").arg(QString::fromUtf8(name));
                return false;
            }
            nameEnd = j + 1;
            if (given) {
                given->insert(name, value);
            }
        } else if (!flags.contains(name)) {
            *error = QStringLiteral("\"%1\" is not a key option sshd knows").arg(QString::fromUtf8(name.left(40)));
            return false;
        } else if (given) {
            given->insert(name, QByteArray());
        }
        if (nameEnd < options.size() && options.at(nameEnd) != ',') {
            *error = QStringLiteral("key options must be separated by commas");
            return false;
        }
        i = nameEnd + 1;
        if (i == options.size()) {
            *error = QStringLiteral("the key options end with a comma");
            return false;
        }
    }
    return true;
}

QByteArray withLineAdded(const QByteArray &contents, const QByteArray &line)
{
    QByteArray result = contents;
    if (!result.isEmpty() && !result.endsWith('\n')) {
        result += '\n';
    }
    return result + line + '\n';
}

QByteArray withLineRemoved(const QByteArray &contents, const QByteArray &line)
{
    const QByteArray wanted = line.trimmed();
    QByteArray kept;
    int start = 0;
    while (start < contents.size()) {
        const int newline = contents.indexOf('\n', start);
        const int stop = newline < 0 ? contents.size() : newline + 1;
        const QByteArray current = contents.mid(start, stop - start);
        if (current.trimmed() != wanted) {
            kept += current;
        }
        start = stop;
    }
    return kept;
}
}
