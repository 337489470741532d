// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"

QVariant FakeActionRunner::Call::argument(const QString &key) const
{
    for (const auto &argument : arguments) {
        if (argument.first == key) {
            return argument.second;
        }
    }
    return {};
}

QStringList FakeActionRunner::Call::keys() const
{
    QStringList result;
    for (const auto &argument : arguments) {
        result.append(argument.first);
    }
    return result;
}

FakeActionRunner::FakeActionRunner()
    : m_handler([](const Call &) {
          return success();
      })
{
    SSHSettings::setActionRunner(this);
}

FakeActionRunner::~FakeActionRunner()
{
    SSHSettings::setActionRunner(nullptr);
}

SSHSettings::ActionResult FakeActionRunner::run(const QString &actionName, const SSHSettings::ActionArguments &arguments)
{
    calls.append({actionName, arguments});
    return m_handler(calls.constLast());
}

void FakeActionRunner::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QList<FakeActionRunner::Call> FakeActionRunner::callsWith(const QString &key) const
{
    QList<Call> result;
    for (const Call &call : calls) {
        if (call.keys().contains(key)) {
            result.append(call);
        }
    }
    return result;
}

SSHSettings::ActionResult FakeActionRunner::success(const QVariantMap &data)
{
    SSHSettings::ActionResult result;
    result.ok = true;
    result.data = data;
    return result;
}

SSHSettings::ActionResult FakeActionRunner::failure(const QString &text, int code)
{
    SSHSettings::ActionResult result;
    result.errorCode = code;
    result.errorText = text;
    return result;
}
