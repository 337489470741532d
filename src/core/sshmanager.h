// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serverstate.h"
#include "sshoption.h"

#include "privilegedaction.h"

#include <QMap>
#include <QObject>
#include <QVariantMap>

#include <initializer_list>

/// Owns every option of both configurations, reads them through the helper and writes them back one by one.
class SSHManager : public QObject
{
    Q_OBJECT
public:
    explicit SSHManager(QObject *parent = nullptr);
    ~SSHManager() override;

    void initializeConfigurations(bool load);
    void loadValueOptions();
    void loadConfigurations(std::initializer_list<SSHConfigurationTypeId> types);
    QMap<QString, QVariant> rowConfigurationOptions(const SSHConfigurationTypeId &type);
    void setOptionValueFromRaw(QPointer<SSHOption> option, const QMap<QString, QVariant> &raw) const;
    void setSubOptionsFromRaw(QPointer<SSHOption> option, const QMap<QString, QVariant> &raw) const;
    QStringList getOptionNames(SSHConfigurationTypeId type) const;
    /// Restores a configuration; @p previous gets where the replaced file is kept, @p reason why it failed.
    /// @p unknown is set when no answer tied to the request came.
    bool restoreFileConfiguration(
        SSHConfigurationTypeId type, bool localBackup, QString *reason = nullptr, QString *previous = nullptr, bool *unknown = nullptr) const;

    /// Changed options of one configuration, each with its new value.
    using Changes = QList<QPair<QPointer<SSHOption>, QVariant>>;
    /// What a transaction would write, as the helper's dry run of it says.
    struct Review
    {
        bool ok = false;
        QString reason;
        QMap<QString, QByteArray> diffs; ///< file → unified diff
        bool restarts = false;
        QList<QPair<QString, QString>> lockouts; ///< kind ("access", "authentication", "listening") and detail
    };
    /// The dry run of apply(); @p session ($SSH_CONNECTION, may be empty) adds the lockout warnings.
    Review review(SSHConfigurationTypeId type, const Changes &changes, const QString &session) const;
    /**
     * Writes @p changes together, all or nothing; a server change restarts a running sshd. With
     * @p revertAfter seconds the helper reverts it then unless keepChange() is called; @p token names it.
     */
    /// What the helper said of an apply besides its token.
    struct ApplyDetails
    {
        bool outcomeUnknown = false; ///< no answer tied to the request came: the change may or may not be written
        bool joinedPending = false; ///< the change joined changes still waiting to be kept; the token names them all
        QStringList unanswered; ///< "address port" sockets that did not answer with an SSH banner after the restart
    };
    bool apply(SSHConfigurationTypeId type, const Changes &changes, int revertAfter, QString *token, QString *reason, ApplyDetails *details = nullptr);
    /// Keeps, or reverts, the pending changes named by @p token; @p unknown is set when the outcome is not known.
    bool keepChange(const QString &token, QString *reason, bool *unknown = nullptr) const;
    bool revertChange(const QString &token, QString *reason, bool *unknown = nullptr) const;
    /// Where the value of @p keyword came from at the last read: Protocol::Reply::OriginFile, OriginLine, OriginOverrides.
    QVariantMap origin(SSHConfigurationTypeId type, const QString &keyword) const;

    QPointer<SSHOption> findOptionById(SSHConfigurationTypeId type, SSHOption::Id id) const;
    SSHOptions allOptions() const;
    QMap<SSHConfigurationTypeId, SSHOptions> sshOptions() const;
    QString currentServerPort() const;
    QStringList currentLisstenAddresses() const;

    static ServerState serverState();
    static PermitTunnelId tunnelIdByString(const QString &text);
    static QString tunnelStringById(PermitTunnelId id);

Q_SIGNALS:
    /// @p message names what failed; @p reason is the helper's why (may be empty).
    void error(const QString &message, SSHCodeError code, const QString &reason);

private:
    void buildServerOptions();
    void buildClientOptions();

    QMap<SSHConfigurationTypeId, SSHOptions> m_options;
    QMap<SSHConfigurationTypeId, QVariantMap> m_origins;
};
