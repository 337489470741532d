// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

// Placeholder until the real editor lands.
class ListenAddressArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    ListenAddressArea(const SSHOption &option, const QString &defaultPort, QWidget *parent);

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;
};
