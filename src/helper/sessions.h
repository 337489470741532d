// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

/// Ends one sshd connection process, never the listening daemon nor anything else.
class Sessions
{
public:
    explicit Sessions(const EnginePaths &paths);
    Reply kill(qint64 pid) const;

private:
    const EnginePaths &m_paths;
};
