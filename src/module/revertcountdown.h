// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

/**
 * The seconds left before the helper reverts an applied server change that
 * nobody kept. Ticks once a second through a QTimer, or through whatever
 * setTicker() installs (tests tick by hand, nothing waits).
 */
class RevertCountdown : public QObject
{
    Q_OBJECT
public:
    /// Called with each new countdown instead of starting its one-second timer.
    using Ticker = std::function<void(RevertCountdown *countdown)>;

    RevertCountdown(const QString &token, int seconds, QObject *parent);

    QString token() const
    {
        return m_token;
    }
    int remaining() const
    {
        return m_remaining;
    }
    /// One second has passed.
    void tick();
    /// Stops counting (the change was kept or reverted).
    void stop();
    /// Goes on counting after stop().
    void resume();
    /// Counts @p seconds anew under @p token (a change joined the pending ones; the token names them all).
    void restart(const QString &token, int seconds);

    /// Replaces the one-second timer of every countdown made afterwards; an empty ticker restores it.
    static void setTicker(const Ticker &ticker);

Q_SIGNALS:
    void remainingChanged(int seconds);
    /// Nobody kept the change in time.
    void expired();

private:
    QString m_token;
    int m_remaining;
    QTimer *m_timer = nullptr;
};
