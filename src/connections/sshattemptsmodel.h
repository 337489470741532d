// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshdlogtracker.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QHostAddress>
#include <QList>

#include <functional>

/// The failed attempts of this boot, one row per source address.
class SSHAttemptsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        AddressColumn = 0,
        FailuresColumn,
        UsersColumn,
        FirstSeenColumn,
        LastSeenColumn,
        DeniedColumn,
        ColumnCount,
    };

    /// Whether the access lists deny an address: as written, and as they will be once the changes shown are applied.
    enum class DenyState {
        NotDenied,
        Denied,
        DeniedOnApply, ///< denied in the changes not written yet
        AllowedOnApply, ///< denied as written; the changes not written yet take it out
    };
    using DeniedCheck = std::function<DenyState(const QHostAddress &)>;

    explicit SSHAttemptsModel(QObject *parent);

    /// Tells how an address is denied (none without it).
    void setDeniedCheck(DeniedCheck check);
    /// How the address is denied; NotDenied for a null address or without a check.
    DenyState denyState(const QHostAddress &address) const;
    /// Shows these attempts; rows of known addresses are updated in place.
    void setAttempts(const QList<SshdLog::AddressAttempts> &attempts);
    /// The address of a row; null when it is not a literal address.
    QHostAddress address(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<SshdLog::AddressAttempts> m_rows;
    QHash<QString, int> m_rowOf;
    DeniedCheck m_denied;
};
