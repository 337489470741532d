// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace NuvoAdmin
{
/**
 * Answers whether a service unit is enabled and active.
 *
 * Asks systemd over the system bus when systemd is the running init system;
 * otherwise falls back to what a SysV system offers (pid file, rc links).
 * Every answer is false when nothing can be asked; no call blocks longer than
 * the bus time-out.
 */
class SystemdService : public QObject
{
    Q_OBJECT
public:
    explicit SystemdService(const QString &unitName, QObject *parent = nullptr);

    bool isEnabled() const;
    bool isActive() const;

    /// Where the SysV fallback looks; tests point these at a temporary tree.
    struct SysVPaths
    {
        QString runDirectory = QStringLiteral("/run");
        QString procDirectory = QStringLiteral("/proc");
        QString etcDirectory = QStringLiteral("/etc");
        QString systemdRuntimeMarker = QStringLiteral("/run/systemd/system");
    };
    static void setPathsForTesting(const SysVPaths &paths);

private:
    bool systemdIsRunning() const;
    QString systemdProperty(const QString &property) const;
    bool sysvActive() const;
    bool sysvEnabled() const;
    QString sysvScriptName() const;

    QString m_unit;
};
}
