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

void AbstractOptionArea::updateArea(const QVariant &value)
{
    m_option.setValue(value);
    reset();
    m_hasChanged = false;
}

void AbstractOptionArea::updateArea(const SSHOptions &subOptions)
{
    m_option.setSubOptions(subOptions);
    reset();
    m_hasChanged = false;
}

void AbstractOptionArea::replaceOption(const SSHOption &option)
{
    m_option = option;
    m_hasChanged = false;
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
