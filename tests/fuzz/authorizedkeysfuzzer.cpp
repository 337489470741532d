// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// authorized_keys: a fuzzed line read and its options checked, then added to and removed from fuzzed file contents.
// A line reads back as its parts, and a removed line is the only line missing.
#include "authorizedkeys.h"
#include "fuzzcheck.h"

using namespace AuthorizedKeys;

namespace
{
QList<QByteArray> linesOf(const QByteArray &contents)
{
    QList<QByteArray> lines;
    for (int start = 0; start < contents.size();) {
        const int newline = contents.indexOf('\n', start);
        const int stop = newline < 0 ? contents.size() : newline + 1;
        lines.append(contents.mid(start, stop - start));
        start = stop;
    }
    return lines;
}

void checkRemoved(const QByteArray &contents, const QByteArray &line)
{
    const QList<QByteArray> before = linesOf(contents);
    const QList<QByteArray> after = linesOf(withLineRemoved(contents, line));
    int at = 0;
    int removed = 0;
    for (const QByteArray &current : before) {
        if (at < after.size() && after.at(at) == current) {
            ++at;
        } else {
            FUZZ_CHECK(current.trimmed() == line.trimmed(), "a line other than the removed one is missing");
            ++removed;
        }
    }
    FUZZ_CHECK(at == after.size(), "nothing but the lines of the file is left");
    for (const QByteArray &kept : after) {
        FUZZ_CHECK(kept.trimmed() != line.trimmed(), "every copy of the removed line goes");
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QByteArray text = Fuzz::bytes(input, 512);
    const QByteArray contents = Fuzz::rest(input);

    Line line;
    if (parse(text, &line)) {
        FUZZ_CHECK(!line.type.isEmpty() && !line.key.isEmpty(), "a key line has a type and a key");
        const QByteArray joined = (line.options.isEmpty() ? QByteArray() : line.options + ' ') + line.type + ' ' + line.key
            + (line.comment.isEmpty() ? QByteArray() : ' ' + line.comment);
        Line again;
        FUZZ_CHECK(parse(joined, &again), "a key line put back together reads");
        FUZZ_CHECK(again.options == line.options && again.type == line.type && again.key == line.key && again.comment == line.comment,
                   "a key line put back together reads as the same parts");
    }
    QByteArray options;
    QByteArray rest;
    splitOptions(text, &options, &rest);
    QString error;
    QHash<QByteArray, QByteArray> given;
    if (checkOptions(options, &error, &given)) {
        FUZZ_CHECK(!options.contains('\n') && !options.contains('\r'), "accepted options hold no line break");
    } else {
        FUZZ_CHECK(!error.isEmpty(), "a refusal says why");
    }

    checkRemoved(contents, text);
    const QByteArray added = withLineAdded(contents, text);
    FUZZ_CHECK(added.startsWith(contents) && added.endsWith(text + '\n'), "a line is added after the others, as given");
    if (!text.contains('\n')) {
        const QByteArray ended = contents.isEmpty() || contents.endsWith('\n') ? contents : contents + '\n';
        FUZZ_CHECK(withLineRemoved(added, text) == withLineRemoved(ended, text), "removing a line just added leaves the file as it was");
    }
    return 0;
}
