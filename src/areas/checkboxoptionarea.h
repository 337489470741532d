// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <memory>

namespace Ui
{
class CheckboxOptionArea;
}

/**
 * A yes/no option as one check box. A yes/no with a word between (PermitRootLogin) gets a three-state
 * box: checked writes yes, unchecked no (as booleans), partially checked the keys-only
 * "prohibit-password"; a box left as loaded writes nothing. A choice of yes, no and other
 * words (IgnoreRhosts) writes its yes or no.
 */
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
    bool isTriState() const;
    Qt::CheckState loadedState() const;
    void showLoadedState() const;

    std::unique_ptr<Ui::CheckboxOptionArea> ui;
};
