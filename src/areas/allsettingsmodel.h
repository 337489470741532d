// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoptioncatalog.h"

#include <QAbstractTableModel>
#include <QVariantMap>

/**
 * Every keyword of the table that the installed OpenSSH knows, with its value from a
 * read reply, where that value comes from, and the edit waiting to be applied.
 *
 * Values are kept in the shape the helper takes for a change: bool for yes/no, int for
 * numbers, QString for the rest, and an empty QStringList to remove the keyword's lines.
 */
class AllSettingsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { KeywordColumn, ValueColumn, OriginColumn, DescriptionColumn, ColumnCount };
    enum Role {
        CategoryRole = Qt::UserRole + 1, ///< int, the row's OptionCatalog::Category
        ChangedRole, ///< bool: set in a file, different from the built-in value, or edited
        SearchRole, ///< QString: keyword, aliases and description, English and translated
    };
    /// What the view may do with a row.
    enum class Access {
        Edit, ///< edit and reset
        ResetOnly, ///< several lines: one editor cannot show them, a reset removes them all
        OtherTab, ///< the page edits it on a tab of its own
    };

    explicit AllSettingsModel(OptionCatalog::ConfigType type, QObject *parent = nullptr);

    /// Takes a whole read reply; drops the edits.
    void setReadValues(const QVariantMap &reply);
    /**
     * Shows the body of one block instead: only the keywords allowed inside blocks, @p body's
     * (keyword as written → value as written) as set here, the others with their value in
     * @p global (a read reply). Edits are then changes of the body; a reset removes the keyword from it.
     */
    void setBlockValues(const QVariantMap &body, const QVariantMap &global);

    const OptionCatalog::Option &option(int row) const;
    Access access(int row) const;
    /// Where the page edits a row of Access::OtherTab, as a sentence; empty for the rows edited here.
    QString editedElsewhere(int row) const;
    /// What this OpenSSH supports for an Algorithms row, as the reply lists it.
    QStringList supportedAlgorithms(int row) const;
    /// The edit or, without one, the read value; a reset row gives the built-in value.
    QVariant value(int row) const;
    bool isEdited(int row) const;
    /// True when resetting the row would change something.
    bool canReset(int row) const;

    /// An edit in the change shape; an edit equal to the read value is no edit.
    void setValue(int row, const QVariant &value);
    /// Removes the keyword's lines so that its default applies; without lines, drops the edit.
    void resetToDefault(int row);
    void discardChanges();
    /// Keyword → value for every edited row.
    QVariantMap changes() const;

    /// The change shape of @p text as a read reply or the table gives it.
    static QVariant shaped(const OptionCatalog::Option &option, const QString &text);
    /// A value in the change shape as the configuration writes it.
    static QString text(const QVariant &value);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    /// An edit was made or taken back.
    void changed();

private:
    struct Row {
        const OptionCatalog::Option *option;
        QStringList lines; ///< the read value, one entry a line
        QVariantMap origin; ///< Reply::Origins of the keyword
        QVariant edit; ///< invalid when not edited
        bool inBody = false; ///< a block's body sets it (setBlockValues())
    };
    /// The rows of @p reply's values; with @p body, only those allowed in blocks, the body's values first.
    void fill(const QVariantMap &reply, const QVariantMap *body);
    QString originText(const Row &row) const;
    QString originToolTip(const Row &row) const;
    bool isChangedFromDefault(const Row &row) const;
    void setEdit(int row, const QVariant &edit);

    OptionCatalog::ConfigType m_type;
    QList<Row> m_rows;
    QVariantMap m_algorithms;
    bool m_block = false;
};
