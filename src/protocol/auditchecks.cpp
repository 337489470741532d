// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "auditchecks.h"

#include <utility>

#define N_(text) text

QString AuditChecks::reason(const QString &id)
{
    static const std::pair<const char *, const char *> reasons[] = {
        {"hostkey-rsa-size", N_("RSA host keys shorter than 3072 bits are within reach of a well-funded attacker")},
        {"hostkey-dsa", N_("DSA host keys are broken and no longer accepted by current clients")},
        {"hostkey-ecdsa", N_("ECDSA host keys use NIST curves whose constants are not trusted")},
        {"hostkey-permissions", N_("A host key that others can read or change lets them impersonate the server")},
        {"hostkey-missing", N_("A configured host key file does not exist")},
        {"moduli-weak", N_("Group exchange moduli shorter than 3072 bits are too weak for the key exchange")},
    };
    for (const auto &[check, text] : reasons) {
        if (id == QLatin1String(check)) {
            return QString::fromLatin1(text);
        }
    }
    return QString();
}
