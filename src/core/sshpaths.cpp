// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshpaths.h"

namespace SSHPaths
{
namespace
{
QString s_root;
QString s_demoRoot;

QString underRoot(const char *path)
{
    return s_root + QLatin1String(path);
}
}

QString serverConfig()
{
    return underRoot("/etc/ssh/sshd_config");
}

QString clientConfig()
{
    return underRoot("/etc/ssh/ssh_config");
}

QString serverBackup()
{
    return underRoot("/etc/ssh/sshd_config.bak");
}

QString clientBackup()
{
    return underRoot("/etc/ssh/ssh_config.bak");
}

QString serverDistributionDefault()
{
    return underRoot("/usr/share/openssh/sshd_config");
}

QString keptFilesFolder()
{
    return underRoot("/var/backups/ssh-settings");
}

QString onDisk(const QString &path)
{
    return s_demoRoot.isEmpty() || !path.startsWith(QLatin1Char('/')) ? path : s_demoRoot + path;
}

void setDemoRoot(const QString &root)
{
    s_demoRoot = root;
}

void setRootForTesting(const QString &root)
{
    s_root = root;
}
}
