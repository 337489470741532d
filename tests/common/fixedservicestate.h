// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serverstate.h"

/// A stand-in for the sshd service whose state the test sets.
struct FixedServiceState : ServerState::StateSource
{
    bool active = true;
    bool enabled = true;
    bool isEnabled() const override { return enabled; }
    bool isActive() const override { return active; }
};
