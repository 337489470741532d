// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// hostkeys: the server's host keys, listed through the read action, generated and removed as transactions.

#include "toolcommand.h"

#include "sshsettingsprotocol.h"

#include <QJsonArray>

#include <cstdio>
#include <unistd.h>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
namespace ReplyKey = SSHSettings::Protocol::Reply;

const QCommandLineOption
    s_bits(QStringLiteral("bits"), QStringLiteral("hostkeys generate rsa: the key's size (3072 to 16384, default 4096)."), QStringLiteral("N"));

int list(const ToolEngine &helper)
{
    const Reply reply =
        ToolEngine{helper.engine, RequestDispatch::Action::Read}.request({{Arg::ReadType, int(SSHSettings::Protocol::Server)}, {Arg::ReadHostKeys, true}},
                                                                         ::getuid());
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    const QVariantList keys = reply.data.value(ReplyKey::HostKeys).toList();
    if (Tool::json()) {
        Tool::print({{ReplyKey::HostKeys, QJsonArray::fromVariantList(keys)}});
        return 0;
    }
    for (const QVariant &entry : keys) {
        const QVariantMap key = entry.toMap();
        const bool present = key.value(ReplyKey::HostKeyEntryPresent).toBool();
        const QString state = key.value(ReplyKey::HostKeyEntryConfigured).toBool() ? (present ? QStringLiteral("configured") : QStringLiteral("missing"))
                                                                                   : QStringLiteral("unused");
        const int mode = key.value(ReplyKey::HostKeyEntryMode).toInt();
        printf("%s\t%s\t%d\t%s\t%s\t%s\n",
               qPrintable(key.value(ReplyKey::HostKeyEntryFile).toString()),
               qPrintable(key.value(ReplyKey::HostKeyEntryType).toString()),
               key.value(ReplyKey::HostKeyEntryBits).toInt(),
               qPrintable(key.value(ReplyKey::HostKeyEntryFingerprint).toString()),
               qPrintable(mode < 0 ? QStringLiteral("-") : QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'))),
               qPrintable(state));
    }
    return 0;
}

int hostkeys(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    const QString operation = arguments.value(0);
    if (operation == QLatin1String("list")) {
        return arguments.size() == 1 && !parser.isSet(s_bits) ? list(helper) : 2;
    }
    QVariantMap request = {{Arg::TransactionType, int(SSHSettings::Protocol::Server)}, {Arg::HostKeyOperation, operation}};
    if (operation == QLatin1String("generate") && arguments.size() == 2) {
        request.insert(Arg::HostKeyType, arguments.at(1));
        if (parser.isSet(s_bits)) {
            bool ok = false;
            request.insert(Arg::HostKeyBits, parser.value(s_bits).toInt(&ok));
            if (!ok) {
                return Tool::refuse(QStringLiteral("--bits takes a number"));
            }
        }
    } else if (operation == QLatin1String("remove") && arguments.size() == 2 && !parser.isSet(s_bits)) {
        request.insert(Arg::HostKeyFile, arguments.at(1));
    } else {
        return 2;
    }
    // A new key's warning (clients will see it) comes with the change's outcome.
    return Tool::transaction(parser, request, helper);
}
}

QList<ToolCommand> hostKeysCommands()
{
    return {
        {QStringLiteral("hostkeys"),
         RequestDispatch::Action::Configure,
         QStringLiteral("[--json] list | generate ed25519|rsa [--bits N] | remove FILE [--dry-run] [--restart] [--revert-after SECONDS]"),
         QStringLiteral("The server's host keys: list them (read action), generate one and name it in a HostKey line, or take one out of use "
                        "(its files kept among the backups)."),
         Tool::changeOptions() << s_bits << Tool::jsonOption(),
         hostkeys},
    };
}
