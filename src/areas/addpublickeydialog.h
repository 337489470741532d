// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "dialogcheck.h"
#include "sshkeyutils.h"

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
    /// The key in the fields as ssh-keygen reads it.
    KeyInfo keyInfo() const;
    /// Why the fields cannot be accepted as they are, as shown under them; empty when they can or are not filled in.
    QString reason() const;

    /// Writes the key (through the helper when the file is not the caller's to write) and closes the dialog only when that succeeded.
    void accept() override;
    /// The inline message that shows why the last write failed.
    KMessageWidget *errorWidget() const;

private:
    /// The line the fields make, trimmed; empty while a part is missing.
    QString keyLine() const;
    DialogCheck::Verdict verdict() const;
    /// Closes the dialog after a write, or says why it failed.
    void finishWrite(bool written, const QString &reason);

    std::unique_ptr<Ui::AddPublicKeyDialog> ui;
    QString m_filePath;
    QString m_keyLine;
    KMessageWidget *m_error;
    DialogCheck *m_check = nullptr;
    mutable QString m_checkedLine;
    mutable KeyInfo m_checkedInfo;
};
