// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"

#include <QVariantMap>

#include <sys/types.h>

/**
 * Tells the requests of the two actions apart by their argument keys,
 * checks the types of the arguments and hands them to the engine.
 * A request must carry exactly the keys of one request kind. The access
 * action only reads (options, the journal); everything that writes or acts
 * on sshd (changes, restore, start/stop/restart, keys, banner, ending a
 * connection) is served by the change action alone.
 */
namespace RequestDispatch
{
enum class Action {
    Access,
    Change,
};

/// @p caller is the user on whose behalf the request runs (KAuth's caller); key files are edited for that user only.
Reply dispatch(Engine &engine, Action action, const QVariantMap &arguments, uid_t caller);
}
