// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingsview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>

using namespace OptionCatalog;
namespace Reply = SSHSettings::Protocol::Reply;

namespace
{
const QStringList Supported = {QStringLiteral("chacha20-poly1305@openssh.com"), QStringLiteral("aes256-gcm@openssh.com"), QStringLiteral("aes128-ctr")};

/// A server read as sshd 9.2 gives it: every keyword at its built-in value, but for a few set in sshd_config.
QVariantMap serverReply(int version = 902)
{
    QVariantMap reply{{Reply::Version, version}, {Reply::Algorithms, QVariantMap{{QStringLiteral("cipher"), Supported}}}};
    for (const Option &option : options(ConfigType::Server)) {
        // As the helper reads them: a repeatable keyword as its lines, Port as its first, Subsystem as yes or no.
        const bool lines = option.accumulating && option.kind != ValueKind::Port && option.kind != ValueKind::Subsystem;
        reply.insert(option.keyword.toLower(), lines ? QVariant(QStringList()) : QVariant(option.defaultValue));
    }
    const auto set = [&reply](const char *keyword, const QVariant &value, int line) {
        reply.insert(QString::fromLatin1(keyword).toLower(), value);
        QVariantMap origins = reply.value(Reply::Origins).toMap();
        origins.insert(QString::fromLatin1(keyword).toLower(),
                       QVariantMap{{Reply::OriginFile, QStringLiteral("/etc/ssh/sshd_config")}, {Reply::OriginLine, line}, {Reply::OriginMainFile, true}});
        reply.insert(Reply::Origins, origins);
    };
    set("MaxAuthTries", QStringLiteral("3"), 10);
    set("Ciphers", QStringLiteral("chacha20-poly1305@openssh.com,aes256-gcm@openssh.com,aes128-cbc"), 11);
    set("PerSourceMaxStartups", QStringLiteral("10"), 12);
    set("HostKey", QStringList{QStringLiteral("/etc/ssh/a_key"), QStringLiteral("/etc/ssh/b_key")}, 13);
    // Set only inside a Match block: no line outside the blocks to remove.
    QVariantMap origins = reply.value(Reply::Origins).toMap();
    origins.insert(QStringLiteral("allowtcpforwarding"),
                   QVariantMap{{Reply::OriginOverrides,
                                QVariantList{QVariantMap{{Reply::OriginFile, QStringLiteral("/etc/ssh/sshd_config")},
                                                         {Reply::OriginLine, 20},
                                                         {Reply::OriginMatch, QStringLiteral("User backup")}}}}});
    reply.insert(Reply::Origins, origins);
    // Built without PAM, sshd reports a value other than the table's, though no line sets it.
    reply.insert(QStringLiteral("usepam"), QStringLiteral("yes"));
    return reply;
}

QStringList shownKeywords(const QTreeView *view)
{
    QStringList keywords;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        keywords.append(view->model()->index(row, 0).data().toString());
    }
    return keywords;
}

template<typename T>
T *child(const QWidget *parent, const char *name)
{
    auto *found = parent->findChild<T *>(QLatin1String(name));
    Q_ASSERT(found);
    return found;
}

QModelIndex find(AllSettingsView *view, const QString &keyword)
{
    const QAbstractItemModel *model = child<QTreeView>(view, "allSettingsView")->model();
    return model->match(model->index(0, 0), Qt::DisplayRole, keyword, 1, Qt::MatchFixedString).value(0);
}

void select(AllSettingsView *view, const QString &keyword)
{
    QVERIFY2(find(view, keyword).isValid(), qPrintable(keyword));
    child<QTreeView>(view, "allSettingsView")->setCurrentIndex(find(view, keyword));
}

QString valueShown(AllSettingsView *view, const QString &keyword)
{
    return find(view, keyword).siblingAtColumn(1).data().toString();
}

/// Does in the editor what @p action names, with @p input.
void edit(AllSettingsView *view, const QString &action, const QString &input)
{
    if (action == QLatin1String("toggle") || action == QLatin1String("toggle twice")) {
        auto *check = child<QCheckBox>(view, "allSettingsCheck");
        check->toggle();
        if (action == QLatin1String("toggle twice")) {
            check->toggle();
        }
    } else if (action == QLatin1String("number")) {
        child<QComboBox>(view, "allSettingsWord")->setCurrentIndex(0);
        child<QSpinBox>(view, "allSettingsNumber")->setValue(input.toInt());
    } else if (action == QLatin1String("word")) {
        auto *word = child<QComboBox>(view, "allSettingsWord");
        word->setCurrentIndex(word->findText(input));
    } else if (action == QLatin1String("choice")) {
        auto *choice = child<QComboBox>(view, "allSettingsChoice");
        choice->setCurrentIndex(choice->findText(input));
    } else if (action == QLatin1String("text")) {
        child<QLineEdit>(view, "allSettingsText")->setText(input);
    } else if (action == QLatin1String("untick")) {
        child<QListWidget>(view, "allSettingsAlgorithms")->findItems(input, Qt::MatchExactly).first()->setCheckState(Qt::Unchecked);
    } else if (action == QLatin1String("move up")) {
        auto *list = child<QListWidget>(view, "allSettingsAlgorithms");
        list->setCurrentItem(list->findItems(input, Qt::MatchExactly).first());
        child<QPushButton>(view, "allSettingsUp")->click();
    }
}
}

class AllSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filters_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("category");
        QTest::addColumn<bool>("changedOnly");
        QTest::addColumn<QStringList>("shown");
        const QStringList perSource = {QStringLiteral("PerSourceMaxStartups"), QStringLiteral("PerSourceNetBlockSize")};
        // clang-format off
        QTest::newRow("keyword") << 902 << QStringLiteral("maxauth") << -1 << false << QStringList{QStringLiteral("MaxAuthTries")};
        QTest::newRow("description, any case") << 902 << QStringLiteral("KEEP-ALIVE MESSAGES") << -1 << false << QStringList{QStringLiteral("ClientAliveCountMax")};
        QTest::newRow("alias") << 902 << QStringLiteral("challengeresponse") << -1 << false << QStringList{QStringLiteral("KbdInteractiveAuthentication")};
        QTest::newRow("category") << 902 << QString() << int(Category::Logging) << false << QStringList{QStringLiteral("FingerprintHash"), QStringLiteral("LogLevel"), QStringLiteral("LogVerbose"), QStringLiteral("SyslogFacility")};
        QTest::newRow("changed: in a file or not the built-in value") << 902 << QString() << -1 << true << QStringList{QStringLiteral("AllowTcpForwarding"), QStringLiteral("Ciphers"), QStringLiteral("HostKey"), QStringLiteral("MaxAuthTries"), QStringLiteral("PerSourceMaxStartups"), QStringLiteral("UsePAM")};
        QTest::newRow("changed in a category") << 902 << QString() << int(Category::Cryptography) << true << QStringList{QStringLiteral("Ciphers")};
        QTest::newRow("keywords of 9.8 hidden from 9.2") << 902 << QStringLiteral("PerSource") << -1 << false << perSource;
        QTest::newRow("keywords of 9.8 shown on 9.8") << 908 << QStringLiteral("PerSource") << -1 << false << perSource + QStringList{QStringLiteral("PerSourcePenalties"), QStringLiteral("PerSourcePenaltyExemptList")};
        // clang-format on
    }
    void filters()
    {
        QFETCH(int, version);
        QFETCH(QString, search);
        QFETCH(int, category);
        QFETCH(bool, changedOnly);
        QFETCH(QStringList, shown);
        AllSettingsView view(ConfigType::Server);
        view.setReadValues(serverReply(version));
        child<QLineEdit>(&view, "allSettingsSearch")->setText(search);
        auto *categories = child<QComboBox>(&view, "allSettingsCategory");
        categories->setCurrentIndex(categories->findData(category));
        child<QCheckBox>(&view, "allSettingsChanged")->setChecked(changedOnly);
        QCOMPARE(shownKeywords(child<QTreeView>(&view, "allSettingsView")), shown);
    }

    void edits_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QVariant>("change"); ///< invalid: no change
        // clang-format off
        QTest::newRow("yes/no") << QStringLiteral("AllowAgentForwarding") << QStringLiteral("toggle") << QString() << QVariant(false);
        QTest::newRow("yes/no back to the read value") << QStringLiteral("AllowAgentForwarding") << QStringLiteral("toggle twice") << QString() << QVariant();
        QTest::newRow("number") << QStringLiteral("MaxAuthTries") << QStringLiteral("number") << QStringLiteral("4") << QVariant(4);
        QTest::newRow("number, same as read") << QStringLiteral("MaxAuthTries") << QStringLiteral("number") << QStringLiteral("3") << QVariant();
        QTest::newRow("a tab's keyword is edited there") << QStringLiteral("Port") << QStringLiteral("number") << QStringLiteral("2222") << QVariant();
        QTest::newRow("interval in seconds") << QStringLiteral("ClientAliveInterval") << QStringLiteral("number") << QStringLiteral("30") << QVariant(30);
        QTest::newRow("interval instead of a word") << QStringLiteral("UnusedConnectionTimeout") << QStringLiteral("number") << QStringLiteral("300") << QVariant(300);
        QTest::newRow("word instead of a number") << QStringLiteral("PerSourceMaxStartups") << QStringLiteral("word") << QStringLiteral("none") << QVariant(QStringLiteral("none"));
        QTest::newRow("choice") << QStringLiteral("LogLevel") << QStringLiteral("choice") << QStringLiteral("VERBOSE") << QVariant(QStringLiteral("VERBOSE"));
        QTest::newRow("algorithm left out") << QStringLiteral("Ciphers") << QStringLiteral("untick") << QStringLiteral("chacha20-poly1305@openssh.com") << QVariant(QStringLiteral("aes256-gcm@openssh.com"));
        QTest::newRow("algorithm moved up") << QStringLiteral("Ciphers") << QStringLiteral("move up") << QStringLiteral("aes256-gcm@openssh.com") << QVariant(QStringLiteral("aes256-gcm@openssh.com,chacha20-poly1305@openssh.com"));
        QTest::newRow("path") << QStringLiteral("AuthorizedPrincipalsFile") << QStringLiteral("text") << QStringLiteral("/etc/ssh/principals/%u") << QVariant(QStringLiteral("/etc/ssh/principals/%u"));
        QTest::newRow("path with a blank refused") << QStringLiteral("AuthorizedPrincipalsFile") << QStringLiteral("text") << QStringLiteral("/etc/my principals") << QVariant();
        QTest::newRow("pattern list") << QStringLiteral("AcceptEnv") << QStringLiteral("text") << QStringLiteral("LANG LC_*") << QVariant(QStringLiteral("LANG LC_*"));
        QTest::newRow("triple") << QStringLiteral("MaxStartups") << QStringLiteral("text") << QStringLiteral("10:30:60") << QVariant(QStringLiteral("10:30:60"));
        QTest::newRow("triple with a word refused") << QStringLiteral("MaxStartups") << QStringLiteral("text") << QStringLiteral("10:x:60") << QVariant();
        QTest::newRow("text starting a comment refused") << QStringLiteral("ForceCommand") << QStringLiteral("text") << QStringLiteral("#internal-sftp") << QVariant();
        // clang-format on
    }
    void edits()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, action);
        QFETCH(QString, input);
        QFETCH(QVariant, change);
        AllSettingsView view(ConfigType::Server);
        view.setReadValues(serverReply());
        QSignalSpy changed(&view, &AllSettingsView::changed);
        select(&view, keyword);
        edit(&view, action, input);
        const QVariantMap expected = change.isValid() ? QVariantMap{{keyword, change}} : QVariantMap();
        QCOMPARE(view.changes(), expected);
        QCOMPARE(valueShown(&view, keyword).endsWith(QLatin1String("(changed)")), change.isValid());
        QCOMPARE(changed.isEmpty(), !change.isValid() && action != QLatin1String("toggle twice"));
        view.discardChanges();
        QVERIFY(view.changes().isEmpty());
        QVERIFY(!valueShown(&view, keyword).endsWith(QLatin1String("(changed)")));
    }

    void algorithmsOfferedAreTheReplys()
    {
        AllSettingsView view(ConfigType::Server);
        view.setReadValues(serverReply());
        select(&view, QStringLiteral("Ciphers"));
        QStringList offered;
        QStringList ticked;
        auto *list = child<QListWidget>(&view, "allSettingsAlgorithms");
        for (int i = 0; i < list->count(); ++i) {
            offered.append(list->item(i)->text());
            if (list->item(i)->checkState() == Qt::Checked) {
                ticked.append(list->item(i)->text());
            }
        }
        // aes128-cbc is in force but this OpenSSH does not report it: it is not offered.
        QCOMPARE(offered, Supported);
        QCOMPARE(ticked, Supported.mid(0, 2));
    }

    void keyboard_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("editor");
        QTest::newRow("F2 on a number") << QStringLiteral("MaxAuthTries") << int(Qt::Key_F2) << QStringLiteral("allSettingsNumber");
        QTest::newRow("Return on yes/no") << QStringLiteral("AllowAgentForwarding") << int(Qt::Key_Return) << QStringLiteral("allSettingsCheck");
        QTest::newRow("Enter on algorithms") << QStringLiteral("Ciphers") << int(Qt::Key_Enter) << QStringLiteral("allSettingsAlgorithms");
        QTest::newRow("F2 on a word") << QStringLiteral("UnusedConnectionTimeout") << int(Qt::Key_F2) << QStringLiteral("allSettingsWord");
        QTest::newRow("F2 on several lines") << QStringLiteral("HostKey") << int(Qt::Key_F2) << QStringLiteral("allSettingsReset");
    }
    void keyboard()
    {
        QFETCH(QString, keyword);
        QFETCH(int, key);
        QFETCH(QString, editor);
        AllSettingsView view(ConfigType::Server);
        view.setReadValues(serverReply());
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        // The search field, the two filters and the list follow each other on Tab.
        child<QLineEdit>(&view, "allSettingsSearch")->setFocus();
        for (const char *next : {"allSettingsCategory", "allSettingsChanged", "allSettingsView"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(next));
        }
        select(&view, keyword);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(QApplication::focusWidget()->objectName(), editor);
    }

    void clientWordsAreTheTables()
    {
        // ssh -G prints "true" and "false" for some choices; the page shows and compares the table's words.
        AllSettingsView view(ConfigType::Client);
        view.setReadValues({{Reply::Version, 902},
                            {QStringLiteral("stricthostkeychecking"), QStringLiteral("true")},
                            {QStringLiteral("addkeystoagent"), QStringLiteral("false")}});
        QCOMPARE(valueShown(&view, QStringLiteral("StrictHostKeyChecking")), QStringLiteral("yes"));
        QCOMPARE(valueShown(&view, QStringLiteral("AddKeysToAgent")), QStringLiteral("no"));
        child<QCheckBox>(&view, "allSettingsChanged")->setChecked(true);
        QCOMPARE(shownKeywords(child<QTreeView>(&view, "allSettingsView")), QStringList{QStringLiteral("StrictHostKeyChecking")});
        select(&view, QStringLiteral("StrictHostKeyChecking"));
        edit(&view, QStringLiteral("choice"), QStringLiteral("yes"));
        QVERIFY(view.changes().isEmpty());
    }

    void reset_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("editFirst");
        QTest::addColumn<bool>("canReset");
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QString>("tab"); // the page's tab that edits the keyword, as its title reads; empty: edited here
        // clang-format off
        QTest::newRow("set in a file: its lines go") << QStringLiteral("MaxAuthTries") << false << true << QVariantMap{{QStringLiteral("MaxAuthTries"), QStringList()}} << QString();
        QTest::newRow("several lines: all go") << QStringLiteral("HostKey") << false << true << QVariantMap{{QStringLiteral("HostKey"), QStringList()}} << QString();
        QTest::newRow("edited, no line: the edit goes") << QStringLiteral("ClientAliveCountMax") << true << true << QVariantMap() << QString();
        QTest::newRow("at its default: nothing to reset") << QStringLiteral("ClientAliveCountMax") << false << false << QVariantMap() << QString();
        QTest::newRow("edited on its own tab") << QStringLiteral("AllowUsers") << false << false << QVariantMap() << QStringLiteral("General");
        QTest::newRow("edited on the Sessions tab") << QStringLiteral("UseDNS") << false << false << QVariantMap() << QStringLiteral("Sessions");
        QTest::newRow("set only in a Match block") << QStringLiteral("AllowTcpForwarding") << false << false << QVariantMap() << QString();
        // clang-format on
    }
    void reset()
    {
        QFETCH(QString, keyword);
        QFETCH(bool, editFirst);
        QFETCH(bool, canReset);
        QFETCH(QVariantMap, changes);
        AllSettingsView view(ConfigType::Server);
        view.setReadValues(serverReply());
        select(&view, keyword);
        if (editFirst) {
            edit(&view, QStringLiteral("number"), QStringLiteral("2"));
            QCOMPARE(view.changes().size(), 1);
        }
        auto *button = child<QPushButton>(&view, "allSettingsReset");
        QCOMPARE(button->isEnabled(), canReset);
        QFETCH(QString, tab);
        const QString elsewhere = find(&view, keyword).siblingAtColumn(1).data(Qt::ToolTipRole).toString();
        QCOMPARE(elsewhere.startsWith(QLatin1String("This keyword is edited on")), !tab.isEmpty());
        QVERIFY2(tab.isEmpty() || elsewhere.endsWith(QStringLiteral("\"%1\" tab.").arg(tab)), qPrintable(elsewhere));
        button->click();
        QCOMPARE(view.changes(), changes);
        QVERIFY(!button->isEnabled());
        // A new read drops what was pending.
        view.setReadValues(serverReply());
        QVERIFY(view.changes().isEmpty());
    }

    // A block's body: only keywords blocks allow, a tab's too; a value equal to the outside one is a line all the same.
    void blockBody_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("action"); // an edit(), "reset", or "absent": not offered
        QTest::addColumn<QVariant>("change"); ///< invalid: no change
        // clang-format off
        QTest::newRow("set in the body, edited though a tab edits it outside") << QStringLiteral("PasswordAuthentication") << QStringLiteral("toggle") << QVariant(false);
        QTest::newRow("set in the body: the reset removes it") << QStringLiteral("PasswordAuthentication") << QStringLiteral("reset") << QVariant(QStringList());
        QTest::newRow("the value outside the block, written in it") << QStringLiteral("AllowAgentForwarding") << QStringLiteral("toggle twice") << QVariant(true);
        QTest::newRow("not set in the body: nothing to reset") << QStringLiteral("AllowAgentForwarding") << QStringLiteral("reset") << QVariant();
        QTest::newRow("not allowed in blocks") << QStringLiteral("UseDNS") << QStringLiteral("absent") << QVariant();
        // clang-format on
    }
    void blockBody()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, action);
        QFETCH(QVariant, change);
        AllSettingsView view(ConfigType::Server, nullptr, true);
        view.setBlockValues({{QStringLiteral("PasswordAuthentication"), QStringLiteral("yes")}}, serverReply());
        QCOMPARE(shownKeywords(child<QTreeView>(&view, "allSettingsView")), QStringList{QStringLiteral("PasswordAuthentication")}); // what the block sets
        child<QCheckBox>(&view, "allSettingsChanged")->setChecked(false);
        QCOMPARE(find(&view, keyword).isValid(), action != QLatin1String("absent"));
        if (action == QLatin1String("absent")) {
            return;
        }
        select(&view, keyword);
        action == QLatin1String("reset") ? child<QPushButton>(&view, "allSettingsReset")->click() : edit(&view, action, QString());
        const QVariantMap expected = change.isValid() ? QVariantMap{{keyword, change}} : QVariantMap();
        QCOMPARE(view.changes(), expected);
    }
};

QTEST_MAIN(AllSettingsTest)
#include "allsettingstest.moc"
