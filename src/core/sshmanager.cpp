// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmanager.h"
#include "core_debug.h"
#include "sshoptionbuilder.h"

#include "privilegedaction.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QDebug>

namespace
{
void deleteOptions(const SSHOptions &options)
{
    for (const QPointer<SSHOption> &option : options) {
        if (!option) {
            continue;
        }
        const SSHOptions subOptions = option->subOptions();
        for (const QPointer<SSHOption> &subOption : subOptions) {
            delete subOption.data();
        }
        delete option.data();
    }
}
}

SSHManager::SSHManager(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SSHCodeError>("SSHCodeError");
}

SSHManager::~SSHManager()
{
    deleteOptions(m_options.value(Client));
    deleteOptions(m_options.value(Server));
}

void SSHManager::initializeConfigurations()
{
    buildServerOptions();
    buildClientOptions();
}

void SSHManager::buildServerOptions()
{
    SSHOptionBuilder builder(Server, nullptr);
    builder.buildSSHOption(SSHOption::Port, QStringLiteral("Port"), i18n("Port"), i18n("The port on which the service will be located."));
    builder.buildSSHOption(SSHOption::MaxSessions,
                           QStringLiteral("MaxSessions"),
                           i18n("Sessions per connection"),
                           i18n("The maximum number of open sessions allowed per network connection."));
    builder.buildSSHOption(
        SSHOption::UseDNS,
        QStringLiteral("UseDNS"),
        i18n("Use DNS"),
        i18n("Should sshd look up the remote hostname and check if the resolved hostname for the remote IP address matches the same IP address."));
    builder.buildSSHOption(SSHOption::PubkeyAuthentication,
                           QStringLiteral("PubkeyAuthentication"),
                           i18n("Allow authentication using SSH keys"),
                           i18n("The private key is stored on your PC, and the public key is added to the server in the .ssh/authorized_keys file in the "
                                "directory of the desired user."));
    builder.buildSSHOption(SSHOption::KerberosAuthentication,
                           QStringLiteral("KerberosAuthentication"),
                           i18n("Check passwords with Kerberos"),
                           i18n("Indicates whether the user-supplied password for PasswordAuthentication will be validated through the Kerberos KDC. To use "
                                "this option, the server requires a Kerberos servtab that allows the identity of the KDC to be verified."));
    builder.buildSSHOption(SSHOption::UsePAM,
                           QStringLiteral("UsePAM"),
                           i18n("Enable PAM authentication"),
                           i18n("Enables PAM authentication using ChallengeResponseAuthentication and PasswordAuthentication."));
    builder.buildSSHOption(SSHOption::KbdInteractiveAuthentication,
                           QStringLiteral("KbdInteractiveAuthentication"),
                           i18n("Allow keyboard-interactive authentication"),
                           i18n("Using challenge-response."));
    builder.buildSSHOption(SSHOption::PasswordAuthentication,
                           QStringLiteral("PasswordAuthentication"),
                           i18n("Allow password authentication"),
                           i18n("Allow password authentication"));
    builder.buildSSHOption(SSHOption::TCPKeepAlive,
                           QStringLiteral("TCPKeepAlive"),
                           i18n("Send TCP keep-alive messages"),
                           i18n("Whether the system should send TCP keepalive messages to the other side."));
    builder.buildSSHOption(SSHOption::HostbasedAuthentication,
                           QStringLiteral("HostbasedAuthentication"),
                           i18n("Host-based authentication (rhosts)"),
                           i18n("Indicates whether rhosts or /etc/hosts.equiv authentication is allowed along with successful public key client host "
                                "authentication (host-based authentication)."));
    builder.buildSSHOption(SSHOption::GSSAPIAuthentication,
                           QStringLiteral("GSSAPIAuthentication"),
                           i18n("Allow authentication by GSSAPI"),
                           i18n("Specifies whether user authentication based on GSSAPI is allowed."));
    // Read as sshd prints it ("without-password" for prohibit-password); shown as a three-state box.
    builder.buildSSHOption(SSHOption::PermitRootLogin,
                           QStringLiteral("PermitRootLogin"),
                           i18n("Allow root to log in"),
                           i18n("Indicates whether root can login using ssh."));
    builder.buildSSHOption(SSHOption::ListenAddress,
                           QStringLiteral("ListenAddress"),
                           i18n("Listening addresses"),
                           i18n("Specifies the local addresses sshd should listen on"));
    builder.buildSSHOption(SSHOption::X11Forwarding,
                           QStringLiteral("X11Forwarding"),
                           i18n("Allow X11 forwarding"),
                           i18n("Redirect the graphical interface of applications from a remote server to the local machine."));
    builder.buildSSHOption(SSHOption::PermitEmptyPasswords,
                           QStringLiteral("PermitEmptyPasswords"),
                           i18n("Allow empty passwords"),
                           i18n("Users with empty passwords will be able to log in via SSH. This is considered an unsafe practice."));
    builder.buildSSHOption(SSHOption::IgnoreUserKnownHosts,
                           QStringLiteral("IgnoreUserKnownHosts"),
                           i18n("Ignore user's known_hosts file"),
                           i18n("Determines whether the server should ignore the known_hosts file that is located in the user's home directory."));
    builder.buildSSHOption(SSHOption::IgnoreRhosts,
                           QStringLiteral("IgnoreRhosts"),
                           i18n("Ignore user's .rhosts and .shosts files"),
                           i18n("Determines whether the server should ignore the user's .rhosts and .shosts file."));
    builder.buildSSHOption(SSHOption::LoginGraceTime,
                           QStringLiteral("LoginGraceTime"),
                           i18n("Time to log in"),
                           i18n("The time, in seconds, a client has to complete authentication after connecting; 0 means no limit."));
    builder.buildSSHOption(SSHOption::AddressFamily,
                           QStringLiteral("AddressFamily"),
                           i18n("Address family"),
                           i18n("The type of network addresses that the server will listen on."));
    builder.buildSSHOption(SSHOption::PrintLastLog,
                           QStringLiteral("PrintLastLog"),
                           i18n("Show the time of the last login"),
                           i18n("Enables the display of the last login time upon SSH connection."));
    builder.buildSSHOption(SSHOption::PrintMotd,
                           QStringLiteral("PrintMotd"),
                           i18n("Show the message of the day"),
                           i18n("Determines whether the system will display the 'Message of the Day' (MOTD) when a user logs in via SSH."));
    builder.buildSSHOption(SSHOption::PermitTunnel,
                           QStringLiteral("PermitTunnel"),
                           i18n("Tunnel device forwarding"),
                           i18n("Determining the allowed tunneling level for SSH connections."));
    builder.buildSSHOption(SSHOption::Subsystem,
                           QStringLiteral("Subsystem"),
                           i18n("Use SFTP subsystem"),
                           i18n("Enabling the SFTP subsystem allows you to securely copy files between hosts."));
    builder.buildSSHOption(SSHOption::Banner,
                           QStringLiteral("Banner"),
                           i18n("Banner file"),
                           i18n("Specifies the path to the file containing the welcome message or information displayed when logging in via SSH."));
    builder.buildSSHOption(SSHOption::AuthorizedKeysFile,
                           QStringLiteral("AuthorizedKeysFile"),
                           i18n("Authorized keys"),
                           i18n("Authorized keys determine which users are allowed to log on to the server using public key authentication in SSH."));

    SSHOptionBuilder subBuilder(Server, nullptr);
    subBuilder.buildSSHOption(SSHOption::AllowUsers,
                              QStringLiteral("AllowUsers"),
                              i18n("Allowed users"),
                              i18n("List of usernames that are allowed to log in via SSH."));
    subBuilder.buildSSHOption(SSHOption::DenyUsers,
                              QStringLiteral("DenyUsers"),
                              i18n("Banned users"),
                              i18n("List of usernames that are prohibited from logging in via SSH."));
    subBuilder.buildSSHOption(SSHOption::AllowGroups,
                              QStringLiteral("AllowGroups"),
                              i18n("Allowed groups"),
                              i18n("List of group names that are allowed to log in via SSH."));
    subBuilder.buildSSHOption(SSHOption::DenyGroups,
                              QStringLiteral("DenyGroups"),
                              i18n("Banned groups"),
                              i18n("List of group names that are prohibited from logging in via SSH."));
    SSHOptions subOptions;
    subBuilder.moveOptions(subOptions);

    builder.buildGroup(SSHOption::AllowDenyUsersGroups,
                       QStringLiteral("AllowDenyUsersGroups"),
                       i18n("User and group access"),
                       i18n("List of group names or usernames that are prohibited from logging in via SSH."),
                       subOptions);

    SSHOptions options;
    builder.moveOptions(options);
    deleteOptions(m_options.value(Server));
    m_options.insert(Server, options);
}

void SSHManager::buildClientOptions()
{
    SSHOptionBuilder builder(Client, nullptr);
    builder.buildSSHOption(SSHOption::ClientPort, QStringLiteral("Port"), i18n("Port on remote hosts"), i18n("Port number to connect on the remote host."));
    builder.buildSSHOption(SSHOption::ServerAliveInterval,
                           QStringLiteral("ServerAliveInterval"),
                           i18n("Keep-alive interval"),
                           i18n("Sets the timeout interval in seconds after which, if no data has been received from the server, ssh will send a message over "
                                "an encrypted channel to request a response from the server. The default value is 0, which means these messages will not be "
                                "sent to the server."));
    builder.buildSSHOption(SSHOption::ServerAliveCountMax,
                           QStringLiteral("ServerAliveCountMax"),
                           i18n("Unanswered keep-alives before disconnecting"),
                           i18n("The number of keep-alive messages ssh sends without an answer from the server. When it is reached, ssh disconnects "
                                "and ends the session."));
    SSHOptions options;
    builder.moveOptions(options);
    deleteOptions(m_options.value(Client));
    m_options.insert(Client, options);
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
                                         {{Arg::ReadKeywords, getOptionNames(type)}, {Arg::ReadType, static_cast<int>(type)}},
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
    m_origins[type] = reply.value(SSHSettings::Protocol::Reply::Origins).toMap();
    const SSHOptions options = m_options.value(type);
    for (const QPointer<SSHOption> &option : options) {
        setOptionValueFromRaw(option, reply);
    }
}

namespace
{
SSHSettings::ActionArguments transaction(SSHConfigurationTypeId type, const SSHManager::Changes &changes)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    QVariantMap map;
    for (const auto &change : changes) {
        if (change.first) {
            map.insert(change.first->name(), change.second);
        }
    }
    return {{Arg::TransactionType, static_cast<int>(type)}, {Arg::TransactionChanges, map}};
}
}

void SSHManager::review(SSHConfigurationTypeId type,
                        const Changes &changes,
                        const QString &session,
                        QObject *context,
                        std::function<void(const Review &)> done) const
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments = transaction(type, changes);
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
                       std::function<void(const Applied &)> done)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionArguments arguments = transaction(type, changes);
    if (type == Server) {
        arguments << qMakePair(QString(Arg::TransactionRestart), QVariant(true));
        if (revertAfter > 0) {
            arguments << qMakePair(QString(Arg::TransactionRevertAfter), QVariant(revertAfter));
        }
    }
    if (!base.isEmpty()) {
        arguments << qMakePair(QString(Arg::TransactionBase), QVariant(base));
    }
    // The reply carries what was written and verified: no read follows.
    arguments << qMakePair(QString(Arg::TransactionReadKeywords), QVariant(getOptionNames(type)));
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
    return m_origins.value(type).value(keyword.toLower()).toMap();
}

void SSHManager::setOptionValueFromRaw(QPointer<SSHOption> option, const QMap<QString, QVariant> &raw) const
{
    if (!option) {
        return;
    }
    const QString key = option->name().toLower();
    if (option->hasSubOptions()) {
        setSubOptionsFromRaw(option, raw);
        return;
    }
    const auto it = raw.constFind(key);
    if (it == raw.constEnd()) {
        qCWarning(SSHSETTINGS_CORE) << QStringLiteral("Failed to load value for option '%1'").arg(key);
        return;
    }
    option->setValue(it.value());
}

void SSHManager::setSubOptionsFromRaw(QPointer<SSHOption> option, const QMap<QString, QVariant> &raw) const
{
    if (!option || option->id() != SSHOption::AllowDenyUsersGroups) {
        return;
    }
    SSHOptions present;
    const SSHOptions subOptions = option->subOptions();
    for (const QPointer<SSHOption> &subOption : subOptions) {
        if (!subOption) {
            continue;
        }
        const auto it = raw.constFind(subOption->name().toLower());
        if (it == raw.constEnd()) {
            continue;
        }
        subOption->setValue(it.value().toStringList());
        present.append(subOption);
    }
    option->setSubOptions(present);
}

QStringList SSHManager::getOptionNames(SSHConfigurationTypeId type) const
{
    QStringList names;
    const SSHOptions options = m_options.value(type);
    for (const QPointer<SSHOption> &option : options) {
        if (!option) {
            continue;
        }
        if (!option->hasSubOptions()) {
            names.append(option->name());
            continue;
        }
        const SSHOptions subOptions = option->subOptions();
        for (const QPointer<SSHOption> &subOption : subOptions) {
            if (subOption) {
                names.append(subOption->name());
            }
        }
    }
    return names;
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

QPointer<SSHOption> SSHManager::findOptionById(SSHConfigurationTypeId type, SSHOption::Id id) const
{
    const SSHOptions options = m_options.value(type);
    for (const QPointer<SSHOption> &option : options) {
        if (option && option->id() == id) {
            return option;
        }
    }
    return nullptr;
}

SSHOptions SSHManager::allOptions() const
{
    return m_options.value(Server) + m_options.value(Client);
}

QMap<SSHConfigurationTypeId, SSHOptions> SSHManager::sshOptions() const
{
    return m_options;
}

QString SSHManager::currentServerPort() const
{
    const QPointer<SSHOption> port = findOptionById(Server, SSHOption::Port);
    return port ? port->value().toString() : QString();
}

QStringList SSHManager::currentLisstenAddresses() const
{
    const QPointer<SSHOption> addresses = findOptionById(Server, SSHOption::ListenAddress);
    return addresses ? addresses->value().toStringList() : QStringList();
}

ServerState SSHManager::serverState()
{
    return ServerState(nullptr);
}

PermitTunnelId SSHManager::tunnelIdByString(const QString &text)
{
    if (text == QLatin1String("no")) {
        return TunnelNo;
    }
    if (text == QLatin1String("yes")) {
        return TunnelYes;
    }
    if (text == QLatin1String("point-to-point")) {
        return TunnelPointToPoint;
    }
    if (text == QLatin1String("ethernet")) {
        return TunnelEthernet;
    }
    return TunnelUnknown;
}

QString SSHManager::tunnelStringById(PermitTunnelId id)
{
    switch (id) {
    case TunnelNo:
        return QStringLiteral("no");
    case TunnelYes:
        return QStringLiteral("yes");
    case TunnelPointToPoint:
        return QStringLiteral("point-to-point");
    case TunnelEthernet:
        return QStringLiteral("ethernet");
    case TunnelUnknown:
        break;
    }
    return {};
}
