// SPDX-License-Identifier: GPL-2.0-or-later
// The root helper behind the actions org.kde.kcontrol.kcmsshsettings.access
// and .change: unpacks the arguments, lets the engine act, packs the reply.

#include "engine.h"
#include "requestdispatch.h"

#include <KAuth/ActionReply>
#include <KAuth/HelperSupport>

#include <QObject>

using namespace KAuth;

class SshSettingsHelper : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    ActionReply access(const QVariantMap &arguments) { return run(RequestDispatch::Action::Access, arguments); }
    ActionReply change(const QVariantMap &arguments) { return run(RequestDispatch::Action::Change, arguments); }

private:
    static ActionReply run(RequestDispatch::Action action, const QVariantMap &arguments)
    {
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
