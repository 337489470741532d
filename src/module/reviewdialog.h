// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshmanager.h"

#include <QDialog>

class QCheckBox;

/**
 * Shows what Apply will write before it writes it: the helper's dry run of
 * the same transaction, file by file, whether sshd restarts, and what the
 * change would stop for the SSH session the page runs in.
 */
class ReviewDialog : public QDialog
{
    Q_OBJECT
public:
    /// The KMessageBox "don't ask again" entry of this dialog.
    static const QString DontAskAgainName;

    ReviewDialog(const SSHManager::Review &review, QWidget *parent);
    /// True when "Do not show this again" is checked.
    bool dontShowAgain() const;
    /// Says @p text above the changes, as a warning (e.g. that clients will see a new host key); nothing when empty.
    void setWarning(const QString &text);

    /// A sentence per lockout warning.
    static QStringList lockoutWarnings(const SSHManager::Review &review);

    /// One changed keyword of one file, as the summary above the diff lists it.
    struct Change {
        QString keyword;
        QString before; ///< the removed values, comma-separated; empty for a keyword added
        QString after; ///< the added values, comma-separated; empty for a keyword removed
        QString file;
        bool operator==(const Change &other) const
        {
            return keyword == other.keyword && before == other.before && after == other.after && file == other.file;
        }
    };
    /// The keywords the diffs change, file by file in the order their lines first change.
    static QList<Change> changes(const SSHManager::Review &review);

private:
    QCheckBox *m_dontShowAgain = nullptr;
};
