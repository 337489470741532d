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
    if (!m_paths.serviceControl) {
        return Reply::failure(QLatin1String(EnginePaths::NoServiceControl));
    }
    QString error;
    if (command != QLatin1String("stop") && !m_configuration.check(OptionCatalog::ConfigType::Server, m_paths.serverConfig, &error)) {
        return Reply::failure(QStringLiteral("refused to %1 sshd, the configuration is invalid: %2").arg(command, error));
    }
    ProgramResult result;
    QString program;
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        program = m_paths.systemctl;
        result = runProgram(program, {command, systemdUnit()}, {}, CommandTimeoutMs);
    } else {
        program = m_paths.initScript;
        result = runProgram(program, {command}, {}, CommandTimeoutMs);
    }
    if (!result.succeeded()) {
        return Reply::failure(QStringLiteral("%1 of sshd failed: %2").arg(command, result.reason(program)));
    }
    return Reply::success();
}

QString ServiceControl::systemdUnit() const
{
    // A listening socket unit starts sshd per connection: it is what runs the server.
    for (const char *socket : {"ssh.socket", "sshd.socket"}) {
        if (runProgram(m_paths.systemctl, {QStringLiteral("is-active"), QLatin1String(socket)}).exitCode == 0) {
            return QLatin1String(socket);
        }
    }
    // Debian names the service ssh.service ("sshd.service" is an alias only while it is
    // enabled); most other systems name it sshd.service.
    for (const char *service : {"ssh.service", "sshd.service"}) {
        const ProgramResult result =
            runProgram(m_paths.systemctl, {QStringLiteral("show"), QStringLiteral("--property=LoadState"), QStringLiteral("--value"), QLatin1String(service)});
        if (result.succeeded() && result.standardOutput.trimmed() == "loaded") {
            return QLatin1String(service);
        }
    }
    return QStringLiteral("ssh.service");
}

Reply ServiceControl::status() const
{
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        const ProgramResult result = runProgram(m_paths.systemctl, {QStringLiteral("is-active"), systemdUnit()});
        if (!result.finished) {
            return Reply::failure(result.reason(m_paths.systemctl));
        }
        return Reply::success({{QStringLiteral("running"), result.exitCode == 0}});
    }
    const ProgramResult result = runProgram(m_paths.initScript, {QStringLiteral("status")});
    if (!result.finished) {
        return Reply::failure(result.reason(m_paths.initScript));
    }
    return Reply::success({{QStringLiteral("running"), result.exitCode == 0}});
}
