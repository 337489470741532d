// SPDX-License-Identifier: GPL-2.0-or-later
#include "systemdservice.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace NuvoAdmin
{
namespace
{
constexpr int busTimeoutMs = 3000;
const auto systemdService = QStringLiteral("org.freedesktop.systemd1");

SystemdService::SysVPaths &paths()
{
    static SystemdService::SysVPaths p;
    return p;
}

QString readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLocal8Bit(file.read(4096)).trimmed();
}
}

SystemdService::SystemdService(const QString &unitName, QObject *parent) : QObject(parent), m_unit(unitName) { }

void SystemdService::setPathsForTesting(const SysVPaths &newPaths)
{
    paths() = newPaths;
}

bool SystemdService::isActive() const
{
    if (systemdIsRunning()) {
        return systemdProperty(QStringLiteral("ActiveState")) == QLatin1String("active");
    }
    return sysvActive();
}

bool SystemdService::isEnabled() const
{
    if (systemdIsRunning()) {
        const QString state = systemdProperty(QStringLiteral("UnitFileState"));
        return state == QLatin1String("enabled") || state == QLatin1String("enabled-runtime") || state == QLatin1String("alias");
    }
    return sysvEnabled();
}

bool SystemdService::systemdIsRunning() const
{
    return QFileInfo(paths().systemdRuntimeMarker).isDir();
}

QString SystemdService::systemdProperty(const QString &property) const
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return {};
    }
    const QString unit = m_unit.contains(QLatin1Char('.')) ? m_unit : m_unit + QStringLiteral(".service");
    QDBusInterface manager(systemdService, QStringLiteral("/org/freedesktop/systemd1"), QStringLiteral("org.freedesktop.systemd1.Manager"), bus);
    manager.setTimeout(busTimeoutMs);
    const QDBusReply<QDBusObjectPath> unitPath = manager.call(QStringLiteral("LoadUnit"), unit);
    if (!unitPath.isValid()) {
        return {};
    }
    QDBusInterface properties(systemdService, unitPath.value().path(), QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    properties.setTimeout(busTimeoutMs);
    const QDBusReply<QVariant> value = properties.call(QStringLiteral("Get"), QStringLiteral("org.freedesktop.systemd1.Unit"), property);
    return value.isValid() ? value.value().toString() : QString();
}

// Debian's init script for sshd is called "ssh", and so is its pid file's daemon.
QString SystemdService::sysvScriptName() const
{
    return m_unit == QLatin1String("sshd") ? QStringLiteral("ssh") : m_unit;
}

bool SystemdService::sysvActive() const
{
    const QString pidText = readSmallFile(paths().runDirectory + QLatin1Char('/') + m_unit + QStringLiteral(".pid"));
    bool ok = false;
    const int pid = pidText.toInt(&ok);
    if (!ok || pid <= 1) {
        return false;
    }
    const QString comm = readSmallFile(QStringLiteral("%1/%2/comm").arg(paths().procDirectory).arg(pid));
    return comm == m_unit;
}

bool SystemdService::sysvEnabled() const
{
    int runlevel = 2; // Debian's default
    const QString inittab = readSmallFile(paths().etcDirectory + QStringLiteral("/inittab"));
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^[^#:]*:(\\d):initdefault:"), QRegularExpression::MultilineOption).match(inittab);
    if (match.hasMatch()) {
        runlevel = match.captured(1).toInt();
    }
    const QDir rcDir(QStringLiteral("%1/rc%2.d").arg(paths().etcDirectory).arg(runlevel));
    const QStringList links = rcDir.entryList({QStringLiteral("S??") + sysvScriptName()}, QDir::Files | QDir::System);
    return !links.isEmpty();
}
}
