// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <memory>

namespace Ui
{
class CheckboxOptionArea;
}

/// A yes/no option as one check box.
class CheckboxOptionArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    CheckboxOptionArea(const SSHOption &option, QWidget *parent);
    ~CheckboxOptionArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;

private:
    std::unique_ptr<Ui::CheckboxOptionArea> ui;
};
