// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listenaddressarea.h"
#include "formaccessibility.h"
#include "ui_ListenAddressView.h"

#include "areaicons.h"

#include "collapsiblepanel.h"
#include "listenaddresseditdialog.h"
#include "listenaddressmodel.h"
#include "serveraddress.h"
#include "utils.h"

#include <KLocalizedString>

#include <QHeaderView>
#include <QScrollBar>

ListenAddressArea::ListenAddressArea(const SSHOption &option, const QString &defaultPort, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::ListenAddressView>())
    , m_defaultPort(defaultPort)
{
    ui->setupUi(this);
    AreaIcons::setEditIcon(ui->editButton);
}

ListenAddressArea::~ListenAddressArea() = default;

QWidget *ListenAddressArea::inflate()
{
    initializeModel();
    configureTableView();
    setupAnimation();
    setupButtonConnections();
    setupTableViewConnections();
    return this;
}

void ListenAddressArea::initializeModel()
{
    const QList<ServerAddress> addresses = ServerAddress::fromStringList(m_option.value().toStringList());
    ui->kmessagewidget->setVisible(addresses.isEmpty());
    FormAccessibility::noTabStopsIn(ui->kmessagewidget);
    m_model = new ListenAddressModel(addresses, this);
}

void ListenAddressArea::configureTableView()
{
    ui->tableView->setModel(m_model);
    // The address takes the room; the port column is as wide as its numbers.
    ui->tableView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ui->showButton->setToolTip(m_option.description);
}

void ListenAddressArea::setupAnimation()
{
    m_panel = new CollapsiblePanel(ui->showButton, ui->groupBox, ui->tableView, i18nc("@title:group", "Listening Addresses"), this);
}

void ListenAddressArea::setupButtonConnections()
{
    connect(ui->addButton, &QPushButton::clicked, this, &ListenAddressArea::addAddressDialog);
    connect(ui->editButton, &QPushButton::clicked, this, &ListenAddressArea::editAddressDialog);
    connect(ui->removeButton, &QPushButton::clicked, this, &ListenAddressArea::removeAddress);
}

void ListenAddressArea::setupTableViewConnections()
{
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ListenAddressArea::rowsChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ListenAddressArea::rowsChanged);
    connect(ui->tableView, &QAbstractItemView::doubleClicked, this, &ListenAddressArea::editAddressDialog);
    connect(ui->tableView, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        ui->editButton->setEnabled(index.isValid());
        ui->removeButton->setEnabled(index.isValid());
    });
}

void ListenAddressArea::expandSettings()
{
    if (m_panel) {
        m_panel->expand();
    }
}

void ListenAddressArea::collapseSettings()
{
    if (m_panel) {
        m_panel->collapse();
    }
}

QVariant ListenAddressArea::value() const
{
    QStringList addresses;
    if (m_model) {
        const QList<ServerAddress> list = m_model->serverAddrs();
        for (const ServerAddress &address : list) {
            if (address.isValid() || address.followsPort()) {
                addresses.append(address.toString());
            }
        }
    }
    return addresses;
}

void ListenAddressArea::reset() const
{
    if (!m_model) {
        return;
    }
    m_model->setServerAddrs(ServerAddress::fromStringList(m_option.value().toStringList()));
    showEmptyListMessage(m_model->rowCount() == 0);
}

void ListenAddressArea::showEmptyListMessage(bool empty) const
{
    if (empty) {
        ui->kmessagewidget->animatedShow();
    } else {
        ui->kmessagewidget->animatedHide();
    }
}

void ListenAddressArea::checkChanges()
{
    const QList<ServerAddress> stored = ServerAddress::fromStringList(m_option.value().toStringList());
    setHasChanged(!Utils::areEqualIgnoringOrder(stored, m_model->serverAddrs()));
    Q_EMIT modify();
}

void ListenAddressArea::rowsChanged()
{
    showEmptyListMessage(m_model->rowCount() == 0);
    checkChanges();
}

void ListenAddressArea::addAddressDialog()
{
    ListenAddressEditDialog dialog(ActionDialogAdd, m_model->serverAddrs(), m_defaultPort, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_model->addAddress(dialog.newAddress());
    }
}

void ListenAddressArea::editAddressDialog()
{
    const QModelIndex current = ui->tableView->currentIndex();
    if (!current.isValid()) {
        return;
    }
    const int row = current.row();
    const ServerAddress selected = m_model->serverAddrs().value(row);
    ListenAddressEditDialog dialog(ActionDialogEdit, m_model->serverAddrs(), m_defaultPort, this);
    dialog.setSelectedAddress(selected);
    if (dialog.exec() == QDialog::Accepted) {
        m_model->updateAddress(row, dialog.newAddress());
        checkChanges();
    }
}

void ListenAddressArea::removeAddress()
{
    m_model->removeAddress(ui->tableView->currentIndex());
    const bool hasAddresses = m_model->rowCount() > 0;
    ui->editButton->setEnabled(hasAddresses);
    ui->removeButton->setEnabled(hasAddresses);
}
