// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace KCMOS
{
enum MessageType {
    Positive = 0,
    Information = 1,
    Warning = 2,
    Error = 3,
};

enum State {
    Normal = 0,
    Disabled = 1,
    Busy = 2,
};
}
