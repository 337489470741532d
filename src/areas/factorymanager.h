// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include <QMap>
#include <QObject>

class AbstractOptionArea;
class OptionAreaFactory;
class SSHManager;
class QWidget;

/// Registry of area factories by option id, and of the areas made with them.
class FactoryManager : public QObject
{
    Q_OBJECT
public:
    FactoryManager(SSHManager *manager, QObject *parent);
    ~FactoryManager() override;

    void registerFactory(SSHOption::Id id, OptionAreaFactory *factory);
    void initializeOptionArea(const SSHOption &option, QWidget *parent) const;
    AbstractOptionArea *getAreaById(SSHOption::Id id) const;
    QMap<SSHOption::Id, AbstractOptionArea *> areas() const;

private:
    QMap<SSHOption::Id, OptionAreaFactory *> m_factories;
    // Filled by the const initializeOptionArea(); the areas belong to their Qt parent.
    mutable QMap<SSHOption::Id, AbstractOptionArea *> m_areas;
};
