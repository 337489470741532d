// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysproxymodel.h"

#include "authorizedkeysmodel.h"

#include <QRegularExpression>

bool AuthorizedKeysProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QAbstractItemModel *model = sourceModel();
    if (!model) {
        return false;
    }
    const QRegularExpression expression = filterRegularExpression();
    if (!sourceParent.isValid()) {
        if (expression.pattern().isEmpty()) {
            return true;
        }
        if (!expression.isValid()) {
            return false;
        }
        const QModelIndex fileIndex = model->index(sourceRow, 0, sourceParent);
        const int keyCount = model->rowCount(fileIndex);
        for (int row = 0; row < keyCount; ++row) {
            if (filterAcceptsRow(row, fileIndex)) {
                return true;
            }
        }
        return false;
    }
    for (int column = AuthorizedKeysModel::NameColumn; column <= AuthorizedKeysModel::FileExistsColumn; ++column) {
        const QString text = model->index(sourceRow, column, sourceParent).data(Qt::DisplayRole).toString();
        if (expression.match(text).hasMatch()) {
            return true;
        }
    }
    return false;
}
