// SPDX-License-Identifier: GPL-2.0-or-later
#include "bannerarea.h"

BannerArea::BannerArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
{
}

QWidget *BannerArea::inflate()
{
    return this;
}

QVariant BannerArea::value() const
{
    return m_option.value();
}

void BannerArea::reset() const
{
}
