// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "enginetypes.h"

#include "helperprograms.h"
#include "sshoptioncatalog.h"
#include "sshsettingsprotocol.h"

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
    paths.sshDir = QStringLiteral("/etc/ssh");
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
                          &rooted.sshDir,
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

Refusal::Refusal(Code code, const QStringList &arguments)
    : code(QLatin1String(SSHSettings::Refusals::entry(code).id))
    , arguments(arguments)
{
    Q_ASSERT_X(arguments.size() == SSHSettings::Refusals::entry(code).arguments, "Refusal", SSHSettings::Refusals::entry(code).id);
}

Refusal Refusal::within(Code outer, const QStringList &outerArguments) const
{
    Refusal wider(outer, outerArguments);
    wider.arguments += QStringList{code} + arguments;
    return wider;
}

Refusal Refusal::also(const QString &more) const
{
    return more.isEmpty() ? *this : within(Code::Also, {more});
}

QString Refusal::text() const
{
    return SSHSettings::Refusals::english(code, arguments);
}

Reply Reply::failure(const Refusal &refusal)
{
    Reply reply;
    // One line each, whatever the caller put into the values quoted in it.
    const auto oneLine = [](QString text) {
        for (QChar &c : text) {
            if (OptionCatalog::hasControlCharacter(QString(c))) {
                c = QLatin1Char('?');
            }
        }
        return text;
    };
    QStringList arguments;
    for (const QString &argument : refusal.arguments) {
        arguments.append(oneLine(argument));
    }
    reply.error = oneLine(refusal.text());
    reply.data = {{SSHSettings::Protocol::Reply::RefusalCode, refusal.code}, {SSHSettings::Protocol::Reply::RefusalArguments, arguments}};
    return reply;
}

Refusal Reply::refusal() const
{
    Refusal refusal;
    if (!ok) {
        refusal.code = data.value(SSHSettings::Protocol::Reply::RefusalCode).toString();
        refusal.arguments = data.value(SSHSettings::Protocol::Reply::RefusalArguments).toStringList();
    }
    return refusal;
}
