// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"
#include "privilegedaction.h"
#include "serverstate.h"

#include <QTemporaryDir>

#include <memory>

/**
 * Answers the page's privileged actions in-process with the helper's engine,
 * over a demonstration configuration in a temporary folder laid out as / is (etc/ssh/sshd_config…), whose paths the
 * page sees without the folder: a server and client
 * configuration, a banner, an authorized_keys file with a few generated keys and
 * a journal that holds one open password login. Service commands are accepted
 * and change nothing. The security check and the host keys read are those of Debian 12 as installed.
 */
class DemoActionRunner : public SSHSettings::ActionRunner, public ServerState::StateSource
{
public:
    DemoActionRunner();
    bool isValid() const;
    /// The folder the demonstration's files lie in, as a system's under /.
    QString root() const;
    QString errorString() const;

    void
    start(const QString &actionName, const SSHSettings::ActionArguments &arguments, SSHSettings::ActionDone answered, std::function<void()> released) override;
    bool isEnabled() const override;
    bool isActive() const override;

private:
    bool prepare();
    QByteArray demoJournal() const;
    SSHSettings::ActionResult answer(const QString &actionName, const QVariantMap &arguments);
    /// @p value with the demonstration folder taken out of every path: the files read as where a system has them.
    QVariant shown(const QVariant &value) const;
    /// @p value with every path the page names that lies in the demonstration folder put back there.
    QVariant real(const QVariant &value) const;

    QTemporaryDir m_dir;
    std::unique_ptr<Engine> m_engine;
    QString m_error;
    bool m_journalSent = false;
};
