// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <QAbstractSocket>

#include <memory>

namespace Ui
{
class AddressFamilyArea;
}

/// AddressFamily as a combo box, checked against the listen addresses known when the page was built.
class AddressFamilyArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    AddressFamilyArea(const SSHOption &option, const QStringList &currentAddresses, QWidget *parent);
    ~AddressFamilyArea() override;

    QWidget *inflate() override;
    QVariant value() const override;
    void reset() const override;
    bool validate() const override;

    void setCurrentAddresses(const QStringList &addresses);
    bool hasIncorrectedAddresses() const;

private:
    void setupToolTips();
    void showCurrentMode() const;
    QAbstractSocket::NetworkLayerProtocol currentProtocol() const;

    std::unique_ptr<Ui::AddressFamilyArea> ui;
    QStringList m_currentAddresses;
};
