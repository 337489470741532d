// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSortFilterProxyModel>

/// Filters the keywords of AllSettingsModel by a search text, a category, and "changed from default".
class AllSettingsProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit AllSettingsProxyModel(QObject *parent = nullptr);

    /// Case-insensitive, over the keyword, its aliases and its description (English and translated).
    void setSearchText(const QString &text);
    /// An OptionCatalog::Category as int; -1 for every category.
    void setCategory(int category);
    void setChangedOnly(bool changedOnly);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_search;
    int m_category = -1;
    bool m_changedOnly = false;
};
