// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysarea.h"
#include "authorizedkeysmodel.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
#include "modalanswerer.h"
#include "sshkeyutils.h"
#include "sshoption.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <memory>

namespace
{
// An inflated area for the given patterns, with handles on its view and models.
struct Tree
{
    explicit Tree(const QStringList &patterns)
    {
        SSHOption option(Server, nullptr);
        option.setId(SSHOption::AuthorizedKeysFile);
        option.setName(QStringLiteral("AuthorizedKeysFile"));
        option.setValueType(QMetaType::QStringList);
        option.setValue(patterns);
        area = std::make_unique<AuthorizedKeysArea>(option, nullptr);
        area->inflate();
        view = area->findChild<QTreeView *>(QStringLiteral("keysView"));
        proxy = qobject_cast<QSortFilterProxyModel *>(view->model());
        model = proxy->sourceModel();
    }

    QPushButton *button(const char *name) const { return area->findChild<QPushButton *>(QLatin1String(name)); }

    QStringList files() const
    {
        QStringList paths;
        for (int row = 0; row < model->rowCount(); ++row) {
            paths.append(model->index(row, 0).data().toString());
        }
        return paths;
    }

    QString cell(int fileRow, int keyRow, int column) const { return model->index(keyRow, column, model->index(fileRow, 0)).data().toString(); }

    // The raw key lines shown under a file.
    QStringList keys(int fileRow) const
    {
        QStringList lines;
        for (int row = 0; row < model->rowCount(model->index(fileRow, 0)); ++row) {
            lines.append(cell(fileRow, row, AuthorizedKeysModel::RawKeyColumn));
        }
        return lines;
    }

    void select(int fileRow, int keyRow = -1) const
    {
        const QModelIndex file = model->index(fileRow, 0);
        view->setCurrentIndex(proxy->mapFromSource(keyRow < 0 ? file : model->index(keyRow, 0, file)));
    }

    std::unique_ptr<AuthorizedKeysArea> area;
    QTreeView *view = nullptr;
    QSortFilterProxyModel *proxy = nullptr;
    QAbstractItemModel *model = nullptr;
};
}

class AuthorizedKeysAreaTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loadAndReload();
    void expandPath_data();
    void expandPath();
    void editPathsKeepsConfiguredPatterns();
    void search_data();
    void search();
    void removeKey();
    void addKey();
    void contextMenuAndShowPublicKey();

private:
    QString home(const QString &relative = QString()) const { return m_root.filePath(QStringLiteral("home/alice/") + relative); }
    QString outside(const QString &name) const { return m_root.filePath(QStringLiteral("etc/keys/") + name); }
    void writeKeys(const QString &path, const QString &content) const { QVERIFY(KeyTest::writeFile(path, content.toUtf8())); }

    QTemporaryDir m_keyDir;
    QTemporaryDir m_root;
    QString m_ed1, m_ed2, m_ec, m_rsa, m_ec256;
    QByteArray m_savedHome, m_savedUser;
};

void AuthorizedKeysAreaTest::initTestCase()
{
    QVERIFY(m_keyDir.isValid() && m_root.isValid());
    m_ed1 = KeyTest::generateKey(m_keyDir.path(), QStringLiteral("ed25519"), 0, QStringLiteral("alice laptop"));
    m_ed2 = KeyTest::generateKey(m_keyDir.path(), QStringLiteral("ed25519"), 0, QStringLiteral("outside key"));
    m_ec = KeyTest::generateKey(m_keyDir.path(), QStringLiteral("ecdsa"), 384, QStringLiteral("build server"));
    m_rsa = KeyTest::generateKey(m_keyDir.path(), QStringLiteral("rsa"), 2048, QStringLiteral("backup"));
    m_ec256 = KeyTest::generateKey(m_keyDir.path(), QStringLiteral("ecdsa"), 256, QStringLiteral("new one"));
    QVERIFY(!m_ed1.isEmpty() && !m_ed2.isEmpty() && !m_ec.isEmpty() && !m_rsa.isEmpty() && !m_ec256.isEmpty());
    m_savedHome = qgetenv("HOME");
    m_savedUser = qgetenv("USER");
}

void AuthorizedKeysAreaTest::init()
{
    QDir(m_root.path()).removeRecursively();
    QDir().mkpath(home(QStringLiteral(".ssh")));
    QDir().mkpath(home(QStringLiteral("keys")));
    QDir().mkpath(outside(QString()));
    qputenv("HOME", QFile::encodeName(QDir::cleanPath(home())));
    qputenv("USER", "alice");
}

void AuthorizedKeysAreaTest::cleanup()
{
    qputenv("HOME", m_savedHome);
    qputenv("USER", m_savedUser);
    SSHKeyUtils::setWritableCheckForTesting({});
}

void AuthorizedKeysAreaTest::loadAndReload()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, QStringLiteral("# my keys\n\n   \n  %1\n\t# old\n%2   \r\nnot-a-key\n").arg(m_ed1, m_ec));
    writeKeys(home(QStringLiteral("keys/alice")), m_rsa);
    writeKeys(outside(QStringLiteral("shared")), m_ed2 + QLatin1Char('\n'));
    // A folder where a file is expected cannot be read as a file, even by root.
    QDir().mkpath(home(QStringLiteral("unreadable")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to open file: .*unreadable, error: \".*\"!$")));

    const QStringList patterns {QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/authorized_keys2"), QStringLiteral("%h/keys/%u"),
                                outside(QStringLiteral("shared")), QStringLiteral("unreadable")};
    SSHKeyUtils::resetStartedProcessCount();
    Tree tree(patterns);
    // One ssh-keygen run per file that has key lines, whatever the number of keys.
    QCOMPARE(SSHKeyUtils::startedProcessCount(), 3);

    QCOMPARE(tree.files(),
             QStringList({path, home(QStringLiteral(".ssh/authorized_keys2")), home(QStringLiteral("keys/alice")), outside(QStringLiteral("shared")),
                          home(QStringLiteral("unreadable"))}));
    // Indented and CRLF lines are kept (trimmed), comment and blank lines dropped.
    QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec, QStringLiteral("not-a-key")}));
    QCOMPARE(tree.keys(1), QStringList());
    QCOMPARE(tree.keys(2), QStringList {m_rsa});
    QCOMPARE(tree.keys(3), QStringList {m_ed2});
    QCOMPARE(tree.keys(4), QStringList());
    QVERIFY(tree.model->index(4, 0).data(Qt::ToolTipRole).toString().contains(QLatin1String("could not be read")));
    QVERIFY(tree.model->index(3, 0).data(AuthorizedKeysModel::ReadErrorRole).toString().isEmpty());
    QCOMPARE(tree.model->index(1, AuthorizedKeysModel::FileExistsColumn).data(AuthorizedKeysModel::FileExistsRole), QVariant(false));
    QCOMPARE(tree.model->index(0, AuthorizedKeysModel::FileExistsColumn).data(AuthorizedKeysModel::FileExistsRole), QVariant(true));

    // What the model shows of the parsed lines (the raw key column is only searched).
    QCOMPARE(QStringList({tree.cell(0, 0, AuthorizedKeysModel::NameColumn), tree.cell(0, 0, AuthorizedKeysModel::CommentColumn),
                          tree.cell(0, 0, AuthorizedKeysModel::KeyBitsColumn), tree.cell(0, 1, AuthorizedKeysModel::KeyBitsColumn),
                          tree.cell(0, 2, AuthorizedKeysModel::KeyTypeColumn), tree.cell(2, 0, AuthorizedKeysModel::KeyBitsColumn)}),
             QStringList({QStringLiteral("ssh-ed25519 alice laptop"), QStringLiteral("alice laptop"), QStringLiteral("256"), QStringLiteral("384"),
                          QStringLiteral("Invalid"), QStringLiteral("2048")}));
    QVERIFY(tree.cell(0, 0, AuthorizedKeysModel::FingerprintColumn).startsWith(QLatin1String("SHA256:")));
    QVERIFY(tree.view->isColumnHidden(AuthorizedKeysModel::RawKeyColumn));

    // Nothing was changed, so every configured pattern, the unreadable one too, is written back as it was.
    QCOMPARE(tree.area->value().toStringList(), patterns);
    QVERIFY(!tree.area->hasChanged());

    // Reset reads the files again; a new value replaces the list.
    writeKeys(path, m_ed1 + QLatin1Char('\n') + m_ec);
    tree.area->reset();
    QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec}));
    tree.area->updateArea(QVariant(QStringList {QStringLiteral("/nonexistent/keys"), QStringLiteral(".ssh/authorized_keys")}));
    QCOMPARE(tree.files(), QStringList({QStringLiteral("/nonexistent/keys"), path}));
    QVERIFY(!tree.area->hasChanged());
}

void AuthorizedKeysAreaTest::expandPath_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected"); // relative to the home unless absolute
    const char *rows[][2] = {{"  .ssh/authorized_keys2 \t", ".ssh/authorized_keys2"},
                             {"~/.ssh/keys", ".ssh/keys"},
                             {"%h/keys/%u", "keys/alice"},
                             {".ssh/%u.keys", ".ssh/alice.keys"},
                             {"keys/%U", "keys/%U"}, // tokens are case-sensitive
                             {"/etc/ssh/keys/%u", "/etc/ssh/keys/alice"}};
    for (const auto &row : rows) {
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
    }
}

void AuthorizedKeysAreaTest::expandPath()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    const QString expanded = AuthorizedKeysArea::expandPath(pattern);
    QVERIFY(QDir::isAbsolutePath(expanded));
    QCOMPARE(QDir::cleanPath(expanded), expected.startsWith(QLatin1Char('/')) ? expected : home(expected));
}

void AuthorizedKeysAreaTest::editPathsKeepsConfiguredPatterns()
{
    writeKeys(home(QStringLiteral("keys/alice")), m_rsa);
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1);
    writeKeys(outside(QStringLiteral("shared")), m_ed2);
    const QString addedInHome = home(QStringLiteral("keys/extra"));
    const QString addedOutside = outside(QStringLiteral("more"));
    writeKeys(addedInHome, m_ec);
    writeKeys(addedOutside, QString());

    const QStringList patterns {QStringLiteral("%h/keys/%u"), QStringLiteral(".ssh/authorized_keys"), outside(QStringLiteral("shared")),
                                QStringLiteral("~/.ssh/authorized_keys2")};
    Tree tree(patterns);
    QSignalSpy modified(tree.area.get(), &AbstractOptionArea::modify);
    QPushButton *edit = tree.button("pathsEditButton");

    // Accepted without a change, or changed and cancelled: nothing happens.
    KeyTest::whenModal<QDialog>([](QDialog *dialog) {
        dialog->accept();
    });
    edit->click();
    KeyTest::whenModal<QDialog>([](QDialog *dialog) {
        dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"))->clear();
        dialog->reject();
    });
    edit->click();
    QCOMPARE(modified.count(), 0);
    QVERIFY(!tree.area->hasChanged());
    QCOMPARE(tree.area->value().toStringList(), patterns);

    // Remove ".ssh/authorized_keys" and add one file inside and one outside the home.
    bool dialogSeen = false;
    KeyTest::whenModal<QDialog>([&](QDialog *dialog) {
        dialogSeen = true;
        dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"))->setCurrentRow(1);
        dialog->findChild<QPushButton *>(QStringLiteral("removePath"))->click();
        for (const QString &path : {addedInHome, addedOutside}) {
            KeyTest::whenModal<QFileDialog>([path](QFileDialog *fileDialog) {
                // Typed into the name field, as a user would.
                fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
                static_cast<QDialog *>(fileDialog)->accept();
            });
            dialog->findChild<QPushButton *>(QStringLiteral("addPath"))->click();
        }
        dialog->accept();
    });
    edit->click();
    QVERIFY(dialogSeen);
    QCOMPARE(modified.count(), 1);
    QVERIFY(tree.area->hasChanged());
    QCOMPARE(tree.files(),
             QStringList({home(QStringLiteral("keys/alice")), outside(QStringLiteral("shared")), home(QStringLiteral(".ssh/authorized_keys2")), addedInHome,
                          addedOutside}));
    QCOMPARE(tree.keys(3), QStringList {m_ec});
    // Configured entries keep their pattern; only new paths are made relative to the home.
    QCOMPARE(tree.area->value().toStringList(),
             QStringList({QStringLiteral("%h/keys/%u"), outside(QStringLiteral("shared")), QStringLiteral("~/.ssh/authorized_keys2"),
                          QStringLiteral("keys/extra"), addedOutside}));
}

void AuthorizedKeysAreaTest::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("visible"); // file:key-count for every visible file

    QTest::newRow("empty shows every file") << QString() << QStringList {QStringLiteral("0:2"), QStringLiteral("1:0"), QStringLiteral("2:1")};
    QTest::newRow("case-insensitive") << "BUILD SERVER" << QStringList {QStringLiteral("0:1")};
    QTest::newRow("type") << "ecdsa-sha2" << QStringList {QStringLiteral("0:1")};
    QTest::newRow("size") << "^2048$" << QStringList {QStringLiteral("2:1")};
    QTest::newRow("fingerprint") << "fingerprint-of-rsa" << QStringList {QStringLiteral("2:1")};
    QTest::newRow("hidden key data") << "data-of-ed1" << QStringList {QStringLiteral("0:1")};
    QTest::newRow("regular expression") << "laptop|backup" << QStringList {QStringLiteral("0:1"), QStringLiteral("2:1")};
    QTest::newRow("no match") << "no-such-key-anywhere" << QStringList();
    QTest::newRow("invalid expression") << "(" << QStringList();
}

void AuthorizedKeysAreaTest::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, visible);
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1 + QLatin1Char('\n') + m_ec + QLatin1Char('\n'));
    writeKeys(home(QStringLiteral("backup_keys")), m_rsa + QLatin1Char('\n'));
    Tree tree({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/missing"), QStringLiteral("backup_keys")});
    if (text == QLatin1String("fingerprint-of-rsa")) {
        text = QRegularExpression::escape(tree.cell(2, 0, AuthorizedKeysModel::FingerprintColumn).mid(12, 10));
    } else if (text == QLatin1String("data-of-ed1")) {
        text = QRegularExpression::escape(m_ed1.section(QLatin1Char(' '), 1, 1).mid(40, 12));
    }

    auto *search = tree.area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"));
    search->setText(text);
    QSortFilterProxyModel *proxy = tree.proxy;
    QStringList shown;
    for (int row = 0; row < proxy->rowCount(); ++row) {
        const QModelIndex file = proxy->mapToSource(proxy->index(row, 0));
        shown.append(QStringLiteral("%1:%2").arg(file.row()).arg(proxy->rowCount(proxy->index(row, 0))));
    }
    QCOMPARE(shown, visible);

    // Red text when nothing matches.
    const QColor textColour = search->palette().color(QPalette::Text);
    if (!text.isEmpty() && visible.isEmpty()) {
        QCOMPARE(textColour.rgb(), QColor(Qt::red).rgb());
        QCOMPARE(textColour.alpha(), 200);
    } else {
        QCOMPARE(textColour, search->palette().windowText().color());
    }
}

void AuthorizedKeysAreaTest::removeKey()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, QStringLiteral("%1\n%2\n  %1\n").arg(m_ed1, m_ec));
    FakeActionRunner runner;
    Tree tree({QStringLiteral(".ssh/authorized_keys")});
    QPushButton *remove = tree.button("removeButton");
    ModalAnswerer answerer;

    // Without a key row (the button is then disabled), or refused: nothing goes.
    answerer.answer(QStringLiteral("OK"));
    QMetaObject::invokeMethod(remove, "clicked");
    tree.select(0, 0);
    answerer.answer(QStringLiteral("No"));
    remove->click();
    QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec, m_ed1}));

    // Written directly: every copy leaves the file, only the selected row leaves the tree.
    answerer.answer(QStringLiteral("Yes"));
    remove->click();
    QCOMPARE(KeyTest::readFile(path), m_ec.toUtf8() + '\n');
    QCOMPARE(tree.keys(0), QStringList({m_ec, m_ed1}));
    QVERIFY(runner.calls.isEmpty());
    QCOMPARE(answerer.seenTexts,
             QStringList({QStringLiteral("Select the key to be deleted."), QStringLiteral("Do you really want to delete this key?"),
                          QStringLiteral("Do you really want to delete this key?")}));

    // Through the helper, which fails: an error box, a log line, and the row stays.
    SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
        return false;
    });
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("denied"), 4);
    });
    answerer.seenTexts.clear();
    answerer.answer(QStringLiteral("Yes"));
    answerer.answer(QStringLiteral("OK"));
    QTest::ignoreMessage(QtCriticalMsg, "authorized_keys_file_remove: Error code 4, text: \"denied\"!");
    remove->click();
    QCOMPARE(answerer.seenTexts.value(1), QStringLiteral("Failed to delete the key."));
    QCOMPARE(tree.keys(0), QStringList({m_ec, m_ed1}));

    // The helper succeeds: the row goes, the file is the helper's business.
    runner.calls.clear();
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::success();
    });
    tree.select(0, 1);
    answerer.answer(QStringLiteral("Yes"));
    remove->click();
    QCOMPARE(runner.calls.size(), 1);
    QCOMPARE(runner.calls.first().action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
    QCOMPARE(runner.calls.first().arguments,
             (SSHSettings::ActionArguments {{QStringLiteral("authorized_keys_file"), path}, {QStringLiteral("remove_key_line"), m_ed1}}));
    QCOMPARE(tree.keys(0), QStringList {m_ec});
    QCOMPARE(KeyTest::readFile(path), m_ec.toUtf8() + '\n');
    QCOMPARE(answerer.unanswered(), 0);
}

void AuthorizedKeysAreaTest::addKey()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, m_ed1);
    writeKeys(home(QStringLiteral(".ssh/other")), QString());
    Tree tree({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/other"), QStringLiteral(".ssh/missing")});
    QPushButton *add = tree.button("addKeyButton");
    QPushButton *remove = tree.button("removeButton");

    // Nothing selected yet, then the buttons follow the selection: adding needs an existing file, removing a key.
    ModalAnswerer answerer;
    answerer.answer(QStringLiteral("OK"));
    add->click();
    auto buttons = [&] {
        return QStringLiteral("%1%2").arg(add->isEnabled()).arg(remove->isEnabled());
    };
    tree.select(0, 0);
    QCOMPARE(buttons(), QStringLiteral("11"));
    tree.select(2);
    QCOMPARE(buttons(), QStringLiteral("00"));
    tree.select(1);
    QCOMPARE(buttons(), QStringLiteral("10"));

    // The file vanished after the tree was built.
    QFile::remove(home(QStringLiteral(".ssh/other")));
    answerer.answer(QStringLiteral("OK"));
    add->click();
    QCOMPARE(answerer.seenTexts,
             QStringList({QStringLiteral("First, select the authorized_keys file to which the key will be added."),
                          QStringLiteral("The path specified is incorrect, please make sure the file exists.")}));

    // A key entered in the dialog is written to the file and shown as the last row of that file.
    tree.select(0, 0);
    KeyTest::whenModal<QDialog>([this](QDialog *dialog) {
        dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(QStringLiteral("\n  ") + m_ec256 + QStringLiteral("  \n"));
        dialog->accept();
    });
    add->click();
    QCOMPARE(KeyTest::readFile(path), m_ed1.toUtf8() + '\n' + m_ec256.toUtf8() + '\n');
    QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec256}));
    QCOMPARE(tree.cell(0, 1, AuthorizedKeysModel::KeyBitsColumn), QStringLiteral("256"));
    QVERIFY(!tree.area->hasChanged());
}

void AuthorizedKeysAreaTest::contextMenuAndShowPublicKey()
{
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1 + QLatin1Char('\n') + m_ec + QLatin1Char('\n'));
    Tree tree({QStringLiteral(".ssh/authorized_keys")});
    tree.area->findChild<QGroupBox *>(QStringLiteral("groupBox"))->setMaximumHeight(QWIDGETSIZE_MAX);
    tree.area->resize(900, 500);
    tree.area->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree.area.get()));
    tree.view->expandAll();

    // The key row's menu offers its public key, whose window copies it.
    QStringList entries;
    KeyTest::whenModal<QMenu>([&entries](QMenu *menu) {
        const QList<QAction *> actions = menu->actions();
        for (QAction *action : actions) {
            entries.append(action->text());
        }
        menu->close();
        actions.last()->trigger();
    });
    QString title;
    KeyTest::whenModal<QDialog>([&title](QDialog *dialog) {
        title = dialog->windowTitle();
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("Copy")) {
                button->click();
            }
        }
    });
    QApplication::clipboard()->clear();
    Q_EMIT tree.view->customContextMenuRequested(tree.view->visualRect(tree.proxy->index(1, 0, tree.proxy->index(0, 0))).center());
    QCOMPARE(entries, QStringList({QStringLiteral("Collapse all"), QString(), QStringLiteral("Show public key")}));
    QCOMPARE(title, QStringLiteral("Full public key"));
    QCOMPARE(QApplication::clipboard()->text(), m_ec);
}

QTEST_MAIN(AuthorizedKeysAreaTest)

#include "authorizedkeysareatest.moc"
