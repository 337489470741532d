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

namespace SSHSettings
{
namespace
{
ActionRunner *s_runner = nullptr;

/// How long the helper's ready signal may take after its reply before the next request goes anyway.
constexpr int ReadyTimeoutMs = 10 * 1000;
/// How much longer than a request may last the answer may take to come back.
constexpr int AnswerGraceMs = 10 * 1000;

/// Counts the helper's Protocol::HelperReadySignal from its construction on.
class ReadyWatch : public QObject
{
    Q_OBJECT
public:
    ReadyWatch()
    {
        QDBusConnection::systemBus().connect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal, this,
                                             SLOT(announced()));
    }
    ~ReadyWatch() override
    {
        QDBusConnection::systemBus().disconnect(Protocol::HelperId, Protocol::HelperReadyPath, Protocol::HelperReadyInterface, Protocol::HelperReadySignal,
                                                this, SLOT(announced()));
    }
    bool seen() const { return m_seen; }

Q_SIGNALS:
    void ready();

private Q_SLOTS:
    void announced()
    {
        m_seen = true;
        Q_EMIT ready();
    }

private:
    bool m_seen = false;
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
    return (kind == ActionKind::Access ? QStringLiteral("%1.access") : QStringLiteral("%1.change")).arg(helperId());
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
    // Listening before the request goes out, so the signal that follows its reply is not missed.
    ReadyWatch helperReady;
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
    const auto sent = std::find_if(arguments.cbegin(), arguments.cend(), [](const auto &argument) {
        return argument.first == Protocol::Arg::Nonce;
    });
    const bool ours = sent == arguments.cend() || result.data.value(Protocol::Reply::Nonce) == sent->second;
    // A reply from the helper itself (success, or its own refusal) is followed by its ready
    // signal; KAuth's own refusals (authorisation, D-Bus) never reached it. An answer meant
    // for another caller may have come while this request still runs: the helper is let
    // finish it, so that the next request does not find it busy.
    const bool fromHelper = result.ok || result.errorCode == KAuth::ActionReply::HelperErrorReply().errorCode();
    if ((fromHelper || !ours) && !waitFor(loop, ReadyTimeoutMs, [&] {
            return helperReady.seen();
        })) {
        qCWarning(SSHSETTINGS_AUTHACTION) << "The helper did not report ready after answering" << name;
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
}

#include "privilegedaction.moc"
