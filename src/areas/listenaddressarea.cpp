// SPDX-License-Identifier: GPL-2.0-or-later
#include "listenaddressarea.h"

ListenAddressArea::ListenAddressArea(const SSHOption &option, const QString &, QWidget *parent)
    : AbstractOptionArea(option, parent)
{
}

QWidget *ListenAddressArea::inflate()
{
    return this;
}

QVariant ListenAddressArea::value() const
{
    return m_option.value();
}

void ListenAddressArea::reset() const
{
}
