// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "enginetypes.h"

#include "helperprograms.h"
#include "optioncatalog.h"

EnginePaths EnginePaths::system()
{
    EnginePaths paths;
    paths.serverConfig = QStringLiteral("/etc/ssh/sshd_config");
    paths.clientConfig = QStringLiteral("/etc/ssh/ssh_config");
    paths.serverBackup = QStringLiteral("/etc/ssh/sshd_config.bak");
    paths.clientBackup = QStringLiteral("/etc/ssh/ssh_config.bak");
    paths.backupDir = QStringLiteral("/var/backups/ssh-settings");
    paths.serverDefault = QStringLiteral("/usr/share/openssh/sshd_config");
    paths.clientDefault = QStringLiteral("/usr/share/openssh/ssh_config");
    paths.sshd = QStringLiteral(SSHSETTINGS_SSHD_PATH);
    paths.ssh = QStringLiteral(SSHSETTINGS_SSH_PATH);
    paths.sshKeygen = QStringLiteral(SSHSETTINGS_SSH_KEYGEN_PATH);
    paths.journalctl = QStringLiteral(SSHSETTINGS_JOURNALCTL_PATH);
    paths.systemctl = QStringLiteral(SSHSETTINGS_SYSTEMCTL_PATH);
    paths.systemdRun = QStringLiteral(SSHSETTINGS_SYSTEMD_RUN_PATH);
    paths.initScript = QStringLiteral(SSHSETTINGS_INIT_SCRIPT_PATH);
    paths.tool = QStringLiteral(SSHSETTINGS_TOOL_PATH);
    paths.privilegeSeparationDir = QStringLiteral("/run/sshd");
    paths.systemdRunDir = QStringLiteral("/run/systemd/system");
    paths.sshdPidFile = QStringLiteral("/run/sshd.pid");
    paths.procDir = QStringLiteral("/proc");
    paths.bannerRoot = QStringLiteral("/etc");
    paths.sftpServer = QStringLiteral("/usr/lib/openssh/sftp-server");
    paths.readerAccount = QStringLiteral("nobody");
    return paths;
}

EnginePaths EnginePaths::filesUnder(const QString &root) const
{
    EnginePaths rooted = *this;
    for (QString *path : {&rooted.serverConfig,
                          &rooted.clientConfig,
                          &rooted.serverBackup,
                          &rooted.clientBackup,
                          &rooted.backupDir,
                          &rooted.serverDefault,
                          &rooted.clientDefault,
                          &rooted.bannerRoot,
                          &rooted.sshdPidFile}) {
        *path = root + *path;
    }
    return rooted;
}

Reply Reply::success(const QVariantMap &data)
{
    Reply reply;
    reply.ok = true;
    reply.data = data;
    return reply;
}

Reply Reply::failure(const QString &error)
{
    Reply reply;
    // One line, whatever the caller put into the values quoted in it.
    reply.error = error;
    for (QChar &c : reply.error) {
        if (OptionCatalog::hasControlCharacter(QString(c))) {
            c = QLatin1Char('?');
        }
    }
    return reply;
}
