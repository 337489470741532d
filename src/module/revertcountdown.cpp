// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "revertcountdown.h"

#include <QTimer>

namespace
{
RevertCountdown::Ticker &installedTicker()
{
    static RevertCountdown::Ticker ticker;
    return ticker;
}
}

RevertCountdown::RevertCountdown(const QString &token, int seconds, QObject *parent)
    : QObject(parent)
    , m_token(token)
    , m_remaining(seconds)
{
    if (installedTicker()) {
        installedTicker()(this);
        return;
    }
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &RevertCountdown::tick);
    m_timer->start();
}

void RevertCountdown::tick()
{
    if (m_remaining <= 0) {
        return;
    }
    --m_remaining;
    Q_EMIT remainingChanged(m_remaining);
    if (m_remaining == 0) {
        stop();
        Q_EMIT expired();
    }
}

void RevertCountdown::stop()
{
    if (m_timer) {
        m_timer->stop();
    }
}

void RevertCountdown::setTicker(const Ticker &ticker)
{
    installedTicker() = ticker;
}

void RevertCountdown::resume()
{
    if (m_timer && m_remaining > 0) {
        m_timer->start();
    }
}

void RevertCountdown::restart(const QString &token, int seconds)
{
    m_token = token;
    m_remaining = seconds;
    resume();
    Q_EMIT remainingChanged(m_remaining);
}
