// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshtypes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>

class SSHOption;
using SSHOptions = QList<QPointer<SSHOption>>;

/// One keyword of sshd_config or ssh_config with its texts, type, value and sub-options.
class SSHOption : public QObject
{
    Q_OBJECT
public:
    enum Id : int {
        Port = 0,
        MaxSessions = 1,
        UseDNS = 2,
        PubkeyAuthentication = 3,
        KerberosAuthentication = 4,
        UsePAM = 5,
        KbdInteractiveAuthentication = 6,
        PasswordAuthentication = 7,
        TCPKeepAlive = 8,
        HostbasedAuthentication = 9,
        GSSAPIAuthentication = 10,
        PermitRootLogin = 11,
        ListenAddress = 12,
        X11Forwarding = 13,
        PermitEmptyPasswords = 14,
        IgnoreUserKnownHosts = 15,
        IgnoreRhosts = 16,
        LoginGraceTime = 17,
        AddressFamily = 18,
        PrintLastLog = 19,
        PrintMotd = 20,
        PermitTunnel = 21,
        AllowUsers = 22,
        DenyUsers = 23,
        AllowGroups = 24,
        DenyGroups = 25,
        AllowDenyUsersGroups = 26,
        Subsystem = 27,
        Banner = 28,
        AuthorizedKeysFile = 29,
        ServerAliveInterval = 30,
        ServerAliveCountMax = 31,
        ClientPort = 32,
    };
    Q_ENUM(Id)

    SSHOption(SSHConfigurationTypeId configureId, QObject *parent);
    explicit SSHOption(QObject *parent = nullptr);
    SSHOption(const SSHOption &other);
    SSHOption(SSHOption &&other) noexcept;
    SSHOption &operator=(SSHOption other);
    ~SSHOption() override;

    friend void swap(SSHOption &first, SSHOption &second) noexcept;

    Id id() const;
    void setId(const Id &id);
    QString name() const;
    void setName(const QString &name);
    QString displayName() const;
    void setDisplayName(const QString &displayName);
    QString description() const;
    void setDescription(const QString &description);
    QMetaType::Type valueType() const;
    void setValueType(QMetaType::Type type);
    QVariant value() const;
    SSHConfigurationTypeId configureId() const;
    SSHOptions subOptions() const;
    bool hasSubOptions() const;

    /// "<type>_<keyword>", e.g. "Server_Port".
    QString nameWithConfigType() const;

    /// Stores the value converted to valueType() and always emits valueChanged(value).
    void setValue(const QVariant &value);
    void setSubOptions(const SSHOptions &subOptions);

Q_SIGNALS:
    void valueChanged(const QVariant &value);
    void subOptionsChanged(const SSHOptions &subOptions);

private:
    SSHConfigurationTypeId m_configureId = Undefined;
    Id m_id = static_cast<Id>(-1);
    QString m_name;
    QString m_displayName;
    QString m_description;
    QVariant m_value;
    QMetaType::Type m_valueType = QMetaType::UnknownType;
    SSHOptions m_subOptions;
};

Q_DECLARE_METATYPE(SSHOptions)
