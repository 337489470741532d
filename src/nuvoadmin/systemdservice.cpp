// SPDX-FileCopyrightText: 2026 SSH Settings contributors
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
// Debian and Ubuntu name the unit "ssh", the rest of the world "sshd"; so do their SysV scripts and pid files.
const QStringList serviceUnits = {QStringLiteral("ssh.service"), QStringLiteral("sshd.service")};
const QStringList socketUnits = {QStringLiteral("ssh.socket"), QStringLiteral("sshd.socket")};

SystemdService::SysVPaths &paths()
{
    static SystemdService::SysVPaths p;
    return p;
}

class SystemBus : public SystemdBus
{
public:
    QString unitPath(const QString &method, const QString &unit) override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            return {};
        }
        QDBusInterface manager(systemdService, QStringLiteral("/org/freedesktop/systemd1"), QStringLiteral("org.freedesktop.systemd1.Manager"), bus);
        manager.setTimeout(busTimeoutMs);
        const QDBusReply<QDBusObjectPath> path = manager.call(method, unit);
        return path.isValid() ? path.value().path() : QString();
    }
    QVariant unitProperty(const QString &path, const QString &property) override
    {
        QDBusInterface properties(systemdService, path, QStringLiteral("org.freedesktop.DBus.Properties"), QDBusConnection::systemBus());
        properties.setTimeout(busTimeoutMs);
        const QDBusReply<QVariant> value = properties.call(QStringLiteral("Get"), QStringLiteral("org.freedesktop.systemd1.Unit"), property);
        return value.isValid() ? value.value() : QVariant();
    }
};

SystemdBus *s_testBus = nullptr;

SystemdBus &bus()
{
    static SystemBus systemBus;
    return s_testBus ? *s_testBus : systemBus;
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

SystemdBus::~SystemdBus() = default;

SystemdService::SystemdService(QObject *parent)
    : QObject(parent)
{
}

void SystemdService::setPathsForTesting(const SysVPaths &newPaths)
{
    paths() = newPaths;
}

void SystemdService::setBusForTesting(SystemdBus *testBus)
{
    s_testBus = testBus;
}

SystemdService::Unit SystemdService::findUnit(const QStringList &names) const
{
    for (const QString &name : names) {
        // GetUnit knows the units loaded now; LoadUnit also loads one from disk, and
        // answers "not-found" for a name nothing provides (an alias of a disabled unit).
        QString path = bus().unitPath(QStringLiteral("GetUnit"), name);
        if (path.isEmpty()) {
            path = bus().unitPath(QStringLiteral("LoadUnit"), name);
        }
        if (path.isEmpty() || bus().unitProperty(path, QStringLiteral("LoadState")).toString() != QLatin1String("loaded")) {
            continue;
        }
        // An alias leads to its unit, whose Id comes first; Names holds every name it answers to.
        QString real = bus().unitProperty(path, QStringLiteral("Id")).toString();
        const QStringList aliases = bus().unitProperty(path, QStringLiteral("Names")).toStringList();
        if (real.isEmpty() || (!aliases.isEmpty() && !aliases.contains(real))) {
            real = aliases.value(0, name);
        }
        return {path, real};
    }
    return {};
}

QString SystemdService::property(const Unit &unit, const QString &name) const
{
    return unit.path.isEmpty() ? QString() : bus().unitProperty(unit.path, name).toString();
}

QString SystemdService::unitName() const
{
    if (systemdIsRunning()) {
        return findUnit(serviceUnits).name;
    }
    return {};
}

bool SystemdService::isActive() const
{
    if (!systemdIsRunning()) {
        return sysvActive();
    }
    if (property(findUnit(serviceUnits), QStringLiteral("ActiveState")) == QLatin1String("active")) {
        return true;
    }
    // Socket activation: the listening socket is the running server.
    return property(findUnit(socketUnits), QStringLiteral("ActiveState")) == QLatin1String("active");
}

bool SystemdService::isEnabled() const
{
    if (!systemdIsRunning()) {
        return sysvEnabled();
    }
    static const QStringList enabledStates = {QStringLiteral("enabled"), QStringLiteral("enabled-runtime"), QStringLiteral("alias")};
    for (const QStringList &names : {serviceUnits, socketUnits}) {
        if (enabledStates.contains(property(findUnit(names), QStringLiteral("UnitFileState")))) {
            return true;
        }
    }
    return false;
}

bool SystemdService::systemdIsRunning() const
{
    return QFileInfo(paths().systemdRuntimeMarker).isDir();
}

bool SystemdService::sysvActive() const
{
    const QString pidText = readSmallFile(paths().runDirectory + QStringLiteral("/sshd.pid"));
    bool ok = false;
    const int pid = pidText.toInt(&ok);
    if (!ok || pid <= 1) {
        return false;
    }
    return readSmallFile(QStringLiteral("%1/%2/comm").arg(paths().procDirectory).arg(pid)) == QLatin1String("sshd");
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
    const QStringList links = rcDir.entryList({QStringLiteral("S??ssh"), QStringLiteral("S??sshd")}, QDir::Files | QDir::System);
    return !links.isEmpty();
}
}
