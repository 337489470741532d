// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <memory>

class QLabel;

namespace Ui
{
class SpinboxOptionArea;
}

/// A numeric option as a title and a spin box; its value is the number as text. Several ports ("2222 22"): the box
/// edits the first, the others are shown beside it and kept.
class SpinboxOptionArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    SpinboxOptionArea(const SSHOption &option, QWidget *parent);
    ~SpinboxOptionArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;

private:
    std::unique_ptr<Ui::SpinboxOptionArea> ui;
    QLabel *m_others = nullptr;
};
