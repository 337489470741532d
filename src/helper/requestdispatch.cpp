// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "requestdispatch.h"

#include "requestnonce.h"
#include "sshsettingsprotocol.h"

#include <QSet>

namespace RequestDispatch
{
namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
using Keys = QSet<QString>;

bool isType(const QVariantMap &arguments, QLatin1String key, int type)
{
    return arguments.value(key).userType() == type;
}

Reply wrongType(QLatin1String key, const char *expected)
{
    return Reply::failure(QStringLiteral("argument \"%1\" must be %2").arg(key, QLatin1String(expected)));
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

Keys keys(std::initializer_list<QLatin1String> names)
{
    Keys set;
    for (const QLatin1String name : names) {
        set.insert(name);
    }
    return set;
}

QString string(const QVariantMap &arguments, QLatin1String key)
{
    return arguments.value(key).toString();
}
}

Reply dispatch(Engine &engine, Action action, const QVariantMap &arguments, uid_t caller)
{
    const QStringList keyList = arguments.keys();
    const Keys present(keyList.begin(), keyList.end());
    if (action == Action::Access) {
        if (present == keys({Arg::ReadKeywords, Arg::ReadType})) {
            Engine::ConfigType type;
            if (!configType(arguments, Arg::ReadType, &type)) {
                return wrongType(Arg::ReadType, "1 (server) or 2 (client)");
            }
            if (!isType(arguments, Arg::ReadKeywords, QMetaType::QStringList)) {
                return wrongType(Arg::ReadKeywords, "a string list");
            }
            const QStringList keywords = arguments.value(Arg::ReadKeywords).toStringList();
            if (keywords.isEmpty() || keywords.size() > SSHSettings::Protocol::MaxReadKeywords) {
                return Reply::failure(QStringLiteral("%1 must name 1 to %2 keywords").arg(Arg::ReadKeywords).arg(SSHSettings::Protocol::MaxReadKeywords));
            }
            return engine.readOptions(type, keywords);
        }
        if (present == keys({Arg::JournalArguments})) {
            if (!isType(arguments, Arg::JournalArguments, QMetaType::QStringList)) {
                return wrongType(Arg::JournalArguments, "a string list");
            }
            return engine.readJournal(arguments.value(Arg::JournalArguments).toStringList());
        }
        // Reading only: a restore or a service command is a change, whoever may read.
        return Reply::failure(QStringLiteral("unknown or mixed read request"));
    }

    if (present == keys({Arg::ChangeKeyword, Arg::ChangeType, Arg::ChangeValue})) {
        Engine::ConfigType type;
        if (!configType(arguments, Arg::ChangeType, &type)) {
            return wrongType(Arg::ChangeType, "1 (server) or 2 (client)");
        }
        if (!isType(arguments, Arg::ChangeKeyword, QMetaType::QString)) {
            return wrongType(Arg::ChangeKeyword, "a string");
        }
        return engine.changeOption(type, string(arguments, Arg::ChangeKeyword), arguments.value(Arg::ChangeValue));
    }
    if (present == keys({Arg::RestoreType, Arg::RestoreFromBackup})) {
        Engine::ConfigType type;
        if (!configType(arguments, Arg::RestoreType, &type)) {
            return wrongType(Arg::RestoreType, "1 (server) or 2 (client)");
        }
        if (!isType(arguments, Arg::RestoreFromBackup, QMetaType::Bool)) {
            return wrongType(Arg::RestoreFromBackup, "a boolean");
        }
        return engine.restore(type, arguments.value(Arg::RestoreFromBackup).toBool());
    }
    if (present == keys({Arg::ServiceCommand})) {
        if (!isType(arguments, Arg::ServiceCommand, QMetaType::QString)) {
            return wrongType(Arg::ServiceCommand, "a string");
        }
        return engine.serviceCommand(string(arguments, Arg::ServiceCommand));
    }
    const Keys transaction = keys({Arg::TransactionType, Arg::TransactionChanges});
    if (present.contains(transaction) &&
        (present - transaction -
         keys({Arg::TransactionDryRun, Arg::TransactionRestart, Arg::TransactionRevertAfter, Arg::TransactionSession, Arg::TransactionReadKeywords,
               Arg::TransactionBase}))
            .isEmpty()) {
        Engine::ConfigType type;
        if (!configType(arguments, Arg::TransactionType, &type)) {
            return wrongType(Arg::TransactionType, "1 (server) or 2 (client)");
        }
        if (!isType(arguments, Arg::TransactionChanges, QMetaType::QVariantMap)) {
            return wrongType(Arg::TransactionChanges, "a map of keyword to value");
        }
        Engine::Transaction request;
        const QVariantMap changes = arguments.value(Arg::TransactionChanges).toMap();
        if (changes.isEmpty() || changes.size() > SSHSettings::Protocol::MaxReadKeywords) {
            return Reply::failure(QStringLiteral("%1 must name 1 to %2 keywords").arg(Arg::TransactionChanges).arg(SSHSettings::Protocol::MaxReadKeywords));
        }
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            request.changes.append({it.key(), it.value()});
        }
        for (const auto &[key, flag] : {std::pair {Arg::TransactionDryRun, &request.dryRun}, std::pair {Arg::TransactionRestart, &request.restart}}) {
            if (present.contains(key) && !isType(arguments, key, QMetaType::Bool)) {
                return wrongType(key, "a boolean");
            }
            *flag = arguments.value(key).toBool();
        }
        if (present.contains(Arg::TransactionSession)) {
            if (!isType(arguments, Arg::TransactionSession, QMetaType::QString) || string(arguments, Arg::TransactionSession).isEmpty() || !request.dryRun) {
                return wrongType(Arg::TransactionSession, "$SSH_CONNECTION, with a dry run");
            }
            request.session = string(arguments, Arg::TransactionSession);
            request.caller = caller;
        }
        if (present.contains(Arg::TransactionReadKeywords)) {
            request.readKeywords = arguments.value(Arg::TransactionReadKeywords).toStringList();
            if (!isType(arguments, Arg::TransactionReadKeywords, QMetaType::QStringList) || request.readKeywords.isEmpty() ||
                request.readKeywords.size() > SSHSettings::Protocol::MaxReadKeywords || request.dryRun) {
                return Reply::failure(QStringLiteral("argument \"%1\" must be 1 to %2 keywords, without a dry run")
                                          .arg(Arg::TransactionReadKeywords)
                                          .arg(SSHSettings::Protocol::MaxReadKeywords));
            }
        }
        if (present.contains(Arg::TransactionBase)) {
            request.base = string(arguments, Arg::TransactionBase);
            // A SHA-256 digest in hexadecimal, as the dry run gave it.
            if (!SSHSettings::RequestNonce::isValid(arguments.value(Arg::TransactionBase), 64) || request.dryRun) {
                return wrongType(Arg::TransactionBase, "the base a dry run replied with, without a dry run");
            }
        }
        if (present.contains(Arg::TransactionRevertAfter)) {
            const int seconds = arguments.value(Arg::TransactionRevertAfter).toInt();
            if (!isType(arguments, Arg::TransactionRevertAfter, QMetaType::Int) || seconds < 1 || seconds > SSHSettings::Protocol::MaxRevertAfter) {
                return Reply::failure(
                    QStringLiteral("argument \"%1\" must be 1 to %2 seconds").arg(Arg::TransactionRevertAfter).arg(SSHSettings::Protocol::MaxRevertAfter));
            }
            request.revertAfter = seconds;
        }
        return engine.applyTransaction(type, request);
    }
    for (const QLatin1String key : {Arg::ConfirmToken, Arg::RevertToken}) {
        if (present == keys({key})) {
            if (!isType(arguments, key, QMetaType::QString)) {
                return wrongType(key, "a string");
            }
            const QString token = string(arguments, key);
            return key == Arg::ConfirmToken ? engine.confirmChange(token) : engine.revertChange(token);
        }
    }
    if (present == keys({Arg::KillPid})) {
        if (!isType(arguments, Arg::KillPid, QMetaType::Int)) {
            return wrongType(Arg::KillPid, "an integer");
        }
        return engine.killConnection(arguments.value(Arg::KillPid).toInt());
    }
    if (present == keys({Arg::BannerPath, Arg::BannerText})) {
        if (!isType(arguments, Arg::BannerPath, QMetaType::QString) || !isType(arguments, Arg::BannerText, QMetaType::QString)) {
            return wrongType(QLatin1String("write_banner_path/write_banner_text"), "strings");
        }
        return engine.writeBanner(string(arguments, Arg::BannerPath), string(arguments, Arg::BannerText));
    }
    const bool add = present == keys({Arg::KeysFile, Arg::AddKeyLine});
    if (add || present == keys({Arg::KeysFile, Arg::RemoveKeyLine})) {
        const QLatin1String lineKey = add ? Arg::AddKeyLine : Arg::RemoveKeyLine;
        if (!isType(arguments, Arg::KeysFile, QMetaType::QString) || !isType(arguments, lineKey, QMetaType::QString)) {
            return wrongType(QLatin1String("authorized_keys_file/key line"), "strings");
        }
        const QString path = string(arguments, Arg::KeysFile);
        const QString line = string(arguments, lineKey);
        return add ? engine.addAuthorizedKey(path, line, caller) : engine.removeAuthorizedKey(path, line, caller);
    }
    return Reply::failure(QStringLiteral("unknown or mixed change request"));
}
}
