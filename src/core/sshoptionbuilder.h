// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

/// Makes the options of one configuration type; owns them until moveOptions().
class SSHOptionBuilder : public QObject
{
    Q_OBJECT
public:
    SSHOptionBuilder(SSHConfigurationTypeId configureId, QObject *parent);
    ~SSHOptionBuilder() override;

    SSHConfigurationTypeId configureId() const;
    SSHOptions sshOptions() const;

    void buildSSHOption(SSHOption::Id id,
                        const QString &name,
                        const QString &displayName,
                        const QString &description,
                        const QMetaType::Type &valueType,
                        const QVariant &defaultValue,
                        const SSHOptions &subOptions = {},
                        bool tevSupported = true);
    void moveOptions(SSHOptions &out);

private:
    SSHConfigurationTypeId m_configureId;
    SSHOptions m_options;
};
