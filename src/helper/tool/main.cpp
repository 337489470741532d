// SPDX-License-Identifier: GPL-2.0-or-later
// ssh-settings-tool: the helper's engine on the command line.
//
//   ssh-settings-tool get [--client] [--config FILE] KEYWORD...
//   ssh-settings-tool set [--client] [--config FILE] [--dry-run] KEYWORD VALUE...

#include "engine.h"
#include "logcommands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>

using namespace OptionCatalog;

namespace
{
int refuse(const QString &reason)
{
    fprintf(stderr, "ssh-settings-tool: %s\n", qPrintable(reason));
    return 1;
}

int usage()
{
    fprintf(stderr,
            "usage: ssh-settings-tool get [--client] [--config FILE] KEYWORD...\n"
            "       ssh-settings-tool set [--client] [--config FILE] [--dry-run] KEYWORD VALUE...\n");
    return 2;
}

// The value as the module would send it for this keyword.
bool toVariant(const Option &option, const QStringList &words, QVariant *value, QString *error)
{
    switch (option.kind) {
    case ValueKind::Bool:
    case ValueKind::Subsystem: {
        const QString word = words.value(0).toLower();
        if (words.size() != 1 ||
            !(word == QLatin1String("yes") || word == QLatin1String("no") || word == QLatin1String("true") || word == QLatin1String("false"))) {
            *error = QStringLiteral("%1 takes yes or no").arg(option.keyword);
            return false;
        }
        *value = word == QLatin1String("yes") || word == QLatin1String("true");
        return true;
    }
    case ValueKind::ListenAddresses:
    case ValueKind::KeyFilePatterns:
        *value = words;
        return true;
    case ValueKind::AccessPatterns:
        *value = words.join(QLatin1Char(' '));
        return true;
    default:
        if (words.size() != 1) {
            *error = QStringLiteral("%1 takes one value").arg(option.keyword);
            return false;
        }
        *value = words.first();
        return true;
    }
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty()) {
        return usage();
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("connections") || command == QLatin1String("attempts")) {
        return (command == QLatin1String("attempts") ? attemptsCommand : connectionsCommand)(arguments);
    }
    if (command != QLatin1String("get") && command != QLatin1String("set")) {
        return usage();
    }
    ConfigType type = ConfigType::Server;
    QString config;
    bool dryRun = false;
    while (!arguments.isEmpty() && arguments.first().startsWith(QLatin1String("--"))) {
        const QString flag = arguments.takeFirst();
        if (flag == QLatin1String("--client")) {
            type = ConfigType::Client;
        } else if (flag == QLatin1String("--dry-run") && command == QLatin1String("set")) {
            dryRun = true;
        } else if (flag == QLatin1String("--config") && !arguments.isEmpty()) {
            config = QFileInfo(arguments.takeFirst()).absoluteFilePath();
        } else {
            return usage();
        }
    }
    if (arguments.isEmpty()) {
        return usage();
    }

    EnginePaths paths = EnginePaths::system();
    if (!config.isEmpty()) {
        QString &target = type == ConfigType::Client ? paths.clientConfig : paths.serverConfig;
        QString &backup = type == ConfigType::Client ? paths.clientBackup : paths.serverBackup;
        target = config;
        backup = config + QLatin1String(".bak");
    }
    Engine engine(paths);

    if (command == QLatin1String("get")) {
        const Reply reply = engine.readOptions(type, arguments);
        if (!reply.ok) {
            return refuse(reply.error);
        }
        for (const QString &keyword : std::as_const(arguments)) {
            const QVariant value = reply.data.value(keyword.toLower());
            const QJsonValue json =
                value.userType() == QMetaType::QStringList ? QJsonValue(QJsonArray::fromStringList(value.toStringList())) : QJsonValue(value.toString());
            const QByteArray text = QJsonDocument(QJsonArray {json}).toJson(QJsonDocument::Compact);
            // Strip the array brackets around the single value.
            printf("%s %s\n", qPrintable(keyword.toLower()), text.mid(1, text.size() - 2).constData());
        }
        return 0;
    }

    const QString keyword = arguments.takeFirst();
    const Option *option = findOption(type, keyword);
    if (!option) {
        return refuse(QStringLiteral("unknown keyword \"%1\"").arg(keyword));
    }
    QVariant value;
    QString error;
    if (!toVariant(*option, arguments, &value, &error)) {
        return refuse(error);
    }
    const Reply reply = engine.changeOption(type, option->keyword, value, dryRun);
    if (!reply.ok) {
        return refuse(reply.error);
    }
    if (dryRun) {
        fputs(reply.data.value(QStringLiteral("diff")).toByteArray().constData(), stdout);
    }
    return 0;
}
