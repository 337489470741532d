// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

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
    /// Each command runs through the helper; on failure @p reason gets the helper's reason.
    bool start(QString *reason = nullptr);
    bool stop(QString *reason = nullptr);
    bool restart(QString *reason = nullptr);
    /// The last command got no answer tied to it: whether it was carried out is not known.
    bool lastOutcomeUnknown() const { return m_outcomeUnknown; }

    /// Answers isEnabled()/isActive() from a stand-in (tests only); nullptr restores the real service.
    struct StateSource
    {
        virtual ~StateSource() = default;
        virtual bool isEnabled() const = 0;
        virtual bool isActive() const = 0;
    };
    static void setStateSourceForTesting(StateSource *source);

private:
    bool jobExec(const QString &command, QString *reason);

    bool m_outcomeUnknown = false;
};
