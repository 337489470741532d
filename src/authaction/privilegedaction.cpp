// SPDX-License-Identifier: GPL-2.0-or-later
#include "privilegedaction.h"

#include "sshsettingsprotocol.h"

#include <KAuth/Action>
#include <KAuth/ExecuteJob>

namespace SSHSettings
{
namespace
{
ActionRunner *s_runner = nullptr;

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
    KAuth::ExecuteJob *job = action.execute(KAuth::Action::ExecuteMode);
    ActionResult result;
    result.ok = job->exec();
    result.errorCode = job->error();
    result.errorText = job->errorString();
    result.data = job->data();
    return result;
}

ActionResult runPrivilegedAction(ActionKind kind, const ActionArguments &arguments)
{
    return currentRunner().run(actionName(kind), arguments);
}

void setActionRunner(ActionRunner *runner)
{
    s_runner = runner;
}
}
