// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "dialogcheck.h"
#include "serveraddress.h"

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui
{
class ListenAddressEditDialog;
}

/// What the listen-address dialog is opened for.
enum ActionDialogId : int {
    ActionDialogUnknown = 0,
    ActionDialogAdd = 1,
    ActionDialogEdit = 2,
};

/// Asks for one listen address (IP and optional port) to add or to replace the selected one.
class ListenAddressEditDialog : public QDialog
{
    Q_OBJECT
public:
    ListenAddressEditDialog(ActionDialogId action, const QList<ServerAddress> &addresses, const QString &defaultPort, QWidget *parent);
    ~ListenAddressEditDialog() override;

    void setSelectedAddress(const ServerAddress &address);
    /// The address built from the fields, without a port when the port box is unchecked;
    /// an empty address when the IP text is not an address.
    ServerAddress newAddress() const;
    /// Why the fields cannot be accepted as they are, as shown under them; empty when they can or are not filled in.
    QString reason() const;

public Q_SLOTS:
    /// Fills the fields for the action and runs the dialog; 0 without showing it when that fails.
    int exec() override;
    void accept() override;

private:
    void setCompleter();
    /// Fills the fields for the action; false with the reason in @p error when it has nothing to show.
    bool setupWidgets(QString *error) const;
    /// Where sshd listens for @p address now: an address without a port of its own on the server's port.
    ServerAddress socket(const ServerAddress &address) const;
    DialogCheck::Verdict verdict() const;

    std::unique_ptr<Ui::ListenAddressEditDialog> ui;
    ActionDialogId m_action;
    ServerAddress m_selectedAddress;
    QString m_defaultPort;
    QList<ServerAddress> m_addresses;
    DialogCheck *m_check = nullptr;
};
