// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

class QListWidgetItem;

namespace Ui
{
class AuthorizedKeysPathDialog;
}

/// Edits the list of authorized_keys files.
class AuthorizedKeysPathDialog : public QDialog
{
public:
    AuthorizedKeysPathDialog(const QStringList &paths, QWidget *parent);
    ~AuthorizedKeysPathDialog() override;

    /// The listed paths in order, each trimmed; empty lines left out.
    QStringList paths() const;
    /// Why sshd would not take @p path as an AuthorizedKeysFile word, empty when it would.
    static QString pathError(const QString &path);

    void accept() override;

private:
    void onAdd();
    void onBrowse();
    QListWidgetItem *addItem(const QString &path);
    void onRemove();
    void updateRemoveButton();

    std::unique_ptr<Ui::AuthorizedKeysPathDialog> ui;
};
