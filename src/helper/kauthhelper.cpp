// SPDX-License-Identifier: GPL-2.0-or-later
// The root helper behind the actions org.kde.kcontrol.kcmsshsettings.access
// and .change: unpacks the arguments, lets the engine act, packs the reply.

#include "engine.h"
#include "requestdispatch.h"
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
    ActionReply access(const QVariantMap &arguments) { return run(RequestDispatch::Action::Access, arguments); }
    ActionReply change(const QVariantMap &arguments) { return run(RequestDispatch::Action::Change, arguments); }

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

    static ActionReply run(RequestDispatch::Action action, const QVariantMap &arguments)
    {
        announceReadyAfterRequest();
        // The system paths are fixed here; no caller can point the helper elsewhere.
        Engine engine(EnginePaths::system());
        const int caller = HelperSupport::callerUid();
        if (caller < 0) {
            ActionReply failure = ActionReply::HelperErrorReply();
            failure.setErrorDescription(QStringLiteral("the caller of the request is unknown"));
            return failure;
        }
        const Reply reply = RequestDispatch::dispatch(engine, action, arguments, uid_t(caller));
        if (!reply.ok) {
            ActionReply failure = ActionReply::HelperErrorReply();
            failure.setErrorDescription(reply.error);
            return failure;
        }
        ActionReply success = ActionReply::SuccessReply();
        success.setData(reply.data);
        return success;
    }
};

KAUTH_HELPER_MAIN("org.kde.kcontrol.kcmsshsettings", SshSettingsHelper)

#include "kauthhelper.moc"
