// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <QAbstractSocket>

#include <functional>
#include <memory>

namespace Ui
{
class AddressFamilyArea;
}

/// AddressFamily as a combo box, checked against the listen addresses shown on the page.
class AddressFamilyArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    AddressFamilyArea(const SSHOption &option, QWidget *parent);
    ~AddressFamilyArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;
    bool validate() const override;
    QString validationError() const override;

    /// Asks for the listen addresses at the moment of the check (the listen-address area's list).
    void setAddressSource(std::function<QStringList()> source);
    /// Whether a listen address does not belong to the chosen family.
    bool hasIncorrectedAddresses() const;

private:
    void setupToolTips();
    void showCurrentMode() const;
    QAbstractSocket::NetworkLayerProtocol currentProtocol() const;

    std::unique_ptr<Ui::AddressFamilyArea> ui;
    std::function<QStringList()> m_addressSource;
};
