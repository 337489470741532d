// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingsarea.h"
#include "allsettingsview.h"

#include <QVBoxLayout>

namespace
{
SSHOption allSettingsOption(SSHConfigurationTypeId type)
{
    SSHOption option;
    option.type = type;
    option.tab = PageTab::AllSettings;
    return option;
}
}

AllSettingsArea::AllSettingsArea(SSHConfigurationTypeId type, QWidget *parent)
    : AbstractOptionArea(allSettingsOption(type), parent)
    , m_view(new AllSettingsView(type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // Where the page scrolls (the client's), the list keeps room for a screenful of keywords.
    setMinimumHeight(fontMetrics().height() * 24);
    connect(m_view, &AllSettingsView::changed, this, &AbstractOptionArea::modify);
}

void AllSettingsArea::takeReply(const QVariantMap &reply)
{
    m_view->setReadValues(reply);
    setHasChanged(false);
}

QVariantMap AllSettingsArea::changes() const
{
    return m_view->changes();
}

QWidget *AllSettingsArea::inflate()
{
    return this;
}

QVariant AllSettingsArea::value() const
{
    return m_view->changes();
}

void AllSettingsArea::reset() const
{
    m_view->discardChanges();
}

bool AllSettingsArea::hasChanged() const
{
    return !m_view->changes().isEmpty();
}

bool AllSettingsArea::validate() const
{
    // Each editor takes only what its kind allows; the helper judges the rest.
    return true;
}
