// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serverstate.h"
#include "sshtypes.h"

#include "privilegedaction.h"

#include <QMap>
#include <QObject>
#include <QVariantMap>

#include <functional>

/**
 * Reads both configurations through the helper and writes changes to them, each configuration's as one
 * transaction. Keeps the last values read of each; the page's options take theirs from it.
 */
class SSHManager : public QObject
{
    Q_OBJECT
public:
    explicit SSHManager(QObject *parent = nullptr);
    ~SSHManager() override;

    /// Reads both configurations, then says when the server is stopped; @p done follows the last answer.
    void loadValueOptions(QObject *context, std::function<void()> done = {});
    /// Reads @p types anew, one request each; @p done follows the last answer. Failures are signalled by error().
    void loadConfigurations(const QList<SSHConfigurationTypeId> &types, QObject *context, std::function<void()> done = {});
    /// Keeps a read reply (or an apply reply that carries the values) as the values of @p type; sends valuesRead().
    void takeReadValues(SSHConfigurationTypeId type, const QVariantMap &reply);
    /// The last read reply of @p type: lower-case keyword → value, with Protocol::Reply::Origins and Version; empty before one.
    QVariantMap readValues(SSHConfigurationTypeId type) const;
    /// The keywords a read of @p type names: the page's first, then (see ReadEveryKeyword) every other one the installed OpenSSH
    /// knows; the algorithm lists only once loadAlgorithms() asked for them.
    QStringList readKeywords(SSHConfigurationTypeId type) const;
    /**
     * Reads the algorithm lists of @p type (the keywords of the Algorithms kind, with Protocol::Reply::Algorithms, what this
     * OpenSSH supports) into readValues(), once: asking costs the helper six runs of `ssh -Q`, which only what shows the
     * lists needs. The reads after this one name them too. @p done(true) follows an answer taken; no valuesRead() is sent.
     */
    void loadAlgorithms(SSHConfigurationTypeId type, QObject *context, std::function<void(bool)> done);
    bool algorithmsAsked(SSHConfigurationTypeId type) const
    {
        return m_algorithmsAsked.contains(type);
    }
    /// Restores a configuration; Protocol::Reply::Previous in the result's data says where the replaced file is kept.
    void restoreFileConfiguration(SSHConfigurationTypeId type, bool localBackup, QObject *context, SSHSettings::ActionDone done) const;

    /// Changes of one configuration: keyword (as in the keyword table) → new value in the shape the helper takes
    /// (QString, QStringList, bool or int); an empty QStringList removes the keyword's lines so that its default applies.
    using Changes = QVariantMap;
    /// What a transaction would write, as the helper's dry run of it says.
    struct Review {
        bool ok = false;
        QString reason;
        QMap<QString, QByteArray> diffs; ///< file → unified diff
        bool restarts = false;
        QList<QPair<QString, QString>> lockouts; ///< kind ("access", "authentication", "listening") and detail
        QString base; ///< the digest of the files the dry run read, which the apply names
    };
    /// The dry run of apply(); @p session ($SSH_CONNECTION, may be empty) adds the lockout warnings. @p block names a block
    /// and its operation (Protocol::Arg::BlockIndex, BlockOperation, BlockCriteria), @p changes are then its body; or
    /// the fixes of the security check (Arg::AuditFix, AuditFixAll) or a host key's operation (Arg::HostKeyOperation…).
    void review(SSHConfigurationTypeId type,
                const Changes &changes,
                const QString &session,
                QObject *context,
                std::function<void(const Review &)> done,
                const SSHSettings::ActionArguments &block = {}) const;
    /// What the helper said of an apply.
    struct Applied {
        bool ok = false;
        QString reason;
        QString token; ///< names the change while its countdown runs
        bool outcomeUnknown = false; ///< no answer tied to the request came: the change may or may not be written
        bool baseChanged = false; ///< refused, as the files are no longer those of the review
        bool joinedPending = false; ///< the change joined changes still waiting to be kept; the token names them all
        QStringList unanswered; ///< "address port" sockets that did not answer with an SSH banner after the restart
        QVariantMap values; ///< the values written and verified, shaped as a read reply (for takeReadValues()); empty if none came
        QVariantList skipped; ///< a security fix's Protocol::Reply::AuditSkipped: the fixes left out, each with its reason
    };
    /**
     * Writes @p changes together, all or nothing; a server change restarts a running sshd. With
     * @p revertAfter seconds the helper reverts it then unless keepChange() is called. The change is
     * refused when the files are no longer those of the review that gave @p base (empty: no review).
     * The reply carries the values of every keyword of @p type as written, but that of a security fix or a host key's
     * operation (see review()), which are read afterwards. A security fix repeats the lockout review of @p session
     * ($SSH_CONNECTION, may be empty), so that what its dry run left out is left out again.
     */
    void apply(SSHConfigurationTypeId type,
               const Changes &changes,
               int revertAfter,
               const QString &base,
               QObject *context,
               std::function<void(const Applied &)> done,
               const SSHSettings::ActionArguments &block = {},
               const QString &session = QString());
    /// Keeps, or reverts, the pending changes named by @p token.
    void keepChange(const QString &token, QObject *context, SSHSettings::ActionDone done) const;
    void revertChange(const QString &token, QObject *context, SSHSettings::ActionDone done) const;
    /// Where the value of @p keyword came from at the last read: Protocol::Reply::OriginFile, OriginLine, OriginOverrides.
    QVariantMap origin(SSHConfigurationTypeId type, const QString &keyword) const;

    /// Reads the blocks of @p type: Protocol::Reply::Blocks in reading order; @p done gets the reply (ok false and a reason on failure).
    void readBlocks(SSHConfigurationTypeId type, QObject *context, SSHSettings::ActionDone done) const;
    /// What a connection of @p user from @p address (and @p host, may be empty) gets from the server: a read reply with
    /// Protocol::Reply::AppliedBlocks and Verdict.
    void effective(const QString &user, const QString &address, const QString &host, QObject *context, SSHSettings::ActionDone done) const;
    /// Reads the security check of the server's configuration: Protocol::Reply::Findings.
    void readAudit(QObject *context, SSHSettings::ActionDone done) const;
    /// Reads the server's host keys: Protocol::Reply::HostKeys.
    void readHostKeys(QObject *context, SSHSettings::ActionDone done) const;

    static ServerState serverState();

Q_SIGNALS:
    /// @p message names what failed; @p reason is the helper's why (may be empty).
    void error(const QString &message, SSHCodeError code, const QString &reason);
    /// readValues(@p type) holds new values.
    void valuesRead(SSHConfigurationTypeId type);

private:
    /// The read of one configuration; false (with error() sent) when it failed.
    bool takeReadReply(SSHConfigurationTypeId type, const SSHSettings::ActionResult &result);

    QMap<SSHConfigurationTypeId, QVariantMap> m_values;
    QList<SSHConfigurationTypeId> m_algorithmsAsked;
};
