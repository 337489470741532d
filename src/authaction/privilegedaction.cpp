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

namespace
{
/// The page's words for the refusal @p code; the placeholders are those of its English template.
KLocalizedString refusalText(Refusals::Code code)
{
    using C = Refusals::Code;
    switch (code) {
    case C::Failed:
        return ki18nc("@info refusal: a reason in the words of the system or another program", "%1");
    case C::Also:
        return ki18nc("@info refusal: %2 is a reason, %1 what happened after it", "%2; %1");
    case C::BadArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be %2");
    case C::KeywordCount:
        return ki18nc("@info refusal of a change or request", "%1 must name 1 to %2 keywords");
    case C::ReadKeywordsArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be 1 to %2 keywords, without a dry run");
    case C::RevertAfterArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be 1 to %2 seconds");
    case C::EmptyRequest:
        return ki18nc("@info refusal of a change or request", "an empty request to the %1 action");
    case C::UnknownArgument:
        return ki18nc("@info refusal of a change or request", "unknown argument \"%1\"");
    case C::WrongAction:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" belongs to the %2 action, not to the %3 action");
    case C::MixedRequest:
        return ki18nc("@info refusal of a change or request", "the arguments %1 mix requests of the %2 action");
    case C::LackingArgument:
        return ki18nc("@info refusal of a change or request", "the %1 request lacks the argument \"%2\"");
    case C::UnknownCaller:
        return ki18nc("@info refusal of a change or request", "the caller of the request is unknown");
    case C::UnknownKeyword:
        return ki18nc("@info refusal of a change or request", "unknown keyword \"%1\"");
    case C::NoChange:
        return ki18nc("@info refusal of a change or request", "no change given");
    case C::ChangedTwice:
        return ki18nc("@info refusal of a change or request", "%1 is changed twice");
    case C::NeedsVersion:
        return ki18nc("@info refusal of a change or request", "%1: needs OpenSSH %2 or later, this is %3");
    case C::RemovedAfter:
        return ki18nc("@info refusal of a change or request", "%1: was removed after OpenSSH %2, this is %3");
    case C::ExpectedString:
        return ki18nc("@info refusal of a change or request", "%1: expected a string, got %2");
    case C::ExpectedList:
        return ki18nc("@info refusal of a change or request", "%1: expected a string list, got %2");
    case C::ExpectedBoolean:
        return ki18nc("@info refusal of a change or request", "%1: expected a boolean");
    case C::ValueTooLong:
        return ki18nc("@info refusal of a change or request", "%1: value too long");
    case C::ControlCharacter:
        return ki18nc("@info refusal of a change or request", "%1: value contains a control character");
    case C::TooManyEntries:
        return ki18nc("@info refusal of a change or request", "%1: too many entries");
    case C::BadListEntry:
        return ki18nc("@info refusal of a change or request", "%1: list entry contains a control character or is too long");
    case C::TakesValue:
        return ki18nc("@info refusal of a change or request", "%1: takes a value");
    case C::NotNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a number");
    case C::NotInterval:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a time such as 90, 30s or 1h30m");
    case C::OutOfRange:
        return ki18nc("@info refusal of a change or request", "%1: must be %2 to %3");
    case C::NotOneOf:
        return ki18nc("@info refusal of a change or request", "%1: must be one of %2");
    case C::NotAlgorithmName:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an algorithm name; +, - or ^ may only begin the list");
    case C::AlgorithmPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\": only a list after - may hold patterns");
    case C::UnsupportedAlgorithm:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not supported by this OpenSSH (ssh -Q %3)");
    case C::NotPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a single pattern");
    case C::StandsAlone:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" stands alone");
    case C::NotHostPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not host:port");
    case C::NoPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" has no port 1..65535 or *");
    case C::NotPath:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not one path without blanks or quotes");
    case C::NoTokens:
        return ki18nc("@info refusal of a change or request", "%1: takes no %-tokens");
    case C::TokenLetters:
        return ki18nc("@info refusal of a change or request", "%1: a % must be followed by one of %2");
    case C::UnbalancedQuote:
        return ki18nc("@info refusal of a change or request", "%1: has an unbalanced quote");
    case C::CommentWord:
        return ki18nc("@info refusal of a change or request", "%1: a word may not begin with #");
    case C::TripleCount:
        return ki18nc("@info refusal of a change or request", "%1: takes one number or %2 separated by colons");
    case C::TripleNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a number 0..%3");
    case C::TripleRate:
        return ki18nc("@info refusal of a change or request", "%1: needs a rate of 1 to 100 and a start not above full");
    case C::PenaltyWord:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not \"no\" or one of %3 with its value");
    case C::PenaltyInterval:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs a time such as 30s");
    case C::PenaltyNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs a number");
    case C::PenaltyMode:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs deny-all or permissive");
    case C::NotPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a port number 1..65535");
    case C::PortRange:
        return ki18nc("@info refusal of a change or request", "%1: port must be 1..65535");
    case C::TooManyPorts:
        return ki18nc("@info refusal of a change or request", "%1: at most %2 ports");
    case C::OnePort:
        return ki18nc("@info refusal of a change or request", "%1: takes one port");
    case C::BannerValue:
        return ki18nc("@info refusal of a change or request", "%1: must be \"none\" or an absolute path without blanks or \"..\"");
    case C::NotListenAddress:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an IP address, alone or followed by :port");
    case C::ListenPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" has no valid port");
    case C::NotFilePattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a single file pattern");
    case C::NotAccessPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a user or group pattern");
    case C::GroupHost:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" names a host, but sshd matches groups by name only");
    case C::UnsupportedKeyword:
        return ki18nc("@info refusal of a change or request", "%1: unsupported keyword");
    case C::NotLocalAddress:
        return ki18nc("@info refusal of a change or request", "ListenAddress: %1 is not configured on any local interface");
    case C::BannerFile:
        return ki18nc("@info refusal of a change or request", "Banner: %1");
    case C::FileMissing:
        return ki18nc("@info refusal of a change or request", "%1 does not exist");
    case C::NotRegularFile:
        return ki18nc("@info refusal of a change or request", "%1 is not a regular file");
    case C::NotOwnedByRoot:
        return ki18nc("@info refusal of a change or request", "%1 is not owned by root");
    case C::NotWorldReadable:
        return ki18nc("@info refusal of a change or request", "%1 is not readable by everyone, sshd would show it to every client");
    case C::ProtectedFile:
        return ki18nc("@info refusal of a change or request", "%1 is part of the SSH configuration or a key");
    case C::PrivateKeyFile:
        return ki18nc("@info refusal of a change or request", "%1 holds a private key");
    case C::SetInBlock:
        return ki18nc("@info refusal of a change or request",
                      "%1 stays in force for every connection from %2:%3, inside \"%4\", which a change leaves as it is");
    case C::ChangedSinceReview:
        return ki18nc("@info refusal of a change or request", "the configuration changed since it was reviewed");
    case C::InvalidConfiguration:
        return ki18nc("@info refusal of a change or request", "the configuration is invalid: %1");
    case C::WouldBeInvalid:
        return ki18nc("@info refusal of a change or request", "refused, the configuration would be invalid: %1");
    case C::CandidateWrite:
        return ki18nc("@info refusal of a change or request", "cannot write a candidate beside %1: %2");
    case C::CannotReadBack:
        return ki18nc("@info refusal of a change or request", "refused, cannot read back the configuration: %1");
    case C::TooManySockets:
        return ki18nc("@info refusal of a change or request", "refused, sshd would not start: %1 listen sockets (addresses × ports), at most %2");
    case C::OtherSettingWins:
        return ki18nc("@info refusal of a change or request", "refused, another setting wins for %1: %2");
    case C::SftpStillConfigured:
        return ki18nc("@info refusal of a change or request", "an sftp subsystem is still configured");
    case C::SftpMissing:
        return ki18nc("@info refusal of a change or request", "the sftp subsystem is still missing");
    case C::ListensOn:
        return ki18nc("@info refusal of a change or request", "sshd listens on %1");
    case C::EffectiveValue:
        return ki18nc("@info refusal of a change or request", "the effective value is \"%1\"");
    case C::CannotKeepWorking:
        return ki18nc("@info refusal of a change or request", "refused, cannot keep the working configuration: %1");
    case C::UnsafeFiles:
        return ki18nc("@info refusal of a change or request", "refused: %1");
    case C::NotConfigFile:
        return ki18nc("@info refusal: %2 is server or client", "%1 is not a file of the %2 configuration");
    case C::UnsafeMode:
        return ki18nc("@info refusal of a change or request", "%1 would get mode %2: setuid, setgid or sticky");
    case C::UnsafeWrite:
        return ki18nc("@info refusal of a change or request", "%1 cannot be written safely: %2");
    case C::NothingRestored:
        return ki18nc("@info refusal of a change or request", "refused, nothing was restored: %1");
    case C::NoBackup:
        return ki18nc("@info refusal of a change or request", "there is no backup: %2, nor %1");
    case C::NoBackupIn:
        return ki18nc("@info refusal of a change or request", "there is no backup in %1");
    case C::BackupDamaged:
        return ki18nc("@info refusal of a change or request", "the backup in %1 is damaged");
    case C::BackupEmpty:
        return ki18nc("@info refusal of a change or request", "the backup in %1 is empty");
    case C::NoSystemDefault:
        return ki18nc("@info refusal of a change or request", "the system default %1 is not installed");
    case C::BackupNotOf:
        return ki18nc("@info refusal of a change or request", "the backup is not one of %1");
    case C::RestoredInvalid:
        return ki18nc("@info refusal of a change or request", "refused, the restored configuration would be invalid: %1");
    case C::RevertAfterRange:
        return ki18nc("@info refusal of a change or request", "the revert countdown must be 1 to %1 seconds");
    case C::NoServiceControl:
        return ki18nc("@info refusal of a change or request", "service commands act on the system's sshd; not with --root or --config");
    case C::UnknownSession:
        return ki18nc("@info refusal of a change or request", "the session is not \"client port local port\" of a known user");
    case C::NotUserName:
        return ki18nc("@info refusal of a change or request", "\"%1\" is not a user name: letters, digits, '.', '_' and '-', at most 32");
    case C::NotIpAddress:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an IP address");
    case C::NotHostName:
        return ki18nc("@info refusal of a change or request", "\"%1\" is not a host name: letters, digits, '.', '_' and '-', at most 253");
    case C::Busy:
        return ki18nc("@info refusal of a change or request", "another change of the SSH configuration is in progress: %1");
    case C::CannotArm:
        return ki18nc("@info refusal of a change or request", "refused, the change could not be armed for a revert: %1");
    case C::PendingReverted:
        return ki18nc("@info refusal of a change or request", "%1; the pending changes were reverted");
    case C::PendingNotReverted:
        return ki18nc("@info refusal of a change or request", "%2; the pending changes were reverted: %1");
    case C::EarlierBack:
        return ki18nc("@info refusal of a change or request", "%1; the earlier configuration is back");
    case C::NotRevertToken:
        return ki18nc("@info refusal of a change or request", "not a revert token");
    case C::NoPendingChange:
        return ki18nc("@info refusal of a change or request", "no change is waiting under %1: it was kept or reverted already");
    case C::TooLateReverted:
        return ki18nc("@info refusal of a change or request", "too late, the countdown ran out: the changes were reverted");
    case C::TooLatePending:
        return ki18nc("@info refusal of a change or request", "too late, the countdown ran out: the changes are to be reverted: %1");
    case C::RevertedNoRestart:
        return ki18nc("@info refusal of a change or request", "reverted, but sshd did not restart: %1");
    case C::UnknownServiceCommand:
        return ki18nc("@info refusal of a change or request", "unknown service command \"%1\"");
    case C::ServiceInvalid:
        return ki18nc("@info refusal of a change or request", "refused to %1 sshd, the configuration is invalid: %2");
    case C::ServiceFailed:
        return ki18nc("@info refusal of a change or request", "%1 of sshd failed: %2");
    case C::JournalFailed:
        return ki18nc("@info refusal of a change or request", "journalctl failed: %1");
    case C::RefusedToEnd:
        return ki18nc("@info refusal of a change or request", "refused to end process %1");
    case C::NoProcess:
        return ki18nc("@info refusal of a change or request", "no process %1");
    case C::NotConnection:
        return ki18nc("@info refusal of a change or request", "process %1 is not an sshd connection");
    case C::ListeningSshd:
        return ki18nc("@info refusal of a change or request", "process %1 is the listening sshd");
    case C::CannotEnd:
        return ki18nc("@info refusal of a change or request", "cannot end process %1: %2");
    case C::BannerPathNotPlain:
        return ki18nc("@info refusal of a change or request", "banner path must be a plain absolute path");
    case C::BannerNotBelow:
        return ki18nc("@info refusal of a change or request", "banner file must be below %1");
    case C::BannerTooLarge:
        return ki18nc("@info refusal of a change or request", "banner text is larger than 64 KiB");
    case C::BannerControl:
        return ki18nc("@info refusal of a change or request", "banner text contains a control character");
    case C::BannerProtected:
        return ki18nc("@info refusal of a change or request", "banner: %1 is part of the SSH configuration or a key");
    case C::BannerFolder:
        return ki18nc("@info refusal of a change or request", "banner: %1");
    case C::BannerNotRegular:
        return ki18nc("@info refusal of a change or request", "banner: %1 is not a regular file");
    case C::BannerExists:
        return ki18nc("@info refusal of a change or request", "banner: %1 exists and is not the configured banner; choose a new file");
    case C::KeyLineEmpty:
        return ki18nc("@info refusal of a change or request", "empty key line");
    case C::KeyLineTooLong:
        return ki18nc("@info refusal of a change or request", "key line too long");
    case C::KeyLineControl:
        return ki18nc("@info refusal of a change or request", "key line contains a newline or control character");
    case C::NotKeyLine:
        return ki18nc("@info refusal of a change or request", "not a public key line");
    case C::InvalidKeyLine:
        return ki18nc("@info refusal of a change or request", "not a valid public key line");
    case C::NotKeyFileOf:
        return ki18nc("@info refusal of a change or request", "%1 is not an authorized_keys file of %2 (AuthorizedKeysFile %3)");
    case C::KeyPathNotPlain:
        return ki18nc("@info refusal of a change or request", "key file path must be a plain absolute path");
    case C::NoAccount:
        return ki18nc("@info refusal of a change or request", "there is no account with the id %1");
    case C::KeyFile:
        return ki18nc("@info refusal of a change or request", "key file: %1");
    case C::KeyFileOtherOwner:
        return ki18nc("@info refusal of a change or request", "key file: %1 is owned by another user");
    case C::KeyFileMissing:
        return ki18nc("@info refusal of a change or request", "key file: %1 does not exist");
    case C::BadCriterion:
        return ki18nc("@info refusal of a block's criteria", "\"%1\" is not a criterion a block may start with");
    case C::CriterionValue:
        return ki18nc("@info refusal of a block's criteria: %1 is a criterion such as User", "%1: \"%2\" is not a valid value");
    case C::ExecCriterion:
        return ki18nc("@info refusal of a block's criteria", "a block may not run a command (exec): ssh would run it for every connection");
    case C::NotInBlock:
        return ki18nc("@info refusal of a change inside a block", "%1 is not allowed inside a block");
    case C::NoSuchBlock:
        return ki18nc("@info refusal of a block operation", "there is no block %1; there are %2");
    case C::NoBlockAbove:
        return ki18nc("@info refusal of moving a block up", "block %1 is the first of its file");
    case C::NoBlockBelow:
        return ki18nc("@info refusal of moving a block down", "block %1 is the last of its file");
    }
    return KLocalizedString();
}

/// The refusal @p id with its @p arguments in the page's words; empty for a code this build does not know.
QString refusalReason(const QString &id, const QStringList &arguments)
{
    return Refusals::format(id, arguments, [](const Refusals::Entry &entry, const QStringList &words) {
        KLocalizedString text = refusalText(entry.code);
        for (const QString &word : words) {
            text = text.subs(word);
        }
        return text.toString();
    });
}
}

QString failureReason(const ActionResult &result)
{
    QString reason;
    // A helper older than this page, or a code it does not know: the helper's English description.
    const QString coded =
        refusalReason(result.data.value(Protocol::Reply::RefusalCode).toString(), result.data.value(Protocol::Reply::RefusalArguments).toStringList());
    if (authorizationRefused(result.errorCode)) {
        reason = i18n("the authorization was cancelled or denied");
    } else if (!coded.isEmpty()) {
        reason = coded;
    } else {
        reason = result.errorText.isEmpty() ? i18n("the helper gave no reason") : result.errorText;
    }
    if (result.timedOut) {
        return result.errorText;
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
