// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"

AbstractOptionArea::AbstractOptionArea(const SSHOption &option, QWidget *parent)
    : QWidget(parent)
    , m_option(option)
{
}

void AbstractOptionArea::setHasChanged(bool changed)
{
    m_hasChanged = changed;
}

const SSHOption &AbstractOptionArea::option() const
{
    return m_option;
}

void AbstractOptionArea::updateArea(const SSHOption &option)
{
    m_option = option;
    reset();
    m_hasChanged = false;
}

void AbstractOptionArea::takeReply(const QVariantMap &reply)
{
    updateArea(m_option.withValues(reply));
}

QVariantMap AbstractOptionArea::changes() const
{
    return {{m_option.keyword(), value()}};
}

bool AbstractOptionArea::hasChanged() const
{
    return m_hasChanged;
}

bool AbstractOptionArea::validate() const
{
    return m_option.value().isValid();
}

QString AbstractOptionArea::validationError() const
{
    return {};
}
