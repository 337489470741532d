// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysarea.h"

AuthorizedKeysArea::AuthorizedKeysArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
{
}

QWidget *AuthorizedKeysArea::inflate()
{
    return this;
}

QVariant AuthorizedKeysArea::value() const
{
    return m_option.value();
}

void AuthorizedKeysArea::reset() const
{
}
