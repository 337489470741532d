// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <memory>

namespace Ui
{
class BannerArea;
}

/// Edits Banner: the path of the text shown before login, with a file chooser and an editor for the file.
class BannerArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    BannerArea(const SSHOption &option, QWidget *parent);
    ~BannerArea() override;

    QWidget *inflate() override;
    /// The path in the field, or "none" when it is empty.
    QVariant value() const override;
    void reset() const override;
    /// True for an empty path (no banner) or an existing file.
    bool validate() const override;
    QString validationError() const override;

private Q_SLOTS:
    void selectBannerFile();
    void updatePathAndButtonState(const QString &path);
    void showEditBannerDialog();

private:
    void refreshPathDisplay() const;

    std::unique_ptr<Ui::BannerArea> ui;
};
