// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"

#include <QHash>
#include <QTemporaryDir>

/**
 * A throw-away system tree laid out like / (etc/ssh with drop-in folders,
 * etc/issue.net, usr/share/openssh defaults, var/backups, a home folder with
 * ~/.ssh), a host key for `sshd -t`, and engine paths pointing into it.
 * The account "tester" is the current user, "other" a stranger (uid 4242).
 */
class TestSandbox
{
public:
    static constexpr uid_t OtherUid = 4242;

    TestSandbox();

    bool isValid() const
    {
        return m_valid;
    }
    QString root() const
    {
        return m_dir.path();
    }
    QString path(const QString &relative) const;
    void write(const QString &relative, const QByteArray &contents) const;
    QByteArray read(const QString &relative) const;
    /// The public host key, a valid key line.
    QString publicKey() const;
    /// Every entry below the sandbox with its type, mode, owner and contents, to prove nothing changed.
    QHash<QString, QByteArray> snapshot() const;

    EnginePaths paths;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
