// SPDX-License-Identifier: GPL-2.0-or-later
#include "modaldriver.h"
#include "testoptions.h"

#include "usergroupaccessarea.h"
#include "usergroupaccessmodel.h"
#include "usergroupaccessproxymodel.h"
#include "usergroupentrydialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace
{
QStringList column(const QAbstractItemModel *model, int columnIndex)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
        texts.append(model->index(row, columnIndex).data().toString());
    }
    return texts;
}

QStringList rows(const QAbstractItemModel *model)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c) {
            cells.append(model->index(row, c).data().toString());
        }
        texts.append(cells.join(QStringLiteral(" / ")));
    }
    return texts;
}

QMap<QString, QVariant> valueMap(const UserGroupAccessArea &area)
{
    return area.value().toMap();
}

struct DialogInput
{
    bool anyName = true;
    QString name;
    bool anyIp = true;
    QString ip;
    int roleIndex = 0;
    int permissionIndex = 0;
};

void fill(UserGroupEntryDialog *dialog, const DialogInput &input)
{
    dialog->findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->setChecked(input.anyName);
    dialog->findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->setText(input.name);
    dialog->findChild<QCheckBox *>(QStringLiteral("ipCheckBox"))->setChecked(input.anyIp);
    dialog->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(input.ip);
    dialog->findChild<QComboBox *>(QStringLiteral("typeCombo"))->setCurrentIndex(input.roleIndex);
    dialog->findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(input.permissionIndex);
}
}

class UserGroupAccessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    // model and proxy rules
    void loadsEntriesFromTheFourKeywords();
    void modelTextsAndIcons();
    void filtersByTypeAndPermission();
    void searchMatchesStartOfNameOnly();
    void sortsByShownTextsWithDenyFirst();

    // area behaviour
    void searchWithoutMatchTurnsRed();
    void changedFlagIgnoresOrderAndCountsDuplicates();
    void valueCoversFilteredRows();
    void blockIpAddsDenyEntry();
    void hostPatternsSurviveLoadAndApply();
    void expandAndCollapseNameTheNextClick();
    void editAndRemoveButtonsFollowSelection();
    void resetDropsEdits();

    // entry dialog
    void dialogAcceptance_data();
    void dialogAcceptance();
    void newEntryDefaults();
    void editingUnchangedEntryIsADuplicate();
    void editingKeepsHostPattern();
    void addAndEditThroughTheArea();

private:
    std::unique_ptr<UserGroupAccessArea>
    makeArea(const QStringList &allowUsers, const QStringList &denyUsers = {}, const QStringList &allowGroups = {}, const QStringList &denyGroups = {});
    QObject m_owner;
};

void UserGroupAccessTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

std::unique_ptr<UserGroupAccessArea>
UserGroupAccessTest::makeArea(const QStringList &allowUsers, const QStringList &denyUsers, const QStringList &allowGroups, const QStringList &denyGroups)
{
    auto area = std::make_unique<UserGroupAccessArea>(TestOptions::accessOption(&m_owner, allowUsers, denyUsers, allowGroups, denyGroups), nullptr);
    area->inflate();
    return area;
}

void UserGroupAccessTest::loadsEntriesFromTheFourKeywords()
{
    auto area = makeArea({QStringLiteral("alice"), QStringLiteral("bob@192.168.0.2")}, {}, {}, {QStringLiteral("guests")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    QStringList shown = rows(view->model());
    shown.sort();
    QCOMPARE(shown,
             QStringList({QStringLiteral("alice / Any IP / User / Allow"), QStringLiteral("bob / 192.168.0.2 / User / Allow"),
                          QStringLiteral("guests / Any IP / Group / Deny")}));

    const QMap<QString, QVariant> expected {{QStringLiteral("AllowUsers"), QStringLiteral("alice@* bob@192.168.0.2")},
                                            {QStringLiteral("DenyGroups"), QStringLiteral("guests@*")}};
    QCOMPARE(valueMap(*area), expected);
    QVERIFY(!area->hasChanged());

    // A value read as one string of several words gives one entry per word.
    auto joined = makeArea({QStringLiteral("alice bob@10.0.0.1")});
    QCOMPARE(joined->originalEntries().size(), 2);
}

void UserGroupAccessTest::modelTextsAndIcons()
{
    UserGroupAccessModel model(
        {AccessEntry(QStringLiteral("*@*"), RoleGroup, PermissionDeny), AccessEntry(QStringLiteral("x@*"), RoleUnknown, PermissionUnknown)}, nullptr);
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(column(&model, UserGroupAccessModel::Name), QStringList({QStringLiteral("Any name"), QStringLiteral("x")}));
    QCOMPARE(column(&model, UserGroupAccessModel::IP), QStringList({QStringLiteral("Any IP"), QStringLiteral("Any IP")}));
    QCOMPARE(column(&model, UserGroupAccessModel::RoleType), QStringList({QStringLiteral("Group"), QStringLiteral("Unknown")}));
    QCOMPARE(column(&model, UserGroupAccessModel::Permission), QStringList({QStringLiteral("Deny"), QStringLiteral("Unknown")}));
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("Any name"));
    QVERIFY(model.index(0, 0).data(Qt::DecorationRole).isValid());
    QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).isValid());
    QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
    QStringList headers;
    for (int section = 0; section < 4; ++section) {
        headers.append(model.headerData(section, Qt::Horizontal).toString());
    }
    QCOMPARE(headers, QStringList({QStringLiteral("Name"), QStringLiteral("Ip address"), QStringLiteral("Type"), QStringLiteral("Access Righ")}));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QCOMPARE(model.getExistingNames(), QStringList({QStringLiteral("*@*"), QStringLiteral("x@*")}));

    // Rows outside the list are left alone.
    model.removeEntry(5);
    model.editEntry(-1, AccessEntry());
    QCOMPARE(model.rowCount(), 2);
}

void UserGroupAccessTest::filtersByTypeAndPermission()
{
    UserGroupAccessModel model({AccessEntry(QStringLiteral("alice"), RoleUser, PermissionAllow), AccessEntry(QStringLiteral("bob"), RoleUser, PermissionDeny),
                                AccessEntry(QStringLiteral("wheel"), RoleGroup, PermissionAllow),
                                AccessEntry(QStringLiteral("guests"), RoleGroup, PermissionDeny)},
                               nullptr);
    UserGroupAccessProxyModel proxy(nullptr);
    proxy.setSourceModel(&model);
    QCOMPARE(proxy.rowCount(), 4);

    proxy.setPermissionFilter(PermissionDeny);
    QCOMPARE(column(&proxy, 0), QStringList({QStringLiteral("bob"), QStringLiteral("guests")}));
    proxy.setRoleFilter(RoleGroup);
    QCOMPARE(column(&proxy, 0), QStringList({QStringLiteral("guests")}));
    proxy.setPermissionFilter(PermissionAll);
    QCOMPARE(column(&proxy, 0), QStringList({QStringLiteral("wheel"), QStringLiteral("guests")}));
    proxy.setRoleFilter(RoleAll);
    QCOMPARE(proxy.rowCount(), 4);
}

void UserGroupAccessTest::searchMatchesStartOfNameOnly()
{
    UserGroupAccessModel model(
        {AccessEntry(QStringLiteral("alice"), RoleUser, PermissionAllow), AccessEntry(QStringLiteral("bob@10.0.0.1"), RoleUser, PermissionAllow),
         AccessEntry(QStringLiteral("Bobby"), RoleUser, PermissionDeny), AccessEntry(QStringLiteral("*@10.0.0.9"), RoleUser, PermissionDeny),
         AccessEntry(QStringLiteral("jimbo"), RoleUser, PermissionDeny)},
        nullptr);
    UserGroupAccessProxyModel proxy(nullptr);
    proxy.setSourceModel(&model);

    proxy.setSearchFilter(QStringLiteral("bo"));
    QCOMPARE(column(&proxy, 0), QStringList({QStringLiteral("bob"), QStringLiteral("Bobby")}));
    // Neither the address nor the "Any name" text is searched.
    proxy.setSearchFilter(QStringLiteral("10."));
    QCOMPARE(proxy.rowCount(), 0);
    proxy.setSearchFilter(QStringLiteral("Any"));
    QCOMPARE(proxy.rowCount(), 0);
    proxy.setSearchFilter(QString());
    QCOMPARE(proxy.rowCount(), 5);
}

void UserGroupAccessTest::sortsByShownTextsWithDenyFirst()
{
    auto area = makeArea({QStringLiteral("alice"), QStringLiteral("zed")}, {QStringLiteral("bob"), QStringLiteral("*@10.0.0.1")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    QCOMPARE(column(view->model(), UserGroupAccessModel::Permission),
             QStringList({QStringLiteral("Deny"), QStringLiteral("Deny"), QStringLiteral("Allow"), QStringLiteral("Allow")}));

    // Case-sensitive order of the shown texts: "Any name" sorts as a word before lower-case names.
    view->sortByColumn(UserGroupAccessModel::Name, Qt::AscendingOrder);
    QCOMPARE(column(view->model(), UserGroupAccessModel::Name),
             QStringList({QStringLiteral("Any name"), QStringLiteral("alice"), QStringLiteral("bob"), QStringLiteral("zed")}));
}

void UserGroupAccessTest::searchWithoutMatchTurnsRed()
{
    auto area = makeArea({QStringLiteral("alice"), QStringLiteral("bob")});
    auto *search = area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"));
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);

    search->setText(QStringLiteral("bo"));
    QCOMPARE(view->model()->rowCount(), 1);
    QVERIFY(search->palette().color(QPalette::Active, QPalette::Text) != QColor(255, 0, 0, 200));

    search->setText(QStringLiteral("zz"));
    QCOMPARE(view->model()->rowCount(), 0);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(search->palette().color(group, QPalette::Text), QColor(255, 0, 0, 200));
    }

    search->clear();
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(search->palette().color(QPalette::Active, QPalette::Text), search->palette().color(QPalette::WindowText));
    // Filtering changes nothing that is applied.
    QCOMPARE(modified.count(), 0);
    QVERIFY(!area->hasChanged());
}

void UserGroupAccessTest::changedFlagIgnoresOrderAndCountsDuplicates()
{
    auto area = makeArea({QStringLiteral("alice"), QStringLiteral("bob")});
    auto *model = area->findChild<UserGroupAccessModel *>();
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);

    const AccessEntry alice = model->entryAt(0);
    model->removeEntry(0);
    QVERIFY(area->hasChanged());
    model->addEntry(alice);
    QVERIFY(!area->hasChanged());
    QCOMPARE(modified.count(), 2);

    model->addEntry(alice);
    QVERIFY(area->hasChanged());
    model->removeEntry(0); // bob: now alice twice
    QVERIFY(area->hasChanged());

    model->editEntry(0, AccessEntry(QStringLiteral("bob"), RoleUser, PermissionAllow));
    QVERIFY(!area->hasChanged());
    QCOMPARE(modified.count(), 5);
}

void UserGroupAccessTest::valueCoversFilteredRows()
{
    auto area = makeArea({QStringLiteral("alice")}, {QStringLiteral("bob")});
    area->findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(2); // Deny
    area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"))->setText(QStringLiteral("b"));
    QCOMPARE(area->findChild<QTreeView *>(QStringLiteral("treeView"))->model()->rowCount(), 1);
    const QMap<QString, QVariant> expected {{QStringLiteral("AllowUsers"), QStringLiteral("alice@*")}, {QStringLiteral("DenyUsers"), QStringLiteral("bob@*")}};
    QCOMPARE(valueMap(*area), expected);

    // The role filter hides users; choosing "All" shows them again.
    auto *roleCombo = area->findChild<QComboBox *>(QStringLiteral("roleCombo"));
    area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"))->clear();
    area->findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(0);
    roleCombo->setCurrentIndex(2); // Groups
    QCOMPARE(area->findChild<QTreeView *>(QStringLiteral("treeView"))->model()->rowCount(), 0);
    roleCombo->setCurrentIndex(0);
    QCOMPARE(area->findChild<QTreeView *>(QStringLiteral("treeView"))->model()->rowCount(), 2);
}

void UserGroupAccessTest::blockIpAddsDenyEntry()
{
    auto area = makeArea({QStringLiteral("alice")}, {QStringLiteral("bob")});
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    area->blockIp(QHostAddress(QStringLiteral("203.0.113.9")));

    QCOMPARE(modified.count(), 1);
    QVERIFY(area->hasChanged());
    QVERIFY(rows(area->findChild<QTreeView *>(QStringLiteral("treeView"))->model()).contains(QStringLiteral("Any name / 203.0.113.9 / User / Deny")));
    QCOMPARE(valueMap(*area).value(QStringLiteral("DenyUsers")).toString(), QStringLiteral("bob@* *@203.0.113.9"));
    QCOMPARE(valueMap(*area).value(QStringLiteral("AllowUsers")).toString(), QStringLiteral("alice@*"));

    area->blockIp(QHostAddress(QStringLiteral("2001:db8::5")));
    QCOMPARE(valueMap(*area).value(QStringLiteral("DenyUsers")).toString(), QStringLiteral("bob@* *@203.0.113.9 *@2001:db8::5"));
}

void UserGroupAccessTest::hostPatternsSurviveLoadAndApply()
{
    auto area = makeArea({QStringLiteral("alice@192.168.1.*"), QStringLiteral("carol@gw.example.org")}, {QStringLiteral("*@10.0.0.0/8")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    QStringList hosts = column(view->model(), UserGroupAccessModel::IP);
    hosts.sort();
    QCOMPARE(hosts, QStringList({QStringLiteral("10.0.0.0/8"), QStringLiteral("192.168.1.*"), QStringLiteral("gw.example.org")}));

    area->blockIp(QHostAddress(QStringLiteral("203.0.113.9")));
    const QMap<QString, QVariant> expected {{QStringLiteral("AllowUsers"), QStringLiteral("alice@192.168.1.* carol@gw.example.org")},
                                            {QStringLiteral("DenyUsers"), QStringLiteral("*@10.0.0.0/8 *@203.0.113.9")}};
    QCOMPARE(valueMap(*area), expected);

    auto *model = area->findChild<UserGroupAccessModel *>();
    model->removeEntry(model->rowCount() - 1);
    QVERIFY(!area->hasChanged());
}

void UserGroupAccessTest::expandAndCollapseNameTheNextClick()
{
    auto area = makeArea({QStringLiteral("alice")});
    area->resize(600, 400);
    area->show();
    auto *button = area->findChild<QToolButton *>(QStringLiteral("showButton"));
    auto *group = area->findChild<QGroupBox *>(QStringLiteral("groupBox"));
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    QCOMPARE(group->maximumHeight(), 0);
    QCOMPARE(button->text(), QStringLiteral("Expand user/group access settings"));
    QCOMPARE(button->arrowType(), Qt::DownArrow);

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Collapse user/group access settings"));
    QCOMPARE(button->arrowType(), Qt::UpArrow);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QTRY_VERIFY_WITH_TIMEOUT(group->maximumHeight() > 1 && view->verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(group->maximumHeight(), group->sizeHint().height(), 2000);

    // Expanding an open table changes nothing, which the connections tab relies on.
    const int open = group->maximumHeight();
    area->expandSettings();
    QTest::qWait(250);
    QCOMPARE(group->maximumHeight(), open);
    QCOMPARE(button->text(), QStringLiteral("Collapse user/group access settings"));

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Expand user/group access settings"));
    QCOMPARE(button->arrowType(), Qt::DownArrow);
    QTRY_COMPARE_WITH_TIMEOUT(group->maximumHeight(), 0, 2000);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    area->collapseSettings();
    QCOMPARE(button->text(), QStringLiteral("Expand user/group access settings"));

    area->expandSettings();
    QTRY_VERIFY_WITH_TIMEOUT(group->maximumHeight() > 1, 2000);
}

void UserGroupAccessTest::editAndRemoveButtonsFollowSelection()
{
    auto area = makeArea({QStringLiteral("alice"), QStringLiteral("bob")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    auto *edit = area->findChild<QPushButton *>(QStringLiteral("editButton"));
    auto *remove = area->findChild<QPushButton *>(QStringLiteral("removeButton"));
    QVERIFY(!edit->isEnabled());
    QVERIFY(!remove->isEnabled());

    const QModelIndex first = view->model()->index(0, 0);
    view->setCurrentIndex(first);
    Q_EMIT view->clicked(first);
    QVERIFY(edit->isEnabled());
    QVERIFY(remove->isEnabled());

    remove->click();
    QCOMPARE(view->model()->rowCount(), 1);
    QVERIFY(remove->isEnabled());
    view->setCurrentIndex(view->model()->index(0, 0));
    remove->click();
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(!edit->isEnabled());
    QVERIFY(!remove->isEnabled());
    QVERIFY(valueMap(*area).isEmpty());
    QVERIFY(area->hasChanged());
}

void UserGroupAccessTest::resetDropsEdits()
{
    auto area = makeArea({QStringLiteral("alice")});
    area->blockIp(QHostAddress(QStringLiteral("192.0.2.1")));
    QVERIFY(area->hasChanged());
    area->reset();
    QCOMPARE(area->findChild<UserGroupAccessModel *>()->entries(), area->originalEntries());
    QVERIFY(area->hasChanged()); // reset leaves the flag to the page
}

void UserGroupAccessTest::dialogAcceptance_data()
{
    QTest::addColumn<bool>("anyName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("anyIp");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("roleIndex");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("word");

    const QString invalidName = QStringLiteral("Invalid user or group name.");
    const QString letters32(32, QLatin1Char('a'));
    const QString letters33(33, QLatin1Char('a'));
    QTest::newRow("any name any ip") << true << QString() << true << QString() << 0 << QString() << "*@*";
    QTest::newRow("user") << false << "alice" << true << QString() << 0 << QString() << "alice@*";
    QTest::newRow("trimmed") << false << "  alice  " << true << QString() << 0 << QString() << "alice@*";
    QTest::newRow("empty name") << false << "   " << true << QString() << 0 << "Name cannot be empty." << QString();
    QTest::newRow("user starts with digit") << false << "1abc" << true << QString() << 0 << invalidName << QString();
    QTest::newRow("group starts with digit") << false << "1abc" << true << QString() << 1 << QString() << "1abc@*";
    QTest::newRow("32 letters") << false << letters32 << true << QString() << 0 << QString() << letters32 + QStringLiteral("@*");
    QTest::newRow("33 letters") << false << letters33 << true << QString() << 0 << invalidName << QString();
    QTest::newRow("32 letters group") << false << letters32 << true << QString() << 1 << QString() << letters32 + QStringLiteral("@*");
    QTest::newRow("33 letters group") << false << letters33 << true << QString() << 1 << invalidName << QString();
    QTest::newRow("upper case") << false << "Alice" << true << QString() << 0 << invalidName << QString();
    QTest::newRow("inner blank") << false << "al ice" << true << QString() << 0 << invalidName << QString();
    QTest::newRow("trailing dash") << false << "alice-" << true << QString() << 0 << QString() << "alice-@*";
    QTest::newRow("ipv4") << true << QString() << false << "10.0.0.1" << 0 << QString() << "*@10.0.0.1";
    QTest::newRow("ipv6") << false << "bob" << false << "2001:db8::1" << 0 << QString() << "bob@2001:db8::1";
    QTest::newRow("bad ip") << true << QString() << false << "10.0.0.300" << 0 << "Invalid IP address." << QString();
    QTest::newRow("pattern refused for new entries") << true << QString() << false << "10.0.0.*" << 0 << "Invalid IP address." << QString();
    QTest::newRow("empty ip") << true << QString() << false << QString() << 0 << "Invalid IP address." << QString();
    QTest::newRow("duplicate") << false << "bob" << true << QString() << 0 << "An entry with this name already exists." << QString();
    QTest::newRow("same name other type") << false << "bob" << true << QString() << 1 << QString() << "bob@*";
}

void UserGroupAccessTest::dialogAcceptance()
{
    QFETCH(bool, anyName);
    QFETCH(QString, name);
    QFETCH(bool, anyIp);
    QFETCH(QString, ip);
    QFETCH(int, roleIndex);
    QFETCH(QString, error);
    QFETCH(QString, word);

    UserGroupEntryDialog dialog(nullptr);
    dialog.setExistingEntries({AccessEntry(QStringLiteral("bob"), RoleUser, PermissionAllow)});
    fill(&dialog, {anyName, name, anyIp, ip, roleIndex, 0});

    ModalDriver driver;
    QStringList messages;
    if (!error.isEmpty()) {
        driver.expectMessage(&messages);
    }
    dialog.accept();
    QVERIFY(driver.done());
    if (error.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.entry().ipAndName(), word);
        QCOMPARE(dialog.entry().role(), roleIndex == 0 ? RoleUser : RoleGroup);
        QCOMPARE(dialog.entry().permission(), PermissionAllow);
    } else {
        QCOMPARE(messages, QStringList({error}));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
}

void UserGroupAccessTest::newEntryDefaults()
{
    UserGroupEntryDialog dialog(nullptr);
    QVERIFY(dialog.findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->isChecked());
    QVERIFY(!dialog.findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->isEnabled());
    QVERIFY(dialog.findChild<QCheckBox *>(QStringLiteral("ipCheckBox"))->isChecked());
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("typeCombo"))->currentText(), QStringLiteral("Users"));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("permissionCombo"))->currentText(), QStringLiteral("Allow"));

    dialog.findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->setChecked(false);
    QVERIFY(dialog.findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->isEnabled());

    UserGroupEntryDialog editDialog(AccessEntry(QStringLiteral("wheel@10.0.0.1"), RoleGroup, PermissionDeny), nullptr);
    QVERIFY(!editDialog.findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->isChecked());
    QCOMPARE(editDialog.findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->text(), QStringLiteral("wheel"));
    QVERIFY(editDialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->isEnabled());
    QCOMPARE(editDialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(editDialog.findChild<QComboBox *>(QStringLiteral("typeCombo"))->currentText(), QStringLiteral("Groups"));
    QCOMPARE(editDialog.findChild<QComboBox *>(QStringLiteral("permissionCombo"))->currentText(), QStringLiteral("Deny"));
}

void UserGroupAccessTest::editingUnchangedEntryIsADuplicate()
{
    const AccessEntry entry(QStringLiteral("alice@10.0.0.1"), RoleUser, PermissionAllow);
    UserGroupEntryDialog dialog(entry, nullptr);
    dialog.setExistingEntries({entry});
    ModalDriver driver;
    QStringList messages;
    driver.expectMessage(&messages);
    dialog.accept();
    QCOMPARE(messages, QStringList({QStringLiteral("An entry with this name already exists.")}));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void UserGroupAccessTest::editingKeepsHostPattern()
{
    const AccessEntry entry(QStringLiteral("alice@192.168.1.*"), RoleUser, PermissionAllow);
    UserGroupEntryDialog dialog(entry, nullptr);
    dialog.setExistingEntries({entry});
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("192.168.1.*"));
    dialog.findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(1);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.entry().toString(), QStringLiteral("DenyUsers alice@192.168.1.*"));

    // Another pattern typed in its place is refused like any non-address.
    UserGroupEntryDialog other(entry, nullptr);
    other.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(QStringLiteral("192.168.2.*"));
    ModalDriver driver;
    QStringList messages;
    driver.expectMessage(&messages);
    other.accept();
    QCOMPARE(messages, QStringList({QStringLiteral("Invalid IP address.")}));
}

void UserGroupAccessTest::addAndEditThroughTheArea()
{
    auto area = makeArea({QStringLiteral("alice")});
    auto *view = area->findChild<QTreeView *>(QStringLiteral("treeView"));
    ModalDriver driver;
    QStringList messages;

    // Add: the first try is a duplicate, the second goes in.
    driver.expect<UserGroupEntryDialog>([&](UserGroupEntryDialog *dialog) {
        fill(dialog, {false, QStringLiteral("alice"), true, QString(), 0, 0});
        driver.expectMessage(&messages);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        fill(dialog, {false, QStringLiteral("dave"), false, QStringLiteral("192.0.2.7"), 0, 1});
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    area->findChild<QPushButton *>(QStringLiteral("addButton"))->click();
    QVERIFY(driver.done());
    QCOMPARE(messages, QStringList({QStringLiteral("An entry with this name already exists.")}));
    QVERIFY(area->hasChanged());
    QCOMPARE(valueMap(*area).value(QStringLiteral("DenyUsers")).toString(), QStringLiteral("dave@192.0.2.7"));

    // Edit the row shown first (deny rows sort first): turn dave into a group entry.
    view->setCurrentIndex(view->model()->index(0, 0));
    driver.expect<UserGroupEntryDialog>([](UserGroupEntryDialog *dialog) {
        QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->text(), QStringLiteral("dave"));
        dialog->findChild<QComboBox *>(QStringLiteral("typeCombo"))->setCurrentIndex(1);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    Q_EMIT view->doubleClicked(view->currentIndex());
    QVERIFY(driver.done());
    QCOMPARE(valueMap(*area).value(QStringLiteral("DenyGroups")).toString(), QStringLiteral("dave@192.0.2.7"));
    QVERIFY(!valueMap(*area).contains(QStringLiteral("DenyUsers")));

    // Cancelling changes nothing.
    driver.expect<UserGroupEntryDialog>([](UserGroupEntryDialog *dialog) {
        dialog->reject();
    });
    area->findChild<QPushButton *>(QStringLiteral("addButton"))->click();
    QCOMPARE(area->findChild<UserGroupAccessModel *>()->rowCount(), 2);
    QVERIFY(driver.failures.isEmpty());
}

QTEST_MAIN(UserGroupAccessTest)
#include "usergroupaccesstest.moc"
