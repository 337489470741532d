// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "servicecontrol.h"

#include "configuration.h"
#include "runprogram.h"
#include "socketprobe.h"
#include "sshsettingsprotocol.h"

#include <QFileInfo>

#include <cstring>

ServiceControl::ServiceControl(const EnginePaths &paths, const Configuration &configuration)
    : m_paths(paths)
    , m_configuration(configuration)
{
}

Reply ServiceControl::run(const QString &command, const QList<QByteArray> *listenAddresses) const
{
    static const QStringList commands = {QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("restart")};
    if (!commands.contains(command)) {
        return Reply::failure(Refusal::Code::UnknownServiceCommand, {command.left(32)});
    }
    if (!m_paths.serviceControl) {
        return Reply::failure(Refusal::Code::NoServiceControl);
    }
    QString error;
    if (command != QLatin1String("stop") && !m_configuration.check(OptionCatalog::ConfigType::Server, m_paths.serverConfig, &error)) {
        return Reply::failure(Refusal::Code::ServiceInvalid, {command, error});
    }
    QList<QStringList> steps;
    QString program = m_paths.initScript;
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        program = m_paths.systemctl;
        const QString unit = systemdUnit();
        if (unit.endsWith(QLatin1String(".socket")) && command != QLatin1String("stop")) {
            // systemd's generator makes the socket's ports from sshd_config: run it again first.
            // The service started through the socket holds the old sockets until it restarts too.
            const QString service = unit.chopped(int(strlen(".socket"))) + QLatin1String(".service");
            const bool serviceActive = runProgram(m_paths.systemctl, {QStringLiteral("is-active"), service}).exitCode == 0;
            steps = {{QStringLiteral("daemon-reload")}, {command, unit}};
            if (serviceActive && command == QLatin1String("restart")) {
                steps.append({command, service});
            }
        } else {
            steps = {{command, unit}};
        }
    } else {
        steps = {{command}};
    }
    for (const QStringList &arguments : std::as_const(steps)) {
        const ProgramResult result = runProgram(program, arguments, {}, CommandTimeoutMs);
        if (!result.succeeded()) {
            return Reply::failure(Refusal::Code::ServiceFailed, {command, result.reason(program)});
        }
    }
    if (command == QLatin1String("stop")) {
        return Reply::success();
    }
    return Reply::success({{SSHSettings::Protocol::Reply::Unanswered, unansweredSockets(listenAddresses)}});
}

QStringList ServiceControl::unansweredSockets(const QList<QByteArray> *listenAddresses) const
{
    Configuration::Values values;
    QString error;
    if (!listenAddresses && !m_configuration.effectiveValues(OptionCatalog::ConfigType::Server, m_paths.serverConfig, &values, &error)) {
        return {};
    }
    const QStringList sockets = SocketProbe::sockets(listenAddresses ? *listenAddresses : values.value("listenaddress"), m_paths.localAddresses());
    return SocketProbe::unanswered(sockets, m_paths.probeTotalMs, m_paths.probeAttemptMs);
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
            return Reply::failure(Refusal::Code::Failed, {result.reason(m_paths.systemctl)});
        }
        return Reply::success({{SSHSettings::Protocol::Reply::Running, result.exitCode == 0}});
    }
    const ProgramResult result = runProgram(m_paths.initScript, {QStringLiteral("status")});
    if (!result.finished) {
        return Reply::failure(Refusal::Code::Failed, {result.reason(m_paths.initScript)});
    }
    return Reply::success({{SSHSettings::Protocol::Reply::Running, result.exitCode == 0}});
}
