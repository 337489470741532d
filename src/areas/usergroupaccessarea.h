// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <QHostAddress>

// Placeholder until the real editor lands.
class UserGroupAccessArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    UserGroupAccessArea(const SSHOption &option, QWidget *parent);

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;

    void blockIp(const QHostAddress &ip);
    void expandSettings();
    void collapseSettings();
};
