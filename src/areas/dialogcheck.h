// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class KMessageWidget;
class QBoxLayout;
class QLineEdit;
class QPushButton;

/**
 * Checks a dialog's fields as they are typed: the accept button stays disabled
 * until they can be accepted, and the reason they cannot shows inline, under
 * the fields, instead of in a message box after OK.
 */
class DialogCheck : public QObject
{
public:
    struct Verdict {
        bool acceptable = false;
        QString reason; ///< shown while not acceptable; empty for a field simply not filled in yet
    };

    /// Puts the reason's message into @p layout at @p index and checks at once.
    DialogCheck(QPushButton *acceptButton, QBoxLayout *layout, int index, std::function<Verdict()> check);

    /// Checks the fields again, on every change of a field and before accepting; true when they can be accepted.
    bool update();
    /// The reason shown, empty when none is.
    QString reason() const;

    /// Makes @p edit wide enough for @p sample, such as the longest address it is meant for.
    static void fitWidth(QLineEdit *edit, const QString &sample);

private:
    QPushButton *m_accept;
    KMessageWidget *m_reason;
    std::function<Verdict()> m_check;
};
