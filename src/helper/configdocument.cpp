// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configdocument.h"

#include "atomicfile.h"
#include "configline.h"
#include "sshoptioncatalog.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <optional>

#include <algorithm>
#include <glob.h>

using namespace ConfigLine;

namespace
{
constexpr int MaxIncludeDepth = 16;
constexpr int MaxFiles = 256;

// The keyword's own name, lower case, for one of the other names sshd (or ssh) accepts for it.
QByteArray canonicalKeyword(const QByteArray &keyword, ConfigDocument::Dialect dialect)
{
    // The table is searched once per spelling: a configuration of thousands of lines repeats a few dozen keywords.
    thread_local QHash<QByteArray, QByteArray> known[2];
    QHash<QByteArray, QByteArray> &names = known[dialect == ConfigDocument::Dialect::Server ? 0 : 1];
    const auto found = names.constFind(keyword);
    if (found != names.constEnd()) {
        return found.value();
    }
    const auto type = dialect == ConfigDocument::Dialect::Server ? OptionCatalog::ConfigType::Server : OptionCatalog::ConfigType::Client;
    const OptionCatalog::Option *option = OptionCatalog::findOption(type, QString::fromLatin1(keyword));
    const QByteArray name = option ? option->keyword.toLatin1().toLower() : keyword;
    if (names.size() < 4096) {
        names.insert(keyword, name);
    }
    return name;
}

}

ConfigDocument::ConfigDocument(Dialect dialect)
    : m_dialect(dialect)
{
}

bool ConfigDocument::isBlockStart(const QByteArray &keyword) const
{
    return keyword == "match" || (m_dialect == Dialect::Client && keyword == "host");
}

bool ConfigDocument::load(const QString &mainPath, QString *error)
{
    return loadFromContents(mainPath, QByteArray(), error);
}

bool ConfigDocument::loadFromContents(const QString &mainPath, const QByteArray &contents, QString *error)
{
    m_files.clear();
    m_occurrences.clear();
    m_blocks.clear();
    m_baseDir = QFileInfo(mainPath).absolutePath();
    if (!loadFile(mainPath, contents.isNull() ? nullptr : &contents, error)) {
        return false;
    }
    m_occurrences.clear();
    m_blocks.clear();
    m_seen.clear();
    m_includePatterns.clear();
    if (!walk(0, -1, 0, error)) {
        return false;
    }
    return true;
}

bool ConfigDocument::loadFile(const QString &path, const QByteArray *contents, QString *error)
{
    File file;
    file.path = path;
    if (contents) {
        file.original = *contents;
    } else if (!AtomicFile::readFile(path, &file.original, error)) {
        return false;
    }
    file.lines = splitLines(file.original);
    m_files.append(file);
    return true;
}

bool ConfigDocument::walk(int fileIndex, int enclosing, int depth, QString *error)
{
    if (depth > MaxIncludeDepth) {
        *error = QStringLiteral("Include nested too deeply in %1").arg(m_files.at(fileIndex).path);
        return false;
    }
    if (enclosing >= 0 && m_files.at(fileIndex).includedIn < 0) {
        m_files[fileIndex].includedIn = enclosing;
    }
    int open = -1; ///< this file's block being read
    const QList<QByteArray> lines = m_files.at(fileIndex).lines;
    for (int i = 0; i < lines.size(); ++i) {
        Parsed parsed;
        if (!parseLine(lines.at(i), &parsed)) {
            continue;
        }
        // A file reached through two Include lines is one document: its lines count once, where sshd reads them first.
        if (m_seen.contains({fileIndex, i})) {
            continue;
        }
        m_seen.insert({fileIndex, i});
        if (isBlockStart(parsed.keyword)) {
            if (open >= 0) {
                m_blocks[open].end = i;
            }
            open = m_blocks.size();
            m_blocks.append({fileIndex, i, int(lines.size()), parsed.keyword, parsed.arguments, enclosing, {}});
        }
        // Until its first block, a file included from a block's body belongs to that block: its lines are that body's.
        const int inForce = open >= 0 ? open : enclosing;
        if (inForce >= 0 && !isBlockStart(parsed.keyword)) {
            m_blocks[inForce].body.append(m_occurrences.size());
        }
        m_occurrences.append({fileIndex, i, canonicalKeyword(parsed.keyword, m_dialect), parsed.arguments, inForce < 0, inForce});
        if (parsed.keyword != "include") {
            continue;
        }
        for (const QByteArray &pattern : std::as_const(parsed.arguments)) {
            QByteArray absolute = pattern;
            if (!absolute.startsWith('/') && !absolute.startsWith('~')) {
                absolute = QFile::encodeName(m_baseDir) + '/' + absolute;
            }
            if (!m_includePatterns.contains(QFile::decodeName(absolute))) {
                m_includePatterns.append(QFile::decodeName(absolute));
            }
            glob_t matches{};
            const int rc = ::glob(absolute.constData(), 0, nullptr, &matches);
            if (rc == 0) {
                for (size_t m = 0; m < matches.gl_pathc; ++m) {
                    const QString path = QFile::decodeName(matches.gl_pathv[m]);
                    if (!QFileInfo(path).isFile()) {
                        continue;
                    }
                    int index = -1;
                    for (int f = 0; f < m_files.size(); ++f) {
                        if (m_files.at(f).path == path) {
                            index = f;
                        }
                    }
                    if (index < 0) {
                        if (m_files.size() >= MaxFiles) {
                            globfree(&matches);
                            *error = QStringLiteral("too many included files");
                            return false;
                        }
                        if (!loadFile(path, nullptr, error)) {
                            globfree(&matches);
                            return false;
                        }
                        index = m_files.size() - 1;
                    }
                    if (!walk(index, inForce, depth + 1, error)) {
                        globfree(&matches);
                        return false;
                    }
                }
            }
            globfree(&matches);
        }
    }
    return true;
}

void ConfigDocument::reindex()
{
    m_occurrences.clear();
    m_blocks.clear();
    m_seen.clear();
    for (File &file : m_files) {
        file.includedIn = -1;
    }
    QString error;
    walk(0, -1, 0, &error);
}

QList<ConfigDocument::Occurrence> ConfigDocument::occurrences(const QByteArray &keyword, bool globalOnly) const
{
    const QByteArray wanted = canonicalKeyword(keyword, m_dialect);
    QList<Occurrence> found;
    for (const Occurrence &occurrence : m_occurrences) {
        if (occurrence.keyword == wanted && (occurrence.global || !globalOnly)) {
            found.append(occurrence);
        }
    }
    return found;
}

void ConfigDocument::replaceLine(const Occurrence &occurrence, const QByteArray &arguments)
{
    QByteArray &line = m_files[occurrence.file].lines[occurrence.line];
    Parsed parsed;
    parseLine(line, &parsed);
    const QByteArray body = lineBody(line);
    // Indentation, keyword as written and separator stay; only the arguments change.
    line = body.left(parsed.argumentsStart) + arguments + lineEnding(line);
    if (parsed.argumentsStart == parsed.indent + parsed.keywordLength) {
        line = body.left(parsed.argumentsStart) + ' ' + arguments + lineEnding(line);
    }
}

QPair<int, int> ConfigDocument::insertionPoint(const QByteArray &keyword) const
{
    const QList<QByteArray> &lines = m_files.at(0).lines;
    int blockStart = lines.size();
    for (int i = 0; i < lines.size(); ++i) {
        Parsed parsed;
        if (parseLine(lines.at(i), &parsed) && isBlockStart(parsed.keyword)) {
            blockStart = i;
            break;
        }
    }
    for (int i = 0; i < blockStart; ++i) {
        if (isCommentedOut(lines.at(i), keyword)) {
            return {0, i + 1};
        }
    }
    return {0, blockStart};
}

QByteArray ConfigDocument::fileEnding(int file) const
{
    for (const QByteArray &line : m_files.at(file).lines) {
        if (line.endsWith('\n')) {
            return lineEnding(line);
        }
    }
    return QByteArrayLiteral("\n");
}

void ConfigDocument::insertLine(QPair<int, int> where, const QByteArray &text)
{
    QList<QByteArray> &lines = m_files[where.first].lines;
    const QByteArray ending = fileEnding(where.first);
    if (where.second > 0 && where.second == lines.size() && lineEnding(lines.last()).isEmpty()) {
        lines.last().append(ending);
    }
    lines.insert(where.second, text + ending);
}

void ConfigDocument::removeLines(QList<Occurrence> found)
{
    // From the last line of each file, so the earlier line numbers stay valid.
    std::sort(found.begin(), found.end(), [](const Occurrence &a, const Occurrence &b) {
        return a.file != b.file ? a.file > b.file : a.line > b.line;
    });
    for (const Occurrence &occurrence : std::as_const(found)) {
        m_files[occurrence.file].lines.removeAt(occurrence.line);
    }
}

void ConfigDocument::setSingle(const QString &keyword, const QByteArray &arguments)
{
    const QByteArray lower = keyword.toLatin1().toLower();
    const QList<Occurrence> found = occurrences(lower);
    if (!found.isEmpty()) {
        replaceLine(found.first(), arguments);
    } else {
        insertLine(insertionPoint(lower), keyword.toLatin1() + ' ' + arguments);
    }
    reindex();
}

void ConfigDocument::setAll(const QString &keyword, const QList<QByteArray> &newLines)
{
    const QByteArray lower = keyword.toLatin1().toLower();
    const QList<Occurrence> found = occurrences(lower);
    QPair<int, int> where;
    QByteArray prefix = keyword.toLatin1() + ' ';
    if (!found.isEmpty()) {
        const Occurrence &first = found.first();
        const QByteArray &line = m_files.at(first.file).lines.at(first.line);
        Parsed parsed;
        parseLine(line, &parsed);
        prefix = lineBody(line).left(parsed.argumentsStart);
        if (parsed.argumentsStart == parsed.indent + parsed.keywordLength) {
            prefix += ' ';
        }
        where = {first.file, first.line};
        removeLines(found);
    } else {
        where = insertionPoint(lower);
    }
    for (int i = newLines.size() - 1; i >= 0; --i) {
        insertLine(where, prefix + newLines.at(i));
    }
    reindex();
}

void ConfigDocument::setSftpSubsystem(bool enable, const QByteArray &server)
{
    const QList<Occurrence> found = occurrences("subsystem");
    QList<Occurrence> sftp;
    for (const Occurrence &occurrence : found) {
        if (!occurrence.arguments.isEmpty() && occurrence.arguments.first() == "sftp") {
            sftp.append(occurrence);
        }
    }
    if (enable) {
        if (sftp.isEmpty()) {
            insertLine(insertionPoint("subsystem"), "Subsystem sftp " + server);
        }
    } else {
        removeLines(sftp);
    }
    reindex();
}

QStringList ConfigDocument::filePaths() const
{
    QStringList paths;
    for (const File &file : m_files) {
        paths.append(file.path);
    }
    return paths;
}

QByteArray ConfigDocument::contents(int file) const
{
    QByteArray joined;
    for (const QByteArray &line : m_files.at(file).lines) {
        joined += line;
    }
    return joined;
}

QByteArray ConfigDocument::originalContents(int file) const
{
    return m_files.at(file).original;
}

QList<QPair<QString, QByteArray>> ConfigDocument::modifiedFiles() const
{
    QList<QPair<QString, QByteArray>> changed;
    for (int i = 0; i < m_files.size(); ++i) {
        const QByteArray now = contents(i);
        if (now != m_files.at(i).original) {
            changed.append({m_files.at(i).path, now});
        }
    }
    return changed;
}

QList<ConfigDocument::Occurrence> ConfigDocument::blockOccurrences(int index) const
{
    QList<Occurrence> found;
    for (const int occurrence : m_blocks.at(index).body) {
        found.append(m_occurrences.at(occurrence));
    }
    return found;
}

int ConfigDocument::lastBlockLine(int index) const
{
    const Block &block = m_blocks.at(index);
    const QList<QByteArray> &lines = m_files.at(block.file).lines;
    for (int i = block.end - 1; i > block.line; --i) {
        Parsed parsed;
        if (parseLine(lines.at(i), &parsed)) {
            return i;
        }
    }
    return block.line;
}

void ConfigDocument::setInBlock(int index, const QString &keyword, const QList<QByteArray> &newLines)
{
    const QByteArray wanted = canonicalKeyword(keyword.toLatin1().toLower(), m_dialect);
    const QList<Occurrence> body = blockOccurrences(index);
    QList<Occurrence> found;
    for (const Occurrence &occurrence : body) {
        if (occurrence.keyword == wanted) {
            found.append(occurrence);
        }
    }
    const Block &block = m_blocks.at(index);
    // A line there is replaced where it is, in an included file too. A new line goes after the body's last keyword in the
    // block's own file, indented as the body's first line there is (an empty body as other blocks are).
    QPair<int, int> where = {block.file, lastBlockLine(index) + 1};
    QByteArray prefix = bodyIndent(block.file) + keyword.toLatin1() + ' ';
    const auto own = std::find_if(body.cbegin(), body.cend(), [&block](const Occurrence &occurrence) {
        return occurrence.file == block.file;
    });
    const Occurrence *model = found.isEmpty() ? (own == body.cend() ? nullptr : &*own) : &found.first();
    if (model) {
        Parsed parsed;
        const QByteArray &line = m_files.at(model->file).lines.at(model->line);
        parseLine(line, &parsed);
        if (found.isEmpty()) {
            prefix = line.left(parsed.indent) + keyword.toLatin1() + ' ';
        } else {
            prefix = lineBody(line).left(parsed.argumentsStart);
            if (parsed.argumentsStart == parsed.indent + parsed.keywordLength) {
                prefix += ' ';
            }
            where = {model->file, model->line};
        }
    }
    removeLines(found);
    for (int i = newLines.size() - 1; i >= 0; --i) {
        insertLine(where, prefix + newLines.at(i));
    }
    reindex();
}

QByteArray ConfigDocument::bodyIndent(int file) const
{
    std::optional<QByteArray> found;
    for (int i = 0; i < m_blocks.size(); ++i) {
        const QList<Occurrence> body = blockOccurrences(i);
        const auto first = std::find_if(body.cbegin(), body.cend(), [this, i](const Occurrence &occurrence) {
            return occurrence.file == m_blocks.at(i).file;
        });
        if (first == body.cend()) {
            continue;
        }
        Parsed parsed;
        const QByteArray &line = m_files.at(first->file).lines.at(first->line);
        parseLine(line, &parsed);
        if (m_blocks.at(i).file == file) {
            return line.left(parsed.indent);
        }
        if (!found) {
            found = line.left(parsed.indent);
        }
    }
    return found.value_or(QByteArray("\t"));
}

int ConfigDocument::addBlock(int file, const QByteArray &header, const QList<QPair<QString, QByteArray>> &body)
{
    const QList<QByteArray> &lines = m_files.at(file).lines;
    // ssh takes the first value it finds: after a block for every host (Host *, Match all) a new block's values would
    // never count, so it goes before the first such block of the file, a blank line apart from it.
    int catchAll = -1;
    for (const Block &block : std::as_const(m_blocks)) {
        const QByteArray criteria = block.arguments.join(' ').toLower();
        if (m_dialect == Dialect::Client && block.file == file
            && ((block.keyword == "host" && criteria == "*") || (block.keyword == "match" && criteria == "all"))) {
            catchAll = block.line;
            break;
        }
    }
    int at = catchAll >= 0 ? catchAll : lines.size();
    // A blank line apart from what comes before, as blocks usually are.
    if (catchAll < 0 && at > 0 && !lineBody(lines.last()).trimmed().isEmpty()) {
        insertLine({file, at++}, QByteArray());
    }
    const int headerLine = at;
    const QByteArray indent = bodyIndent(file);
    insertLine({file, at++}, header);
    for (const auto &entry : body) {
        insertLine({file, at++}, indent + entry.first.toLatin1() + ' ' + entry.second);
    }
    if (catchAll >= 0) {
        insertLine({file, at++}, QByteArray());
    }
    reindex();
    for (int i = 0; i < m_blocks.size(); ++i) {
        if (m_blocks.at(i).file == file && m_blocks.at(i).line == headerLine) {
            return i;
        }
    }
    return -1;
}

void ConfigDocument::setBlockHeader(int index, const QByteArray &header)
{
    const Block &block = m_blocks.at(index);
    QByteArray &line = m_files[block.file].lines[block.line];
    Parsed parsed;
    parseLine(line, &parsed);
    line = line.left(parsed.indent) + header + lineEnding(line);
    reindex();
}

void ConfigDocument::removeBlock(int index)
{
    const Block block = m_blocks.at(index);
    QList<QByteArray> &lines = m_files[block.file].lines;
    const int last = lastBlockLine(index);
    bool blankAfter = true;
    for (int i = last + 1; i < lines.size(); ++i) {
        blankAfter = blankAfter && lineBody(lines.at(i)).trimmed().isEmpty();
    }
    lines.erase(lines.begin() + block.line, lines.begin() + last + 1);
    // The blank line that set a block at the end of its file apart goes with it.
    if (blankAfter && block.line > 0 && lineBody(lines.at(block.line - 1)).trimmed().isEmpty()) {
        lines.removeAt(block.line - 1);
    }
    reindex();
}

int ConfigDocument::moveBlock(int index, bool up)
{
    const int file = m_blocks.at(index).file;
    int other = -1;
    for (int i = 0; i < m_blocks.size(); ++i) {
        if (m_blocks.at(i).file == file && (up ? m_blocks.at(i).line < m_blocks.at(index).line : m_blocks.at(i).line > m_blocks.at(index).line)
            && (other < 0 || (up ? m_blocks.at(i).line > m_blocks.at(other).line : m_blocks.at(i).line < m_blocks.at(other).line))) {
            other = i;
        }
    }
    if (other < 0) {
        return -1;
    }
    // The earlier block's lines and the later one's trade places; comments and blank lines between them stay.
    const int first = qMin(index, other);
    const int second = qMax(index, other);
    QList<QByteArray> &lines = m_files[file].lines;
    const QByteArray ending = fileEnding(file);
    const auto segment = [&](int block) {
        QList<QByteArray> taken = lines.mid(m_blocks.at(block).line, lastBlockLine(block) + 1 - m_blocks.at(block).line);
        if (lineEnding(taken.last()).isEmpty()) {
            taken.last() += ending;
        }
        return taken;
    };
    const int firstStart = m_blocks.at(first).line;
    const int firstEnd = lastBlockLine(first) + 1;
    const int secondStart = m_blocks.at(second).line;
    const int secondEnd = lastBlockLine(second) + 1;
    const QList<QByteArray> replaced = segment(second) + lines.mid(firstEnd, secondStart - firstEnd) + segment(first);
    lines = lines.mid(0, firstStart) + replaced + lines.mid(secondEnd);
    const int movedTo = up ? firstStart : firstStart + (secondEnd - firstEnd);
    reindex();
    for (int i = 0; i < m_blocks.size(); ++i) {
        if (m_blocks.at(i).file == file && m_blocks.at(i).line == movedTo) {
            return i;
        }
    }
    return -1;
}
