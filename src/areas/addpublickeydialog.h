// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class KMessageWidget;

namespace Ui
{
class AddPublicKeyDialog;
}

/// Takes one public key, whole or in parts, checks it and appends it to a file.
class AddPublicKeyDialog : public QDialog
{
public:
    AddPublicKeyDialog(const QString &filePath, QWidget *parent);
    ~AddPublicKeyDialog() override;

    /// The line last produced by the dialog, trimmed.
    QString generatedKey() const;

    /// Writes the key and closes the dialog only when that succeeded.
    void accept() override;
    /// The inline message that shows why the last write failed.
    KMessageWidget *errorWidget() const;

private:
    QString keyGeneration();
    bool writeNewKey();
    bool writeFileUsingPolicyKit(const QString &key, QString *reason);

    std::unique_ptr<Ui::AddPublicKeyDialog> ui;
    QString m_filePath;
    QString m_keyLine;
    KMessageWidget *m_error;
};
