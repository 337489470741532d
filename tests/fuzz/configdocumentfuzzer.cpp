// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration document: a file of fuzzed bytes, one edit as the helper makes them (a value checked by the
// keyword table, a block header of pattern characters), then the document written out. The lines the edit does not
// touch stay byte for byte, the edit has the effect it names, and the output reads back as the same document.
#include "configdocument.h"
#include "configline.h"
#include "fuzzcheck.h"
#include "optioncatalog.h"

#include <QSet>

using namespace ConfigLine;
using Occurrence = ConfigDocument::Occurrence;
using Block = ConfigDocument::Block;

namespace
{
const QString MainPath = QStringLiteral("/nonexistent/ssh/config");

enum Operation { SetSingle, SetAll, Sftp, SetInBlock, AddBlock, SetHeader, RemoveBlock, MoveBlock, OperationCount };

QList<QByteArray> argumentsOf(const QByteArray &line)
{
    Parsed parsed;
    parseLine("k " + line, &parsed);
    return parsed.arguments;
}

QList<QByteArray> headerArguments(const QByteArray &header)
{
    Parsed parsed;
    parseLine(header, &parsed);
    return parsed.arguments;
}

bool sameOccurrences(const QList<Occurrence> &a, const QList<Occurrence> &b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).file != b.at(i).file || a.at(i).line != b.at(i).line || a.at(i).keyword != b.at(i).keyword || a.at(i).arguments != b.at(i).arguments
            || a.at(i).global != b.at(i).global) {
            return false;
        }
    }
    return true;
}

bool sameBlocks(const QList<Block> &a, const QList<Block> &b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).file != b.at(i).file || a.at(i).line != b.at(i).line || a.at(i).end != b.at(i).end || a.at(i).keyword != b.at(i).keyword
            || a.at(i).arguments != b.at(i).arguments) {
            return false;
        }
    }
    return true;
}

// The lines of block @p block from its header to its last keyword.
void addBlockLines(const QList<QByteArray> &lines, const Block &block, QSet<int> *touched)
{
    int last = block.line;
    for (int i = block.line + 1; i < block.end; ++i) {
        Parsed parsed;
        if (parseLine(lines.at(i), &parsed)) {
            last = i;
        }
    }
    for (int i = block.line; i <= last; ++i) {
        touched->insert(i);
    }
}

// Pattern characters only, as a block's criteria are once the helper has checked them.
QByteArray patternWord(const QByteArray &text)
{
    QByteArray word;
    for (const char c : text) {
        if (c > 0x20 && c < 0x7f && !QByteArray("\"'#\\,=").contains(c)) {
            word += c;
        }
    }
    return word.isEmpty() ? QByteArray("x") : word;
}

// @p before without the lines of @p touched is, byte for byte, a subsequence of @p after; the file's last line may
// have gained the line ending a line inserted after it needs.
bool keepsUntouched(const QList<QByteArray> &before, const QSet<int> &touched, const QList<QByteArray> &after)
{
    int at = 0;
    for (int i = 0; i < before.size(); ++i) {
        if (touched.contains(i)) {
            continue;
        }
        const bool last = i == before.size() - 1;
        const auto same = [&](const QByteArray &line) {
            const QByteArray added = line.mid(before.at(i).size());
            return line.startsWith(before.at(i)) && (added.isEmpty() || (last && (added == "\n" || added == "\r\n")));
        };
        while (at < after.size() && !same(after.at(at))) {
            ++at;
        }
        if (at == after.size()) {
            return false;
        }
        ++at;
    }
    return true;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool client = input.ConsumeBool();
    const auto type = client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server;
    const int operation = input.ConsumeIntegralInRange<int>(0, OperationCount - 1);
    const int choice = input.ConsumeIntegral<uint16_t>();
    const bool up = input.ConsumeBool();
    const bool asList = input.ConsumeBool();
    const QString valueText = Fuzz::text(input, 96);
    const QByteArray contents = Fuzz::rest(input);

    // Include reads other files of the system: not part of what a single input can say.
    const QList<QByteArray> original = splitLines(contents);
    for (const QByteArray &line : original) {
        Parsed parsed;
        if (parseLine(line, &parsed) && parsed.keyword == "include") {
            return 0;
        }
    }
    ConfigDocument document(client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
    QString error;
    FUZZ_CHECK(document.loadFromContents(MainPath, contents, &error), "a file without Include loads");
    FUZZ_CHECK(document.contents(0) == contents, "an unedited document writes back its bytes");

    QList<const OptionCatalog::Option *> editable;
    for (const OptionCatalog::Option &option : OptionCatalog::options(type)) {
        if (option.kind != OptionCatalog::ValueKind::Subsystem && option.keyword.compare(QLatin1String("Include"), Qt::CaseInsensitive) != 0) {
            editable.append(&option);
        }
    }
    const OptionCatalog::Option &option = *editable.at(choice % editable.size());
    const QByteArray keyword = option.keyword.toLatin1();
    OptionCatalog::CheckedValue checked;
    Refusal refusal;
    const QVariant value = asList ? QVariant(valueText.split(QLatin1Char('|'))) : QVariant(valueText);
    OptionCatalog::checkValue(option, value, &checked, &refusal);
    const QList<QByteArray> lines = checked.lines;
    const QByteArray header = (client && !up ? QByteArray("Host ") : QByteArray("Match User ")) + patternWord(valueText.toUtf8());

    const QList<Block> blocksBefore = document.blocks();
    const int index = blocksBefore.isEmpty() ? -1 : choice % blocksBefore.size();
    QSet<int> touched;
    const auto touch = [&](const QList<Occurrence> &found) {
        for (const Occurrence &occurrence : found) {
            touched.insert(occurrence.line);
        }
    };
    const QByteArray canonical = keyword.toLower();
    switch (index < 0 && operation >= SetInBlock && operation != AddBlock ? SetAll : operation) {
    case SetSingle:
        if (!lines.isEmpty()) {
            touch(document.occurrences(canonical).mid(0, 1));
            document.setSingle(option.keyword, lines.first());
            FUZZ_CHECK(document.occurrences(canonical).value(0).arguments == argumentsOf(lines.first()), "the value set is the first one read");
            break;
        }
        Q_FALLTHROUGH();
    case SetAll:
        touch(document.occurrences(canonical));
        document.setAll(option.keyword, lines);
        {
            const QList<Occurrence> now = document.occurrences(canonical);
            FUZZ_CHECK(now.size() == lines.size(), "one line per value set");
            for (int i = 0; i < now.size(); ++i) {
                FUZZ_CHECK(now.at(i).arguments == argumentsOf(lines.at(i)), "the values set are read in their order");
            }
        }
        break;
    case Sftp: {
        QList<Occurrence> sftp;
        for (const Occurrence &occurrence : document.occurrences("subsystem")) {
            if (occurrence.arguments.value(0) == "sftp") {
                sftp.append(occurrence);
            }
        }
        touch(up ? QList<Occurrence>() : sftp);
        document.setSftpSubsystem(up, "/usr/lib/openssh/sftp-server");
        bool found = false;
        for (const Occurrence &occurrence : document.occurrences("subsystem")) {
            found = found || occurrence.arguments.value(0) == "sftp";
        }
        FUZZ_CHECK(found == up, "the sftp subsystem is configured as asked");
        break;
    }
    case SetInBlock: {
        QList<Occurrence> found;
        for (const Occurrence &occurrence : document.blockOccurrences(index)) {
            if (occurrence.keyword == canonical) {
                found.append(occurrence);
            }
        }
        touch(found);
        document.setInBlock(index, option.keyword, lines);
        FUZZ_CHECK(document.blocks().size() == blocksBefore.size(), "a block's body keeps the blocks");
        QList<QList<QByteArray>> now;
        for (const Occurrence &occurrence : document.blockOccurrences(index)) {
            if (occurrence.keyword == canonical) {
                now.append(occurrence.arguments);
            }
        }
        FUZZ_CHECK(now.size() == lines.size(), "one line per value set in the block");
        for (int i = 0; i < now.size(); ++i) {
            FUZZ_CHECK(now.at(i) == argumentsOf(lines.at(i)), "the values set in the block are read in their order");
        }
        break;
    }
    case AddBlock: {
        QList<QPair<QString, QByteArray>> body;
        for (const QByteArray &line : lines) {
            body.append({option.keyword, line});
        }
        const int added = document.addBlock(0, header, body);
        FUZZ_CHECK(added >= 0 && document.blocks().size() == blocksBefore.size() + 1, "a block is added");
        FUZZ_CHECK(document.blocks().at(added).arguments == headerArguments(header), "the new block reads its header");
        FUZZ_CHECK(document.blockOccurrences(added).size() == lines.size(), "the new block holds its body");
        break;
    }
    case SetHeader:
        touched.insert(blocksBefore.at(index).line);
        document.setBlockHeader(index, header);
        FUZZ_CHECK(document.blocks().size() == blocksBefore.size(), "a new header keeps the blocks");
        FUZZ_CHECK(document.blocks().at(index).arguments == headerArguments(header), "the block reads its new header");
        break;
    case RemoveBlock: {
        const Block &block = blocksBefore.at(index);
        addBlockLines(original, block, &touched);
        if (block.line > 0) {
            touched.insert(block.line - 1); // the blank line before it may go with it
        }
        document.removeBlock(index);
        FUZZ_CHECK(document.blocks().size() == blocksBefore.size() - 1, "a block is removed");
        break;
    }
    case MoveBlock:
        for (int i = qMax(0, index - 1); i <= qMin(int(blocksBefore.size()) - 1, index + 1); ++i) {
            addBlockLines(original, blocksBefore.at(i), &touched);
        }
        if (const int moved = document.moveBlock(index, up); moved >= 0) {
            FUZZ_CHECK(document.blocks().size() == blocksBefore.size(), "a move keeps the blocks");
            FUZZ_CHECK(document.blocks().at(moved).arguments == blocksBefore.at(index).arguments, "the moved block is the one asked for");
        } else {
            FUZZ_CHECK(document.contents(0) == contents, "a block that cannot move leaves the file as it was");
        }
        break;
    }

    // Null contents would make the document read its file: an empty output is given as empty, not null.
    const QByteArray written = document.contents(0).isNull() ? QByteArray("") : document.contents(0);
    FUZZ_CHECK(keepsUntouched(original, touched, splitLines(written)), "the lines the edit does not touch stay as they were");
    ConfigDocument reread(client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
    FUZZ_CHECK(reread.loadFromContents(MainPath, written, &error), "the output loads");
    FUZZ_CHECK(reread.contents(0) == written, "the output writes back its bytes");
    FUZZ_CHECK(sameOccurrences(reread.allOccurrences(), document.allOccurrences()), "the output reads as the edited document's keywords");
    FUZZ_CHECK(sameBlocks(reread.blocks(), document.blocks()), "the output reads as the edited document's blocks");
    return 0;
}
