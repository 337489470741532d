// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The blocks of a configuration (Match; Host and Match for the client): match list, add, criteria, set, unset, remove, move.
// Every change is one transaction of the configure action, as set's is.

#include "toolcommand.h"

#include "sshsettingsprotocol.h"

#include <QJsonArray>

#include <cstdio>
#include <unistd.h>

namespace Arg = SSHSettings::Protocol::Arg;
namespace ProtocolReply = SSHSettings::Protocol::Reply;

namespace
{
const QCommandLineOption
    s_file(QStringLiteral("file"), QStringLiteral("match add: the file of the configuration (a drop-in) the block goes into."), QStringLiteral("FILE"));

// One line a block: index, criteria, file:line, number of keywords in its body (tab-separated); for a block nested in
// another one, "inside", its criteria and file:line after them.
int blockList(const QCommandLineParser &parser, const ToolEngine &helper)
{
    // A read, served under the read action as the page's is.
    const ToolEngine reader{helper.engine, RequestDispatch::Action::Read};
    const Reply reply = reader.request({{Arg::ReadType, int(Tool::configType(parser))}, {Arg::ReadBlocks, true}}, ::getuid());
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    const QVariantList blocks = reply.data.value(ProtocolReply::Blocks).toList();
    if (Tool::json()) {
        Tool::print({{ProtocolReply::Blocks, QJsonArray::fromVariantList(blocks)}});
        return 0;
    }
    for (const QVariant &entry : blocks) {
        const QVariantMap block = entry.toMap();
        const QString inside = block.value(ProtocolReply::BlockEntryInside).toString();
        printf("%d\t%s\t%s:%d\t%d%s\n",
               block.value(ProtocolReply::BlockEntryIndex).toInt(),
               qPrintable(block.value(ProtocolReply::BlockEntryCriteria).toString()),
               qPrintable(block.value(ProtocolReply::BlockEntryFile).toString()),
               block.value(ProtocolReply::BlockEntryLine).toInt(),
               int(block.value(ProtocolReply::BlockEntryValues).toMap().size()),
               qPrintable(inside.isEmpty() ? QString() : QLatin1String("\tinside ") + inside));
    }
    return 0;
}

bool blockNumber(const QString &word, int *index)
{
    bool ok = false;
    *index = word.toInt(&ok);
    return ok && *index > 0;
}

int match(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    const QString operation = arguments.value(0);
    const OptionCatalog::ConfigType type = Tool::configType(parser);
    if (parser.isSet(s_file) && operation != QLatin1String("add")) {
        return 2;
    }
    if (operation == QLatin1String("list")) {
        return arguments.size() == 1 ? blockList(parser, helper) : 2;
    }
    QVariantMap request = {{Arg::TransactionType, int(type)}};
    if (operation == QLatin1String("add")) {
        if (arguments.size() < 2) {
            return 2;
        }
        request.insert(Arg::BlockOperation, operation);
        request.insert(Arg::BlockCriteria, arguments.mid(1).join(QLatin1Char(' ')));
        if (parser.isSet(s_file)) {
            request.insert(Arg::BlockFile, parser.value(s_file));
        }
        QVariantMap data;
        const int code = Tool::transaction(parser, request, helper, &data);
        if (code == 0 && !Tool::json() && !parser.isSet(QStringLiteral("dry-run")) && data.contains(ProtocolReply::BlockIndex)) {
            printf("%d\n", data.value(ProtocolReply::BlockIndex).toInt());
        }
        return code;
    }
    int index = 0;
    if (arguments.size() < 2) {
        return 2;
    }
    if (!blockNumber(arguments.at(1), &index)) {
        return Tool::refuse(QStringLiteral("\"%1\" is not a block's number (see match list)").arg(arguments.at(1).left(64)));
    }
    request.insert(Arg::BlockIndex, index);
    const QStringList rest = arguments.mid(2);
    if (operation == QLatin1String("criteria") && !rest.isEmpty()) {
        request.insert(Arg::BlockOperation, operation);
        request.insert(Arg::BlockCriteria, rest.join(QLatin1Char(' ')));
    } else if (operation == QLatin1String("set") || operation == QLatin1String("unset")) {
        QVariantMap changes;
        const int code = operation == QLatin1String("set") ? Tool::setChanges(type, rest, &changes) : Tool::unsetChanges(type, rest, &changes);
        if (code != 0) {
            return code;
        }
        request.insert(Arg::TransactionChanges, changes);
    } else if (operation == QLatin1String("remove") && rest.isEmpty()) {
        request.insert(Arg::BlockOperation, operation);
    } else if (operation == QLatin1String("move") && rest.size() == 1 && (rest.first() == QLatin1String("up") || rest.first() == QLatin1String("down"))) {
        request.insert(Arg::BlockOperation, rest.first());
    } else {
        return 2;
    }
    return Tool::transaction(parser, request, helper);
}
}

QList<ToolCommand> matchCommands()
{
    return {
        {QStringLiteral("match"),
         RequestDispatch::Action::Configure,
         QStringLiteral("list [--client] | add [--client] [--file FILE] CRITERION VALUE... | criteria [--client] INDEX CRITERION VALUE... | "
                        "set [--client] INDEX KEYWORD VALUE... [KEYWORD VALUE...] | unset [--client] INDEX KEYWORD... | remove [--client] INDEX | "
                        "move [--client] INDEX up|down   (changes take --dry-run, --restart, --revert-after SECONDS; all take --json)"),
         QStringLiteral("List (a read), add, change, remove and move the blocks (Match; Host and Match for the client) as set changes options."),
         Tool::changeOptions() + QList<QCommandLineOption>{s_file, Tool::jsonOption()},
         match},
    };
}
