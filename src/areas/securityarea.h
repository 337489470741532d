// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "auditchecks.h"
#include "privilegedaction.h"

#include <QVariantMap>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;

/**
 * "Security": what the security check finds in the configuration sshd uses, its host keys and its
 * moduli, grouped by kind, each with its value in force, the recommended one, where it is set and
 * why it matters; Fix (the selected finding) and "Fix all safe findings". Below, the host keys,
 * with Generate and Remove.
 *
 * It sends nothing itself: each fix or host-key operation is asked for with requested(), and the
 * page writes it as one transaction, reviewed first, then gives the check read again to
 * setFindings() and setHostKeys().
 */
class SecurityArea : public QWidget
{
    Q_OBJECT
public:
    /// The kinds findings are grouped by, in the order shown: those of the table of checks.
    using Kind = AuditChecks::Group;

    explicit SecurityArea(QWidget *parent);

    /// The findings of a read (Protocol::Reply::Findings).
    void setFindings(const QVariantList &findings);
    /// The host keys of a read (Protocol::Reply::HostKeys).
    void setHostKeys(const QVariantList &keys);
    /// The check could not be read: the summary says why.
    void showReadFailure(const QString &reason);

    /// The summary of @p findings: their counts by severity, e.g. "4 failures, 13 warnings, 2 notes".
    static QString summary(const QVariantList &findings);
    static Kind kindOf(const QVariantMap &finding);
    /// Where a finding's value comes from, in words: its file and line or the built-in default, and its Match block.
    static QString originText(const QVariantMap &finding);

Q_SIGNALS:
    /// A fix or a host key's operation, as the arguments of its transaction; @p warning is said in its review.
    void requested(const SSHSettings::ActionArguments &arguments, const QString &warning);

private:
    QVariantMap currentFinding() const;
    QVariantMap currentHostKey() const;
    void updateButtons();
    void generate(const QString &type, int bits);

    QVariantList m_findings;
    QVariantList m_hostKeys;
    QLabel *m_summary;
    QTreeWidget *m_view;
    QPushButton *m_fix;
    QPushButton *m_fixAll;
    QTreeWidget *m_keys;
    QPushButton *m_generate;
    QPushButton *m_remove;
};
