// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace NuvoAdmin
{
/// The few calls of systemd's D-Bus API the service state needs; tests answer them in-process.
class SystemdBus
{
public:
    virtual ~SystemdBus();
    /// The object path of a unit through the manager's "GetUnit" or "LoadUnit"; empty when it has none.
    virtual QString unitPath(const QString &method, const QString &unit) = 0;
    /// A property of the interface org.freedesktop.systemd1.Unit of the unit at path; invalid when unreadable.
    virtual QVariant unitProperty(const QString &path, const QString &property) = 0;
};

/**
 * Answers whether the OpenSSH server is enabled and active, and which unit serves it.
 *
 * Asks systemd over the system bus when systemd is the running init system:
 * the server's unit is "ssh.service" on Debian and Ubuntu ("sshd.service" is an alias
 * there only while the unit is enabled) and "sshd.service" elsewhere. A server started
 * on demand by an active "ssh.socket" counts as running. Otherwise it falls back to what
 * a SysV system offers (pid file, rc links). Every answer is false when nothing can be
 * asked; no call blocks longer than the bus time-out.
 */
class SystemdService : public QObject
{
    Q_OBJECT
public:
    explicit SystemdService(QObject *parent = nullptr);

    bool isEnabled() const;
    bool isActive() const;
    /// The name of the server's service unit ("ssh.service" or "sshd.service"); empty when none is loaded.
    QString unitName() const;

    /// Where the SysV fallback looks; tests point these at a temporary tree.
    struct SysVPaths {
        QString runDirectory = QStringLiteral("/run");
        QString procDirectory = QStringLiteral("/proc");
        QString etcDirectory = QStringLiteral("/etc");
        QString systemdRuntimeMarker = QStringLiteral("/run/systemd/system");
    };
    static void setPathsForTesting(const SysVPaths &paths);
    /// Answers the bus calls from a stand-in (not owned); nullptr restores the system bus.
    static void setBusForTesting(SystemdBus *bus);

private:
    struct Unit {
        QString path;
        QString name;
    };
    bool systemdIsRunning() const;
    /// The first of the names that is loaded, with its real name (an alias resolves to its unit).
    Unit findUnit(const QStringList &names) const;
    QString property(const Unit &unit, const QString &name) const;
    bool sysvActive() const;
    bool sysvEnabled() const;
};
}
