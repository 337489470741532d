// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>

/**
 * The table of the security check: every check the helper runs on the
 * configuration sshd uses, its host keys and its moduli, with what it reads,
 * what it accepts, the value its fix sets, a one-line reason and its
 * references. The helper judges from it; the page shows its reasons by id.
 * Adding an option check is one row.
 */
namespace AuditChecks
{
enum class Severity {
    Fail, ///< broken or dangerous: fix it
    Warn, ///< weaker than it should be
    Info, ///< worth knowing, no fix of ours
};

/// How the page groups the findings.
enum class Group {
    Algorithms,
    HostKeys,
    Moduli,
    Options,
};

struct Check {
    const char *id; ///< lower-case words with dashes
    Severity severity; ///< the worst this check reports
    Group group;
    /// What it reads: the lower-case keyword as `sshd -T` prints it, several separated by blanks, or a file.
    const char *reads;
    /**
     * What passes, for option checks: "a|b" one of these words, "1..4" or "1.." a number (or interval) in
     * range, "startups" MaxStartups no looser than the recommended triple (its fix tightens only the looser parts), "set" anything but "none",
     * "any" one of the keywords read is set, "mode" the file is 0600 and root's. Empty: judged in code
     * (algorithms, host keys, moduli).
     */
    const char *accepted;
    /// Values that are reported as a warning rather than with the check's severity ("a|b").
    const char *lesser;
    /// "keyword=value": the check passes whatever its own keyword holds (forwarding off altogether).
    const char *unless;
    /// The value the fix sets, as `sshd -T` spells it; empty: no fix of ours (the reason says what to do).
    const char *recommended;
    /// One line in plain English; the page translates it.
    const char *reason;
    /// CIS Debian Linux 12 Benchmark §5.1 rule ids, and the algorithm class.
    const char *references;
};

const QList<Check> &checks();
/// The check of @p id; nullptr for an id outside the table.
const Check *find(const QString &id);
/// The English reason of the check @p id (the page passes it to i18n); empty for an id outside the table.
QString reason(const QString &id);
/// "fail", "warn" or "info", as Reply::FindingSeverity gives it.
QString severityWord(Severity severity);

/**
 * The algorithm check that @p name fails in the list read from the keyword @p reads (lower case, as the table's
 * algorithm rows read it); empty when the name passes. Fail classes come before warnings.
 */
QString algorithmCheck(const QString &reads, const QString &name);
/**
 * The list an algorithm fix sets: the names of @p offered (the keyword's value in sshd's preference order) that pass
 * every check, after the post-quantum key exchanges @p supported holds (`ssh -Q`); when none passes, those of
 * @p supported that pass.
 */
QStringList recommendedAlgorithms(const QString &reads, const QStringList &offered, const QStringList &supported);
}
