// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The root helper behind the actions org.kde.kcontrol.kcmsshsettings.read,
// .configure, .service, .restore, .userfiles and .sessions: unpacks the
// arguments, lets the engine act on a request of that action, packs the reply.

#include "engine.h"
#include "requestdispatch.h"
#include "requestnonce.h"
#include "sshsettingsprotocol.h"

#include <KAuth/ActionReply>
#include <KAuth/HelperSupport>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

using namespace KAuth;

class SshSettingsHelper : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    // KAuth calls the slot named by the last part of the action's name (Protocol::actionWord).
    ActionReply read(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::Read, arguments);
    }
    ActionReply configure(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::Configure, arguments);
    }
    ActionReply service(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::Service, arguments);
    }
    ActionReply restore(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::Restore, arguments);
    }
    ActionReply userfiles(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::UserFiles, arguments);
    }
    ActionReply sessions(const QVariantMap &arguments)
    {
        return run(RequestDispatch::Action::Sessions, arguments);
    }

private:
    /**
     * Announces Protocol::HelperReadySignal once KAuth has let go of the request.
     * KAuth sends the reply, then still processes events with the request marked
     * as running, and answers any request it dispatches there "busy" without the
     * caller ever hearing of it. A deferred deletion asked for here is carried out
     * only from the main loop's own level, that is once KAuth has returned from the
     * request; a zero timer offers it that chance at every turn of the loop.
     */
    static void announceReadyAfterRequest()
    {
        const QPointer<QObject> request = new QObject;
        request->deleteLater();
        auto *turn = new QTimer;
        // The limit runs from the first turn after the request, however long the request took.
        QObject::connect(turn, &QTimer::timeout, turn, [request, turn, limit = std::optional<QDeadlineTimer>()]() mutable {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (!limit) {
                limit = QDeadlineTimer(ReadyLimitMs);
            }
            if (request && !limit->hasExpired()) {
                return;
            }
            turn->stop();
            turn->deleteLater();
            using namespace SSHSettings::Protocol;
            QDBusConnection::systemBus().send(QDBusMessage::createSignal(HelperReadyPath, HelperReadyInterface, HelperReadySignal));
        });
        turn->start(0);
    }

    /// Past this, counted from the first turn of the loop after a request, KAuth has long let go of it.
    static constexpr int ReadyLimitMs = 2000;

    /// The helper's refusal; @p nonce, when given, is echoed in its data and at the start of its description, and
    /// the refusal's code and arguments follow the description.
    static ActionReply refusal(const QString &nonce, const Reply &reason)
    {
        ActionReply failure = ActionReply::HelperErrorReply();
        const Refusal code = reason.refusal();
        failure.setErrorDescription(SSHSettings::RequestNonce::withNonce(nonce, SSHSettings::Refusals::withCode(reason.error, code.code, code.arguments)));
        if (!nonce.isEmpty()) {
            failure.setData({{SSHSettings::Protocol::Reply::Nonce, nonce}});
        }
        return failure;
    }

    static ActionReply run(RequestDispatch::Action action, QVariantMap arguments)
    {
        announceReadyAfterRequest();
        // The nonce is the caller's, to tell its reply from the replies KAuth announces to every
        // caller of the action; it is checked here and echoed, and never reaches the engine.
        const QVariant nonceArgument = arguments.take(SSHSettings::Protocol::Arg::Nonce);
        if (nonceArgument.isValid() && !SSHSettings::RequestNonce::isValid(nonceArgument)) {
            return refusal(QString(),
                           Reply::failure(Refusal::Code::BadArgument, {SSHSettings::Protocol::Arg::Nonce, QStringLiteral("32 lower-case hexadecimal digits")}));
        }
        const QString nonce = nonceArgument.toString();
        // The system paths are fixed here; no caller can point the helper elsewhere.
        Engine engine(EnginePaths::system());
        const int caller = HelperSupport::callerUid();
        if (caller < 0) {
            return refusal(nonce, Reply::failure(Refusal::Code::UnknownCaller));
        }
        const Reply reply = RequestDispatch::dispatch(engine, action, arguments, uid_t(caller));
        if (!reply.ok) {
            return refusal(nonce, reply);
        }
        ActionReply success = ActionReply::SuccessReply();
        QVariantMap data = reply.data;
        if (!nonce.isEmpty()) {
            data.insert(SSHSettings::Protocol::Reply::Nonce, nonce);
        }
        success.setData(data);
        return success;
    }
};

KAUTH_HELPER_MAIN("org.kde.kcontrol.kcmsshsettings", SshSettingsHelper)

#include "kauthhelper.moc"
