// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// effective: who gets what for one connection to the server, through the read action as the page asks it.

#include "toolcommand.h"

#include "sshsettingsprotocol.h"

#include <QJsonArray>

#include <cstdio>
#include <unistd.h>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
namespace ReplyKey = SSHSettings::Protocol::Reply;

const QCommandLineOption s_user(QStringLiteral("user"), QStringLiteral("effective: the user who connects."), QStringLiteral("USER"));
const QCommandLineOption s_address(QStringLiteral("address"), QStringLiteral("effective: the client's IP address."), QStringLiteral("ADDRESS"));
const QCommandLineOption s_host(QStringLiteral("host"), QStringLiteral("effective: the client's host name (default: its address)."), QStringLiteral("NAME"));
const QCommandLineOption
    s_laddr(QStringLiteral("laddr"), QStringLiteral("effective: the address connected to (default: the first sshd listens on)."), QStringLiteral("ADDRESS"));
const QCommandLineOption s_lport(QStringLiteral("lport"), QStringLiteral("effective: the port connected to (default: its port)."), QStringLiteral("PORT"));
const QCommandLineOption s_origin(QStringLiteral("origin"), QStringLiteral("effective: also print the line that sets each value."));

// The reply's keys that are not keywords.
bool isKeyword(const QString &key)
{
    for (const QLatin1String other :
         {ReplyKey::Origins, ReplyKey::Version, ReplyKey::Algorithms, ReplyKey::AppliedBlocks, ReplyKey::Connection, ReplyKey::Assumed, ReplyKey::Verdict}) {
        if (key == other) {
            return false;
        }
    }
    return true;
}

QString place(const QVariantMap &where)
{
    const int line = where.value(ReplyKey::OriginLine).toInt();
    return line > 0 ? QStringLiteral("%1:%2").arg(where.value(ReplyKey::OriginFile).toString()).arg(line) : QStringLiteral("default");
}

QString reason(const QString &coded)
{
    const QString kind = coded.section(QLatin1Char(':'), 0, 0);
    const QString detail = coded.section(QLatin1Char(':'), 1);
    if (kind == QLatin1String("access")) {
        return QStringLiteral("%1 refuses the user").arg(detail);
    }
    if (kind == QLatin1String("authentication")) {
        return QStringLiteral("no way to authenticate is left (%1)").arg(detail);
    }
    if (kind == QLatin1String("listening")) {
        return QStringLiteral("sshd does not listen on %1").arg(detail);
    }
    return kind == QLatin1String("account") ? QStringLiteral("there is no account %1").arg(detail) : coded;
}

int effective(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (!parser.isSet(s_user) || !parser.isSet(s_address)) {
        return 2;
    }
    QVariantMap request = {{Arg::ReadType, int(Tool::configType(parser))},
                           {Arg::EffectiveUser, parser.value(s_user)},
                           {Arg::EffectiveAddress, parser.value(s_address)}};
    for (const auto &[option, key] : {std::pair{&s_host, Arg::EffectiveHost}, std::pair{&s_laddr, Arg::EffectiveLocalAddress}}) {
        if (parser.isSet(*option)) {
            request.insert(key, parser.value(*option));
        }
    }
    if (parser.isSet(s_lport)) {
        bool ok = false;
        const int port = parser.value(s_lport).toInt(&ok);
        if (!ok) {
            return Tool::refuse(Refusal(Refusal::Code::NotPort, {QStringLiteral("--lport"), parser.value(s_lport).left(64)}).text());
        }
        request.insert(Arg::EffectiveLocalPort, port);
    }
    const Reply reply = helper.request(request, ::getuid());
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    QStringList keys;
    for (const QString &keyword : arguments) {
        const OptionCatalog::Option *option = OptionCatalog::findOption(OptionCatalog::ConfigType::Server, keyword);
        const QString key = option ? option->keyword.toLower() : keyword.toLower();
        if (!isKeyword(key) || !reply.data.contains(key)) {
            return Tool::refuse(Refusal(Refusal::Code::UnknownKeyword, {keyword.left(64)}).text());
        }
        keys.append(key);
    }
    if (keys.isEmpty()) {
        keys = reply.data.keys();
    }
    const QVariantMap origins = reply.data.value(ReplyKey::Origins).toMap();
    if (Tool::json()) {
        // The reply as it is, the keywords asked for (or every one) under "values".
        QJsonObject values;
        QJsonObject document;
        for (const QString &key : std::as_const(keys)) {
            if (isKeyword(key)) {
                values.insert(key, QJsonValue::fromVariant(reply.data.value(key)));
            }
        }
        for (const QLatin1String key : {ReplyKey::AppliedBlocks, ReplyKey::Connection, ReplyKey::Assumed, ReplyKey::Verdict}) {
            document.insert(key, QJsonValue::fromVariant(reply.data.value(key)));
        }
        QVariantMap shown;
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            if (origins.contains(it.key())) {
                shown.insert(it.key(), origins.value(it.key()));
            }
        }
        document.insert(QStringLiteral("values"), values);
        document.insert(ReplyKey::Origins, QJsonObject::fromVariantMap(shown));
        Tool::print(document);
        return 0;
    }
    for (const QString &key : std::as_const(keys)) {
        if (!isKeyword(key)) {
            continue;
        }
        const QVariant value = reply.data.value(key);
        printf("%s %s",
               qPrintable(key),
               qPrintable(value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(' ')) : value.toString()));
        if (parser.isSet(s_origin) && origins.contains(key)) {
            const QVariantMap origin = origins.value(key).toMap();
            const QString block = origin.value(ReplyKey::OriginMatch).toString();
            printf(" %s%s", qPrintable(place(origin)), qPrintable(block.isEmpty() ? QString() : QStringLiteral(" (Match %1)").arg(block)));
        }
        printf("\n");
    }
    const QVariantList applied = reply.data.value(ReplyKey::AppliedBlocks).toList();
    for (const QVariant &entry : applied) {
        const QVariantMap block = entry.toMap();
        printf("applied: Match %s at %s\n", qPrintable(block.value(ReplyKey::AppliedCriteria).toString()), qPrintable(place(block)));
    }
    if (applied.isEmpty()) {
        printf("applied: no Match block\n");
    }
    const QStringList assumed = reply.data.value(ReplyKey::Assumed).toStringList();
    printf("connection: %s%s\n",
           qPrintable(reply.data.value(ReplyKey::Connection).toString()),
           qPrintable(assumed.isEmpty() ? QString() : QStringLiteral(" (assumed: %1)").arg(assumed.join(QStringLiteral(", ")))));
    const QVariantMap verdict = reply.data.value(ReplyKey::Verdict).toMap();
    if (verdict.value(ReplyKey::VerdictCanLogIn).toBool()) {
        printf("verdict: can log in with %s\n", qPrintable(verdict.value(ReplyKey::VerdictMethods).toStringList().join(QStringLiteral(" or "))));
    }
    const QStringList reasons = verdict.value(ReplyKey::VerdictReasons).toStringList();
    for (const QString &coded : reasons) {
        printf("verdict: cannot log in: %s\n", qPrintable(reason(coded)));
    }
    return 0;
}
}

QList<ToolCommand> effectiveCommands()
{
    return {
        {QStringLiteral("effective"),
         RequestDispatch::Action::Read,
         QStringLiteral("--user USER --address ADDRESS [--host NAME] [--laddr ADDRESS] [--lport PORT] [--origin] [--json] [KEYWORD...]"),
         QStringLiteral("What sshd gives one connection: each keyword's value, the Match blocks that apply, whether the user could log in."),
         {s_user, s_address, s_host, s_laddr, s_lport, s_origin, Tool::jsonOption()},
         effective},
    };
}
