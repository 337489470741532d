// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include <QVariant>
#include <QWidget>

/// The editor of one option of the page. Keeps its own copy of the option, as read, and a changed flag.
class AbstractOptionArea : public QWidget
{
    Q_OBJECT
public:
    AbstractOptionArea(const SSHOption &option, QWidget *parent);

    void setHasChanged(bool changed);
    const SSHOption &option() const;

    /// Takes newly read values as the option's, shows them and clears the changed flag.
    void updateArea(const SSHOption &option);
    /// Takes a read reply (lower-case keyword → value, and the reply's other entries): by default the values of the option's keywords.
    virtual void takeReply(const QVariantMap &reply);
    /// What to write: keyword → value; by default value() for the option's keyword.
    virtual QVariantMap changes() const;

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
