// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoption.h"
#include "core_debug.h"

#include <KLocalizedString>

namespace
{
using Kind = OptionCatalog::ValueKind;

OptionCatalog::ConfigType catalogType(SSHConfigurationTypeId type)
{
    return type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server;
}

struct Row {
    SSHConfigurationTypeId type;
    PageTab tab;
    const char *keywords; ///< blank-separated: several are shown by one editor
    QString displayName;
    QString description;
    PageEditor editor = PageEditor::OfKind;
    QString unit = {};
    QString zeroText = {};
};

// The page's own part of each option: where it is shown and what it says. Kind, default and range are the keyword table's.
QList<Row> rows()
{
    const QString seconds = i18nc("@item:valuesuffix seconds", " s");
    return {
        {Server, PageTab::General, "Port", i18n("Port"), i18n("The port on which the service will be located.")},
        {Server,
         PageTab::General,
         "LoginGraceTime",
         i18n("Time to log in"),
         i18n("The time, in seconds, a client has to complete authentication after connecting; 0 means no limit."),
         PageEditor::OfKind,
         seconds,
         i18nc("@item:inlistbox no time limit", "No limit")},
        {Server, PageTab::General, "MaxSessions", i18n("Sessions per connection"), i18n("The maximum number of open sessions allowed per network connection.")},
        {Server,
         PageTab::General,
         "PermitTunnel",
         i18n("Tunnel device forwarding"),
         i18n("Determining the allowed tunneling level for SSH connections."),
         PageEditor::TunnelMode},
        {Server,
         PageTab::General,
         "AddressFamily",
         i18n("Address family"),
         i18n("The type of network addresses that the server will listen on."),
         PageEditor::AddressFamily},
        {Server,
         PageTab::General,
         "X11Forwarding",
         i18n("Allow X11 forwarding"),
         i18n("Redirect the graphical interface of applications from a remote server to the local machine.")},
        {Server, PageTab::General, "ListenAddress", i18n("Listening addresses"), i18n("Specifies the local addresses sshd should listen on")},
        {Server,
         PageTab::General,
         "AllowUsers DenyUsers AllowGroups DenyGroups",
         i18n("User and group access"),
         i18n("List of group names or usernames that are prohibited from logging in via SSH.")},
        // Read as sshd prints it ("without-password" for prohibit-password); shown as a three-state box.
        {Server, PageTab::Authentication, "PermitRootLogin", i18n("Allow root to log in"), i18n("Indicates whether root can login using ssh.")},
        {Server,
         PageTab::Authentication,
         "PermitEmptyPasswords",
         i18n("Allow empty passwords"),
         i18n("Users with empty passwords will be able to log in via SSH. This is considered an unsafe practice.")},
        {Server,
         PageTab::Authentication,
         "UsePAM",
         i18n("Enable PAM authentication"),
         i18n("Enables PAM authentication using ChallengeResponseAuthentication and PasswordAuthentication.")},
        {Server,
         PageTab::Authentication,
         "GSSAPIAuthentication",
         i18n("Allow authentication by GSSAPI"),
         i18n("Specifies whether user authentication based on GSSAPI is allowed.")},
        {Server,
         PageTab::Authentication,
         "HostbasedAuthentication",
         i18n("Host-based authentication (rhosts)"),
         i18n("Indicates whether rhosts or /etc/hosts.equiv authentication is allowed along with successful public key client host "
              "authentication (host-based authentication).")},
        {Server, PageTab::Authentication, "KbdInteractiveAuthentication", i18n("Allow keyboard-interactive authentication"), i18n("Using challenge-response.")},
        {Server,
         PageTab::Authentication,
         "KerberosAuthentication",
         i18n("Check passwords with Kerberos"),
         i18n("Indicates whether the user-supplied password for PasswordAuthentication will be validated through the Kerberos KDC. To use "
              "this option, the server requires a Kerberos servtab that allows the identity of the KDC to be verified.")},
        {Server, PageTab::Authentication, "PasswordAuthentication", i18n("Allow password authentication"), i18n("Allow password authentication")},
        {Server,
         PageTab::Authentication,
         "IgnoreUserKnownHosts",
         i18n("Ignore user's known_hosts file"),
         i18n("Determines whether the server should ignore the known_hosts file that is located in the user's home directory.")},
        {Server,
         PageTab::Authentication,
         "IgnoreRhosts",
         i18n("Ignore user's .rhosts and .shosts files"),
         i18n("Determines whether the server should ignore the user's .rhosts and .shosts file.")},
        {Server,
         PageTab::Authentication,
         "PubkeyAuthentication",
         i18n("Allow authentication using SSH keys"),
         i18n("The private key is stored on your PC, and the public key is added to the server in the .ssh/authorized_keys file in the "
              "directory of the desired user.")},
        {Server,
         PageTab::Authentication,
         "AuthorizedKeysFile",
         i18n("Authorized keys"),
         i18n("Authorized keys determine which users are allowed to log on to the server using public key authentication in SSH.")},
        {Server,
         PageTab::Other,
         "UseDNS",
         i18n("Use DNS"),
         i18n("Should sshd look up the remote hostname and check if the resolved hostname for the remote IP address matches the same IP address.")},
        {Server,
         PageTab::Other,
         "TCPKeepAlive",
         i18n("Send TCP keep-alive messages"),
         i18n("Whether the system should send TCP keepalive messages to the other side.")},
        {Server,
         PageTab::Other,
         "PrintLastLog",
         i18n("Show the time of the last login"),
         i18n("Enables the display of the last login time upon SSH connection.")},
        {Server,
         PageTab::Other,
         "PrintMotd",
         i18n("Show the message of the day"),
         i18n("Determines whether the system will display the 'Message of the Day' (MOTD) when a user logs in via SSH.")},
        {Server, PageTab::Other, "Subsystem", i18n("Use SFTP subsystem"), i18n("Enabling the SFTP subsystem allows you to securely copy files between hosts.")},
        {Server,
         PageTab::Other,
         "Banner",
         i18n("Banner file"),
         i18n("Specifies the path to the file containing the welcome message or information displayed when logging in via SSH.")},
        {Client, PageTab::Client, "Port", i18n("Port on remote hosts"), i18n("Port number to connect on the remote host.")},
        {Client,
         PageTab::Client,
         "ServerAliveCountMax",
         i18n("Unanswered keep-alives before disconnecting"),
         i18n("The number of keep-alive messages ssh sends without an answer from the server. When it is reached, ssh disconnects "
              "and ends the session.")},
        {Client,
         PageTab::Client,
         "ServerAliveInterval",
         i18n("Keep-alive interval"),
         i18n("Sets the timeout interval in seconds after which, if no data has been received from the server, ssh will send a message over "
              "an encrypted channel to request a response from the server. The default value is 0, which means these messages will not be "
              "sent to the server."),
         PageEditor::OfKind,
         seconds,
         i18nc("@item:inlistbox keep-alive messages", "Off")},
    };
}
}

const OptionCatalog::Option &SSHOption::row() const
{
    const OptionCatalog::Option *option = OptionCatalog::findOption(catalogType(type), keyword());
    Q_ASSERT(option); // every keyword of the page is in the table, as pageOptions() checks
    return *option;
}

QVariant SSHOption::pageValue(OptionCatalog::ValueKind kind, const QVariant &value)
{
    const bool isBool = value.userType() == QMetaType::Bool;
    switch (kind) {
    case Kind::Bool:
    case Kind::Subsystem:
        return isBool ? value.toBool() : value.toString().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    case Kind::Port:
        // Several Port lines: their ports, blank-separated, as read.
        return value.toString().trimmed().contains(QLatin1Char(' ')) ? QVariant(value.toString().simplified()) : QVariant(value.toInt());
    case Kind::Number:
    case Kind::Interval:
        return value.toInt();
    case Kind::ListenAddresses:
    case Kind::KeyFilePatterns:
    case Kind::AccessPatterns:
        return value.userType() == QMetaType::QStringList ? value.toStringList() : value.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    default:
        // A yes/no with more words (PermitRootLogin): the booleans an editor writes are its yes and no.
        return isBool ? QString::fromLatin1(value.toBool() ? "yes" : "no") : value.toString();
    }
}

SSHOption SSHOption::withValues(const QVariantMap &reply) const
{
    SSHOption copy = *this;
    for (const QString &name : keywords) {
        const auto found = reply.constFind(name.toLower());
        if (found != reply.constEnd()) {
            copy.values.insert(name, pageValue(OptionCatalog::findOption(catalogType(type), name)->kind, found.value()));
        }
    }
    return copy;
}

SSHOption SSHOption::withValue(const QVariant &value) const
{
    return withValues({{keyword().toLower(), value}});
}

QList<SSHOption> SSHOption::pageOptions()
{
    QList<SSHOption> options;
    const QList<Row> table = rows();
    for (const Row &row : table) {
        SSHOption option{row.type,
                         QString::fromLatin1(row.keywords).split(QLatin1Char(' ')),
                         row.tab,
                         row.editor,
                         row.displayName,
                         row.description,
                         row.unit,
                         row.zeroText,
                         {}};
        bool known = true;
        for (const QString &name : std::as_const(option.keywords)) {
            const OptionCatalog::Option *entry = OptionCatalog::findOption(catalogType(row.type), name);
            known = known && entry && entry->keyword == name;
            if (known) {
                option.values.insert(name, pageValue(entry->kind, entry->defaultValue));
            }
        }
        // A keyword of the page outside the keyword table, or not spelt as there, is a mistake of this table.
        Q_ASSERT_X(known, "SSHOption::pageOptions", row.keywords);
        if (!known) {
            qCWarning(SSHSETTINGS_CORE) << "Not a keyword of the keyword table:" << row.keywords;
            continue;
        }
        options.append(option);
    }
    return options;
}

SSHOption SSHOption::pageOption(SSHConfigurationTypeId type, const QString &keyword)
{
    const QList<SSHOption> options = pageOptions();
    for (const SSHOption &option : options) {
        if (option.type == type && option.keywords.contains(keyword)) {
            return option;
        }
    }
    return {};
}

QStringList SSHOption::pageKeywords(SSHConfigurationTypeId type)
{
    QStringList keywords;
    const QList<SSHOption> options = pageOptions();
    for (const SSHOption &option : options) {
        if (option.type == type) {
            keywords += option.keywords;
        }
    }
    return keywords;
}
