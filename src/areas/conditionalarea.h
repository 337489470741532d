// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "privilegedaction.h"
#include "sshtypes.h"

#include <QVariantMap>
#include <QWidget>

class AllSettingsView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

/**
 * "Conditional settings": the Match blocks of the server (Host and Match blocks of the client) in
 * reading order, with who each applies to in words and where it is; the selected block's body
 * edited as "All settings" edits the whole configuration; Add (with ready recipes), Edit
 * criteria, Remove, Move up and down. For the server, "Test a connection" shows what a user
 * from an address gets.
 *
 * It sends nothing itself: each operation is asked for with requested(), and the page writes it
 * as one transaction, reviewed first, then gives the blocks read again to setBlocks().
 */
class ConditionalArea : public QWidget
{
    Q_OBJECT
public:
    /// One operation on the blocks, as the helper takes it.
    struct Request {
        QString operation; ///< "add", "criteria", "remove", "up", "down"; empty: @a changes go into the body of block @a index
        int index = 0; ///< 1-based, reading order; 0 for "add"
        QString criteria; ///< "add" and "criteria"
        QVariantMap changes; ///< the body's changes, keyword → value in the shape of a transaction
        QVariantMap globalAfter; ///< changes outside blocks, written once the block is (a recipe's)

        /// Protocol::Arg::BlockIndex, BlockOperation and BlockCriteria of the request.
        SSHSettings::ActionArguments arguments() const;
    };

    ConditionalArea(SSHConfigurationTypeId type, QWidget *parent);

    SSHConfigurationTypeId type() const
    {
        return m_type;
    }
    /// The blocks of a read (Protocol::Reply::Blocks); the selection stays on the same index when it can.
    void setBlocks(const QVariantList &blocks);
    /// The configuration's values as read (a read reply): what a body does not set shows these.
    void setGlobalValues(const QVariantMap &reply);
    /// The answer to a test: effective values (a read reply), Reply::AppliedBlocks and Reply::Verdict; or why it failed.
    void showEffective(const QVariantMap &reply);
    void showTestFailure(const QString &reason);
    /// The last request was written: if it was the body's edits, the next setBlocks() shows the body as read.
    void requestWritten();
    /// A reason of a verdict (Reply::VerdictReasons, "kind:detail") in the page's words.
    static QString verdictReason(const QString &reason);

Q_SIGNALS:
    void requested(const ConditionalArea::Request &request);
    /// The test panel's question; @p host may be empty.
    void testRequested(const QString &user, const QString &address, const QString &host);

private:
    int currentIndex() const; ///< 1-based index of the selected block; 0 for none
    QVariantMap currentBlock() const;
    void showCurrentBlock();
    void updateButtons();
    /// Asks for the criteria (of @p criteria, limited to @p only) in the criteria dialog; empty when cancelled.
    QString askCriteria(const QString &criteria, const QString &only = QString(), const QString &title = QString());
    void createTestPanel(QWidget *parent);
    /**
     * Whether what was asked may go on with the body's edits (made on block @p from, by default the selected one) not
     * applied: yes without edits, or when the question is answered with Discard. Answered with Apply, the edits are
     * asked to be written, block @p to is selected once they are, and the answer is no.
     */
    bool mayLeaveBody(int from = 0, int to = 0);

    SSHConfigurationTypeId m_type;
    QString m_added; ///< the criteria of a block being added: selected once read
    int m_next = 0; ///< the block to select once the body's edits are written
    bool m_bodySent = false; ///< the last request was the body's edits
    QVariantList m_blocks;
    QVariantMap m_global;
    QTreeWidget *m_list;
    AllSettingsView *m_body;
    QPushButton *m_add;
    QPushButton *m_criteria;
    QPushButton *m_remove;
    QPushButton *m_up;
    QPushButton *m_down;
    QPushButton *m_save;
    QLineEdit *m_testUser = nullptr;
    QLineEdit *m_testAddress = nullptr;
    QLineEdit *m_testHost = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_verdict = nullptr;
    QLabel *m_applied = nullptr;
    QTreeWidget *m_effective = nullptr;
};
