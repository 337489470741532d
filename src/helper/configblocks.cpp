// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Blocks of a configuration: their read, their criteria checked word by word, and the operations on them.
#include "configuration.h"

#include "configdocument.h"
#include "configfiles.h"
#include "ipaddress.h"
#include "sshdmatch.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <grp.h>
#include <pwd.h>

using namespace OptionCatalog;
namespace Protocol = SSHSettings::Protocol;

namespace
{
constexpr int MaxCriteriaLength = 1024;

// Server criteria and the kind of value each takes, as sshd spells them.
enum class Criterion {
    None, ///< takes no value: All (server), all, canonical, final (client)
    Pattern, ///< user, group, host names and their wildcards
    Address, ///< addresses, CIDR ranges and wildcards
    Port,
};
struct CriterionRow {
    const char *name;
    Criterion kind;
};
constexpr CriterionRow ServerCriteria[] = {
    {"All", Criterion::None},
    {"User", Criterion::Pattern},
    {"Group", Criterion::Pattern},
    {"Host", Criterion::Pattern},
    {"LocalAddress", Criterion::Address},
    {"LocalPort", Criterion::Port},
    {"RDomain", Criterion::Pattern},
    {"Address", Criterion::Address},
};
// ssh's Match criteria but exec, which would make ssh run a command this page wrote.
constexpr CriterionRow ClientCriteria[] = {
    {"all", Criterion::None},
    {"canonical", Criterion::None},
    {"final", Criterion::None},
    {"host", Criterion::Pattern},
    {"originalhost", Criterion::Pattern},
    {"user", Criterion::Pattern},
    {"localuser", Criterion::Pattern},
    {"localnetwork", Criterion::Address},
    {"tagged", Criterion::Pattern},
};

bool isPatternText(const QString &text, bool address)
{
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        const bool ok = address ? (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')) || QStringLiteral(".:*?/").contains(c))
                                : (c.unicode() > 0x20 && c.unicode() < 0x7f && !QStringLiteral("\"'#\\,=").contains(c));
        if (!ok) {
            return false;
        }
    }
    return true;
}

// One entry of a criterion's comma list, "!" before it negating it.
bool isCriterionEntry(Criterion kind, QString entry)
{
    const bool negated = entry.startsWith(QLatin1Char('!'));
    if (negated) {
        entry.remove(0, 1);
    }
    switch (kind) {
    case Criterion::Port: {
        if (negated) {
            return false;
        }
        bool ok = false;
        const int port = entry.toInt(&ok);
        return ok && port >= 1 && port <= 65535 && entry == QString::number(port);
    }
    case Criterion::Address: {
        if (!isPatternText(entry, true)) {
            return false;
        }
        const bool wildcard = entry.contains(QLatin1Char('*')) || entry.contains(QLatin1Char('?'));
        const int slash = entry.indexOf(QLatin1Char('/'));
        QHostAddress address;
        if (slash < 0) {
            return wildcard || IpAddress::parse(entry, &address);
        }
        int bits = 0;
        return !wildcard && SshdMatch::parseNetwork(entry, &address, &bits) == 0;
    }
    case Criterion::Pattern:
        return isPatternText(entry, false);
    case Criterion::None:
        break;
    }
    return false;
}

template<size_t N>
const CriterionRow *findCriterion(const CriterionRow (&rows)[N], const QString &word)
{
    for (const CriterionRow &row : rows) {
        if (word.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0) {
            return &row;
        }
    }
    return nullptr;
}

// The words after Match: each criterion with its value, or one without a value; the line to write in @p header.
template<size_t N>
bool checkMatchWords(const CriterionRow (&rows)[N], const QStringList &words, bool negatable, QByteArray *header, Refusal *error)
{
    QStringList written;
    for (int i = 0; i < words.size(); ++i) {
        QString word = words.at(i);
        const bool negated = negatable && word.startsWith(QLatin1Char('!'));
        if (negated) {
            word.remove(0, 1);
        }
        // ssh would run the command of exec for every connection it considers.
        if (negatable && word.compare(QLatin1String("exec"), Qt::CaseInsensitive) == 0) {
            *error = Refusal::Code::ExecCriterion;
            return false;
        }
        const CriterionRow *row = findCriterion(rows, word);
        if (!row) {
            *error = {Refusal::Code::BadCriterion, {words.at(i).left(64)}};
            return false;
        }
        const QString name = (negated ? QStringLiteral("!") : QString()) + QLatin1String(row->name);
        if (row->kind == Criterion::None) {
            // sshd takes All only alone; ssh after canonical or final at most.
            const auto besideAll = [](const QString &other) {
                return other.compare(QLatin1String("canonical"), Qt::CaseInsensitive) == 0 || other.compare(QLatin1String("final"), Qt::CaseInsensitive) == 0;
            };
            const bool alone = words.size() == 1 || (negatable && std::all_of(words.cbegin(), words.cbegin() + i, besideAll) && i == words.size() - 1);
            if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0 && !alone) {
                *error = {Refusal::Code::BadCriterion, {words.join(QLatin1Char(' ')).left(64)}};
                return false;
            }
            written.append(name);
            continue;
        }
        const QString value = words.value(++i);
        // sshd takes one port, not a list.
        const QStringList entries = row->kind == Criterion::Port ? QStringList{value} : value.split(QLatin1Char(','));
        bool positive = false;
        for (const QString &entry : entries) {
            if (!isCriterionEntry(row->kind, entry)) {
                *error = {Refusal::Code::CriterionValue, {QLatin1String(row->name), value.left(64)}};
                return false;
            }
            positive = positive || !entry.startsWith(QLatin1Char('!'));
        }
        // A list of negations alone matches nothing ("!root" is written "*,!root").
        if (!positive) {
            *error = {Refusal::Code::CriterionValue, {QLatin1String(row->name), value.left(64)}};
            return false;
        }
        written.append(name + QLatin1Char(' ') + value);
    }
    *header = "Match " + written.join(QLatin1Char(' ')).toLatin1();
    return true;
}

/// The Match (or Host) line for @p criteria: checked word by word, written in sshd's or ssh's spelling.
bool checkCriteria(Configuration::ConfigType type, const QString &criteria, QByteArray *header, Refusal *error)
{
    const QStringList words = criteria.split(QRegularExpression(QStringLiteral("[ \t]+")), Qt::SkipEmptyParts);
    for (const QChar c : criteria) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\t')) {
            *error = {Refusal::Code::BadCriterion, {criteria.left(64).replace(c, QLatin1Char('?'))}};
            return false;
        }
    }
    if (words.isEmpty() || criteria.size() > MaxCriteriaLength) {
        *error = {Refusal::Code::BadCriterion, {criteria.left(64)}};
        return false;
    }
    if (type == Configuration::ConfigType::Server) {
        return checkMatchWords(ServerCriteria, words, false, header, error);
    }
    const QString first = words.first().toLower();
    if (first == QLatin1String("match")) {
        if (words.size() < 2) {
            *error = {Refusal::Code::BadCriterion, {criteria.left(64)}};
            return false;
        }
        return checkMatchWords(ClientCriteria, words.mid(1), true, header, error);
    }
    if (first != QLatin1String("host") || words.size() < 2) {
        *error = {Refusal::Code::BadCriterion, {words.first().left(64)}};
        return false;
    }
    for (const QString &pattern : words.mid(1)) {
        if (!isCriterionEntry(Criterion::Pattern, pattern)) {
            *error = {Refusal::Code::CriterionValue, {QStringLiteral("Host"), pattern.left(64)}};
            return false;
        }
    }
    *header = "Host " + words.mid(1).join(QLatin1Char(' ')).toLatin1();
    return true;
}

QString criteriaText(Configuration::ConfigType type, const ConfigDocument::Block &block)
{
    QStringList words;
    if (type == Configuration::ConfigType::Client) {
        words.append(block.keyword == "host" ? QStringLiteral("Host") : QStringLiteral("Match"));
    }
    for (const QByteArray &argument : block.arguments) {
        words.append(QString::fromUtf8(argument));
    }
    return words.join(QLatin1Char(' '));
}

// Where block @p index starts, FILE:LINE.
QString blockPlace(const ConfigDocument &document, int index)
{
    const ConfigDocument::Block &block = document.blocks().at(index);
    return QStringLiteral("%1:%2").arg(document.filePaths().value(block.file)).arg(block.line + 1);
}

}

Reply Configuration::readBlocks(ConfigType type) const
{
    ConfigDocument document(ConfigFiles::dialect(type));
    QString error;
    if (!document.load(configPath(type), &error)) {
        return Reply::failure(Refusal::Code::Failed, {error});
    }
    QVariantList blocks;
    const QStringList paths = document.filePaths();
    QHash<QByteArray, QString> spelling; // lower case → the table's spelling, each looked up once
    for (int i = 0; i < document.blocks().size(); ++i) {
        const ConfigDocument::Block &block = document.blocks().at(i);
        QVariantMap values;
        const QList<ConfigDocument::Occurrence> body = document.blockOccurrences(i);
        for (const ConfigDocument::Occurrence &occurrence : body) {
            if (!spelling.contains(occurrence.keyword)) {
                const Option *option = findOption(type, QString::fromLatin1(occurrence.keyword));
                spelling.insert(occurrence.keyword, option ? option->keyword : QString::fromLatin1(occurrence.keyword));
            }
            const QString keyword = spelling.value(occurrence.keyword);
            const QString value = QString::fromUtf8(QByteArrayList(occurrence.arguments).join(' '));
            values.insert(keyword, values.contains(keyword) ? QString(values.value(keyword).toString() + QLatin1Char('\n') + value) : value);
        }
        blocks.append(QVariantMap{
            {Protocol::Reply::BlockEntryIndex, i + 1},
            {Protocol::Reply::BlockEntryCriteria, criteriaText(type, block)},
            {Protocol::Reply::BlockEntryFile, paths.value(block.file)},
            {Protocol::Reply::BlockEntryLine, block.line + 1},
            {Protocol::Reply::BlockEntryValues, values},
            {Protocol::Reply::BlockEntryInside,
             block.outer < 0 ? QString()
                             : QStringLiteral("%1 at %2").arg(criteriaText(type, document.blocks().at(block.outer)), blockPlace(document, block.outer))},
        });
    }
    return Reply::success({{Protocol::Reply::Blocks, blocks}});
}

bool Configuration::checkBodyChanges(ConfigType type, const QList<Change> &changes, QList<Checked> *body, Refusal *error) const
{
    if (!checkChanges(type, changes, body, error)) {
        return false;
    }
    for (const Checked &change : std::as_const(*body)) {
        if (!change.option->inBlock || change.option->kind == ValueKind::Subsystem || change.option->kind == ValueKind::ListenAddresses) {
            *error = {Refusal::Code::NotInBlock, {change.option->keyword}};
            return false;
        }
    }
    return true;
}

bool Configuration::editBlock(ConfigType type,
                              const Request &request,
                              ConfigDocument *document,
                              QList<Checked> *checked,
                              int *block,
                              Refusal *error,
                              QVariantMap *data) const
{
    const BlockEdit &edit = request.block;
    const QString &operation = edit.operation;
    if (operation.isEmpty() && request.changes.isEmpty()) {
        *error = Refusal::Code::NoChange;
        return false;
    }
    QList<Checked> &body = *checked;
    if (!request.bodies.isEmpty()) {
        *error = {Refusal::Code::Failed, {QStringLiteral("a block operation changes no other block")}};
        return false;
    }
    if (!checkBodyChanges(type, request.changes, &body, error)) {
        return false;
    }
    QByteArray header;
    if ((operation == QLatin1String("add") || operation == QLatin1String("criteria")) && !checkCriteria(type, edit.criteria, &header, error)) {
        return false;
    }
    QString loadError;
    if (!document->load(configPath(type), &loadError)) {
        *error = {Refusal::Code::Failed, {loadError}};
        return false;
    }
    const int count = document->blocks().size();
    const int index = edit.index - 1;
    if (operation != QLatin1String("add") && (index < 0 || index >= count)) {
        *error = {Refusal::Code::NoSuchBlock, {QString::number(edit.index), QString::number(count)}};
        return false;
    }
    if (operation == QLatin1String("add")) {
        const int file = edit.file.isEmpty() ? 0 : int(document->filePaths().indexOf(edit.file));
        if (file < 0) {
            *error = {Refusal::Code::NotConfigFile, {edit.file, ConfigFiles::typeName(type)}};
            return false;
        }
        // sshd and ssh read a block of a file an Include line of a block's body names as nested in that block.
        const int outer = document->includedInBlock(file);
        if (outer >= 0) {
            *error = {Refusal::Code::InsideBlock, {edit.file, criteriaText(type, document->blocks().at(outer)), blockPlace(*document, outer)}};
            return false;
        }
        QList<QPair<QString, QByteArray>> lines;
        for (const Checked &change : std::as_const(body)) {
            for (const QByteArray &line : change.value.lines) {
                lines.append({change.option->keyword, line});
            }
        }
        *block = document->addBlock(file, header, lines);
        data->insert(Protocol::Reply::BlockIndex, *block + 1);
    } else if (operation == QLatin1String("criteria")) {
        document->setBlockHeader(index, header);
        *block = index;
    } else if (operation == QLatin1String("remove")) {
        document->removeBlock(index);
    } else if (operation == QLatin1String("up") || operation == QLatin1String("down")) {
        const bool up = operation == QLatin1String("up");
        *block = document->moveBlock(index, up);
        if (*block < 0) {
            *error = {up ? Refusal::Code::NoBlockAbove : Refusal::Code::NoBlockBelow, {QString::number(edit.index)}};
            return false;
        }
    } else {
        for (const Checked &change : std::as_const(body)) {
            document->setInBlock(index, change.option->keyword, change.value.lines);
        }
        *block = index;
    }
    *error = *block >= 0 ? deadValue(type, *document, *block, body) : Refusal();
    // For sshd, each connection the block's lists name: refused when none of them gets its values.
    Asked ignored;
    if (error->isNull() && *block >= 0 && type == ConfigType::Server) {
        *error = blockConnection(*document, *block, body, &ignored);
    }
    return error->isNull();
}
