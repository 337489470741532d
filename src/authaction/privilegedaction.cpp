// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "privilegedaction.h"

#include "authaction_debug.h"

#include "requestnonce.h"
#include "sshsettingsprotocol.h"

#include <KAuth/Action>
#include <KAuth/ActionReply>
#include <KAuth/ExecuteJob>
#include <KLocalizedString>

#include <QDBusConnection>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace SSHSettings
{
namespace
{
ActionRunner *s_runner = nullptr;

/// How long the helper's ready signal may take after its reply before the next request goes anyway.
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
    ReadyWatch(const QString &action, const QString &nonce) : m_action(action), m_nonce(nonce)
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.connect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal, this, SLOT(announced()));
        if (!m_nonce.isEmpty()) {
            bus.connect(Protocol::HelperId, QStringLiteral("/"), s_kauthInterface, QStringLiteral("remoteSignal"), this,
                        SLOT(remoteSignal(int, QString, QByteArray)));
        }
    }
    ~ReadyWatch() override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.disconnect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal, this, SLOT(announced()));
        if (!m_nonce.isEmpty()) {
            bus.disconnect(Protocol::HelperId, QStringLiteral("/"), s_kauthInterface, QStringLiteral("remoteSignal"), this,
                           SLOT(remoteSignal(int, QString, QByteArray)));
        }
    }
    bool seen() const { return m_seen; }
    /// The reply announced for this request, if one was.
    const std::optional<KAuth::ActionReply> &ownReply() const { return m_own; }

Q_SIGNALS:
    void ready();

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
        }
    }

private:
    const QString m_action;
    const QString m_nonce;
    bool m_seen = false;
    std::optional<KAuth::ActionReply> m_own;
};

/// Runs @p loop, which the awaited events quit, until @p done holds or @p timeoutMs passes; true if it holds.
template <typename Done>
bool waitFor(QEventLoop &loop, int timeoutMs, Done done)
{
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(timeoutMs);
    while (!done() && limit.isActive()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return done();
}

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

ActionResult KAuthActionRunner::run(const QString &name, const ActionArguments &arguments)
{
    KAuth::Action action(name);
    action.setHelperId(helperId());
    action.setTimeout(Protocol::ActionTimeoutMs);
    for (const auto &argument : arguments) {
        action.addArgument(argument.first, argument.second);
    }
    const auto sent = std::find_if(arguments.cbegin(), arguments.cend(), [](const auto &argument) {
        return argument.first == Protocol::Arg::Nonce;
    });
    const QString nonce = sent == arguments.cend() ? QString() : sent->second.toString();
    // Listening before the request goes out, so that neither its reply nor the signal after it is missed.
    ReadyWatch helperReady(name, nonce);
    KAuth::ExecuteJob *job = action.execute(KAuth::Action::ExecuteMode);
    job->setAutoDelete(false);
    bool answered = false;
    QEventLoop loop;
    QObject::connect(job, &KJob::result, &loop, [&] {
        answered = true;
        loop.quit();
    });
    QObject::connect(&helperReady, &ReadyWatch::ready, &loop, &QEventLoop::quit);
    job->start();

    ActionResult result;
    if (!waitFor(loop, Protocol::ActionTimeoutMs + AnswerGraceMs, [&] {
            return answered;
        })) {
        job->kill(KJob::Quietly);
        job->deleteLater();
        result.errorCode = KAuth::ActionReply::DBusError;
        result.errorText = i18ncp("@info", "The administrative helper did not answer within %1 minute.",
                                  "The administrative helper did not answer within %1 minutes.", Protocol::ActionTimeoutMs / 60000);
        return result;
    }
    result.errorCode = job->error();
    result.ok = result.errorCode == KJob::NoError;
    result.errorText = job->errorString();
    result.data = job->data();
    job->deleteLater();
    // KAuth hands a refusal over without its data: its nonce leads the description.
    const QString refusalNonce = RequestNonce::take(&result.errorText);
    if (!result.ok && !refusalNonce.isEmpty()) {
        result.data.insert(Protocol::Reply::Nonce, refusalNonce);
    }
    const bool ours = nonce.isEmpty() || result.data.value(Protocol::Reply::Nonce) == nonce;
    // A reply from the helper itself (success, or its own refusal) is followed by its ready
    // signal; KAuth's own refusals (authorisation, D-Bus) never reached it. An answer meant
    // for another caller may have come while this request still runs: the helper is let
    // finish it, so that the next request does not find it busy, and its own reply is taken.
    const bool fromHelper = result.ok || result.errorCode == KAuth::ActionReply::HelperErrorReply().errorCode();
    if ((fromHelper || !ours) && !waitFor(loop, ReadyTimeoutMs, [&] {
            return helperReady.seen();
        })) {
        qCWarning(SSHSETTINGS_AUTHACTION) << "The helper did not report ready after answering" << name;
    }
    if (!ours && helperReady.ownReply()) {
        const KAuth::ActionReply &own = *helperReady.ownReply();
        qCInfo(SSHSETTINGS_AUTHACTION) << "An answer for another caller ended" << name << "; its own answer came after it";
        result = ActionResult();
        result.ok = own.type() == KAuth::ActionReply::SuccessType;
        result.errorCode = result.ok ? 0 : own.errorCode();
        result.errorText = own.errorDescription();
        RequestNonce::take(&result.errorText);
        result.data = own.data();
        result.data.insert(Protocol::Reply::Nonce, nonce);
    }
    return result;
}

ActionResult runPrivilegedAction(ActionKind kind, const ActionArguments &arguments)
{
    const QString nonce = RequestNonce::generate();
    const QString name = actionName(kind);
    ActionResult result = currentRunner().run(name, ActionArguments(arguments) << qMakePair(QString(Protocol::Arg::Nonce), QVariant(nonce)));
    const QVariant echoed = result.data.take(Protocol::Reply::Nonce);
    if (echoed != nonce) {
        qCWarning(SSHSETTINGS_AUTHACTION) << "An answer to" << name
                                          << "without the request's nonce:" << (result.ok ? QStringLiteral("success") : result.errorText);
        result.ok = false;
        result.outcomeUnknown = true;
        result.data.clear();
    }
    return result;
}

void setActionRunner(ActionRunner *runner)
{
    s_runner = runner;
}

QString failureReason(const ActionResult &result)
{
    QString reason;
    if (authorizationRefused(result.errorCode)) {
        reason = i18n("the authorization was cancelled or denied");
    } else {
        reason = result.errorText.isEmpty() ? i18n("the helper gave no reason") : result.errorText;
    }
    if (result.outcomeUnknown) {
        return i18n("the answer that came back belongs to another request (%1), so whether this one was carried out is not known", reason);
    }
    return reason;
}

bool authorizationRefused(int errorCode)
{
    return errorCode == KAuth::ActionReply::AuthorizationDeniedError || errorCode == KAuth::ActionReply::UserCancelledError;
}
}

#include "privilegedaction.moc"
