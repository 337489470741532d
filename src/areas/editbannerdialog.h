// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class KMessageWidget;

namespace Ui
{
class EditBannerDialog;
}

/// Edits the text of the banner file and saves it at once, directly or through the helper.
class EditBannerDialog : public QDialog
{
    Q_OBJECT
public:
    /// Decides whether the current user may write the file at the given path himself.
    using WriteAccessCheck = std::function<bool(const QString &path)>;

    EditBannerDialog(const QString &path, QWidget *parent);
    ~EditBannerDialog() override;

    /// The edited text, ending with a line feed.
    QString textToWrite() const;
    /// Writes the file in place of the old one (atomically where its folder allows it).
    bool writeFile(const QString &path, QString *reason) const;
    /// The inline message that shows why the last save failed.
    KMessageWidget *errorWidget() const;

    /// Replaces the write-access check (QFileInfo::isWritable); an empty function restores it.
    static void setWriteAccessCheck(WriteAccessCheck check);

public Q_SLOTS:
    /// Loads the file and runs the dialog; 0 without showing it when the file cannot be read.
    int exec() override;
    /// Writes the text directly or through the helper, and closes the dialog once it is written.
    void accept() override;

private:
    void finishWrite(bool written, const QString &reason);

    std::unique_ptr<Ui::EditBannerDialog> ui;
    QString m_path;
    KMessageWidget *m_error;
};
