// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QStringList>
#include <QVariant>

struct KeyInfo;

/// One node of the keys tree: the root, a file or a key.
class TreeItem
{
public:
    explicit TreeItem(const QVariantList &data, TreeItem *parentItem = nullptr);
    virtual ~TreeItem();

    void appendChild(TreeItem *item);
    TreeItem *child(int row) const;
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;
    void setData(int column, const QVariant &value);
    int row() const;
    TreeItem *parentItem() const;
    /// Takes the child out of the list without deleting it.
    void removeChild(int row);
    void clearChildren();

private:
    Q_DISABLE_COPY(TreeItem)

    QList<TreeItem *> m_childItems;
    QVariantList m_itemData;
    TreeItem *m_parentItem;
};

/**
 * The authorized_keys files and the keys in them: file nodes under the root,
 * key nodes under their file.
 */
class AuthorizedKeysModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column {
        NameColumn = 0,
        FingerprintColumn,
        CommentColumn,
        KeyTypeColumn,
        KeyBitsColumn,
        RawKeyColumn,
        FileExistsColumn,
    };
    Q_ENUM(Column)

    enum Role {
        FileExistsRole = Qt::UserRole + 1,
        /// File nodes: the configured pattern the file was loaded from; null for a path the user added.
        ConfiguredPatternRole,
        /// File nodes: why an existing file could not be read; empty when it was read.
        ReadErrorRole,
    };
    Q_ENUM(Role)

    explicit AuthorizedKeysModel(QObject *parent = nullptr);
    ~AuthorizedKeysModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void clear();
    /// Adds a file node with one key node per line.
    void addAuthorizedFile(const QString &path, const QStringList &lines);
    /// The same, remembering the configured pattern (null for a path the user added) and a read failure.
    void addAuthorizedFile(const QString &path, const QStringList &lines, const QString &pattern, const QString &readError = QString());
    /// Appends a key node to the first file node with exactly this path.
    void addKeyToFile(const QString &filePath, const QString &keyLine);
    bool removeKey(TreeItem *fileItem, int row);

private:
    static QVariantList keyItemData(const QString &line, const KeyInfo &info);

    TreeItem *m_rootItem;
};
