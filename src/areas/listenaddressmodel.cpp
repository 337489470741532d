// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listenaddressmodel.h"

#include <KLocalizedString>

#include <QMetaEnum>

ListenAddressModel::ListenAddressModel(const QList<ServerAddress> &addresses, QObject *parent)
    : QAbstractTableModel(parent)
    , m_addresses(addresses)
{
}

int ListenAddressModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_addresses.size();
}

int ListenAddressModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : QMetaEnum::fromType<ServerAddress::Id>().keyCount();
}

QVariant ListenAddressModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_addresses.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const ServerAddress &address = m_addresses.at(index.row());
    switch (index.column()) {
    case ServerAddress::IpAddress:
        return address.ip().toString();
    case ServerAddress::Port:
        return address.followsPort() ? i18nc("@item the port of a listening address without its own", "Server's port") : address.port();
    default:
        break;
    }
    return {};
}

QVariant ListenAddressModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    switch (section) {
    case ServerAddress::IpAddress:
        return i18n("IP address");
    case ServerAddress::Port:
        return i18n("Port");
    default:
        break;
    }
    return {};
}

QList<ServerAddress> ListenAddressModel::serverAddrs() const
{
    return m_addresses;
}

void ListenAddressModel::setServerAddrs(const QList<ServerAddress> &addresses)
{
    beginResetModel();
    m_addresses = addresses;
    endResetModel();
}

void ListenAddressModel::addAddress(const ServerAddress &address)
{
    const int row = m_addresses.size();
    beginInsertRows(QModelIndex(), row, row);
    m_addresses.append(address);
    endInsertRows();
}

void ListenAddressModel::updateAddress(int row, const ServerAddress &address)
{
    if (row < 0 || row >= m_addresses.size()) {
        return;
    }
    m_addresses[row] = address;
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1), {});
}

void ListenAddressModel::removeAddress(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= m_addresses.size()) {
        return;
    }
    beginRemoveRows(QModelIndex(), index.row(), index.row());
    m_addresses.removeAt(index.row());
    endRemoveRows();
}
