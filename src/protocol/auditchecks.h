// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

/// The table of checks of the security check (temporary stand-in: the host-key and moduli checks only).
namespace AuditChecks
{
/// The one-line reason of the check @p id, untranslated (marked N_() for the catalog); empty for an unknown id.
QString reason(const QString &id);
}
