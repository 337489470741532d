// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshtypes.h"

#include <QDialog>
#include <QPair>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

/**
 * The criteria of a Match block (server) or a Host/Match block (client): read into
 * criterion/value pairs and said in words.
 */
namespace ConditionalCriteria
{
using Criterion = QPair<QString, QString>; ///< criterion as written (e.g. "Group"), value ("sftponly,!staff"; empty for All)

/// The criteria as written after Match (server), or whole with its Host or Match word (client), as pairs.
/// A client's Host line is one pair {"Host", the patterns}.
QList<Criterion> parse(SSHConfigurationTypeId type, const QString &criteria);
/// The pairs written back, in the form parse() reads.
QString join(SSHConfigurationTypeId type, const QList<Criterion> &criteria);
/// Who a block applies to, e.g. "Users in group sftponly" or "Connections from 192.0.2.0/24".
QString inWords(SSHConfigurationTypeId type, const QString &criteria);
/// Why @p value does not suit @p criterion; empty when it does.
QString problem(SSHConfigurationTypeId type, const QString &criterion, const QString &value);
/// The criterion in lower case, without the client's "Match " before it.
QString bare(const QString &criterion);
/// True for a criterion without a value (All, and the client's Canonical and Final).
bool standsAlone(const QString &criterion);
}

/**
 * Asks for a block's criterion: its kind and its value (a comma-separated list, '!' before an
 * entry excludes it), said in words as it is typed; OK only for a valid one. Criteria after
 * the first of an existing block are kept as they are.
 */
class ConditionalCriteriaDialog : public QDialog
{
    Q_OBJECT
public:
    /// @p only limits the kind to one criterion (a recipe's), e.g. "Group".
    ConditionalCriteriaDialog(SSHConfigurationTypeId type, const QString &criteria, QWidget *parent, const QString &only = QString());

    /// The criteria as the helper takes them.
    QString criteria() const;
    /// Sets the value field, as typing does.
    void setValue(const QString &value);

private:
    /// The value typed, as written after the criterion.
    QString value() const;
    void update();

    SSHConfigurationTypeId m_type;
    QList<ConditionalCriteria::Criterion> m_rest;
    QComboBox *m_kind;
    QLineEdit *m_value;
    QLabel *m_words;
    QDialogButtonBox *m_buttons;
};
