// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serverstate.h"
#include "sshoption.h"

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
    bool changeValueOption(SSHOption &option, const QVariant &value);
    bool restoreFileConfiguration(SSHConfigurationTypeId type, bool localBackup) const;

    QPointer<SSHOption> findOptionById(SSHConfigurationTypeId type, SSHOption::Id id) const;
    SSHOptions allOptions() const;
    QMap<SSHConfigurationTypeId, SSHOptions> sshOptions() const;
    QString currentServerPort() const;
    QStringList currentLisstenAddresses() const;

    static ServerState serverState();
    static PermitTunnelId tunnelIdByString(const QString &text);
    static QString tunnelStringById(PermitTunnelId id);

Q_SIGNALS:
    void error(const QString &message, SSHCodeError code);

private:
    void buildServerOptions();
    void buildClientOptions();

    QMap<SSHConfigurationTypeId, SSHOptions> m_options;
};
