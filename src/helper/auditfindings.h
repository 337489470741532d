// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "lockoutsession.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <sys/types.h>

/**
 * The option and algorithm checks of the table (auditchecks.h) judged on the
 * values sshd uses, without running anything: what the engine reads is
 * handed in, the findings come out as the protocol's QVariantMaps.
 */
namespace AuditFindings
{
/// A file of the server configuration as it is on disk.
struct FileState {
    QString path;
    mode_t mode = 0; ///< permission bits
    uid_t owner = 0;
};

struct Input {
    Lockout::Values values; ///< `sshd -T` for every connection
    /// Reply::Origins of a read of the keywords the checks read: where each value comes from.
    QVariantMap origins;
    /// Reply::Blocks: the Match blocks with the values they set as written.
    QVariantList blocks;
    /// `ssh -Q` query ("kex", "cipher", "mac", "key-sig", "sig") → the names this OpenSSH supports.
    QHash<QString, QStringList> supported;
    QList<FileState> files;
    uid_t owner = 0; ///< who must own them: root, the helper's user
};

/// The keywords (table spelling) whose values and origins the checks read.
QStringList keywords();
/// Every finding of the option and algorithm checks, in the table's order.
QVariantList findings(const Input &input);
/// Failures first, then warnings, then notes; the table's order within each.
void sort(QVariantList *findings);
/// The change that fixes @p finding: keyword (table spelling) → the value as the module sends it, made in the body of the
/// block its Reply::BlockIndex names when it has one; false when it has none.
bool fix(const QVariantMap &finding, QString *keyword, QVariant *value);
}
