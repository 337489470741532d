// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmanager.h"
#include "core_debug.h"
#include "sshoption.h"

#include "privilegedaction.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QDebug>

#include <algorithm>

SSHManager::SSHManager(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SSHCodeError>("SSHCodeError");
}

SSHManager::~SSHManager() = default;

QStringList SSHManager::readKeywords(SSHConfigurationTypeId type) const
{
    // The page's keywords, then every other one the installed OpenSSH knows, for "All settings".
    // Before the first read the version is not known (0), and every keyword is asked for.
    QStringList keywords = SSHOption::pageKeywords(type);
    const int version = m_values.value(type).value(SSHSettings::Protocol::Reply::Version).toInt();
    const auto catalogType = type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server;
    const bool algorithms = algorithmsAsked(type);
    for (const OptionCatalog::Option &option : OptionCatalog::options(catalogType)) {
        if (OptionCatalog::knownIn(option, version) && !keywords.contains(option.keyword)
            && (algorithms || option.kind != OptionCatalog::ValueKind::Algorithms)) {
            keywords.append(option.keyword);
        }
    }
    return keywords;
}

void SSHManager::loadAlgorithms(SSHConfigurationTypeId type, QObject *context, std::function<void(bool)> done)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    namespace Reply = SSHSettings::Protocol::Reply;
    if (algorithmsAsked(type)) {
        done(false);
        return;
    }
    m_algorithmsAsked.append(type);
    QStringList keywords;
    const int version = m_values.value(type).value(Reply::Version).toInt();
    for (const OptionCatalog::Option &option : OptionCatalog::options(type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server)) {
        if (option.kind == OptionCatalog::ValueKind::Algorithms && OptionCatalog::knownIn(option, version)) {
            keywords.append(option.keyword);
        }
    }
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Read,
                                     {{Arg::ReadKeywords, keywords}, {Arg::ReadType, static_cast<int>(type)}},
                                     context,
                                     [this, type, done](const SSHSettings::ActionResult &result) {
                                         if (!result.ok) {
                                             // The lists stay hidden; the next read of every keyword brings them.
                                             qCWarning(SSHSETTINGS_CORE) << "Failed to read the algorithm lists:" << result.errorText;
                                             done(false);
                                             return;
                                         }
                                         QVariantMap &values = m_values[type];
                                         QVariantMap origins = values.value(Reply::Origins).toMap();
                                         for (auto it = result.data.cbegin(); it != result.data.cend(); ++it) {
                                             if (it.key() == Reply::Origins) {
                                                 origins.insert(it.value().toMap());
                                             } else {
                                                 values.insert(it.key(), it.value());
                                             }
                                         }
                                         values.insert(Reply::Origins, origins);
                                         done(true);
                                     });
}

void SSHManager::loadValueOptions(QObject *context, std::function<void()> done)
{
    // A stopped server's files are read all the same: its settings can be prepared before it starts.
    loadConfigurations({Server, Client}, context, [this, done] {
        if (!serverState().isActive()) {
            Q_EMIT error(i18n("The SSH server is stopped"), ServerNotRunning, QString());
        }
        if (done) {
            done();
        }
    });
}

void SSHManager::loadConfigurations(const QList<SSHConfigurationTypeId> &types, QObject *context, std::function<void()> done)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    if (types.isEmpty() && done) {
        done();
    }
    for (int i = 0; i < types.size(); ++i) {
        const SSHConfigurationTypeId type = types.at(i);
        const bool last = i == types.size() - 1;
        SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Read,
                                         {{Arg::ReadKeywords, readKeywords(type)}, {Arg::ReadType, static_cast<int>(type)}},
                                         context,
                                         [this, type, last, done](const SSHSettings::ActionResult &result) {
                                             takeReadReply(type, result);
                                             if (last && done) {
                                                 done();
                                             }
                                         });
    }
}

bool SSHManager::takeReadReply(SSHConfigurationTypeId type, const SSHSettings::ActionResult &result)
{
    if (result.ok) {
        takeReadValues(type, result.data);
        return true;
    }
    qCWarning(SSHSETTINGS_CORE) << "Failed to read the SSH configuration:" << result.errorText;
    const bool client = type == Client;
    SSHCodeError code = client ? ClientLoadError : ServerLoadError;
    if (SSHSettings::authorizationRefused(result.errorCode)) {
        code = AuthorizationRefused;
    } else if (result.errorText.contains(SSHSettings::Protocol::InvalidConfiguration)) {
        code = client ? ClientConfigurationInvalid : ServerConfigurationInvalid;
    }
    Q_EMIT error(client ? i18n("Failed to load the SSH client settings") : i18n("Failed to load the SSH server settings"),
                 code,
                 SSHSettings::failureReason(result));
    return false;
}

void SSHManager::takeReadValues(SSHConfigurationTypeId type, const QVariantMap &reply)
{
    // An apply's answer does not list the algorithms this OpenSSH supports: they are those of the last read.
    namespace Reply = SSHSettings::Protocol::Reply;
    QVariantMap values = reply;
    if (values.value(Reply::Algorithms).toMap().isEmpty() && m_values.contains(type)) {
        values.insert(Reply::Algorithms, m_values.value(type).value(Reply::Algorithms));
    }
    m_values.insert(type, values);
    Q_EMIT valuesRead(type);
}

QVariantMap SSHManager::readValues(SSHConfigurationTypeId type) const
{
    return m_values.value(type);
}

namespace
{
SSHSettings::ActionArguments transaction(SSHConfigurationTypeId type, const SSHManager::Changes &changes, const SSHSettings::ActionArguments &block)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments{{Arg::TransactionType, static_cast<int>(type)}};
    // A block's removal or move changes no keyword.
    if (!changes.isEmpty() || block.isEmpty()) {
        arguments << qMakePair(QString(Arg::TransactionChanges), QVariant(changes));
    }
    return arguments + block;
}
}

void SSHManager::review(SSHConfigurationTypeId type,
                        const Changes &changes,
                        const QString &session,
                        QObject *context,
                        std::function<void(const Review &)> done,
                        const SSHSettings::ActionArguments &block) const
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments = transaction(type, changes, block);
    arguments << qMakePair(QString(Arg::TransactionDryRun), QVariant(true)) << qMakePair(QString(Arg::TransactionRestart), QVariant(type == Server));
    if (!session.isEmpty() && type == Server) {
        arguments << qMakePair(QString(Arg::TransactionSession), QVariant(session));
    }
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Configure, arguments, context, [done](const SSHSettings::ActionResult &result) {
        namespace Reply = SSHSettings::Protocol::Reply;
        Review review;
        review.ok = result.ok;
        if (!result.ok) {
            review.reason = SSHSettings::failureReason(result);
            done(review);
            return;
        }
        const QVariantMap diffs = result.data.value(Reply::FileDiffs).toMap();
        for (auto it = diffs.cbegin(); it != diffs.cend(); ++it) {
            review.diffs.insert(it.key(), it.value().toByteArray());
        }
        review.restarts = result.data.value(Reply::Restarts).toBool();
        const QVariantList lockouts = result.data.value(Reply::Lockouts).toList();
        for (const QVariant &lockout : lockouts) {
            review.lockouts.append({lockout.toMap().value(Reply::LockoutKind).toString(), lockout.toMap().value(Reply::LockoutDetail).toString()});
        }
        review.base = result.data.value(Reply::Base).toString();
        done(review);
    });
}

void SSHManager::apply(SSHConfigurationTypeId type,
                       const Changes &changes,
                       int revertAfter,
                       const QString &base,
                       QObject *context,
                       std::function<void(const Applied &)> done,
                       const SSHSettings::ActionArguments &block,
                       const QString &session)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments = transaction(type, changes, block);
    if (type == Server) {
        arguments << qMakePair(QString(Arg::TransactionRestart), QVariant(true));
        if (revertAfter > 0) {
            arguments << qMakePair(QString(Arg::TransactionRevertAfter), QVariant(revertAfter));
        }
    }
    if (!base.isEmpty()) {
        arguments << qMakePair(QString(Arg::TransactionBase), QVariant(base));
    }
    if (!session.isEmpty() && type == Server) {
        arguments << qMakePair(QString(Arg::TransactionSession), QVariant(session));
    }
    // The reply carries what was written and verified: no read follows. A security fix's or host key's reply has its own.
    const bool own = std::any_of(block.cbegin(), block.cend(), [](const auto &argument) {
        return argument.first == Arg::AuditFix || argument.first == Arg::AuditFixAll || argument.first == Arg::HostKeyOperation;
    });
    if (!own) {
        arguments << qMakePair(QString(Arg::TransactionReadKeywords), QVariant(readKeywords(type)));
    }
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Configure, arguments, context, [done](const SSHSettings::ActionResult &result) {
        namespace Reply = SSHSettings::Protocol::Reply;
        Applied applied;
        applied.ok = result.ok;
        applied.outcomeUnknown = result.outcomeUnknown;
        if (!result.ok) {
            qCWarning(SSHSETTINGS_CORE) << "Failed to apply the SSH settings:" << result.errorText;
            applied.reason = SSHSettings::failureReason(result);
            applied.baseChanged = result.errorText.startsWith(SSHSettings::Protocol::ChangedSinceReview);
            done(applied);
            return;
        }
        applied.token = result.data.value(Reply::Token).toString();
        applied.joinedPending = result.data.value(Reply::JoinedPending).toBool();
        applied.unanswered = result.data.value(Reply::Unanswered).toStringList();
        applied.skipped = result.data.value(Reply::AuditSkipped).toList();
        if (result.data.contains(Reply::Origins)) {
            applied.values = result.data;
        }
        done(applied);
    });
}

void SSHManager::keepChange(const QString &token, QObject *context, SSHSettings::ActionDone done) const
{
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Configure, {{SSHSettings::Protocol::Arg::ConfirmToken, token}}, context, std::move(done));
}

void SSHManager::revertChange(const QString &token, QObject *context, SSHSettings::ActionDone done) const
{
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Configure, {{SSHSettings::Protocol::Arg::RevertToken, token}}, context, std::move(done));
}

QVariantMap SSHManager::origin(SSHConfigurationTypeId type, const QString &keyword) const
{
    return m_values.value(type).value(SSHSettings::Protocol::Reply::Origins).toMap().value(keyword.toLower()).toMap();
}

void SSHManager::restoreFileConfiguration(SSHConfigurationTypeId type, bool localBackup, QObject *context, SSHSettings::ActionDone done) const
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Restore,
                                     {{Arg::RestoreType, static_cast<int>(type)}, {Arg::RestoreFromBackup, localBackup}},
                                     context,
                                     [done](const SSHSettings::ActionResult &result) {
                                         if (!result.ok) {
                                             qCWarning(SSHSETTINGS_CORE) << "Failed to restore SSH configuration. Error:" << result.errorText;
                                         }
                                         done(result);
                                     });
}

namespace
{
// A read of one part of @p type's state, named by @p part (a bool argument).
void readPart(SSHConfigurationTypeId type, const QString &part, QObject *context, SSHSettings::ActionDone done)
{
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Read,
                                     {{SSHSettings::Protocol::Arg::ReadType, static_cast<int>(type)}, {part, true}},
                                     context,
                                     std::move(done));
}
}

void SSHManager::readBlocks(SSHConfigurationTypeId type, QObject *context, SSHSettings::ActionDone done) const
{
    readPart(type, SSHSettings::Protocol::Arg::ReadBlocks, context, std::move(done));
}

void SSHManager::readAudit(QObject *context, SSHSettings::ActionDone done) const
{
    readPart(Server, SSHSettings::Protocol::Arg::Audit, context, std::move(done));
}

void SSHManager::readHostKeys(QObject *context, SSHSettings::ActionDone done) const
{
    readPart(Server, SSHSettings::Protocol::Arg::ReadHostKeys, context, std::move(done));
}

void SSHManager::effective(const QString &user, const QString &address, const QString &host, QObject *context, SSHSettings::ActionDone done) const
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments{{Arg::ReadType, static_cast<int>(Server)}, {Arg::EffectiveUser, user}, {Arg::EffectiveAddress, address}};
    if (!host.isEmpty()) {
        arguments << qMakePair(QString(Arg::EffectiveHost), QVariant(host));
    }
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Read, arguments, context, std::move(done));
}

ServerState SSHManager::serverState()
{
    return ServerState(nullptr);
}
