// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// ssh-settings-tool: the root helper's requests on the command line, with the same rules.

#include "logcommands.h"
#include "toolcommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

namespace
{
// Every subcommand; a new group of them is one more line here.
QList<ToolCommand> commandTable()
{
    QList<ToolCommand> table;
    table += engineCommands();
    table += matchCommands();
    table += effectiveCommands();
    table += auditCommands();
    table += hostKeysCommands();
    table += logCommands();
    return table;
}

const QCommandLineOption s_config(QStringLiteral("config"), QStringLiteral("Use FILE instead of the system's configuration file."), QStringLiteral("FILE"));
const QCommandLineOption
    s_root(QStringLiteral("root"), QStringLiteral("Work on the system tree below DIR (its etc/ssh, etc, var/backups) instead of /."), QStringLiteral("DIR"));
const QCommandLineOption s_client(QStringLiteral("client"), QStringLiteral("Work on the client configuration (ssh_config)."));
const QCommandLineOption s_json(QStringLiteral("json"), QStringLiteral("Print one JSON document on standard output (see the manual page)."));
// --json given, and whether the command's document is out: a refusal after it adds no second document.
bool s_jsonMode = false;
bool s_printed = false;

EnginePaths pathsFor(const QCommandLineParser &parser)
{
    EnginePaths paths = EnginePaths::system();
    if (parser.isSet(s_root)) {
        const QString root = QFileInfo(parser.value(s_root)).absoluteFilePath();
        // Files only: no program below DIR is ever run (the service stays the system's, see serviceControl).
        paths = paths.filesUnder(root);
        paths.toolArguments << QStringLiteral("--root") << root;
    }
    if (parser.isSet(s_config)) {
        const bool client = parser.isSet(s_client);
        const QString config = QFileInfo(parser.value(s_config)).absoluteFilePath();
        (client ? paths.clientConfig : paths.serverConfig) = config;
        (client ? paths.clientBackup : paths.serverBackup) = config + QLatin1String(".bak");
        paths.backupDir = config + QLatin1String(".backups");
        paths.toolArguments << QStringLiteral("--config") << config;
        if (client) {
            paths.toolArguments << QStringLiteral("--client");
        }
    }
    paths.serviceControl = !parser.isSet(s_root) && !parser.isSet(s_config);
    return paths;
}
}

namespace Tool
{
int refuse(const QString &reason, const QString &code)
{
    fprintf(stderr, "ssh-settings-tool: %s\n", qPrintable(reason));
    if (s_jsonMode && !s_printed) {
        print({{QStringLiteral("error"), reason}, {QStringLiteral("code"), code.isEmpty() ? QJsonValue() : QJsonValue(code)}});
    }
    return 1;
}

int refuse(const Reply &reply)
{
    return refuse(reply.error, reply.data.value(SSHSettings::Protocol::Reply::RefusalCode).toString());
}

int usage(const ToolCommand &command)
{
    const QString text = QStringLiteral("usage: ssh-settings-tool %1 %2").arg(command.name, command.synopsis);
    fprintf(stderr, "%s\n", qPrintable(text));
    if (s_jsonMode && !s_printed) {
        print({{QStringLiteral("error"), text}, {QStringLiteral("code"), QStringLiteral("usage")}});
    }
    return 2;
}

QCommandLineOption jsonOption()
{
    return s_json;
}

bool json()
{
    return s_jsonMode;
}

void print(const QJsonObject &document)
{
    s_printed = true;
    fputs(QJsonDocument(document).toJson(QJsonDocument::Indented).constData(), stdout);
}

OptionCatalog::ConfigType configType(const QCommandLineParser &parser)
{
    return parser.isSet(s_client) ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ssh-settings-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SSH_SETTINGS_VERSION));

    const QList<ToolCommand> table = commandTable();
    QString summary = QStringLiteral("Reads and changes the SSH configuration with the rules of the SSH Settings helper.\n\nCommands:");
    for (const ToolCommand &command : table) {
        summary +=
            QStringLiteral("\n  %1 %2\n      %3\n      Action: %4.%5")
                .arg(command.name, command.synopsis, command.description, SSHSettings::Protocol::HelperId, SSHSettings::Protocol::actionWord(command.action));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(summary);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({s_config, s_root, s_client});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above."), QStringLiteral("COMMAND [ARGUMENTS]"));
    QStringList known;
    for (const ToolCommand &command : table) {
        for (const QCommandLineOption &option : command.options) {
            // Commands may share an option (connections and attempts: --input).
            if (!known.contains(option.names().constFirst())) {
                parser.addOption(option);
                known += option.names();
            }
        }
    }
    parser.process(app);
    s_jsonMode = parser.isSet(s_json);

    QStringList arguments = parser.positionalArguments();
    const QString name = arguments.isEmpty() ? QString() : arguments.takeFirst();
    for (const ToolCommand &command : table) {
        if (command.name == name) {
            QStringList allowed = s_config.names() + s_root.names() + s_client.names();
            for (const QCommandLineOption &option : command.options) {
                allowed += option.names();
            }
            const QStringList given = parser.optionNames();
            for (const QString &option : given) {
                if (!allowed.contains(option)) {
                    return Tool::usage(command);
                }
            }
            Engine engine(pathsFor(parser));
            const int code = command.run(parser, arguments, {engine, command.action});
            return code == 2 ? Tool::usage(command) : code;
        }
    }
    fprintf(stderr, "%s", qPrintable(parser.helpText()));
    return 2;
}
