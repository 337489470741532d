// SPDX-License-Identifier: GPL-2.0-or-later
#include "servicecontrol.h"

#include "configuration.h"
#include "runprogram.h"

#include <QFileInfo>

ServiceControl::ServiceControl(const EnginePaths &paths, const Configuration &configuration) : m_paths(paths), m_configuration(configuration) { }

Reply ServiceControl::run(const QString &command) const
{
    static const QStringList commands = {QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("restart")};
    if (!commands.contains(command)) {
        return Reply::failure(QStringLiteral("unknown service command \"%1\"").arg(command.left(32)));
    }
    QString error;
    if (command != QLatin1String("stop") && !m_configuration.check(OptionCatalog::ConfigType::Server, m_paths.serverConfig, &error)) {
        return Reply::failure(QStringLiteral("refused to %1 sshd, the configuration is invalid: %2").arg(command, error));
    }
    ProgramResult result;
    QString program;
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        program = m_paths.systemctl;
        result = runProgram(program, {command, QStringLiteral("ssh.service")}, {}, CommandTimeoutMs);
    } else {
        program = m_paths.initScript;
        result = runProgram(program, {command}, {}, CommandTimeoutMs);
    }
    if (!result.succeeded()) {
        return Reply::failure(QStringLiteral("%1 of sshd failed: %2").arg(command, result.reason(program)));
    }
    return Reply::success();
}

Reply ServiceControl::status() const
{
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        const ProgramResult result = runProgram(m_paths.systemctl, {QStringLiteral("is-active"), QStringLiteral("ssh.service"), QStringLiteral("ssh.socket")});
        if (!result.finished) {
            return Reply::failure(result.reason(m_paths.systemctl));
        }
        return Reply::success({{QStringLiteral("running"), result.standardOutput.split('\n').contains("active")}});
    }
    const ProgramResult result = runProgram(m_paths.initScript, {QStringLiteral("status")});
    if (!result.finished) {
        return Reply::failure(result.reason(m_paths.initScript));
    }
    return Reply::success({{QStringLiteral("running"), result.exitCode == 0}});
}
