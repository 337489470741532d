// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "privilegedaction.h"

#include <QObject>

/// The sshd service: its state, asked anew on every call, and its commands.
class ServerState : public QObject
{
    Q_OBJECT
public:
    explicit ServerState(QObject *parent = nullptr);
    ServerState(const ServerState &other);

    bool isEnabled() const;
    bool isActive() const;
    /// Each command runs through the helper; @p done gets its answer unless @p context is gone first.
    void start(QObject *context, SSHSettings::ActionDone done) const;
    void stop(QObject *context, SSHSettings::ActionDone done) const;
    void restart(QObject *context, SSHSettings::ActionDone done) const;

    /// Answers isEnabled()/isActive() from a stand-in (tests only); nullptr restores the real service.
    struct StateSource {
        virtual ~StateSource() = default;
        virtual bool isEnabled() const = 0;
        virtual bool isActive() const = 0;
    };
    static void setStateSourceForTesting(StateSource *source);

private:
    static void command(const QString &command, QObject *context, SSHSettings::ActionDone done);
};
