// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "privilegedaction.h"

#include <QList>
#include <functional>

/**
 * In-process stand-in for the root helper. Installs itself as the action runner
 * for its lifetime, records every call and answers through a handler.
 */
class FakeActionRunner : public SSHSettings::ActionRunner
{
public:
    struct Call
    {
        QString action;
        SSHSettings::ActionArguments arguments;

        QVariant argument(const QString &key) const;
        QStringList keys() const;
    };
    using Handler = std::function<SSHSettings::ActionResult(const Call &)>;

    FakeActionRunner();
    ~FakeActionRunner() override;

    SSHSettings::ActionResult run(const QString &actionName, const SSHSettings::ActionArguments &arguments) override;

    void setHandler(Handler handler);
    QList<Call> calls;

    /// Calls whose arguments contain the given key.
    QList<Call> callsWith(const QString &key) const;

    static SSHSettings::ActionResult success(const QVariantMap &data = {});
    /// A refusal of the helper; KAuth's codes 4 and 5 would be a denied or cancelled authorisation.
    static SSHSettings::ActionResult failure(const QString &text, int code = -1);

private:
    Handler m_handler;
};
