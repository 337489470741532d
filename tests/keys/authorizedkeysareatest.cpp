// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysarea.h"
#include "addpublickeydialog.h"
#include "authorizedkeysmodel.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
#include "modaldriver.h"
#include "sshkeyutils.h"
#include "sshsettingsprotocol.h"
#include "testfiles.h"
#include "testoptions.h"

#include <KMessageWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
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
namespace Arg = SSHSettings::Protocol::Arg;

// An inflated area for the given patterns, with handles on its view and models.
struct Tree
{
    explicit Tree(const QStringList &patterns)
    {
        area = std::make_unique<AuthorizedKeysArea>(
            TestOptions::make(SSHOption::AuthorizedKeysFile, QStringLiteral("AuthorizedKeysFile"), QMetaType::QStringList, patterns), nullptr);
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
    void initTestCase()
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

    void init()
    {
        QDir(m_root.path()).removeRecursively();
        QDir().mkpath(home(QStringLiteral(".ssh")));
        QDir().mkpath(home(QStringLiteral("keys")));
        QDir().mkpath(outside(QString()));
        qputenv("HOME", QFile::encodeName(QDir::cleanPath(home())));
        qputenv("USER", "alice");
    }

    void cleanup()
    {
        qputenv("HOME", m_savedHome);
        qputenv("USER", m_savedUser);
        SSHKeyUtils::setWritableCheckForTesting({});
    }

    void loadAndReload()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, QStringLiteral("# my keys\n\n   \n  %1\n\t# old\n%2   \r\nnot-a-key\n").arg(m_ed1, m_ec));
        writeKeys(home(QStringLiteral("keys/alice")), m_rsa);
        writeKeys(outside(QStringLiteral("shared")), m_ed2 + QLatin1Char('\n'));
        // A folder where a file is expected cannot be read as a file, even by root.
        QDir().mkpath(home(QStringLiteral("unreadable")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot open .*unreadable")));

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

    void editPathsKeepsConfiguredPatterns()
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
        ModalDriver modals;

        // Accepted without a change, or changed and cancelled: nothing happens.
        modals.expect<QDialog>([](QDialog *dialog) {
            dialog->accept();
        });
        edit->click();
        modals.expect<QDialog>([](QDialog *dialog) {
            dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"))->clear();
            dialog->reject();
        });
        edit->click();
        QCOMPARE(modified.count(), 0);
        QVERIFY(!tree.area->hasChanged());
        QCOMPARE(tree.area->value().toStringList(), patterns);

        // Remove ".ssh/authorized_keys" and add one file inside and one outside the home.
        bool dialogSeen = false;
        modals.expect<QDialog>([&](QDialog *dialog) {
            dialogSeen = true;
            dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"))->setCurrentRow(1);
            dialog->findChild<QPushButton *>(QStringLiteral("removePath"))->click();
            for (const QString &path : {addedInHome, addedOutside}) {
                modals.expect<QFileDialog>([path](QFileDialog *fileDialog) {
                    // Typed into the name field, as a user would.
                    fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
                    static_cast<QDialog *>(fileDialog)->accept();
                });
                dialog->findChild<QPushButton *>(QStringLiteral("browsePath"))->click();
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

    void removeKey()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, QStringLiteral("%1\n%2\n  %1\n").arg(m_ed1, m_ec));
        FakeActionRunner runner;
        Tree tree({QStringLiteral(".ssh/authorized_keys")});
        QPushButton *remove = tree.button("removeButton");
        ModalDriver answerer;

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
        QCOMPARE(TestFiles::read(path), m_ec.toUtf8() + '\n');
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
        remove->click();
        QCOMPARE(answerer.seenTexts.value(1), QStringLiteral("The key was not removed: the authorization was cancelled or denied"));
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
        QCOMPARE(runner.calls.first().arguments, (SSHSettings::ActionArguments {{Arg::KeysFile, path}, {Arg::RemoveKeyLine, m_ed1}}));
        QCOMPARE(tree.keys(0), QStringList {m_ec});
        QCOMPARE(TestFiles::read(path), m_ec.toUtf8() + '\n');
        QCOMPARE(answerer.unanswered(), 0);
    }

    void addKey()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, m_ed1);
        writeKeys(home(QStringLiteral(".ssh/other")), QString());
        Tree tree({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/other"), QStringLiteral(".ssh/missing")});
        QPushButton *add = tree.button("addKeyButton");
        QPushButton *remove = tree.button("removeButton");

        // Nothing selected yet, then the buttons follow the selection: adding needs a readable (or missing) file, removing a key.
        ModalDriver answerer;
        answerer.answer(QStringLiteral("OK"));
        add->click();
        auto buttons = [&] {
            return QStringLiteral("%1%2").arg(add->isEnabled()).arg(remove->isEnabled());
        };
        tree.select(0, 0);
        QCOMPARE(buttons(), QStringLiteral("11"));
        // A search that hides the selected key leaves nothing to remove.
        auto *search = tree.area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"));
        search->setText(QStringLiteral("no such key"));
        QVERIFY(!remove->isEnabled());
        search->clear();
        tree.select(0, 0);
        tree.select(2);
        QCOMPARE(buttons(), QStringLiteral("10"));
        tree.select(1);
        QCOMPARE(buttons(), QStringLiteral("10"));

        QCOMPARE(answerer.seenTexts, QStringList({QStringLiteral("First, select the authorized_keys file to which the key will be added.")}));

        // A user without the file (nor ~/.ssh) adds a first key: both are created, private.
        QDir(home(QStringLiteral(".ssh"))).removeRecursively();
        tree.select(2);
        answerer.expect<QDialog>([this](QDialog *dialog) {
            dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(m_ed1);
            dialog->accept();
        });
        add->click();
        const QString first = home(QStringLiteral(".ssh/missing"));
        QCOMPARE(TestFiles::read(first), m_ed1.toUtf8() + '\n');
        QCOMPARE(QFileInfo(first).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(QFileInfo(first).absolutePath()).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(tree.keys(2), QStringList({m_ed1}));
        writeKeys(path, m_ed1);
        writeKeys(home(QStringLiteral(".ssh/other")), QString());
        tree.area->reset();

        // A key entered in the dialog is written to the file and shown as the last row of that file.
        tree.select(0, 0);
        answerer.expect<QDialog>([this](QDialog *dialog) {
            dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(QStringLiteral("\n  ") + m_ec256 + QStringLiteral("  \n"));
            dialog->accept();
        });
        add->click();
        QCOMPARE(TestFiles::read(path), m_ed1.toUtf8() + '\n' + m_ec256.toUtf8() + '\n');
        QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec256}));
        QCOMPARE(tree.cell(0, 1, AuthorizedKeysModel::KeyBitsColumn), QStringLiteral("256"));
        QVERIFY(!tree.area->hasChanged());
    }

    void addDialogThroughHelper()
    {
        const QString path = outside(QStringLiteral("helper_keys"));
        writeKeys(path, m_rsa + QLatin1Char('\n'));
        SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
            return false;
        });
        FakeActionRunner runner;
        AddPublicKeyDialog dialog(path, nullptr);
        dialog.findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(m_ed1);
        dialog.show();

        // Refused by the helper: the reason shows in the dialog, which stays open (a message box would block here).
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("not authorized"));
        });
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.errorWidget()->text(), QStringLiteral("The key was not added to %1: not authorized").arg(path));

        // Accepted by the helper, which does the writing.
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::success();
        });
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(runner.calls.size(), 2);
        QCOMPARE(runner.calls.last().arguments, (SSHSettings::ActionArguments {{Arg::KeysFile, path}, {Arg::AddKeyLine, m_ed1}}));
        QCOMPARE(TestFiles::read(path), m_rsa.toUtf8() + '\n');
    }

    void pathPatterns_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("home pattern") << "%h/.ssh/authorized_keys" << true;
        QTest::newRow("user pattern") << "/etc/ssh/keys/%u" << true;
        QTest::newRow("user id and percent") << "/srv/keys/%U-100%%" << true;
        QTest::newRow("relative") << ".ssh/authorized_keys2" << true;
        QTest::newRow("unknown token") << "/etc/ssh/%d/keys" << false;
        QTest::newRow("lone percent") << "/etc/ssh/keys%" << false;
        QTest::newRow("blank") << ".ssh/my keys" << false;
    }

    void pathPatterns()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QCOMPARE(AuthorizedKeysPathDialog::pathError(path).isEmpty(), accepted);
        // Typed into a new line, as a user would, the pattern is kept as written.
        AuthorizedKeysPathDialog dialog({}, nullptr);
        dialog.findChild<QPushButton *>(QStringLiteral("addPath"))->click();
        dialog.findChild<QListWidget *>()->currentItem()->setText(path);
        ModalDriver refusals;
        if (!accepted) {
            refusals.answer(QStringLiteral("OK"));
        }
        dialog.accept();
        QCOMPARE(dialog.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(refusals.seenTexts.size(), accepted ? 0 : 1);
        QCOMPARE(dialog.paths(), QStringList {path});
    }

private:
    QString home(const QString &relative = QString()) const { return m_root.filePath(QStringLiteral("home/alice/") + relative); }
    QString outside(const QString &name) const { return m_root.filePath(QStringLiteral("etc/keys/") + name); }
    void writeKeys(const QString &path, const QString &content) const { QVERIFY(TestFiles::write(path, content.toUtf8())); }

    QTemporaryDir m_keyDir;
    QTemporaryDir m_root;
    QString m_ed1, m_ed2, m_ec, m_rsa, m_ec256;
    QByteArray m_savedHome, m_savedUser;
};

QTEST_MAIN(AuthorizedKeysAreaTest)

#include "authorizedkeysareatest.moc"
