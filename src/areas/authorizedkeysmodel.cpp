// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysmodel.h"

#include "sshkeyutils.h"

#include <KLocalizedString>

#include <KColorScheme>
#include <QBrush>
#include <QFileInfo>
#include <QIcon>
#include <QMetaEnum>

namespace
{
// File nodes keep two values beyond the visible columns.
constexpr int s_patternSlot = AuthorizedKeysModel::FileExistsColumn + 1;
constexpr int s_readErrorSlot = AuthorizedKeysModel::FileExistsColumn + 2;
}

TreeItem::TreeItem(const QVariantList &data, TreeItem *parentItem)
    : m_itemData(data)
    , m_parentItem(parentItem)
{
}

TreeItem::~TreeItem()
{
    qDeleteAll(m_childItems);
}

void TreeItem::appendChild(TreeItem *item)
{
    m_childItems.append(item);
}

TreeItem *TreeItem::child(int row) const
{
    return row >= 0 && row < m_childItems.size() ? m_childItems.at(row) : nullptr;
}

int TreeItem::childCount() const
{
    return m_childItems.size();
}

int TreeItem::columnCount() const
{
    return m_itemData.size();
}

QVariant TreeItem::data(int column) const
{
    return column >= 0 && column < m_itemData.size() ? m_itemData.at(column) : QVariant();
}

void TreeItem::setData(int column, const QVariant &value)
{
    if (column >= 0 && column < m_itemData.size()) {
        m_itemData[column] = value;
    }
}

int TreeItem::row() const
{
    if (!m_parentItem) {
        return 0;
    }
    return m_parentItem->m_childItems.indexOf(const_cast<TreeItem *>(this));
}

TreeItem *TreeItem::parentItem() const
{
    return m_parentItem;
}

void TreeItem::removeChild(int row)
{
    if (row >= 0 && row < m_childItems.size()) {
        m_childItems.removeAt(row);
    }
}

void TreeItem::clearChildren()
{
    qDeleteAll(m_childItems);
    m_childItems.clear();
}

AuthorizedKeysModel::AuthorizedKeysModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_rootItem(new TreeItem({i18nc("@title:column", "Name"),
                               i18nc("@title:column", "Fingerprint"),
                               i18nc("@title:column", "Comment"),
                               i18nc("@title:column", "Type"),
                               i18nc("@title:column", "Size"),
                               i18nc("@title:column", "Public Key"),
                               i18nc("@title:column", "File")}))
{
}

AuthorizedKeysModel::~AuthorizedKeysModel()
{
    delete m_rootItem;
}

QModelIndex AuthorizedKeysModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent)) {
        return {};
    }
    const TreeItem *parentItem = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : m_rootItem;
    TreeItem *childItem = parentItem->child(row);
    return childItem ? createIndex(row, column, childItem) : QModelIndex();
}

QModelIndex AuthorizedKeysModel::parent(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return {};
    }
    TreeItem *parentItem = static_cast<TreeItem *>(index.internalPointer())->parentItem();
    if (!parentItem || parentItem == m_rootItem) {
        return {};
    }
    return createIndex(parentItem->row(), 0, parentItem);
}

int AuthorizedKeysModel::rowCount(const QModelIndex &parent) const
{
    const TreeItem *parentItem = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : m_rootItem;
    return parentItem->childCount();
}

int AuthorizedKeysModel::columnCount(const QModelIndex &) const
{
    return QMetaEnum::fromType<Column>().keyCount();
}

QVariant AuthorizedKeysModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const TreeItem *item = static_cast<TreeItem *>(index.internalPointer());
    const bool isFile = item->parentItem() == m_rootItem;
    const bool isKey = item->parentItem() && item->parentItem()->parentItem() == m_rootItem;
    const QString readError = isFile ? item->data(s_readErrorSlot).toString() : QString();
    const int column = index.column();

    if (isFile && role == ConfiguredPatternRole) {
        return item->data(s_patternSlot);
    }
    if (isFile && role == ReadErrorRole) {
        return readError;
    }
    if (column == KeyBitsColumn && role == Qt::ToolTipRole) {
        return i18n("The key's size in bits, as ssh-keygen reads it.");
    }
    if (column == FileExistsColumn) {
        const QVariant value = item->data(FileExistsColumn);
        if (!value.isValid() || !value.canConvert<bool>()) {
            return {};
        }
        const bool exists = value.toBool();
        switch (role) {
        case Qt::DecorationRole:
            if (!readError.isEmpty()) {
                return QIcon::fromTheme(QStringLiteral("dialog-warning"));
            }
            return QIcon::fromTheme(exists ? QStringLiteral("task-complete") : QStringLiteral("task-reject"));
        case Qt::ToolTipRole:
            if (!readError.isEmpty()) {
                return i18n("The file exists but cannot be read: %1", readError);
            }
            return exists ? i18n("The file exists.") : i18n("The file does not exist yet; adding a key creates it.");
        case FileExistsRole:
            return exists;
        default:
            return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
        return item->data(column);
    case Qt::ToolTipRole:
        if (column == NameColumn && !readError.isEmpty()) {
            return i18n("The file exists but cannot be read: %1", readError);
        }
        if (column == NameColumn && isKey && !SSHKeyUtils::splitOptions(item->data(RawKeyColumn).toString()).first.isEmpty()) {
            return item->data(RawKeyColumn); // the whole line, options included
        }
        return item->data(column);
    case Qt::ForegroundRole:
        if (column == NameColumn && isFile && !item->data(FileExistsColumn).toBool()) {
            return KColorScheme(QPalette::Active, KColorScheme::View).foreground(KColorScheme::InactiveText);
        }
        return {};
    case Qt::DecorationRole:
        if (column == NameColumn && isKey) {
            return QIcon::fromTheme(QStringLiteral("gcr-key"));
        }
        return {};
    default:
        return {};
    }
}

QVariant AuthorizedKeysModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return m_rootItem->data(section);
    }
    return {};
}

void AuthorizedKeysModel::clear()
{
    beginResetModel();
    m_rootItem->clearChildren();
    endResetModel();
}

QVariantList AuthorizedKeysModel::keyItemData(const QString &line, const KeyInfo &info)
{
    return {QString(info.type + QLatin1Char(' ') + info.comment), info.fingerprint, info.comment, info.type, info.bits, line};
}

void AuthorizedKeysModel::addAuthorizedFile(const QString &path, const QStringList &lines)
{
    addAuthorizedFile(path, lines, QString());
}

void AuthorizedKeysModel::addAuthorizedFile(const QString &path, const QStringList &lines, const QString &pattern, const QString &readError)
{
    const QFileInfo fileInfo(path);
    auto *fileItem = new TreeItem({fileInfo.filePath(),
                                   QString(),
                                   QString(),
                                   QString(),
                                   QString(),
                                   QString(),
                                   fileInfo.exists(),
                                   pattern.isNull() ? QVariant() : QVariant(pattern),
                                   readError},
                                  m_rootItem);
    const QList<KeyInfo> infos = SSHKeyUtils::parseKeyLines(lines);
    for (int i = 0; i < lines.size(); ++i) {
        fileItem->appendChild(new TreeItem(keyItemData(lines.at(i), infos.at(i)), fileItem));
    }
    beginResetModel();
    m_rootItem->appendChild(fileItem);
    endResetModel();
}

void AuthorizedKeysModel::addKeyToFile(const QString &filePath, const QString &keyLine)
{
    for (int row = 0; row < m_rootItem->childCount(); ++row) {
        TreeItem *fileItem = m_rootItem->child(row);
        if (fileItem->data(NameColumn).toString() != filePath) {
            continue;
        }
        const KeyInfo info = SSHKeyUtils::parseKeyLine(keyLine);
        const int newRow = fileItem->childCount();
        beginInsertRows(index(row, 0), newRow, newRow);
        fileItem->appendChild(new TreeItem(keyItemData(keyLine, info), fileItem));
        endInsertRows();
        return;
    }
}

bool AuthorizedKeysModel::removeKey(TreeItem *fileItem, int row)
{
    if (!fileItem || row < 0 || row >= fileItem->childCount()) {
        return false;
    }
    beginRemoveRows(createIndex(fileItem->row(), 0, fileItem), row, row);
    delete fileItem->child(row);
    fileItem->removeChild(row);
    endRemoveRows();
    return true;
}
