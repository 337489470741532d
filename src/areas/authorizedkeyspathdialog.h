// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "dialogcheck.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QTreeWidgetItem;

namespace Ui
{
class AuthorizedKeysPathDialog;
}

/// Edits the AuthorizedKeysFile words as configured, each beside the file it names for the user running the page.
class AuthorizedKeysPathDialog : public QDialog
{
public:
    AuthorizedKeysPathDialog(const QStringList &paths, QWidget *parent);
    ~AuthorizedKeysPathDialog() override;

    /// The listed paths and patterns in order, each trimmed; empty lines left out.
    QStringList paths() const;
    /// Why the list cannot be accepted as it is, as shown under it; empty when it can.
    QString reason() const;
    /// Why sshd would not take @p path as an AuthorizedKeysFile word, empty when it would.
    static QString pathError(const QString &path);

    void accept() override;

private:
    void onAdd();
    void onBrowse();
    QTreeWidgetItem *addItem(const QString &path);
    void edit(QTreeWidgetItem *item);
    DialogCheck::Verdict verdict() const;
    void onRemove();
    void updateRemoveButton();

    std::unique_ptr<Ui::AuthorizedKeysPathDialog> ui;
    DialogCheck *m_check = nullptr;
};
