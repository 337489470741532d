// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <memory>

namespace Ui
{
class TunnelModeArea;
}

/// PermitTunnel as a combo box of its four words.
class TunnelModeArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    TunnelModeArea(const SSHOption &option, QWidget *parent);
    ~TunnelModeArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;

private:
    void setupComboBoxItems() const;
    void updateComboBoxSelection() const;

    std::unique_ptr<Ui::TunnelModeArea> ui;
};
