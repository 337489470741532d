// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "privilegedaction.h"

#include "authaction_debug.h"

#include "refusalcodes.h"
#include "requestnonce.h"
#include "sshsettingsprotocol.h"

#include <KAuth/Action>
#include <KAuth/ActionReply>
#include <KAuth/ExecuteJob>
#include <KLocalizedString>

#include <QDBusConnection>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace SSHSettings
{
namespace
{
ActionRunner *s_runner = nullptr;

/// How long the helper's ready signal may take after its reply before the next request goes anyway.
/// KAuth drops the helper's "busy" answer to a request that comes sooner: that request would never be
/// answered, so the next one goes out only once the helper has said it takes it.
constexpr int ReadyTimeoutMs = 10 * 1000;
/// How much longer than a request may last the answer may take to come back.
constexpr int AnswerGraceMs = 10 * 1000;

/// KAuth's interface on the helper's bus name: the helper announces every reply there, to every caller of the action.
const QString s_kauthInterface = QStringLiteral("org.kde.kf%1auth").arg(QT_VERSION_MAJOR);

/**
 * Counts the helper's Protocol::HelperReadySignal from its construction on, and
 * keeps the reply the helper announces for the request of @p nonce. KAuth ends a
 * request with the first reply announced for its action, which may be another
 * caller's (a refusal of another user's call); the request's own reply is then
 * still announced, and found here.
 */
class ReadyWatch : public QObject
{
    Q_OBJECT
public:
    ReadyWatch(const QString &action, const QString &nonce)
        : m_action(action)
        , m_nonce(nonce)
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.connect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal, this, SLOT(announced()));
        if (!m_nonce.isEmpty()) {
            bus.connect(Protocol::HelperId,
                        QStringLiteral("/"),
                        s_kauthInterface,
                        QStringLiteral("remoteSignal"),
                        this,
                        SLOT(remoteSignal(int, QString, QByteArray)));
        }
    }
    ~ReadyWatch() override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.disconnect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal, this, SLOT(announced()));
        if (!m_nonce.isEmpty()) {
            bus.disconnect(Protocol::HelperId,
                           QStringLiteral("/"),
                           s_kauthInterface,
                           QStringLiteral("remoteSignal"),
                           this,
                           SLOT(remoteSignal(int, QString, QByteArray)));
        }
    }
    bool seen() const
    {
        return m_seen;
    }
    /// The reply announced for this request, if one was.
    const std::optional<KAuth::ActionReply> &ownReply() const
    {
        return m_own;
    }

Q_SIGNALS:
    void ready();
    void ownReplyAnnounced();

private Q_SLOTS:
    void announced()
    {
        m_seen = true;
        Q_EMIT ready();
    }
    void remoteSignal(int, const QString &action, const QByteArray &blob)
    {
        if (action != m_action || m_own) {
            return;
        }
        const KAuth::ActionReply reply = KAuth::ActionReply::deserialize(blob);
        QString description = reply.errorDescription();
        const QString refusalNonce = RequestNonce::take(&description);
        if (reply.data().value(Protocol::Reply::Nonce).toString() == m_nonce || refusalNonce == m_nonce) {
            m_own = reply;
            Q_EMIT ownReplyAnnounced();
        }
    }

private:
    const QString m_action;
    const QString m_nonce;
    bool m_seen = false;
    std::optional<KAuth::ActionReply> m_own;
};

ActionRunner &currentRunner()
{
    static KAuthActionRunner kauthRunner;
    return s_runner ? *s_runner : kauthRunner;
}
}

QString helperId()
{
    return Protocol::HelperId;
}

QString actionName(ActionKind kind)
{
    return helperId() + QLatin1Char('.') + Protocol::actionWord(kind);
}

ActionRunner::~ActionRunner() = default;

void ActionRunner::start(const QString &name, const ActionArguments &arguments, ActionDone answered, std::function<void()> released)
{
    QTimer::singleShot(0, ActionQueue::instance(), [this, name, arguments, answered, released] {
        answered(run(name, arguments));
        released();
    });
}

ActionResult ActionRunner::run(const QString &, const ActionArguments &)
{
    return {};
}

namespace
{
/// The outcome of a finished KAuth job, its refusal's nonce put back in its data.
ActionResult resultOf(KAuth::ExecuteJob *job)
{
    ActionResult result;
    result.errorCode = job->error();
    result.ok = result.errorCode == KJob::NoError;
    result.errorText = job->errorString();
    result.data = job->data();
    // KAuth hands a refusal over without its data: its nonce leads the description, its code follows it.
    const QString refusalNonce = RequestNonce::take(&result.errorText);
    if (!result.ok && !refusalNonce.isEmpty()) {
        result.data.insert(Protocol::Reply::Nonce, refusalNonce);
    }
    if (!result.ok) {
        Refusals::take(&result.errorText, &result.data, Protocol::Reply::RefusalCode, Protocol::Reply::RefusalArguments);
    }
    return result;
}

ActionResult resultOf(const KAuth::ActionReply &own, const QString &nonce)
{
    ActionResult result;
    result.ok = own.type() == KAuth::ActionReply::SuccessType;
    result.errorCode = result.ok ? 0 : own.errorCode();
    result.errorText = own.errorDescription();
    RequestNonce::take(&result.errorText);
    result.data = own.data();
    if (!result.ok) {
        Refusals::take(&result.errorText, &result.data, Protocol::Reply::RefusalCode, Protocol::Reply::RefusalArguments);
    }
    result.data.insert(Protocol::Reply::Nonce, nonce);
    return result;
}

/**
 * One KAuth job on its way: answered by the job's result, or by the helper's announcement of this
 * request's own reply when KAuth ended the job with another caller's; released once the helper has
 * let go of it. A job that gets no answer in time is ended with a timeout.
 */
class KAuthRequest : public QObject
{
public:
    KAuthRequest(const QString &name, const QString &nonce, ActionDone answered, std::function<void()> released)
        : m_watch(name, nonce)
        , m_name(name)
        , m_nonce(nonce)
        , m_answered(std::move(answered))
        , m_released(std::move(released))
    {
        m_limit.setSingleShot(true);
        m_readyLimit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, &KAuthRequest::timedOut);
        connect(&m_readyLimit, &QTimer::timeout, this, [this] {
            qCWarning(SSHSETTINGS_AUTHACTION) << "The helper did not report ready after answering" << m_name;
            finish(m_untied);
        });
        connect(&m_watch, &ReadyWatch::ready, this, [this] {
            if (m_readyLimit.isActive()) {
                finish(m_untied);
            }
        });
        connect(&m_watch, &ReadyWatch::ownReplyAnnounced, this, [this] {
            if (m_readyLimit.isActive() && !m_done) {
                qCInfo(SSHSETTINGS_AUTHACTION) << "An answer for another caller ended" << m_name << "; its own answer came after it";
                answer(resultOf(*m_watch.ownReply(), m_nonce));
            }
        });
    }

    void start(const ActionArguments &arguments)
    {
        KAuth::Action action(m_name);
        action.setHelperId(helperId());
        action.setTimeout(Protocol::ActionTimeoutMs);
        for (const auto &argument : arguments) {
            action.addArgument(argument.first, argument.second);
        }
        m_job = action.execute(KAuth::Action::ExecuteMode);
        connect(m_job, &KJob::result, this, &KAuthRequest::jobDone);
        m_limit.start(Protocol::ActionTimeoutMs + AnswerGraceMs);
        m_job->start();
    }

private:
    void jobDone()
    {
        m_limit.stop();
        const ActionResult result = resultOf(m_job);
        m_job = nullptr; // KAuth deletes its job
        const bool ours = m_nonce.isEmpty() || result.data.value(Protocol::Reply::Nonce) == m_nonce;
        // A reply from the helper itself (success, or its own refusal) is followed by its ready signal;
        // KAuth's own refusals (authorisation, D-Bus) never reached it. An answer meant for another
        // caller may have come while this request still runs: its own is then announced later.
        const bool fromHelper = result.ok || result.errorCode == KAuth::ActionReply::HelperErrorReply().errorCode();
        if (ours) {
            answer(result);
        } else if (m_watch.ownReply()) {
            answer(resultOf(*m_watch.ownReply(), m_nonce));
        }
        // Answered by KAuth alone, or the helper has let go already: the next request may go.
        if ((!fromHelper && ours) || m_watch.seen()) {
            finish(result);
            return;
        }
        m_untied = result;
        m_readyLimit.start(ReadyTimeoutMs);
    }

    void timedOut()
    {
        if (m_job) {
            m_job->kill(KJob::Quietly);
            m_job = nullptr;
        }
        ActionResult result;
        result.errorCode = KAuth::ActionReply::DBusError;
        result.timedOut = true;
        result.errorText = i18ncp("@info",
                                  "The administrative helper did not answer within %1 minute.",
                                  "The administrative helper did not answer within %1 minutes.",
                                  Protocol::ActionTimeoutMs / 60000);
        finish(result);
    }

    void answer(const ActionResult &result)
    {
        if (!m_done) {
            m_done = true;
            // The answer may open a dialog, whose event loop may bring the ready signal or its limit:
            // this request is then let go only once the answer has returned.
            m_answering = true;
            m_answered(result);
            m_answering = false;
            if (m_releaseWaiting) {
                release();
            }
        }
    }

    /// Answers with @p result unless answered already, then lets the next request go.
    void finish(const ActionResult &result)
    {
        m_readyLimit.stop();
        answer(result);
        if (m_answering) {
            m_releaseWaiting = true;
            return;
        }
        release();
    }

    void release()
    {
        if (m_released) {
            std::function<void()> released = std::move(m_released);
            m_released = nullptr;
            deleteLater();
            released();
        }
    }

    ReadyWatch m_watch; ///< listening before the request goes out, so that neither its reply nor the signal after it is missed
    const QString m_name;
    const QString m_nonce;
    ActionDone m_answered;
    std::function<void()> m_released;
    KAuth::ExecuteJob *m_job = nullptr;
    QTimer m_limit;
    QTimer m_readyLimit;
    ActionResult m_untied; ///< the answer that ended the job, when it was another caller's
    bool m_done = false;
    bool m_answering = false;
    bool m_releaseWaiting = false;
};

/// A nonce from arguments, empty when none is sent.
QString nonceOf(const ActionArguments &arguments)
{
    const auto sent = std::find_if(arguments.cbegin(), arguments.cend(), [](const auto &argument) {
        return argument.first == Protocol::Arg::Nonce;
    });
    return sent == arguments.cend() ? QString() : sent->second.toString();
}
}

void KAuthActionRunner::start(const QString &name, const ActionArguments &arguments, ActionDone answered, std::function<void()> released)
{
    auto *request = new KAuthRequest(name, nonceOf(arguments), std::move(answered), std::move(released));
    request->start(arguments);
}

ActionQueue *ActionQueue::instance()
{
    static ActionQueue queue;
    return &queue;
}

void ActionQueue::submit(ActionKind kind, const ActionArguments &arguments, QObject *context, ActionDone done)
{
    m_waiting.enqueue({actionName(kind), arguments, context, context != nullptr, std::move(done)});
    next();
}

void ActionQueue::next()
{
    if (m_running) {
        return;
    }
    // Requests whose page went away while they waited are not sent.
    while (!m_waiting.isEmpty() && m_waiting.head().tied && !m_waiting.head().context) {
        m_waiting.dequeue();
    }
    if (m_waiting.isEmpty()) {
        Q_EMIT idle();
        return;
    }
    m_running = true;
    Request request = m_waiting.dequeue();
    const QString nonce = RequestNonce::generate();
    const QString name = request.name;
    auto answered = [request, nonce](ActionResult result) {
        const QVariant echoed = result.data.take(Protocol::Reply::Nonce);
        if (echoed != nonce && !result.timedOut) {
            qCWarning(SSHSETTINGS_AUTHACTION) << "An answer to" << request.name
                                              << "without the request's nonce:" << (result.ok ? QStringLiteral("success") : result.errorText);
            result.ok = false;
            result.outcomeUnknown = true;
            result.data.clear();
        }
        result.outcomeUnknown = result.outcomeUnknown || result.timedOut;
        if (request.done && (!request.tied || request.context)) {
            request.done(result);
        }
    };
    currentRunner().start(name, ActionArguments(request.arguments) << qMakePair(QString(Protocol::Arg::Nonce), QVariant(nonce)), answered, [this] {
        m_running = false;
        next();
    });
}

void runPrivilegedAction(ActionKind kind, const ActionArguments &arguments, QObject *context, ActionDone done)
{
    ActionQueue::instance()->submit(kind, arguments, context, std::move(done));
}

void setActionRunner(ActionRunner *runner)
{
    s_runner = runner;
}
}

#include "privilegedaction.moc"
