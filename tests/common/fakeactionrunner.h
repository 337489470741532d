// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "privilegedaction.h"
#include "sshsettingsprotocol.h"

#include <QList>
#include <QMap>
#include <QSignalSpy>

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

/**
 * In-process stand-in for the root helper. Installs itself as the action runner
 * for its lifetime, records every call and answers through a handler.
 */
class FakeActionRunner : public SSHSettings::ActionRunner
{
public:
    struct Call {
        QString action;
        SSHSettings::ActionArguments arguments; ///< all but the nonce
        QString nonce; ///< Protocol::Arg::Nonce of the request

        QVariant argument(const QString &key) const
        {
            const auto it = std::find_if(arguments.cbegin(), arguments.cend(), [&key](const auto &argument) {
                return argument.first == key;
            });
            return it == arguments.cend() ? QVariant() : it->second;
        }
        QStringList keys() const
        {
            QStringList result;
            for (const auto &argument : arguments) {
                result.append(argument.first);
            }
            return result;
        }
    };
    using Handler = std::function<SSHSettings::ActionResult(const Call &)>;

    FakeActionRunner()
    {
        SSHSettings::setActionRunner(this);
    }
    /// Requests still unanswered are dropped; the queue goes on without them.
    ~FakeActionRunner() override
    {
        SSHSettings::setActionRunner(nullptr);
        const auto pending = std::exchange(m_pending, {});
        for (const auto &released : pending) {
            released();
        }
    }

    /// Records the call now; the handler answers it on the next turn of the event loop, as a helper would.
    void
    start(const QString &actionName, const SSHSettings::ActionArguments &arguments, SSHSettings::ActionDone answered, std::function<void()> released) override
    {
        Call call{actionName, {}, {}};
        for (const auto &argument : arguments) {
            if (argument.first == SSHSettings::Protocol::Arg::Nonce) {
                call.nonce = argument.second.toString();
            } else {
                call.arguments.append(argument);
            }
        }
        calls.append(call);
        const int id = ++m_sent;
        m_pending.insert(id, std::move(released));
        QMetaObject::invokeMethod(
            &m_context,
            [this, call, answered, id] {
                SSHSettings::ActionResult result = m_handler(call);
                // Echoed as the helper does, unless the handler answers with a nonce of its own (untied()).
                if (!result.data.contains(SSHSettings::Protocol::Reply::Nonce)) {
                    result.data.insert(SSHSettings::Protocol::Reply::Nonce, call.nonce);
                }
                answered(result);
                m_pending.take(id)();
            },
            Qt::QueuedConnection);
    }

    /// Waits until every request sent so far, and every one their answers sent, has been answered.
    static bool settle()
    {
        auto *queue = SSHSettings::ActionQueue::instance();
        if (queue->isIdle()) {
            return true;
        }
        QSignalSpy idle(queue, &SSHSettings::ActionQueue::idle);
        return idle.wait(10000);
    }

    void setHandler(Handler handler)
    {
        m_handler = std::move(handler);
    }
    QList<Call> calls;

    /// Calls whose arguments contain the given key.
    QList<Call> callsWith(const QString &key) const
    {
        QList<Call> result;
        std::copy_if(calls.cbegin(), calls.cend(), std::back_inserter(result), [&key](const Call &call) {
            return call.keys().contains(key);
        });
        return result;
    }

    static SSHSettings::ActionResult success(const QVariantMap &data = {})
    {
        return {true, 0, QString(), data};
    }
    /// A refusal of the helper; KAuth's codes 4 and 5 would be a denied or cancelled authorisation.
    static SSHSettings::ActionResult failure(const QString &text, int code = -1)
    {
        return {false, code, text, {}};
    }
    /// No answer within the time limit, as KAuthActionRunner reports it.
    static SSHSettings::ActionResult timedOut()
    {
        SSHSettings::ActionResult result =
            failure(QStringLiteral("The administrative helper did not answer within 5 minutes."), 7 /* KAuth::ActionReply::DBusError */);
        result.timedOut = true;
        return result;
    }
    /// @p result as an answer meant for another request: with @p nonce (another caller's), or none at all.
    static SSHSettings::ActionResult untied(SSHSettings::ActionResult result, const QString &nonce = QString())
    {
        result.data.insert(SSHSettings::Protocol::Reply::Nonce, nonce);
        return result;
    }

private:
    QMap<int, std::function<void()>> m_pending; ///< the release of each request not answered yet
    int m_sent = 0;
    QObject m_context; ///< answers still queued when the runner goes are dropped with it
    Handler m_handler = [](const Call &) {
        return success();
    };
};
