// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

class AllSettingsView;

/// The "All settings" view of one configuration as an editor of the page: its edits go into the page's Apply.
class AllSettingsArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    AllSettingsArea(SSHConfigurationTypeId type, QWidget *parent);

    void takeReply(const QVariantMap &reply) override;
    QVariantMap changes() const override;

public Q_SLOTS:
    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;
    bool hasChanged() const override;
    bool validate() const override;

private:
    AllSettingsView *m_view;
};
