// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingsproxymodel.h"

#include "allsettingsmodel.h"

AllSettingsProxyModel::AllSettingsProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setSortCaseSensitivity(Qt::CaseInsensitive);
    // A row being edited stays until a filter changes, even when the edit takes it out of "changed from default".
    setDynamicSortFilter(false);
}

void AllSettingsProxyModel::setSearchText(const QString &text)
{
    m_search = text.trimmed();
    invalidateFilter();
}

void AllSettingsProxyModel::setCategory(int category)
{
    m_category = category;
    invalidateFilter();
}

void AllSettingsProxyModel::setChangedOnly(bool changedOnly)
{
    m_changedOnly = changedOnly;
    invalidateFilter();
}

bool AllSettingsProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    return (m_category < 0 || index.data(AllSettingsModel::CategoryRole).toInt() == m_category)
        && (!m_changedOnly || index.data(AllSettingsModel::ChangedRole).toBool())
        && (m_search.isEmpty() || index.data(AllSettingsModel::SearchRole).toString().contains(m_search, Qt::CaseInsensitive));
}
