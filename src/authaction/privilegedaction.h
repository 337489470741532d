// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshsettingsprotocol.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <QObject>
#include <QPointer>
#include <QQueue>

#include <functional>

/**
 * The one road from the module to the root helper.
 *
 * Every privileged request (read or write a configuration, service command,
 * journal read, kill, key and banner writes) is a KAuth action started through
 * runPrivilegedAction(), which never waits: the answer comes later, through a
 * callback. Requests go out one at a time, in the order they were asked for.
 * Production code runs the real KAuth action; tests install their own
 * ActionRunner and answer the calls in-process.
 */
namespace SSHSettings
{
/// Names the helper and prefixes every action name.
QString helperId();

/// Read, Configure, Service, Restore, UserFiles or Sessions: each request belongs to one (see the protocol header).
using ActionKind = Protocol::Action;

/// "<helperId>.read", "<helperId>.configure", …
QString actionName(ActionKind kind);

/// Arguments in the order in which they are added to the action.
using ActionArguments = QList<QPair<QString, QVariant>>;

struct ActionResult {
    bool ok = false;
    int errorCode = 0;
    QString errorText;
    QVariantMap data;
    /**
     * The answer that came back is not tied to this request (it lacks the request's nonce): a refusal
     * meant for another caller of the same action, or one of KAuth's own. Whether the request was
     * carried out is not known; errorCode and errorText are those of the answer.
     */
    bool outcomeUnknown = false;
    /// No answer came within the time limit: the outcome is not known either (outcomeUnknown is set too).
    bool timedOut = false;
};

using ActionDone = std::function<void(const ActionResult &)>;

class ActionRunner
{
public:
    virtual ~ActionRunner();
    /**
     * Starts the action. @p answered gets its outcome once, after start() has returned; @p released
     * follows (or comes with it) once the helper takes another request. Both are called exactly once.
     */
    virtual void start(const QString &actionName, const ActionArguments &arguments, ActionDone answered, std::function<void()> released);
    /// An in-process runner's answer: by default start() calls it on the next turn of the event loop, as a helper would answer.
    virtual ActionResult run(const QString &actionName, const ActionArguments &arguments);
};

/// Executes the KAuth::Action as a job and reports its result signal; a job without an answer is ended at a time limit.
class KAuthActionRunner : public ActionRunner
{
public:
    void start(const QString &actionName, const ActionArguments &arguments, ActionDone answered, std::function<void()> released) override;
};

/**
 * The requests of the page: one in flight at a time, the others wait their turn. A request is tied
 * to a context object; when that is gone before its answer, the answer is dropped.
 */
class ActionQueue : public QObject
{
    Q_OBJECT
public:
    static ActionQueue *instance();

    void submit(ActionKind kind, const ActionArguments &arguments, QObject *context, ActionDone done);
    /// Nothing runs and nothing waits.
    bool isIdle() const
    {
        return !m_running && m_waiting.isEmpty();
    }

Q_SIGNALS:
    /// The last request's answer was handled and nothing waits.
    void idle();

private:
    struct Request {
        QString name;
        ActionArguments arguments;
        QPointer<QObject> context;
        bool tied = false; ///< made with a context, so dropped once that is gone
        ActionDone done;
    };
    void next();

    QQueue<Request> m_waiting;
    bool m_running = false;
};

/**
 * Queues one privileged action (see ActionQueue). The request carries a fresh Protocol::Arg::Nonce;
 * an answer without it is handed to @p done with outcomeUnknown set.
 */
void runPrivilegedAction(ActionKind kind, const ActionArguments &arguments, QObject *context, ActionDone done);

/// Installs another runner (not owned); nullptr restores the KAuth runner.
void setActionRunner(ActionRunner *runner);

/// Whether a failed action was a cancelled password prompt or a denied authorisation.
bool authorizationRefused(int errorCode);
/// The helper's reason for a failed action, or that the authorisation was refused.
QString failureReason(const ActionResult &result);
}
