// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"
#include "sshsettingsprotocol.h"

#include <QVariantMap>

#include <sys/types.h>

/**
 * The one table of which request belongs to which action: each request kind
 * names its action and its argument keys, required and optional. A request
 * is served only under its own action and only with exactly the keys of one
 * kind; an argument of another action, an unknown one, a missing one or a mix
 * of two kinds is refused with the reason. The types of the arguments are
 * checked before the engine gets them. The KAuth helper and ssh-settings-tool
 * both hand their requests to dispatch().
 */
namespace RequestDispatch
{
using Action = SSHSettings::Protocol::Action;

/// @p caller is the user on whose behalf the request runs (KAuth's caller); key files are edited for that user only.
Reply dispatch(Engine &engine, Action action, const QVariantMap &arguments, uid_t caller);
}
