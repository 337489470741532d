// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include <QVariant>
#include <QWidget>

/// The editor of one top-level option. Keeps its own copy of the option and a changed flag.
class AbstractOptionArea : public QWidget
{
    Q_OBJECT
public:
    AbstractOptionArea(const SSHOption &option, QWidget *parent);

    void setHasChanged(bool changed);
    const SSHOption &option() const;

    /// Stores a newly loaded value in the option copy, shows it and clears the changed flag.
    void updateArea(const QVariant &value);
    void updateArea(const SSHOptions &subOptions);
    /// Takes a copy of option as the new record and clears the changed flag; shows nothing.
    void replaceOption(const SSHOption &option);

public Q_SLOTS:
    virtual QWidget *inflate() = 0;
    virtual QVariant value() const = 0;
    virtual void reset() const = 0;
    virtual bool hasChanged() const;
    virtual bool validate() const;
    /// Why validate() refuses the shown value; empty when it accepts it.
    virtual QString validationError() const;

Q_SIGNALS:
    void modify();

protected:
    SSHOption m_option;

private:
    bool m_hasChanged = false;
};
