// SPDX-License-Identifier: GPL-2.0-or-later
// The subcommands that hand one request to the engine: get, set, restore, banner, keys, service.

#include "toolcommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

using namespace OptionCatalog;

namespace
{
const QCommandLineOption s_dryRun(QStringLiteral("dry-run"), QStringLiteral("set: print the change as a unified diff, write nothing."));
const QCommandLineOption s_backup(QStringLiteral("backup"), QStringLiteral("restore: the last working configuration."));
const QCommandLineOption s_default(QStringLiteral("default"), QStringLiteral("restore: the distribution's default configuration."));
const QCommandLineOption
    s_user(QStringLiteral("user"), QStringLiteral("keys: the account whose key file it is (default: the invoking user)."), QStringLiteral("USER"));

int finish(const Reply &reply)
{
    return reply.ok ? 0 : Tool::refuse(reply.error);
}

// The value as the module would send it for this keyword.
bool toVariant(const Option &option, const QStringList &words, QVariant *value, QString *error)
{
    switch (option.kind) {
    case ValueKind::Bool:
    case ValueKind::Subsystem: {
        const QString word = words.value(0).toLower();
        if (words.size() != 1 || !QStringList {QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("true"), QStringLiteral("false")}.contains(word)) {
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

int get(const QCommandLineParser &parser, const QStringList &arguments, Engine &engine)
{
    if (arguments.isEmpty()) {
        return 2;
    }
    const Reply reply = engine.readOptions(Tool::configType(parser), arguments);
    if (!reply.ok) {
        return Tool::refuse(reply.error);
    }
    for (const QString &keyword : arguments) {
        const QVariant value = reply.data.value(keyword.toLower());
        const QJsonValue json =
            value.userType() == QMetaType::QStringList ? QJsonValue(QJsonArray::fromStringList(value.toStringList())) : QJsonValue(value.toString());
        const QByteArray text = QJsonDocument(QJsonArray {json}).toJson(QJsonDocument::Compact);
        // The single value without the array brackets around it.
        printf("%s %s\n", qPrintable(keyword.toLower()), text.mid(1, text.size() - 2).constData());
    }
    return 0;
}

int set(const QCommandLineParser &parser, const QStringList &arguments, Engine &engine)
{
    if (arguments.size() < 2) {
        return 2;
    }
    const ConfigType type = Tool::configType(parser);
    const Option *option = findOption(type, arguments.first());
    if (!option) {
        return Tool::refuse(QStringLiteral("unknown keyword \"%1\"").arg(arguments.first()));
    }
    QVariant value;
    QString error;
    if (!toVariant(*option, arguments.mid(1), &value, &error)) {
        return Tool::refuse(error);
    }
    const bool dryRun = parser.isSet(s_dryRun);
    const Reply reply = engine.changeOption(type, option->keyword, value, dryRun);
    if (reply.ok && dryRun) {
        fputs(reply.data.value(QStringLiteral("diff")).toByteArray().constData(), stdout);
    }
    return finish(reply);
}

int restore(const QCommandLineParser &parser, const QStringList &arguments, Engine &engine)
{
    if (!arguments.isEmpty() || parser.isSet(s_backup) == parser.isSet(s_default)) {
        return 2;
    }
    const Reply reply = engine.restore(Tool::configType(parser), parser.isSet(s_backup));
    const QString previous = reply.data.value(QStringLiteral("previous")).toString();
    if (reply.ok && !previous.isEmpty()) {
        printf("The replaced configuration is kept in %s\n", qPrintable(previous));
    }
    return finish(reply);
}

int banner(const QCommandLineParser &, const QStringList &arguments, Engine &engine)
{
    if (arguments.size() != 2 || arguments.first() != QLatin1String("write")) {
        return 2;
    }
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        return Tool::refuse(QStringLiteral("cannot read the banner text from standard input"));
    }
    // One byte more than the helper accepts, so that too long a text is refused rather than cut.
    const QByteArray text = input.read(64 * 1024 + 1);
    return finish(engine.writeBanner(arguments.at(1), QString::fromUtf8(text)));
}

int keys(const QCommandLineParser &parser, const QStringList &arguments, Engine &engine)
{
    if (arguments.size() != 3 || (arguments.first() != QLatin1String("add") && arguments.first() != QLatin1String("remove"))) {
        return 2;
    }
    uid_t uid = ::getuid();
    bool ok = true;
    const QByteArray sudo = qgetenv("SUDO_UID");
    if (parser.isSet(s_user)) {
        const QString user = parser.value(s_user);
        const passwd *entry = ::getpwnam(QFile::encodeName(user).constData());
        const uint number = user.toUInt(&ok);
        if (entry) {
            uid = entry->pw_uid;
            ok = true;
        } else {
            uid = uid_t(number);
        }
    } else if (!sudo.isEmpty()) {
        uid = uid_t(sudo.toUInt(&ok));
    }
    if (!ok) {
        return Tool::refuse(QStringLiteral("there is no user %1").arg(parser.value(s_user)));
    }
    // Only root may act for another user; anyone else edits their own files.
    if (::getuid() != 0 && uid != ::getuid()) {
        return Tool::refuse(QStringLiteral("only root may edit the key files of another user"));
    }
    const QString &path = arguments.at(1);
    const QString &line = arguments.at(2);
    return finish(arguments.first() == QLatin1String("add") ? engine.addAuthorizedKey(path, line, uid) : engine.removeAuthorizedKey(path, line, uid));
}

int service(const QCommandLineParser &, const QStringList &arguments, Engine &engine)
{
    if (arguments.size() != 1) {
        return 2;
    }
    if (arguments.first() == QLatin1String("status")) {
        const Reply reply = engine.serviceStatus();
        if (!reply.ok) {
            return Tool::refuse(reply.error);
        }
        const bool running = reply.data.value(QStringLiteral("running")).toBool();
        printf("%s\n", running ? "running" : "stopped");
        return running ? 0 : 3;
    }
    return finish(engine.serviceCommand(arguments.first()));
}
}

QList<ToolCommand> engineCommands()
{
    return {
        {QStringLiteral("get"), QStringLiteral("[--client] [--config FILE] KEYWORD..."), QStringLiteral("Print the effective value of each keyword."), {}, get},
        {QStringLiteral("set"),
         QStringLiteral("[--client] [--config FILE] [--dry-run] KEYWORD VALUE..."),
         QStringLiteral("Change one option; the configuration is checked and backed up."),
         {s_dryRun},
         set},
        {QStringLiteral("restore"),
         QStringLiteral("[--client] --backup|--default"),
         QStringLiteral("Put back the last working configuration or the distribution default."),
         {s_backup, s_default},
         restore},
        {QStringLiteral("banner"), QStringLiteral("write PATH"), QStringLiteral("Write the banner text read from standard input to PATH."), {}, banner},
        {QStringLiteral("keys"),
         QStringLiteral("add|remove [--user USER] FILE LINE"),
         QStringLiteral("Add or remove one line of a user's authorized_keys file."),
         {s_user},
         keys},
        {QStringLiteral("service"), QStringLiteral("start|stop|restart|status"), QStringLiteral("Control the SSH server."), {}, service},
    };
}
