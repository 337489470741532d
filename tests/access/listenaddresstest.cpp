// SPDX-License-Identifier: GPL-2.0-or-later
#include "modaldriver.h"
#include "testoptions.h"

#include "listenaddressarea.h"
#include "listenaddresseditdialog.h"
#include "listenaddressmodel.h"

#include <KMessageWidget>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace
{
QList<ServerAddress> addresses(const QStringList &texts)
{
    QList<ServerAddress> result;
    for (const QString &text : texts) {
        result.append(ServerAddress(text, nullptr));
    }
    return result;
}

void fill(ListenAddressEditDialog *dialog, const QString &ip, bool portChecked, int port)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(ip);
    dialog->findChild<QCheckBox *>(QStringLiteral("portCheckBox"))->setChecked(portChecked);
    dialog->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->setValue(port);
}

void save(QDialog *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
}
}

class ListenAddressTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // model
    void modelTextsAndHeaders();
    void modelIgnoresRowsOutsideTheList();

    // area: load, value and changes
    void loadShowsOnlyRealAddresses_data();
    void loadShowsOnlyRealAddresses();
    void addThroughDialog_data();
    void addThroughDialog();
    void reorderIsNoChange();
    void editReplacesRow();
    void removeKeepsButtonsWhileRowsRemain();
    void resetShowsStoredValue();
    void expandAndCollapseNameTheNextClick();

    // dialog rules
    void dialogAcceptance_data();
    void dialogAcceptance();
    void editDialogFillsFields();
    void dialogThatCannotOpen_data();
    void dialogThatCannotOpen();

private:
    std::unique_ptr<ListenAddressArea> makeArea(const QStringList &value, const QString &port = QStringLiteral("22"))
    {
        auto area = std::make_unique<ListenAddressArea>(
            TestOptions::make(SSHOption::ListenAddress, QStringLiteral("ListenAddress"), QVariant::StringList, value), port, nullptr);
        area->inflate();
        return area;
    }
};

void ListenAddressTest::modelTextsAndHeaders()
{
    ListenAddressModel model(addresses({QStringLiteral("192.168.1.10:22"), QStringLiteral("[fe80::1]:2222")}), nullptr);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.index(0, ServerAddress::IpAddress).data().toString(), QStringLiteral("192.168.1.10"));
    QCOMPARE(model.index(1, ServerAddress::IpAddress).data(Qt::ToolTipRole).toString(), QStringLiteral("fe80::1"));
    QCOMPARE(model.index(1, ServerAddress::Port).data().toString(), QStringLiteral("2222"));
    QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Ip address"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(), QStringLiteral("Port"));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(2, Qt::Horizontal).isValid());
}

void ListenAddressTest::modelIgnoresRowsOutsideTheList()
{
    ListenAddressModel model(addresses({QStringLiteral("10.0.0.1:22")}), nullptr);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.updateAddress(1, ServerAddress(QStringLiteral("10.0.0.2:22"), nullptr));
    model.updateAddress(-1, ServerAddress(QStringLiteral("10.0.0.2:22"), nullptr));
    model.removeAddress(QModelIndex());
    QCOMPARE(model.serverAddrs(), addresses({QStringLiteral("10.0.0.1:22")}));
    QCOMPARE(changed.count(), 0);

    model.updateAddress(0, ServerAddress(QStringLiteral("10.0.0.2:23"), nullptr));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(1).toModelIndex().column(), 1);
    model.removeAddress(model.index(0, 1));
    QCOMPARE(model.rowCount(), 0);
}

void ListenAddressTest::loadShowsOnlyRealAddresses_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("value");

    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("wildcards only") << QStringList({QStringLiteral("0.0.0.0:22"), QStringLiteral("[::]:22")}) << QStringList();
    QTest::newRow("address without port is dropped") << QStringList({QStringLiteral("192.168.1.10"), QStringLiteral("10.0.0.1:2222")})
                                                     << QStringList({QStringLiteral("10.0.0.1:2222")});
    QTest::newRow("ipv6 without brackets") << QStringList({QStringLiteral("[fe80::1]:22")}) << QStringList({QStringLiteral("fe80::1:22")});
    QTest::newRow("invalid port left out") << QStringList({QStringLiteral("10.0.0.1:99999"), QStringLiteral("10.0.0.2:22")})
                                           << QStringList({QStringLiteral("10.0.0.2:22")});
}

void ListenAddressTest::loadShowsOnlyRealAddresses()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, value);

    auto area = makeArea(stored);
    auto *message = area->findChild<KMessageWidget *>(QStringLiteral("kmessagewidget"));
    QCOMPARE(area->value().type(), QVariant::StringList);
    QCOMPARE(area->value().toStringList(), value);
    const bool empty = area->findChild<QTreeView *>(QStringLiteral("tableView"))->model()->rowCount() == 0;
    QCOMPARE(!message->isHidden(), empty);
    QCOMPARE(message->text(), QStringLiteral("SSH server listens on all local network addresses now."));
    QVERIFY(!area->hasChanged());
}

void ListenAddressTest::addThroughDialog_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("portChecked");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("written");

    QTest::newRow("default port") << "192.168.1.10" << false << 4000 << "192.168.1.10:22";
    QTest::newRow("own port") << "192.168.1.10" << true << 222 << "192.168.1.10:222";
    QTest::newRow("ipv6") << "fe80::1" << false << 0 << "fe80::1:22";
}

void ListenAddressTest::addThroughDialog()
{
    QFETCH(QString, ip);
    QFETCH(bool, portChecked);
    QFETCH(int, port);
    QFETCH(QString, written);

    auto area = makeArea({});
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    ModalDriver driver;
    driver.expect<ListenAddressEditDialog>([&](ListenAddressEditDialog *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Add new listen address"));
        QCOMPARE(dialog->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->value(), 22);
        QVERIFY(!dialog->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->isEnabled());
        fill(dialog, ip, portChecked, port);
        save(dialog);
    });
    area->findChild<QPushButton *>(QStringLiteral("addButton"))->click();
    QVERIFY(driver.done());

    QCOMPARE(area->value().toStringList(), QStringList({written}));
    QCOMPARE(ServerAddress::fromStringList({written}), area->findChild<ListenAddressModel *>()->serverAddrs());
    QVERIFY(area->hasChanged());
    QCOMPARE(modified.count(), 1);
    QVERIFY(area->findChild<KMessageWidget *>()->isHidden());
}

void ListenAddressTest::reorderIsNoChange()
{
    auto area = makeArea({QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:22")});
    auto *model = area->findChild<ListenAddressModel *>();
    const ServerAddress first = model->serverAddrs().at(0);
    model->removeAddress(model->index(0, 0));
    QVERIFY(area->hasChanged());
    model->addAddress(first);
    QVERIFY(!area->hasChanged());
    QCOMPARE(area->value().toStringList(), QStringList({QStringLiteral("10.0.0.2:22"), QStringLiteral("10.0.0.1:22")}));

    // Duplicates count: the same address twice is not the stored pair.
    model->removeAddress(model->index(0, 0));
    model->addAddress(first);
    QVERIFY(area->hasChanged());
}

void ListenAddressTest::editReplacesRow()
{
    auto area = makeArea({QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:22")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("tableView"));
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    ModalDriver driver;

    // Without a current row nothing opens.
    area->findChild<QPushButton *>(QStringLiteral("editButton"))->click();
    QCOMPARE(modified.count(), 0);

    view->setCurrentIndex(view->model()->index(1, 0));
    driver.expect<ListenAddressEditDialog>([](ListenAddressEditDialog *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Edit listen address"));
        fill(dialog, QStringLiteral("10.0.0.3"), true, 2222);
        save(dialog);
    });
    Q_EMIT view->doubleClicked(view->currentIndex());
    QVERIFY(driver.done());
    QCOMPARE(area->value().toStringList(), QStringList({QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.3:2222")}));
    QVERIFY(area->hasChanged());
    QCOMPARE(modified.count(), 1);

    // Editing it back to what is stored clears the flag.
    driver.expect<ListenAddressEditDialog>([](ListenAddressEditDialog *dialog) {
        fill(dialog, QStringLiteral("10.0.0.2"), true, 22);
        save(dialog);
    });
    Q_EMIT view->doubleClicked(view->currentIndex());
    QVERIFY(!area->hasChanged());
    QVERIFY(driver.failures.isEmpty());
}

void ListenAddressTest::removeKeepsButtonsWhileRowsRemain()
{
    auto area = makeArea({QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:22")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("tableView"));
    auto *edit = area->findChild<QPushButton *>(QStringLiteral("editButton"));
    auto *remove = area->findChild<QPushButton *>(QStringLiteral("removeButton"));
    auto *message = area->findChild<KMessageWidget *>();
    QVERIFY(!edit->isEnabled());
    QVERIFY(!remove->isEnabled());

    view->setCurrentIndex(view->model()->index(0, 0));
    Q_EMIT view->clicked(view->currentIndex());
    QVERIFY(edit->isEnabled() && remove->isEnabled());

    remove->click();
    QCOMPARE(area->value().toStringList(), QStringList({QStringLiteral("10.0.0.2:22")}));
    QVERIFY(edit->isEnabled() && remove->isEnabled());
    QVERIFY(message->isHidden());

    view->setCurrentIndex(view->model()->index(0, 0));
    remove->click();
    QVERIFY(area->value().toStringList().isEmpty());
    QVERIFY(!edit->isEnabled() && !remove->isEnabled());
    QVERIFY(!message->isHidden());
    QVERIFY(area->hasChanged());
}

void ListenAddressTest::resetShowsStoredValue()
{
    auto area = makeArea({QStringLiteral("10.0.0.1:22")});
    auto *model = area->findChild<ListenAddressModel *>();
    model->removeAddress(model->index(0, 0));
    QVERIFY(!area->findChild<KMessageWidget *>()->isHidden());

    area->updateArea(QStringList({QStringLiteral("10.0.0.9:22")}));
    QCOMPARE(area->value().toStringList(), QStringList({QStringLiteral("10.0.0.9:22")}));
    QVERIFY(area->findChild<KMessageWidget *>()->isHidden());

    area->updateArea(QStringList());
    QVERIFY(!area->findChild<KMessageWidget *>()->isHidden());
}

void ListenAddressTest::expandAndCollapseNameTheNextClick()
{
    auto area = makeArea({QStringLiteral("10.0.0.1:22")});
    area->resize(500, 400);
    area->show();
    auto *button = area->findChild<QToolButton *>(QStringLiteral("showButton"));
    auto *group = area->findChild<QGroupBox *>(QStringLiteral("groupBox"));
    auto *view = area->findChild<QTreeView *>(QStringLiteral("tableView"));
    QCOMPARE(group->maximumHeight(), 0);
    QCOMPARE(button->text(), QStringLiteral("Expand the list of listening addresses"));
    QCOMPARE(button->toolTip(), QStringLiteral("Description of ListenAddress"));

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Hide the list of listening addresses"));
    QCOMPARE(button->arrowType(), Qt::UpArrow);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QTRY_VERIFY_WITH_TIMEOUT(group->maximumHeight() > 1 && view->horizontalScrollBarPolicy() == Qt::ScrollBarAsNeeded, 2000);

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Expand the list of listening addresses"));
    QCOMPARE(button->arrowType(), Qt::DownArrow);
    QTRY_COMPARE_WITH_TIMEOUT(group->maximumHeight(), 0, 2000);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    area->expandSettings();
    QTRY_VERIFY_WITH_TIMEOUT(group->maximumHeight() > 1, 2000);
    area->expandSettings();
    QCOMPARE(button->text(), QStringLiteral("Hide the list of listening addresses"));
}

void ListenAddressTest::dialogAcceptance_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("portChecked");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("error");

    const QString incorrect = QStringLiteral("Incorrect IP address or port");
    QTest::newRow("new address") << "10.0.0.5" << false << 22 << QString();
    QTest::newRow("same host other port") << "10.0.0.1" << true << 2222 << QString();
    QTest::newRow("duplicate with default port") << "10.0.0.1" << false << 22 << "The address already exists.";
    QTest::newRow("duplicate with own port") << "10.0.0.1" << true << 22 << "The address already exists.";
    QTest::newRow("out of range octet") << "10.0.0.300" << false << 22 << incorrect;
    QTest::newRow("empty") << "" << false << 22 << incorrect;
    QTest::newRow("host name") << "example.org" << false << 22 << incorrect;
    QTest::newRow("blank around address") << " 10.0.0.5" << false << 22 << incorrect;
}

void ListenAddressTest::dialogAcceptance()
{
    QFETCH(QString, ip);
    QFETCH(bool, portChecked);
    QFETCH(int, port);
    QFETCH(QString, error);

    ListenAddressEditDialog dialog(ActionDialogAdd, addresses({QStringLiteral("10.0.0.1:22")}), QStringLiteral("22"), nullptr);
    fill(&dialog, ip, portChecked, port);
    ModalDriver driver;
    QStringList messages;
    if (!error.isEmpty()) {
        driver.expectMessage(&messages);
    }
    dialog.accept();
    QVERIFY(driver.done());
    QCOMPARE(dialog.result(), int(error.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(messages, error.isEmpty() ? QStringList() : QStringList({error}));
}

void ListenAddressTest::editDialogFillsFields()
{
    const QList<ServerAddress> list = addresses({QStringLiteral("10.0.0.1:22"), QStringLiteral("[fe80::1]:2222")});
    QWidget parent;
    ListenAddressEditDialog dialog(ActionDialogEdit, list, QStringLiteral("22"), &parent);
    dialog.setSelectedAddress(list.at(1));
    ModalDriver driver;
    QStringList messages;
    driver.expect<ListenAddressEditDialog>([&](ListenAddressEditDialog *shown) {
        QCOMPARE(shown->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("fe80::1"));
        QCOMPARE(shown->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->value(), 2222);
        QVERIFY(shown->findChild<QCheckBox *>(QStringLiteral("portCheckBox"))->isChecked());
        QVERIFY(shown->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->isEnabled());
        // Saving the selected address unchanged is a duplicate.
        driver.expectMessage(&messages);
        save(shown);
        shown->reject();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(messages, QStringList({QStringLiteral("The address already exists.")}));
}

void ListenAddressTest::dialogThatCannotOpen_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown action") << int(ActionDialogUnknown) << "10.0.0.1:22"
                                    << "Unknown error";
    QTest::newRow("edit without address") << int(ActionDialogEdit) << QString() << "Incorrect IP address or port";
    QTest::newRow("edit with bad port") << int(ActionDialogEdit) << "10.0.0.1:0"
                                        << "Incorrect IP address or port";
}

void ListenAddressTest::dialogThatCannotOpen()
{
    QFETCH(int, action);
    QFETCH(QString, selected);
    QFETCH(QString, error);

    QWidget parent;
    ListenAddressEditDialog dialog(ActionDialogId(action), {}, QStringLiteral("22"), &parent);
    dialog.setSelectedAddress(ServerAddress(selected, nullptr));
    ModalDriver driver;
    QStringList messages;
    QMessageBox *box = nullptr;
    driver.expect<QMessageBox>([&](QMessageBox *shown) {
        box = shown;
        QCOMPARE(shown->parentWidget(), &parent);
        messages.append(shown->text());
        shown->button(QMessageBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), 0);
    QVERIFY(box);
    QCOMPARE(messages, QStringList({error}));
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(ListenAddressTest)
#include "listenaddresstest.moc"
