// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"

#include <QHash>
#include <QTemporaryDir>

/// A throw-away /etc/ssh: configurations, drop-in folder, host key, backups,
/// a system default, a banner folder and a key file, with an engine on them.
class TestSandbox
{
public:
    TestSandbox();

    bool isValid() const { return m_valid; }
    QString path(const QString &relative) const;
    void write(const QString &relative, const QByteArray &contents) const;
    QByteArray read(const QString &relative) const;
    /// Replaces the Include line's "@DROPIN@" with the sandbox's drop-in folder.
    QByteArray withDropinDir(QByteArray text) const;
    /// Every file below the sandbox with its contents and mode, to prove nothing changed.
    QHash<QString, QByteArray> snapshot() const;

    EnginePaths paths;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
