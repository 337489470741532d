// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshsettingsprotocol.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>

/**
 * The one road from the module to the root helper.
 *
 * Every privileged request (read or write a configuration, service command,
 * journal read, kill, key and banner writes) is a KAuth action executed
 * through runPrivilegedAction(). Production code runs the real KAuth action;
 * tests install their own ActionRunner and answer the calls in-process.
 */
namespace SSHSettings
{
/// Names the helper and prefixes every action name.
QString helperId();

/// Read, Configure, Service, Restore, UserFiles or Sessions: each request belongs to one (see the protocol header).
using ActionKind = Protocol::Action;

/// "<helperId>.read", "<helperId>.configure", …
QString actionName(ActionKind kind);

/// Arguments in the order in which they are added to the action.
using ActionArguments = QList<QPair<QString, QVariant>>;

struct ActionResult
{
    bool ok = false;
    int errorCode = 0;
    QString errorText;
    QVariantMap data;
    /**
     * The answer that came back is not tied to this request (it lacks the request's nonce): a refusal
     * meant for another caller of the same action, or one of KAuth's own. Whether the request was
     * carried out is not known; errorCode and errorText are those of the answer.
     */
    bool outcomeUnknown = false;
};

class ActionRunner
{
public:
    virtual ~ActionRunner();
    /// Runs the action synchronously and returns its outcome.
    virtual ActionResult run(const QString &actionName, const ActionArguments &arguments) = 0;
};

/// Builds the KAuth::Action, executes it and waits for it in a local event loop.
class KAuthActionRunner : public ActionRunner
{
public:
    ActionResult run(const QString &actionName, const ActionArguments &arguments) override;
};

/**
 * Runs one privileged action through the installed runner (KAuth by default). The request carries
 * a fresh Protocol::Arg::Nonce; an answer without it is returned with outcomeUnknown set.
 */
ActionResult runPrivilegedAction(ActionKind kind, const ActionArguments &arguments);

/// Installs another runner (not owned); nullptr restores the KAuth runner.
void setActionRunner(ActionRunner *runner);

/// Whether a failed action was a cancelled password prompt or a denied authorisation.
bool authorizationRefused(int errorCode);
/// The helper's reason for a failed action, or that the authorisation was refused.
QString failureReason(const ActionResult &result);
}
