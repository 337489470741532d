// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoptioncatalog.h"

namespace OptionCatalog
{
namespace
{
QString sl(const char *text)
{
    return QString::fromLatin1(text);
}
}

const QList<Option> &options(ConfigType type)
{
    static const QList<Option> server = {
        {sl("Port"), ValueKind::Port, true, sl("22")},
        {sl("MaxSessions"), ValueKind::Number, false, sl("10")},
        {sl("UseDNS"), ValueKind::Bool, false, sl("no")},
        {sl("PubkeyAuthentication"), ValueKind::Bool, false, sl("yes")},
        {sl("KerberosAuthentication"), ValueKind::Bool, false, sl("no")},
        {sl("UsePAM"), ValueKind::Bool, false, sl("no")},
        {sl("KbdInteractiveAuthentication"), ValueKind::Bool, false, sl("yes")},
        {sl("PasswordAuthentication"), ValueKind::Bool, false, sl("yes")},
        {sl("TCPKeepAlive"), ValueKind::Bool, false, sl("yes")},
        {sl("HostbasedAuthentication"), ValueKind::Bool, false, sl("no")},
        {sl("GSSAPIAuthentication"), ValueKind::Bool, false, sl("no")},
        {sl("PermitRootLogin"), ValueKind::RootLogin, false, sl("prohibit-password")},
        {sl("ListenAddress"), ValueKind::ListenAddresses, true, QString()},
        {sl("X11Forwarding"), ValueKind::Bool, false, sl("no")},
        {sl("PermitEmptyPasswords"), ValueKind::Bool, false, sl("no")},
        {sl("IgnoreUserKnownHosts"), ValueKind::Bool, false, sl("no")},
        {sl("IgnoreRhosts"), ValueKind::Bool, false, sl("yes")},
        {sl("LoginGraceTime"), ValueKind::Number, false, sl("120")},
        {sl("AddressFamily"), ValueKind::AddressFamily, false, sl("any")},
        {sl("PrintLastLog"), ValueKind::Bool, false, sl("yes")},
        {sl("PrintMotd"), ValueKind::Bool, false, sl("yes")},
        {sl("PermitTunnel"), ValueKind::Tunnel, false, sl("no")},
        {sl("Subsystem"), ValueKind::Subsystem, true, sl("no")},
        {sl("Banner"), ValueKind::Banner, false, sl("none")},
        {sl("AuthorizedKeysFile"), ValueKind::KeyFilePatterns, false, sl(".ssh/authorized_keys .ssh/authorized_keys2")},
        {sl("AllowUsers"), ValueKind::AccessPatterns, true, QString()},
        {sl("DenyUsers"), ValueKind::AccessPatterns, true, QString()},
        {sl("AllowGroups"), ValueKind::AccessPatterns, true, QString()},
        {sl("DenyGroups"), ValueKind::AccessPatterns, true, QString()},
    };
    static const QList<Option> client = {
        {sl("Port"), ValueKind::Port, false, sl("22")},
        {sl("ServerAliveInterval"), ValueKind::Number, false, sl("0")},
        {sl("ServerAliveCountMax"), ValueKind::Number, false, sl("3")},
    };
    return type == ConfigType::Client ? client : server;
}

const Option *findOption(ConfigType type, const QString &keyword)
{
    for (const Option &option : options(type)) {
        if (option.keyword.compare(keyword, Qt::CaseInsensitive) == 0) {
            return &option;
        }
    }
    return nullptr;
}

bool isListKind(ValueKind kind)
{
    return kind == ValueKind::ListenAddresses || kind == ValueKind::KeyFilePatterns || kind == ValueKind::AccessPatterns;
}
}
