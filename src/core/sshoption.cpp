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
        {Server, PageTab::General, "Port", i18n("Port"), i18n("The TCP port on which the SSH server accepts connections.")},
        {Server,
         PageTab::General,
         "LoginGraceTime",
         i18n("Time to log in"),
         i18n("How long a client has to log in after connecting before the server closes the connection."),
         PageEditor::OfKind,
         seconds,
         i18nc("@item:inlistbox no time limit", "No limit")},
        {Server,
         PageTab::General,
         "MaxSessions",
         i18n("Sessions per connection"),
         i18n("How many shells, commands and file transfers one connection may have open at the same time.")},
        {Server,
         PageTab::General,
         "PermitTunnel",
         i18n("Tunnel device forwarding"),
         i18n("Whether clients may carry network traffic through a virtual network device on this computer (a VPN over SSH), and at which network layer."),
         PageEditor::TunnelMode},
        {Server,
         PageTab::General,
         "AddressFamily",
         i18n("Address family"),
         i18n("Which kinds of network addresses the server listens on: IPv4, IPv6 or both."),
         PageEditor::AddressFamily},
        {Server,
         PageTab::General,
         "X11Forwarding",
         i18n("Allow X11 forwarding"),
         i18n("Lets users start graphical applications on this computer and see their windows on their own display.")},
        {Server,
         PageTab::General,
         "ListenAddress",
         i18n("Listening addresses"),
         i18n("The addresses of this computer on which the server accepts connections. Without any, it accepts them on every address.")},
        {Server,
         PageTab::General,
         "AllowUsers DenyUsers AllowGroups DenyGroups",
         i18n("User and group access"),
         i18n("Which users and groups may log in, and from which addresses. Deny entries win over allow entries; once one user or group is allowed, everyone "
              "else is refused.")},
        // Read as sshd prints it; shown as a three-state box (partially checked: with a key only).
        {Server,
         PageTab::Authentication,
         "PermitRootLogin",
         i18n("Allow root to log in"),
         i18n("Whether the root account may log in directly. Partially checked lets root log in with a key but never with a password.")},
        {Server,
         PageTab::Authentication,
         "PermitEmptyPasswords",
         i18n("Allow empty passwords"),
         i18n("Lets accounts that have no password log in by password. Anyone who knows the name of such an account could log in.")},
        {Server,
         PageTab::Authentication,
         "UsePAM",
         i18n("Use the system's login modules"),
         i18n("Lets the system's pluggable authentication modules (PAM) check accounts and passwords and set up each session, as for a local login. Most "
              "systems need this.")},
        {Server,
         PageTab::Authentication,
         "GSSAPIAuthentication",
         i18n("Allow Kerberos single sign-on"),
         i18n("Lets users who already hold a Kerberos ticket log in without typing their password again.")},
        {Server,
         PageTab::Authentication,
         "HostbasedAuthentication",
         i18n("Trust users of trusted hosts"),
         i18n("Lets a user log in without a password from a host whose key this server knows, when /etc/hosts.equiv or the user's "
              ".rhosts or .shosts file lists that host.")},
        {Server,
         PageTab::Authentication,
         "KbdInteractiveAuthentication",
         i18n("Allow login by answering prompts"),
         i18n("Lets the server ask questions that the user answers by typing, such as a password or a one-time code. With the system's login "
              "modules, passwords are usually asked this way.")},
        {Server,
         PageTab::Authentication,
         "KerberosAuthentication",
         i18n("Check passwords with Kerberos"),
         i18n("Checks the password a user types with the Kerberos server. This computer then needs a Kerberos key table (keytab) with which "
              "it can make sure it talks to the real Kerberos server.")},
        {Server,
         PageTab::Authentication,
         "PasswordAuthentication",
         i18n("Allow login with a password"),
         i18n("Lets users log in by typing the password of their account. Turn it off once everyone logs in with a key.")},
        {Server,
         PageTab::Authentication,
         "IgnoreUserKnownHosts",
         i18n("Ignore the users' own lists of known hosts"),
         i18n("When trusting users of trusted hosts, uses only the system's list of host keys, not the ~/.ssh/known_hosts file of each user.")},
        {Server,
         PageTab::Authentication,
         "IgnoreRhosts",
         i18n("Ignore the users' .rhosts and .shosts files"),
         i18n("When trusting users of trusted hosts, uses only the system-wide lists in /etc, not the files users keep in their home folders.")},
        {Server,
         PageTab::Authentication,
         "PubkeyAuthentication",
         i18n("Allow login with a key"),
         i18n("Lets users log in with a key pair: the private key stays on their own computer, the public key is listed in their authorized "
              "keys file on this computer.")},
        {Server,
         PageTab::Authentication,
         "AuthorizedKeysFile",
         i18n("Authorized keys"),
         // The keys area's own form repeats this text as its tool tip: the two change together.
         i18n("Authorized keys determine which users are allowed to log on to the server using public key authentication in SSH.")},
        {Server,
         PageTab::Other,
         "UseDNS",
         i18n("Look up the host names of clients"),
         i18n("Looks up the host name of each client's address and checks that it leads back to the same address. Needed only when access "
              "rules name hosts; logins wait for the lookup.")},
        {Server,
         PageTab::Other,
         "TCPKeepAlive",
         i18n("Send TCP keep-alive messages"),
         i18n("Lets the system notice connections whose other side has gone away, so that their sessions end.")},
        {Server,
         PageTab::Other,
         "PrintLastLog",
         i18n("Show the time of the last login"),
         i18n("Tells users, as they log in, when and from where they last logged in.")},
        {Server,
         PageTab::Other,
         "PrintMotd",
         i18n("Show the message of the day"),
         i18n("Shows the contents of /etc/motd to users when they log in with a shell.")},
        {Server,
         PageTab::Other,
         "Subsystem",
         i18n("Allow file transfers (SFTP)"),
         i18n("Lets users copy files to and from this computer with SFTP, and with the programs that use it, such as file managers.")},
        {Server,
         PageTab::Other,
         "Banner",
         i18n("Banner file"),
         i18n("A text file that the server shows to clients before they log in, such as a legal notice.")},
        {Client, PageTab::Client, "Port", i18n("Port on remote hosts"), i18n("The port ssh connects to on a host that names none of its own.")},
        {Client,
         PageTab::Client,
         "ServerAliveCountMax",
         i18n("Unanswered keep-alives before disconnecting"),
         i18n("How many keep-alive messages may go unanswered before ssh takes the server as gone and ends the session.")},
        {Client,
         PageTab::Client,
         "ServerAliveInterval",
         i18n("Keep-alive interval"),
         i18n("After this long without data from the server, ssh asks it for an answer through the encrypted connection. Off sends no "
              "such messages."),
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
