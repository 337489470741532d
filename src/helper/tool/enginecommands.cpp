// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The subcommands that hand requests to the engine: get, set, unset, keywords, confirm, revert, pending, restore, banner, keys, service, kill.
// Each request goes through the dispatch of the subcommand's action, as the same request over KAuth does.

#include "toolcommand.h"

#include "atomicfile.h"
#include "pendingchanges.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

using namespace OptionCatalog;
namespace Arg = SSHSettings::Protocol::Arg;

namespace
{
QCommandLineOption hidden(QCommandLineOption option)
{
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}
const QCommandLineOption s_delay =
    hidden(QCommandLineOption(QStringLiteral("delay"), QStringLiteral("revert: wait SECONDS first."), QStringLiteral("SECONDS")));
const QCommandLineOption s_expired(QStringLiteral("expired"), QStringLiteral("revert: every chain of pending changes whose revert time has passed."));
const QCommandLineOption s_origin(QStringLiteral("origin"), QStringLiteral("get: also print the file and line each value comes from."));
const QCommandLineOption s_backup(QStringLiteral("backup"), QStringLiteral("restore: the last working configuration."));
const QCommandLineOption s_default(QStringLiteral("default"), QStringLiteral("restore: the distribution's default configuration."));
const QCommandLineOption
    s_user(QStringLiteral("user"), QStringLiteral("keys: the account whose key file it is (default: the invoking user)."), QStringLiteral("USER"));

int finish(const Reply &reply)
{
    return reply.ok ? 0 : Tool::refuse(reply);
}

// The value as the module would send it for this keyword.
bool toVariant(const Option &option, const QStringList &words, QVariant *value, QString *error)
{
    switch (option.kind) {
    case ValueKind::Bool:
    case ValueKind::Subsystem: {
        const QString word = words.value(0).toLower();
        if (words.size() != 1 || !QStringList{QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("true"), QStringLiteral("false")}.contains(word)) {
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
    default: // several words are one value: a port list, a command, "start:rate:full" and the like
        *value = words.join(QLatin1Char(' '));
        return true;
    }
}

int get(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (arguments.isEmpty()) {
        return 2;
    }
    const Reply reply = helper.request({{Arg::ReadType, int(Tool::configType(parser))}, {Arg::ReadKeywords, arguments}}, ::getuid());
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    namespace Protocol = SSHSettings::Protocol;
    if (Tool::json()) {
        QJsonObject values;
        QJsonObject origins;
        for (const QString &keyword : arguments) {
            values.insert(keyword.toLower(), QJsonValue::fromVariant(reply.data.value(keyword.toLower())));
            origins.insert(keyword.toLower(), QJsonValue::fromVariant(reply.data.value(Protocol::Reply::Origins).toMap().value(keyword.toLower())));
        }
        Tool::print({{QStringLiteral("values"), values}, {Protocol::Reply::Origins, origins}});
        return 0;
    }
    for (const QString &keyword : arguments) {
        const QVariant value = reply.data.value(keyword.toLower());
        const QJsonValue json =
            value.userType() == QMetaType::QStringList ? QJsonValue(QJsonArray::fromStringList(value.toStringList())) : QJsonValue(value.toString());
        const QByteArray text = QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact);
        // The single value without the array brackets around it.
        printf("%s %s", qPrintable(keyword.toLower()), text.mid(1, text.size() - 2).constData());
        if (!parser.isSet(s_origin)) {
            printf("\n");
            continue;
        }
        const QVariantMap origin = reply.data.value(Protocol::Reply::Origins).toMap().value(keyword.toLower()).toMap();
        const auto place = [](const QVariantMap &where) {
            const int line = where.value(Protocol::Reply::OriginLine).toInt();
            return line > 0 ? QStringLiteral("%1:%2").arg(where.value(Protocol::Reply::OriginFile).toString()).arg(line) : QStringLiteral("default");
        };
        printf(" %s\n", qPrintable(place(origin)));
        const QVariantList overrides = origin.value(Protocol::Reply::OriginOverrides).toList();
        for (const QVariant &entry : overrides) {
            const QVariantMap where = entry.toMap();
            printf("  overridden by %s at %s\n", qPrintable(where.value(Protocol::Reply::OriginMatch).toString()), qPrintable(place(where)));
        }
    }
    return 0;
}

int change(const QCommandLineParser &parser, ConfigType type, const QVariantMap &changes, const ToolEngine &helper)
{
    return Tool::transaction(parser, {{Arg::TransactionType, int(type)}, {Arg::TransactionChanges, changes}}, helper);
}

int set(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    QVariantMap changes;
    const int code = Tool::setChanges(Tool::configType(parser), arguments, &changes);
    return code != 0 ? code : change(parser, Tool::configType(parser), changes, helper);
}

int unset(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    QVariantMap changes;
    const int code = Tool::unsetChanges(Tool::configType(parser), arguments, &changes);
    return code != 0 ? code : change(parser, Tool::configType(parser), changes, helper);
}
}

// KEYWORD VALUE... groups: a word naming a keyword of the configuration starts the next group.
int Tool::setChanges(ConfigType type, const QStringList &arguments, QVariantMap *result)
{
    QVariantMap &changes = *result;
    const Option *option = nullptr;
    QStringList words;
    const auto addGroup = [&]() {
        QVariant value;
        QString error;
        if (!toVariant(*option, words, &value, &error)) {
            return Tool::refuse(error);
        }
        // A request holds each keyword once.
        if (changes.contains(option->keyword)) {
            return Tool::refuse(QStringLiteral("%1 is changed twice").arg(option->keyword));
        }
        changes.insert(option->keyword, value);
        return 0;
    };
    for (const QString &argument : arguments) {
        const Option *next = findOption(type, argument);
        if (next) {
            if (option && (words.isEmpty() || addGroup() != 0)) {
                return words.isEmpty() ? Tool::refuse(QStringLiteral("%1 has no value").arg(option->keyword)) : 1;
            }
            option = next;
            words.clear();
        } else if (!option) {
            return Tool::refuse(QStringLiteral("unknown keyword \"%1\"").arg(argument));
        } else {
            words.append(argument);
        }
    }
    if (!option || words.isEmpty()) {
        return 2;
    }
    return addGroup() != 0 ? 1 : 0;
}

// KEYWORD...: an empty list removes each keyword's lines, so that its default applies.
int Tool::unsetChanges(ConfigType type, const QStringList &arguments, QVariantMap *changes)
{
    for (const QString &argument : arguments) {
        const Option *option = findOption(type, argument);
        if (!option) {
            return Tool::refuse(QStringLiteral("unknown keyword \"%1\"").arg(argument));
        }
        changes->insert(option->keyword, QStringList());
    }
    return arguments.isEmpty() ? 2 : 0;
}

namespace
{

// One row per keyword the installed OpenSSH knows: keyword, kind, effective value, origin.
int keywords(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (!arguments.isEmpty()) {
        return 2;
    }
    namespace Protocol = SSHSettings::Protocol;
    const ConfigType type = Tool::configType(parser);
    const QList<Option> &all = options(type);
    QJsonArray rows;
    for (int first = 0; first < all.size(); first += Protocol::MaxReadKeywords) {
        QStringList names;
        for (int i = first; i < qMin(int(all.size()), first + Protocol::MaxReadKeywords); ++i) {
            names.append(all.at(i).keyword);
        }
        const Reply reply = helper.request({{Arg::ReadType, int(type)}, {Arg::ReadKeywords, names}}, ::getuid());
        if (!reply.ok) {
            return Tool::refuse(reply);
        }
        const int version = reply.data.value(Protocol::Reply::Version).toInt();
        for (int i = first; i < first + names.size(); ++i) {
            const Option &option = all.at(i);
            if (!knownIn(option, version)) {
                continue;
            }
            const QString key = option.keyword.toLower();
            const QVariant value = reply.data.value(key);
            const QVariantMap origin = reply.data.value(Protocol::Reply::Origins).toMap().value(key).toMap();
            const int line = origin.value(Protocol::Reply::OriginLine).toInt();
            const QString place =
                line > 0 ? QStringLiteral("%1:%2").arg(origin.value(Protocol::Reply::OriginFile).toString()).arg(line) : QStringLiteral("default");
            if (Tool::json()) {
                rows.append(QJsonObject{{QStringLiteral("keyword"), option.keyword},
                                        {QStringLiteral("kind"), kindName(option.kind)},
                                        {QStringLiteral("value"), QJsonValue::fromVariant(value)},
                                        {QStringLiteral("origin"), place}});
                continue;
            }
            printf("%s\t%s\t%s\t%s\n",
                   qPrintable(option.keyword),
                   qPrintable(kindName(option.kind)),
                   qPrintable(value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(' ')) : value.toString()),
                   qPrintable(place));
        }
    }
    if (Tool::json()) {
        Tool::print({{QStringLiteral("keywords"), rows}});
    }
    return 0;
}

}

namespace
{
int confirm(const QCommandLineParser &, const QStringList &arguments, const ToolEngine &helper)
{
    return arguments.size() == 1 ? finish(helper.request({{Arg::ConfirmToken, arguments.first()}}, ::getuid())) : 2;
}

// Also what a countdown and the boot check run (--expired), with --delay when no service manager keeps the time.
int revert(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    const bool expired = parser.isSet(s_expired);
    if (arguments.size() != (expired ? 0 : 1)) {
        return 2;
    }
    if (!expired && !PendingChanges::isToken(arguments.first())) {
        return Tool::refuse(QStringLiteral("not a revert token"));
    }
    if (parser.isSet(s_delay)) {
        bool ok = false;
        unsigned seconds = parser.value(s_delay).toUInt(&ok);
        if (!ok || seconds > unsigned(SSHSettings::Protocol::MaxRevertAfter)) {
            return 2;
        }
        while (seconds > 0) {
            seconds = ::sleep(seconds);
        }
    }
    if (!expired) {
        return finish(helper.request({{Arg::RevertToken, arguments.first()}}, ::getuid()));
    }
    // The countdown's and the boot check's own request: no caller asks the helper for it.
    QStringList done;
    const Reply reply = helper.engine.revertExpired(&done);
    for (const QString &line : std::as_const(done)) {
        printf("%s\n", qPrintable(line));
    }
    return finish(reply);
}

// One line a change, oldest first: token, armed at, revert at, keywords.
int pending(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (!arguments.isEmpty()) {
        return 2;
    }
    QList<PendingChange> changes;
    const Reply reply = helper.engine.pendingChanges(Tool::configType(parser), &changes);
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    QJsonArray rows;
    for (const PendingChange &change : std::as_const(changes)) {
        if (Tool::json()) {
            rows.append(QJsonObject{{QStringLiteral("token"), change.token},
                                    {QStringLiteral("armed_at"), PendingChanges::isoTime(change.armedAt)},
                                    {QStringLiteral("revert_at"), PendingChanges::isoTime(change.revertAt)},
                                    {QStringLiteral("keywords"), QJsonArray::fromStringList(change.keywords)}});
            continue;
        }
        printf("%s\t%s\t%s\t%s\n",
               qPrintable(change.token),
               qPrintable(PendingChanges::isoTime(change.armedAt)),
               qPrintable(PendingChanges::isoTime(change.revertAt)),
               qPrintable(change.keywords.join(QLatin1Char(','))));
    }
    if (Tool::json()) {
        Tool::print({{QStringLiteral("pending"), rows}});
    }
    return 0;
}

int restore(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (!arguments.isEmpty() || parser.isSet(s_backup) == parser.isSet(s_default)) {
        return 2;
    }
    const Reply reply = helper.request({{Arg::RestoreType, int(Tool::configType(parser))}, {Arg::RestoreFromBackup, parser.isSet(s_backup)}}, ::getuid());
    const QString previous = reply.data.value(SSHSettings::Protocol::Reply::Previous).toString();
    if (reply.ok && !previous.isEmpty()) {
        printf("The replaced configuration is kept in %s\n", qPrintable(previous));
    }
    return finish(reply);
}

int banner(const QCommandLineParser &, const QStringList &arguments, const ToolEngine &helper)
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
    return finish(helper.request({{Arg::BannerPath, arguments.at(1)}, {Arg::BannerText, QString::fromUtf8(text)}}, ::getuid()));
}

int keys(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
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
    const QLatin1String lineKey = arguments.first() == QLatin1String("add") ? Arg::AddKeyLine : Arg::RemoveKeyLine;
    return finish(helper.request({{Arg::KeysFile, arguments.at(1)}, {lineKey, arguments.at(2)}}, uid));
}

int service(const QCommandLineParser &, const QStringList &arguments, const ToolEngine &helper)
{
    if (arguments.size() != 1) {
        return 2;
    }
    if (arguments.first() == QLatin1String("status")) {
        // Not a request of the helper: the page asks the service manager itself.
        const Reply reply = helper.engine.serviceStatus();
        if (!reply.ok) {
            return Tool::refuse(reply);
        }
        const bool running = reply.data.value(SSHSettings::Protocol::Reply::Running).toBool();
        printf("%s\n", running ? "running" : "stopped");
        return running ? 0 : 3;
    }
    const Reply reply = helper.request({{Arg::ServiceCommand, arguments.first()}}, ::getuid());
    return reply.ok ? Tool::unanswered(reply) : finish(reply);
}

int kill(const QCommandLineParser &, const QStringList &arguments, const ToolEngine &helper)
{
    bool number = false;
    const int pid = arguments.value(0).toInt(&number);
    if (arguments.size() != 1 || !number) {
        return 2;
    }
    // The pid file below DIR would not name the system's listening sshd.
    if (!helper.engine.paths().serviceControl) {
        return Tool::refuse(QStringLiteral("kill acts on the system's sshd; not with --root or --config"));
    }
    return finish(helper.request({{Arg::KillPid, pid}}, ::getuid()));
}
}

QList<ToolCommand> engineCommands()
{
    using Action = RequestDispatch::Action;
    return {
        {QStringLiteral("get"),
         Action::Read,
         QStringLiteral("[--client] [--config FILE] [--origin] [--json] KEYWORD..."),
         QStringLiteral("Print the effective value of each keyword, with --origin the FILE:LINE it comes from (or default)."),
         {s_origin, Tool::jsonOption()},
         get},
        {QStringLiteral("set"),
         Action::Configure,
         QStringLiteral("[--client] [--config FILE] [--dry-run] [--restart] [--revert-after SECONDS] [--json] KEYWORD VALUE... [KEYWORD VALUE...]"),
         QStringLiteral("Change options together, all or nothing; the configuration is checked and backed up."),
         Tool::changeOptions() << Tool::jsonOption(),
         set},
        {QStringLiteral("unset"),
         Action::Configure,
         QStringLiteral("[--client] [--config FILE] [--dry-run] [--restart] [--revert-after SECONDS] [--json] KEYWORD..."),
         QStringLiteral("Remove the keywords' lines together, so that their defaults apply; checked and backed up as set is."),
         Tool::changeOptions() << Tool::jsonOption(),
         unset},
        {QStringLiteral("keywords"),
         Action::Read,
         QStringLiteral("[--client] [--config FILE] [--json]"),
         QStringLiteral("List every keyword this OpenSSH knows: keyword, kind, effective value, origin (tab-separated)."),
         {Tool::jsonOption()},
         keywords},
        {QStringLiteral("confirm"),
         Action::Configure,
         QStringLiteral("TOKEN"),
         QStringLiteral("Keep the pending changes (any token of them names them all)."),
         {},
         confirm},
        {QStringLiteral("revert"),
         Action::Configure,
         QStringLiteral("TOKEN | --expired"),
         QStringLiteral("Undo the pending changes now, or (--expired) those whose revert time has passed."),
         {s_delay, s_expired},
         revert},
        {QStringLiteral("pending"),
         Action::Read,
         QStringLiteral("[--client] [--json]"),
         QStringLiteral("List the pending changes: token, armed at, revert at, keywords (tab-separated)."),
         {Tool::jsonOption()},
         pending},
        {QStringLiteral("restore"),
         Action::Restore,
         QStringLiteral("[--client] --backup|--default"),
         QStringLiteral("Put back the last working configuration or the distribution default."),
         {s_backup, s_default},
         restore},
        {QStringLiteral("banner"),
         Action::Configure,
         QStringLiteral("write PATH"),
         QStringLiteral("Write the banner text read from standard input to PATH."),
         {},
         banner},
        {QStringLiteral("keys"),
         Action::UserFiles,
         QStringLiteral("add|remove [--user USER] FILE LINE"),
         QStringLiteral("Add or remove one line of a user's authorized_keys file."),
         {s_user},
         keys},
        {QStringLiteral("service"), Action::Service, QStringLiteral("start|stop|restart|status"), QStringLiteral("Control the SSH server."), {}, service},
        {QStringLiteral("kill"), Action::Sessions, QStringLiteral("PID"), QStringLiteral("End the SSH connection that sshd process PID serves."), {}, kill},
    };
}
