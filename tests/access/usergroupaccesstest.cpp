// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "modaldriver.h"

#include "usergroupaccessarea.h"
#include "usergroupaccessmodel.h"
#include "usergroupentrydialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

namespace
{
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

/// Fills the entry dialog; an empty name or address ticks its "any" box.
void fill(UserGroupEntryDialog *dialog, const QString &name, const QString &ip, int roleIndex = 0, int permissionIndex = 0)
{
    dialog->findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->setChecked(name.isNull());
    dialog->findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->setText(name);
    dialog->findChild<QCheckBox *>(QStringLiteral("ipCheckBox"))->setChecked(ip.isNull());
    dialog->findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(ip);
    dialog->findChild<QComboBox *>(QStringLiteral("typeCombo"))->setCurrentIndex(roleIndex);
    dialog->findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(permissionIndex);
}
}

class UserGroupAccessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<UserGroupAccessArea>
    makeArea(const QStringList &allowUsers, const QStringList &denyUsers = {}, const QStringList &allowGroups = {}, const QStringList &denyGroups = {})
    {
        const SSHOption option = SSHOption::pageOption(Server, QStringLiteral("AllowUsers"))
                                     .withValues({{QStringLiteral("allowusers"), allowUsers},
                                                  {QStringLiteral("denyusers"), denyUsers},
                                                  {QStringLiteral("allowgroups"), allowGroups},
                                                  {QStringLiteral("denygroups"), denyGroups}});
        auto area = std::make_unique<UserGroupAccessArea>(option, nullptr);
        area->inflate();
        return area;
    }
    static QTreeView *view(UserGroupAccessArea *area)
    {
        return area->findChild<QTreeView *>(QStringLiteral("treeView"));
    }
    static QString keyword(const UserGroupAccessArea &area, const char *name)
    {
        return area.value().toMap().value(QLatin1String(name)).toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }

    void loadsEntriesFromTheFourKeywords()
    {
        auto area = makeArea({QStringLiteral("alice"), QStringLiteral("bob@192.168.0.2"), QStringLiteral("carol@gw.example.org")},
                             {},
                             {},
                             {QStringLiteral("guests"), QStringLiteral("staff@10.0.0.1")});
        QStringList shown = rows(view(area.get())->model());
        shown.sort();
        // A host that is no address shows as written; a group never shows an address, one read with a host is the group, marked with a warning.
        QCOMPARE(shown,
                 QStringList({QStringLiteral("alice / Any IP address / User / Allow"),
                              QStringLiteral("bob / 192.168.0.2 / User / Allow"),
                              QStringLiteral("carol / gw.example.org / User / Allow"),
                              QStringLiteral("guests /  / Group / Deny"),
                              QStringLiteral("staff /  / Group / Deny")}));
        // Untouched lists are not rewritten; a changed group list is written with bare names.
        QVERIFY(area->value().toMap().isEmpty());
        QVERIFY(!area->hasChanged());
        auto *source = area->findChild<UserGroupAccessModel *>();
        QVERIFY(source->index(4, UserGroupAccessModel::Name).data(Qt::ToolTipRole).toString().contains(QLatin1String("10.0.0.1")));
        source->addEntry(AccessEntry(QStringLiteral("wheel"), RoleGroup, PermissionDeny));
        QCOMPARE(area->value().toMap(), (QMap<QString, QVariant>{{QStringLiteral("DenyGroups"), QStringLiteral("guests staff wheel")}}));

        // A value read as one string of several words gives one entry per word.
        QCOMPARE(makeArea({QStringLiteral("alice bob@10.0.0.1")})->originalEntries().size(), 2);
    }

    void blockIpKeepsHostPatterns()
    {
        auto area = makeArea({QStringLiteral("alice@192.168.1.*")}, {QStringLiteral("*@10.0.0.0/8")});
        QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
        area->blockIp(QHostAddress(QStringLiteral("203.0.113.9")));
        area->blockIp(QHostAddress(QStringLiteral("2001:db8::5")));
        QCOMPARE(modified.count(), 2);
        QVERIFY(area->hasChanged());
        QVERIFY(rows(view(area.get())->model()).contains(QStringLiteral("Any name / 203.0.113.9 / User / Deny")));
        const QMap<QString, QVariant> expected{{QStringLiteral("DenyUsers"), QStringLiteral("*@10.0.0.0/8 *@203.0.113.9 *@2001:db8::5")}};
        QCOMPARE(area->value().toMap(), expected);

        auto *model = area->findChild<UserGroupAccessModel *>();
        model->removeEntry(model->rowCount() - 1);
        model->removeEntry(model->rowCount() - 1);
        QVERIFY(!area->hasChanged());
        area->blockIp(QHostAddress(QStringLiteral("192.0.2.1")));
        area->reset();
        QCOMPARE(model->entries(), area->originalEntries());
    }

    void dialogAcceptance_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("roleIndex");
        QTest::addColumn<int>("permissionIndex");
        QTest::addColumn<QString>("reason"); // shown under the fields as they are typed
        QTest::addColumn<QString>("word"); // the entry accepted; empty while OK is disabled

        const QString any;
        const QString userName = QStringLiteral(
            "“%1” is not a user name: it starts with a lower-case letter or “_”, followed by lower-case letters, digits, “_” or “-”, 32 characters at most.");
        const QString groupName = QStringLiteral("“%1” is not a group name: lower-case letters, digits, “_” or “-”, 32 characters at most.");
        const QString invalidIp = QStringLiteral("“%1” is not an IP address. Enter one address, such as 192.168.1.10 or fd00::10.");
        const QString noOp = QStringLiteral("Every account may already log in from any address. Enter a name or an address, or choose Deny.");
        const QString a32(32, QLatin1Char('a'));
        const QString a33(33, QLatin1Char('a'));
        // clang-format off
        QTest::newRow("any name any ip allowed: changes nothing") << any << any << 0 << 0 << noOp << QString();
        QTest::newRow("any group allowed: changes nothing") << any << any << 1 << 0 << noOp << QString();
        QTest::newRow("any name any ip denied") << any << any << 0 << 1 << QString() << "*@*";
        QTest::newRow("any name from an address") << any << "192.0.2.9" << 0 << 0 << QString() << "*@192.0.2.9";
        QTest::newRow("trimmed") << "  alice  " << any << 0 << 0 << QString() << "alice@*";
        QTest::newRow("nothing typed yet") << "   " << any << 0 << 0 << QString() << QString();
        QTest::newRow("no address typed yet") << "alice" << "" << 0 << 0 << QString() << QString();
        QTest::newRow("user starts with digit") << "1abc" << any << 0 << 0 << userName.arg(QStringLiteral("1abc")) << QString();
        QTest::newRow("group starts with digit") << "1abc" << any << 1 << 0 << QString() << "1abc";
        QTest::newRow("32 letters") << a32 << any << 0 << 0 << QString() << a32 + QStringLiteral("@*");
        QTest::newRow("33 letters") << a33 << any << 0 << 0 << userName.arg(a33) << QString();
        QTest::newRow("32 letters group") << a32 << any << 1 << 0 << QString() << a32;
        QTest::newRow("33 letters group") << a33 << any << 1 << 0 << groupName.arg(a33) << QString();
        QTest::newRow("upper case") << "Alice" << any << 0 << 0 << userName.arg(QStringLiteral("Alice")) << QString();
        QTest::newRow("ipv6") << "bob" << "2001:db8::1" << 0 << 0 << QString() << "bob@2001:db8::1";
        QTest::newRow("bad ip") << "bob" << "10.0.0.300" << 0 << 0 << invalidIp.arg(QStringLiteral("10.0.0.300")) << QString();
        QTest::newRow("short ip, a pattern to sshd") << "bob" << "10.1" << 0 << 0 << invalidIp.arg(QStringLiteral("10.1")) << QString();
        QTest::newRow("ip with blanks") << any << " 10.0.0.1 " << 0 << 0 << QString() << "*@10.0.0.1";
        QTest::newRow("pattern refused for new entries") << any << "10.0.0.*" << 0 << 0 << invalidIp.arg(QStringLiteral("10.0.0.*")) << QString();
        QTest::newRow("duplicate") << "bob" << any << 0 << 0 << "This entry is in the list already." << QString();
        QTest::newRow("same name other type") << "bob" << any << 1 << 0 << QString() << "bob";
        // clang-format on
    }
    void dialogAcceptance()
    {
        QFETCH(QString, name);
        QFETCH(QString, ip);
        QFETCH(int, roleIndex);
        QFETCH(int, permissionIndex);
        QFETCH(QString, word);
        UserGroupEntryDialog dialog(nullptr);
        dialog.setAccount(QStringLiteral("root"), {QStringLiteral("root")});
        // A new entry starts with a name to type, so it cannot be accepted as it opens.
        QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->isChecked());
        QVERIFY(!dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled());
        dialog.setExistingEntries(
            {AccessEntry(QStringLiteral("bob"), RoleUser, PermissionAllow), AccessEntry(QStringLiteral("wheel"), RoleGroup, PermissionAllow)});
        fill(&dialog, name, ip, roleIndex, permissionIndex);
        // Checked as typed: OK stays disabled with the reason under the fields, and no box ever opens.
        QTEST(dialog.reason(), "reason");
        QCOMPARE(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), !word.isEmpty());
        ModalDriver driver;
        if (permissionIndex == 1) {
            driver.answer(QStringLiteral("Add the Entry Anyway"));
        }
        dialog.accept();
        QCOMPARE(dialog.result(), int(word.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        if (!word.isEmpty()) {
            QCOMPARE(dialog.entry().ipAndName(), word);
            QCOMPARE(dialog.entry().role(), roleIndex == 0 ? RoleUser : RoleGroup);
            QCOMPARE(dialog.entry().permission(), permissionIndex == 0 ? PermissionAllow : PermissionDeny);
        }
    }

    void editDialogKeepsHostPatternAndRefusesUnchanged()
    {
        const AccessEntry entry(QStringLiteral("alice@192.168.1.*"), RoleUser, PermissionAllow);
        UserGroupEntryDialog dialog(entry, nullptr);
        dialog.setExistingEntries({entry});
        dialog.setAccount(QStringLiteral("root"), {QStringLiteral("root")});
        QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("nameCheckBox"))->isChecked());
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->text(), QStringLiteral("alice"));
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("192.168.1.*"));
        QCOMPARE(dialog.reason(), QStringLiteral("This entry is in the list already."));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        dialog.findChild<QComboBox *>(QStringLiteral("permissionCombo"))->setCurrentIndex(1);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.entry().toString(), QStringLiteral("DenyUsers alice@192.168.1.*"));

        // Another pattern typed in its place is refused like any non-address.
        dialog.findChild<QLineEdit *>(QStringLiteral("ipLineEdit"))->setText(QStringLiteral("192.168.2.*"));
        QCOMPARE(dialog.reason(), QStringLiteral("“192.168.2.*” is not an IP address. Enter one address, such as 192.168.1.10 or fd00::10."));
    }

    void lockoutWarning_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("permission");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("allowedUser"); // an AllowUsers word already listed, if any
        QTest::addColumn<QString>("warning");
        const int user = RoleUser;
        const int group = RoleGroup;
        const int allow = PermissionAllow;
        const int deny = PermissionDeny;
        // The account is admin, member of admin and wheel.
        // clang-format off
        QTest::newRow("first allowed user") << user << allow << "alice" << "" << "Once users are allowed by name, every user not in the list is shut out of SSH logins, your account (admin) included.";
        QTest::newRow("first allowed user is you") << user << allow << "adm?n@10.0.0.1" << "" << "Once users are allowed by name, every user not in the list is shut out of SSH logins.";
        QTest::newRow("second allowed user") << user << allow << "alice" << "bob" << "";
        QTest::newRow("allow everyone") << user << allow << "*" << "" << "";
        QTest::newRow("first allowed group") << group << allow << "staff" << "bob" << "Once groups are allowed by name, every account that is in none of them is shut out of SSH logins, your account (admin) included.";
        QTest::newRow("deny you") << user << deny << "admin@192.0.2.1" << "" << "This entry denies SSH logins to your own account (admin).";
        QTest::newRow("deny you by pattern") << user << deny << "a*" << "" << "This entry denies SSH logins to your own account (admin).";
        QTest::newRow("deny everyone") << user << deny << "*" << "" << "This entry denies SSH logins to every account, yours (admin) included.";
        QTest::newRow("deny all but you") << user << deny << "*,!admin" << "" << "";
        QTest::newRow("deny a negation alone") << user << deny << "!admin" << "" << "";
        QTest::newRow("deny your group") << group << deny << "wheel" << "" << "This entry denies SSH logins to every member of wheel, your account (admin) included.";
        QTest::newRow("deny another") << user << deny << "bob" << "" << "";
        // clang-format on
    }
    void lockoutWarning()
    {
        QFETCH(int, role);
        QFETCH(int, permission);
        QFETCH(QString, word);
        QFETCH(QString, allowedUser);
        UserGroupEntryDialog dialog(nullptr);
        dialog.setAccount(QStringLiteral("admin"), {QStringLiteral("admin"), QStringLiteral("wheel")});
        if (!allowedUser.isEmpty()) {
            dialog.setExistingEntries({AccessEntry(allowedUser, RoleUser, PermissionAllow)});
        }
        QTEST(dialog.lockoutWarning(AccessEntry(word, RoleType(role), Permission(permission))), "warning");
    }

    void lockoutIsConfirmedBeforeAccepting()
    {
        UserGroupEntryDialog dialog(nullptr);
        dialog.setAccount(QStringLiteral("admin"), {QStringLiteral("admin")});
        fill(&dialog, QStringLiteral("alice"), QString());
        ModalDriver driver;
        driver.answer(QString()); // declined: the dialog stays open
        driver.answer(QStringLiteral("Add the Entry Anyway"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(driver.seenDefaults, QStringList({QStringLiteral("Cancel"), QStringLiteral("Cancel")}));
        QCOMPARE(dialog.entry().ipAndName(), QStringLiteral("alice@*"));
    }

    void addAndEditThroughTheArea()
    {
        auto area = makeArea({QStringLiteral("alice")});
        QTreeView *tree = view(area.get());
        ModalDriver driver;
        // Add: the first try is a duplicate, the second goes in.
        driver.expect<UserGroupEntryDialog>([&](UserGroupEntryDialog *dialog) {
            fill(dialog, QStringLiteral("alice"), QString());
            dialog->accept();
            QCOMPARE(dialog->reason(), QStringLiteral("This entry is in the list already."));
            fill(dialog, QStringLiteral("dave"), QStringLiteral("192.0.2.7"), 0, 1);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        area->findChild<QPushButton *>(QStringLiteral("addButton"))->click();
        QCOMPARE(keyword(*area, "DenyUsers"), QStringLiteral("dave@192.0.2.7"));

        // Edit the row shown first (deny rows sort first): turn dave into a group entry.
        tree->setCurrentIndex(tree->model()->index(0, 0));
        driver.expect<UserGroupEntryDialog>([](UserGroupEntryDialog *dialog) {
            QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->text(), QStringLiteral("dave"));
            dialog->findChild<QComboBox *>(QStringLiteral("typeCombo"))->setCurrentIndex(1);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        Q_EMIT tree->doubleClicked(tree->currentIndex());
        QCOMPARE(keyword(*area, "DenyGroups"), QStringLiteral("dave")); // a group keeps no address
        QVERIFY(!area->value().toMap().contains(QStringLiteral("DenyUsers")));
        // Remove acts on the selected row and stays usable while rows remain.
        auto *remove = area->findChild<QPushButton *>(QStringLiteral("removeButton"));
        tree->setCurrentIndex(tree->model()->index(0, 0));
        Q_EMIT tree->clicked(tree->currentIndex());
        remove->click();
        QCOMPARE(rows(tree->model()), QStringList({QStringLiteral("alice / Any IP address / User / Allow")}));
        QVERIFY(remove->isEnabled());
        QVERIFY(driver.failures.isEmpty());
    }
};

QTEST_MAIN(UserGroupAccessTest)
#include "usergroupaccesstest.moc"
