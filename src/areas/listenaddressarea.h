// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "abstractoptionarea.h"

#include <QPointer>

#include <memory>

namespace Ui
{
class ListenAddressView;
}
class CollapsiblePanel;
class ListenAddressModel;

/// Edits ListenAddress: a collapsible table of address:port entries with add, edit and remove.
class ListenAddressArea : public AbstractOptionArea
{
    Q_OBJECT
public:
    ListenAddressArea(const SSHOption &option, const QString &defaultPort, QWidget *parent);
    ~ListenAddressArea() override;

    QWidget *inflate() override;
    /// The valid addresses of the table as "address:port" strings, in table order.
    QVariant value() const override;
    void reset() const override;

    /// Open or close the table as a click on the expand button would; nothing when already so.
    void expandSettings();
    void collapseSettings();

private Q_SLOTS:
    void checkChanges();
    void rowsChanged();
    void addAddressDialog();
    void editAddressDialog();
    void removeAddress();

private:
    void initializeModel();
    void configureTableView();
    void setupAnimation();
    void setupButtonConnections();
    void setupTableViewConnections();
    void showEmptyListMessage(bool empty) const;

    std::unique_ptr<Ui::ListenAddressView> ui;
    ListenAddressModel *m_model = nullptr;
    QString m_defaultPort;
    CollapsiblePanel *m_panel = nullptr;
};
