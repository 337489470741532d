// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

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

    /// The listed paths in order, each trimmed.
    QStringList paths() const;

private:
    void onAdd();
    void onRemove();
    void updateRemoveButton();

    std::unique_ptr<Ui::AuthorizedKeysPathDialog> ui;
};
