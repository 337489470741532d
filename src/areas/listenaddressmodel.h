// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serveraddress.h"

#include <QAbstractTableModel>
#include <QList>

/// The listen addresses of the server, one row each, with the columns address and port.
class ListenAddressModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    ListenAddressModel(const QList<ServerAddress> &addresses, QObject *parent);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QList<ServerAddress> serverAddrs() const;
    void setServerAddrs(const QList<ServerAddress> &addresses);

    void addAddress(const ServerAddress &address);
    void updateAddress(int row, const ServerAddress &address);
    void removeAddress(const QModelIndex &index);

private:
    QList<ServerAddress> m_addresses;
};
