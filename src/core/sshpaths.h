// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

namespace SSHPaths
{
inline QString serverConfig()
{
    return QStringLiteral("/etc/ssh/sshd_config");
}
inline QString clientConfig()
{
    return QStringLiteral("/etc/ssh/ssh_config");
}
inline QString serverBackup()
{
    return QStringLiteral("/etc/ssh/sshd_config.bak");
}
inline QString clientBackup()
{
    return QStringLiteral("/etc/ssh/ssh_config.bak");
}
inline QString serverDistributionDefault()
{
    return QStringLiteral("/usr/share/openssh/sshd_config");
}
}
