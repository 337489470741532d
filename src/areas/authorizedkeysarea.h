// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <QPointer>
#include <QStringList>

#include <memory>

namespace Ui
{
class AuthorizedKeysArea;
}

class CollapsiblePanel;
class AuthorizedKeysModel;
class AuthorizedKeysProxyModel;

/**
 * The AuthorizedKeysFile option: the list of key files, shown as a tree of the
 * files and the keys in them for the user running the module. Keys are added
 * and removed in the files at once; the list of files goes through apply.
 */
class AuthorizedKeysArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    AuthorizedKeysArea(const SSHOption &option, QWidget *parent);
    ~AuthorizedKeysArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;

    /// A key as the page names it: its comment and fingerprint, or the fingerprint alone.
    static QString keyName(const QString &comment, const QString &fingerprint);

private:
    // One listed file: its path and the configured pattern it came from (null when the user added it).
    struct FileEntry {
        QString path;
        QString pattern;
    };

    void loadAuthorizedKeysFiles(const QStringList &patterns) const;
    void loadFileEntries(const QList<FileEntry> &entries) const;
    QStringList relativePathsForConfig() const;
    bool isAnyCollapsed() const;
    void setupAnimation();
    void showPublicKey(const QString &key);

    void onSearchLineEditTextChanged(const QString &text);
    void updateRemoveKeyButton();
    QModelIndex selectedSourceIndex() const;
    void onContextMenuRequested(const QPoint &pos);
    void editAuthorizedKeysPaths();
    void onAddKey();
    void onRemoveKey();
    /// Asks before a key is removed, Cancel the default.
    bool confirmRemoval(const QString &key, const QString &path);

    std::unique_ptr<Ui::AuthorizedKeysArea> ui;
    AuthorizedKeysModel *m_model = nullptr;
    AuthorizedKeysProxyModel *m_proxy = nullptr;
    CollapsiblePanel *m_panel = nullptr;
};
