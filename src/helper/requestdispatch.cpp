// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "requestdispatch.h"

#include "atomicfile.h"
#include "auditchecks.h"
#include "hostkeys.h"
#include "requestnonce.h"

#include <QList>

#include <algorithm>

namespace RequestDispatch
{
namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
using Keys = QList<QLatin1String>;

bool isType(const QVariantMap &arguments, QLatin1String key, int type)
{
    return arguments.value(key).userType() == type;
}

Reply wrongType(QLatin1String key, const char *expected)
{
    return Reply::failure(Refusal::Code::BadArgument, {key, QLatin1String(expected)});
}

bool configType(const QVariantMap &arguments, QLatin1String key, Engine::ConfigType *type)
{
    if (!isType(arguments, key, QMetaType::Int)) {
        return false;
    }
    const int value = arguments.value(key).toInt();
    if (value != SSHSettings::Protocol::Server && value != SSHSettings::Protocol::Client) {
        return false;
    }
    *type = Engine::ConfigType(value);
    return true;
}

QString string(const QVariantMap &arguments, QLatin1String key)
{
    return arguments.value(key).toString();
}

Reply readOptions(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ReadType, &type)) {
        return wrongType(Arg::ReadType, "1 (server) or 2 (client)");
    }
    if (!isType(arguments, Arg::ReadKeywords, QMetaType::QStringList)) {
        return wrongType(Arg::ReadKeywords, "a string list");
    }
    const QStringList keywords = arguments.value(Arg::ReadKeywords).toStringList();
    if (keywords.isEmpty() || keywords.size() > SSHSettings::Protocol::MaxReadKeywords) {
        return Reply::failure(Refusal::Code::KeywordCount, {Arg::ReadKeywords, QString::number(SSHSettings::Protocol::MaxReadKeywords)});
    }
    return engine.readOptions(type, keywords);
}

Reply readBlocks(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ReadType, &type)) {
        return wrongType(Arg::ReadType, "1 (server) or 2 (client)");
    }
    if (!isType(arguments, Arg::ReadBlocks, QMetaType::Bool) || !arguments.value(Arg::ReadBlocks).toBool()) {
        return wrongType(Arg::ReadBlocks, "true");
    }
    return engine.readBlocks(type);
}

Reply effective(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ReadType, &type) || type != Engine::ConfigType::Server) {
        return wrongType(Arg::ReadType, "1 (server) with effective_user");
    }
    Lockout::Connection connection;
    for (const auto &[key, text] : {std::pair{Arg::EffectiveUser, &connection.user},
                                    std::pair{Arg::EffectiveAddress, &connection.address},
                                    std::pair{Arg::EffectiveHost, &connection.host},
                                    std::pair{Arg::EffectiveLocalAddress, &connection.localAddress}}) {
        if (arguments.contains(key) && (!isType(arguments, key, QMetaType::QString) || string(arguments, key).isEmpty())) {
            return wrongType(key, "a non-empty string");
        }
        *text = string(arguments, key);
    }
    if (arguments.contains(Arg::EffectiveLocalPort)) {
        if (!isType(arguments, Arg::EffectiveLocalPort, QMetaType::Int)) {
            return wrongType(Arg::EffectiveLocalPort, "an integer");
        }
        connection.localPort = arguments.value(Arg::EffectiveLocalPort).toInt();
        if (connection.localPort < 1 || connection.localPort > 65535) {
            return Reply::failure(Refusal::Code::NotPort, {Arg::EffectiveLocalPort, QString::number(connection.localPort)});
        }
    }
    return engine.effective(connection);
}

Reply readJournal(Engine &engine, const QVariantMap &arguments, uid_t)
{
    if (!isType(arguments, Arg::JournalArguments, QMetaType::QStringList)) {
        return wrongType(Arg::JournalArguments, "a string list");
    }
    return engine.readJournal(arguments.value(Arg::JournalArguments).toStringList());
}

// The block arguments of a transaction, each given where its operation needs it and nowhere else; null when they fit.
Refusal blockEdit(const QVariantMap &arguments, BlockEdit *edit)
{
    if (arguments.contains(Arg::BlockOperation)) {
        edit->operation = string(arguments, Arg::BlockOperation);
        static const QStringList operations = {QStringLiteral("add"),
                                               QStringLiteral("criteria"),
                                               QStringLiteral("remove"),
                                               QStringLiteral("up"),
                                               QStringLiteral("down")};
        if (!isType(arguments, Arg::BlockOperation, QMetaType::QString) || !operations.contains(edit->operation)) {
            return {Refusal::Code::BadArgument, {Arg::BlockOperation, QLatin1String("add, criteria, remove, up or down")}};
        }
    }
    const QString &operation = edit->operation;
    const bool add = operation == QLatin1String("add");
    if (arguments.contains(Arg::BlockIndex)) {
        edit->index = arguments.value(Arg::BlockIndex).toInt();
        if (!isType(arguments, Arg::BlockIndex, QMetaType::Int) || edit->index < 1 || add) {
            return {Refusal::Code::BadArgument, {Arg::BlockIndex, QLatin1String("a block's number, 1 or more, without add")}};
        }
    } else if (!operation.isEmpty() && !add) {
        return {Refusal::Code::LackingArgument, {operation, Arg::BlockIndex}};
    }
    const bool withCriteria = add || operation == QLatin1String("criteria");
    if (arguments.contains(Arg::BlockCriteria) != withCriteria || (withCriteria && !isType(arguments, Arg::BlockCriteria, QMetaType::QString))) {
        return {Refusal::Code::BadArgument, {Arg::BlockCriteria, QLatin1String("a string, with add and criteria only")}};
    }
    edit->criteria = string(arguments, Arg::BlockCriteria);
    if (arguments.contains(Arg::BlockFile) && (!add || !isType(arguments, Arg::BlockFile, QMetaType::QString))) {
        return {Refusal::Code::BadArgument, {Arg::BlockFile, QLatin1String("a file of the configuration, with add only")}};
    }
    edit->file = string(arguments, Arg::BlockFile);
    if (arguments.contains(Arg::TransactionChanges) && !operation.isEmpty() && !add) {
        return {Refusal::Code::BadArgument, {Arg::TransactionChanges, QLatin1String("given with a block's body only (add, or a block's number alone)")}};
    }
    return Refusal();
}

// The options every transaction may carry (dry run, restart, session, read keywords, base, countdown) into @p request.
bool transactionOptions(const QVariantMap &arguments, uid_t caller, Engine::Transaction *transaction, Reply *refused)
{
    Engine::Transaction &request = *transaction;
    const auto refuse = [refused](const Reply &reply) {
        *refused = reply;
        return false;
    };
    for (const auto &[key, flag] : {std::pair{Arg::TransactionDryRun, &request.dryRun}, std::pair{Arg::TransactionRestart, &request.restart}}) {
        if (arguments.contains(key) && !isType(arguments, key, QMetaType::Bool)) {
            return refuse(wrongType(key, "a boolean"));
        }
        *flag = arguments.value(key).toBool();
    }
    // The fixes of the security check review the session whether or not they write: they leave out what would lock it out.
    const bool audit = arguments.contains(Arg::AuditFix) || arguments.contains(Arg::AuditFixAll);
    if (arguments.contains(Arg::TransactionSession)) {
        if (!isType(arguments, Arg::TransactionSession, QMetaType::QString) || string(arguments, Arg::TransactionSession).isEmpty()
            || !(request.dryRun || audit)) {
            return refuse(wrongType(Arg::TransactionSession, "$SSH_CONNECTION, with a dry run"));
        }
        request.session = string(arguments, Arg::TransactionSession);
        request.caller = caller;
    }
    if (arguments.contains(Arg::TransactionReadKeywords)) {
        request.readKeywords = arguments.value(Arg::TransactionReadKeywords).toStringList();
        if (!isType(arguments, Arg::TransactionReadKeywords, QMetaType::QStringList) || request.readKeywords.isEmpty()
            || request.readKeywords.size() > SSHSettings::Protocol::MaxReadKeywords || request.dryRun) {
            return refuse(
                Reply::failure(Refusal::Code::ReadKeywordsArgument, {Arg::TransactionReadKeywords, QString::number(SSHSettings::Protocol::MaxReadKeywords)}));
        }
    }
    if (arguments.contains(Arg::TransactionBase)) {
        request.base = string(arguments, Arg::TransactionBase);
        // A SHA-256 digest in hexadecimal, as the dry run gave it.
        if (!SSHSettings::RequestNonce::isValid(arguments.value(Arg::TransactionBase), 64) || request.dryRun) {
            return refuse(wrongType(Arg::TransactionBase, "the base a dry run replied with, without a dry run"));
        }
    }
    if (arguments.contains(Arg::TransactionRevertAfter)) {
        const int seconds = arguments.value(Arg::TransactionRevertAfter).toInt();
        if (!isType(arguments, Arg::TransactionRevertAfter, QMetaType::Int) || seconds < 1 || seconds > SSHSettings::Protocol::MaxRevertAfter) {
            return refuse(
                Reply::failure(Refusal::Code::RevertAfterArgument, {Arg::TransactionRevertAfter, QString::number(SSHSettings::Protocol::MaxRevertAfter)}));
        }
        request.revertAfter = seconds;
    }
    return true;
}

Reply transaction(Engine &engine, const QVariantMap &arguments, uid_t caller)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::TransactionType, &type)) {
        return wrongType(Arg::TransactionType, "1 (server) or 2 (client)");
    }
    Engine::Transaction request;
    // A block operation may come without changes; every other transaction has them.
    if (arguments.contains(Arg::TransactionChanges)) {
        if (!isType(arguments, Arg::TransactionChanges, QMetaType::QVariantMap)) {
            return wrongType(Arg::TransactionChanges, "a map of keyword to value");
        }
        const QVariantMap changes = arguments.value(Arg::TransactionChanges).toMap();
        if (changes.isEmpty() || changes.size() > SSHSettings::Protocol::MaxReadKeywords) {
            return Reply::failure(Refusal::Code::KeywordCount, {Arg::TransactionChanges, QString::number(SSHSettings::Protocol::MaxReadKeywords)});
        }
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            request.changes.append({it.key(), it.value()});
        }
    }
    const Refusal wrongBlock = blockEdit(arguments, &request.block);
    if (!wrongBlock.isNull()) {
        return Reply::failure(wrongBlock);
    }
    Reply refused;
    if (!transactionOptions(arguments, caller, &request, &refused)) {
        return refused;
    }
    const bool audit = arguments.contains(Arg::AuditFix) || arguments.contains(Arg::AuditFixAll);
    if (!audit) {
        return engine.applyTransaction(type, request);
    }
    if (type != Engine::ConfigType::Server) {
        return wrongType(Arg::TransactionType, "1 (server) with a security fix");
    }
    if (arguments.contains(Arg::AuditFixAll)) {
        if (!isType(arguments, Arg::AuditFixAll, QMetaType::Bool) || !arguments.value(Arg::AuditFixAll).toBool()) {
            return wrongType(Arg::AuditFixAll, "true");
        }
        return engine.auditFix({}, true, request);
    }
    const QStringList ids = arguments.value(Arg::AuditFix).toStringList();
    if (!isType(arguments, Arg::AuditFix, QMetaType::QStringList) || ids.isEmpty() || ids.size() > AuditChecks::checks().size()
        || std::any_of(ids.cbegin(), ids.cend(), [](const QString &id) {
               return !AuditChecks::find(id);
           })) {
        return wrongType(Arg::AuditFix, "a list of check ids of the table of checks");
    }
    return engine.auditFix(ids, false, request);
}

Reply audit(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ReadType, &type) || type != Engine::ConfigType::Server) {
        return wrongType(Arg::ReadType, "1 (server) with audit");
    }
    if (!isType(arguments, Arg::Audit, QMetaType::Bool) || !arguments.value(Arg::Audit).toBool()) {
        return wrongType(Arg::Audit, "true");
    }
    return engine.audit();
}

Reply readHostKeys(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ReadType, &type) || type != Engine::ConfigType::Server) {
        return wrongType(Arg::ReadType, "1 (server) with read_host_keys");
    }
    if (!isType(arguments, Arg::ReadHostKeys, QMetaType::Bool) || !arguments.value(Arg::ReadHostKeys).toBool()) {
        return wrongType(Arg::ReadHostKeys, "true");
    }
    return engine.readHostKeys();
}

// generate: a type and, for RSA only, a size; remove: a clean absolute path. Nothing else.
Reply hostKeyOperation(Engine &engine, const QVariantMap &arguments, uid_t caller)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::TransactionType, &type) || type != Engine::ConfigType::Server) {
        return wrongType(Arg::TransactionType, "1 (server) with host_key_operation");
    }
    const QString operation = string(arguments, Arg::HostKeyOperation);
    const bool generate = operation == QLatin1String("generate");
    if (!isType(arguments, Arg::HostKeyOperation, QMetaType::QString) || (!generate && operation != QLatin1String("remove"))) {
        return wrongType(Arg::HostKeyOperation, "generate or remove");
    }
    const QString keyType = string(arguments, Arg::HostKeyType);
    if (arguments.contains(Arg::HostKeyType) != generate
        || (generate
            && (!isType(arguments, Arg::HostKeyType, QMetaType::QString) || (keyType != QLatin1String("ed25519") && keyType != QLatin1String("rsa"))))) {
        return wrongType(Arg::HostKeyType, "ed25519 or rsa, with generate only");
    }
    const int bits = arguments.value(Arg::HostKeyBits).toInt();
    if (arguments.contains(Arg::HostKeyBits)
        && (keyType != QLatin1String("rsa") || !isType(arguments, Arg::HostKeyBits, QMetaType::Int) || bits < HostKeys::RecommendedBits
            || bits > HostKeys::MaxRsaBits)) {
        return wrongType(Arg::HostKeyBits, "3072 to 16384, with rsa only");
    }
    const QString file = string(arguments, Arg::HostKeyFile);
    if (arguments.contains(Arg::HostKeyFile) == generate
        || (!generate && (!isType(arguments, Arg::HostKeyFile, QMetaType::QString) || file.size() > 4096 || !AtomicFile::isCleanAbsolutePath(file)))) {
        return wrongType(Arg::HostKeyFile, "a plain absolute path, with remove only");
    }
    Engine::Transaction request;
    Reply refused;
    return transactionOptions(arguments, caller, &request, &refused) ? engine.hostKeyOperation(operation, arguments, request) : refused;
}

Reply changeOption(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::ChangeType, &type)) {
        return wrongType(Arg::ChangeType, "1 (server) or 2 (client)");
    }
    if (!isType(arguments, Arg::ChangeKeyword, QMetaType::QString)) {
        return wrongType(Arg::ChangeKeyword, "a string");
    }
    return engine.changeOption(type, string(arguments, Arg::ChangeKeyword), arguments.value(Arg::ChangeValue));
}

// A request of one string argument: a token, a service command.
template<const auto &Key, Reply (Engine::*act)(const QString &)>
Reply oneString(Engine &engine, const QVariantMap &arguments, uid_t)
{
    if (!isType(arguments, Key, QMetaType::QString)) {
        return wrongType(Key, "a string");
    }
    return (engine.*act)(string(arguments, Key));
}

Reply writeBanner(Engine &engine, const QVariantMap &arguments, uid_t)
{
    if (!isType(arguments, Arg::BannerPath, QMetaType::QString) || !isType(arguments, Arg::BannerText, QMetaType::QString)) {
        return wrongType(QLatin1String("write_banner_path/write_banner_text"), "strings");
    }
    return engine.writeBanner(string(arguments, Arg::BannerPath), string(arguments, Arg::BannerText));
}

Reply restore(Engine &engine, const QVariantMap &arguments, uid_t)
{
    Engine::ConfigType type;
    if (!configType(arguments, Arg::RestoreType, &type)) {
        return wrongType(Arg::RestoreType, "1 (server) or 2 (client)");
    }
    if (!isType(arguments, Arg::RestoreFromBackup, QMetaType::Bool)) {
        return wrongType(Arg::RestoreFromBackup, "a boolean");
    }
    return engine.restore(type, arguments.value(Arg::RestoreFromBackup).toBool());
}

template<bool Add>
Reply editKeys(Engine &engine, const QVariantMap &arguments, uid_t caller)
{
    const QLatin1String lineKey = Add ? Arg::AddKeyLine : Arg::RemoveKeyLine;
    if (!isType(arguments, Arg::KeysFile, QMetaType::QString) || !isType(arguments, lineKey, QMetaType::QString)) {
        return wrongType(QLatin1String("authorized_keys_file/key line"), "strings");
    }
    const QString path = string(arguments, Arg::KeysFile);
    const QString line = string(arguments, lineKey);
    return Add ? engine.addAuthorizedKey(path, line, caller) : engine.removeAuthorizedKey(path, line, caller);
}

Reply killConnection(Engine &engine, const QVariantMap &arguments, uid_t)
{
    if (!isType(arguments, Arg::KillPid, QMetaType::Int)) {
        return wrongType(Arg::KillPid, "an integer");
    }
    return engine.killConnection(arguments.value(Arg::KillPid).toInt());
}

struct RequestKind {
    Action action;
    const char *name; ///< for refusals
    Keys required;
    Keys optional;
    Reply (*serve)(Engine &engine, const QVariantMap &arguments, uid_t caller);

    bool takes(const QString &key) const
    {
        const auto named = [&key](QLatin1String name) {
            return key == name;
        };
        return std::any_of(required.cbegin(), required.cend(), named) || std::any_of(optional.cbegin(), optional.cend(), named);
    }
    /// The first required key missing from @p arguments; empty when none is.
    QString lacking(const QVariantMap &arguments) const
    {
        const auto missing = std::find_if(required.cbegin(), required.cend(), [&arguments](QLatin1String key) {
            return !arguments.contains(key);
        });
        return missing == required.cend() ? QString() : QString(*missing);
    }
};

// Every request the helper serves, under the one action it belongs to.
const QList<RequestKind> &requestKinds()
{
    static const QList<RequestKind> kinds = {
        {Action::Read, "read", {Arg::ReadType, Arg::ReadKeywords}, {}, readOptions},
        {Action::Read, "journal", {Arg::JournalArguments}, {}, readJournal},
        {Action::Read,
         "effective",
         {Arg::ReadType, Arg::EffectiveUser, Arg::EffectiveAddress},
         {Arg::EffectiveHost, Arg::EffectiveLocalAddress, Arg::EffectiveLocalPort},
         effective},
        {Action::Configure,
         "transaction",
         {Arg::TransactionType, Arg::TransactionChanges},
         {Arg::TransactionDryRun,
          Arg::TransactionRestart,
          Arg::TransactionRevertAfter,
          Arg::TransactionSession,
          Arg::TransactionReadKeywords,
          Arg::TransactionBase,
          Arg::BlockIndex},
         transaction},
        {Action::Read, "blocks", {Arg::ReadType, Arg::ReadBlocks}, {}, readBlocks},
        {Action::Configure,
         "block",
         {Arg::TransactionType, Arg::BlockOperation},
         {Arg::TransactionChanges,
          Arg::BlockIndex,
          Arg::BlockCriteria,
          Arg::BlockFile,
          Arg::TransactionDryRun,
          Arg::TransactionRestart,
          Arg::TransactionRevertAfter,
          Arg::TransactionBase},
         transaction},
        {Action::Read, "security check", {Arg::ReadType, Arg::Audit}, {}, audit},
        {Action::Configure,
         "security fix",
         {Arg::TransactionType, Arg::AuditFix},
         {Arg::TransactionDryRun, Arg::TransactionRestart, Arg::TransactionRevertAfter, Arg::TransactionSession, Arg::TransactionBase},
         transaction},
        {Action::Configure,
         "security fix all",
         {Arg::TransactionType, Arg::AuditFixAll},
         {Arg::TransactionDryRun, Arg::TransactionRestart, Arg::TransactionRevertAfter, Arg::TransactionSession, Arg::TransactionBase},
         transaction},
        {Action::Read, "host keys", {Arg::ReadType, Arg::ReadHostKeys}, {}, readHostKeys},
        {Action::Configure,
         "host key",
         {Arg::TransactionType, Arg::HostKeyOperation},
         {Arg::HostKeyType,
          Arg::HostKeyBits,
          Arg::HostKeyFile,
          Arg::TransactionDryRun,
          Arg::TransactionRestart,
          Arg::TransactionRevertAfter,
          Arg::TransactionSession,
          Arg::TransactionBase},
         hostKeyOperation},
        {Action::Configure, "option change", {Arg::ChangeType, Arg::ChangeKeyword, Arg::ChangeValue}, {}, changeOption},
        {Action::Configure, "confirm", {Arg::ConfirmToken}, {}, oneString<Arg::ConfirmToken, &Engine::confirmChange>},
        {Action::Configure, "revert", {Arg::RevertToken}, {}, oneString<Arg::RevertToken, &Engine::revertChange>},
        {Action::Configure, "banner", {Arg::BannerPath, Arg::BannerText}, {}, writeBanner},
        {Action::Service, "service", {Arg::ServiceCommand}, {}, oneString<Arg::ServiceCommand, &Engine::serviceCommand>},
        {Action::Restore, "restore", {Arg::RestoreType, Arg::RestoreFromBackup}, {}, restore},
        {Action::UserFiles, "key addition", {Arg::KeysFile, Arg::AddKeyLine}, {}, editKeys<true>},
        {Action::UserFiles, "key removal", {Arg::KeysFile, Arg::RemoveKeyLine}, {}, editKeys<false>},
        {Action::Sessions, "connection end", {Arg::KillPid}, {}, killConnection},
    };
    return kinds;
}
}

Reply dispatch(Engine &engine, Action action, const QVariantMap &arguments, uid_t caller)
{
    const QLatin1String actionWord = SSHSettings::Protocol::actionWord(action);
    if (arguments.isEmpty()) {
        return Reply::failure(Refusal::Code::EmptyRequest, {actionWord});
    }
    const QList<RequestKind> &kinds = requestKinds();
    const auto own = [action](const RequestKind &kind) {
        return kind.action == action;
    };
    for (auto it = arguments.keyBegin(); it != arguments.keyEnd(); ++it) {
        const QString &key = *it;
        const auto takesKey = [&key](const RequestKind &kind) {
            return kind.takes(key);
        };
        const auto owner = std::find_if(kinds.cbegin(), kinds.cend(), takesKey);
        if (owner == kinds.cend()) {
            QString shown = key.left(64);
            std::replace_if(
                shown.begin(),
                shown.end(),
                [](QChar c) {
                    return !c.isPrint();
                },
                QLatin1Char('?'));
            return Reply::failure(Refusal::Code::UnknownArgument, {shown});
        }
        if (std::none_of(kinds.cbegin(), kinds.cend(), [&](const RequestKind &kind) {
                return own(kind) && takesKey(kind);
            })) {
            return Reply::failure(Refusal::Code::WrongAction, {key, SSHSettings::Protocol::actionWord(owner->action), actionWord});
        }
    }
    // The one kind of the action that takes every argument given and finds every one it needs.
    Refusal reason(Refusal::Code::MixedRequest, {arguments.keys().join(QLatin1String(", ")), actionWord});
    for (const RequestKind &kind : kinds) {
        if (!own(kind) || std::any_of(arguments.keyBegin(), arguments.keyEnd(), [&kind](const QString &key) {
                return !kind.takes(key);
            })) {
            continue;
        }
        const QString lacking = kind.lacking(arguments);
        if (lacking.isEmpty()) {
            return kind.serve(engine, arguments, caller);
        }
        reason = {Refusal::Code::LackingArgument, {QLatin1String(kind.name), lacking}};
    }
    return Reply::failure(reason);
}
}
