// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysarea.h"
#include "authorizedkeysmodel.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
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
#include <QToolButton>
#include <QTreeView>

#include <memory>

namespace
{
std::unique_ptr<AuthorizedKeysArea> makeArea(const QStringList &patterns)
{
    SSHOption option(Server, nullptr);
    option.setId(SSHOption::AuthorizedKeysFile);
    option.setName(QStringLiteral("AuthorizedKeysFile"));
    option.setValueType(QVariant::StringList);
    option.setValue(patterns);
    auto area = std::make_unique<AuthorizedKeysArea>(option, nullptr);
    area->inflate();
    return area;
}

QTreeView *viewOf(AuthorizedKeysArea *area)
{
    return area->findChild<QTreeView *>(QStringLiteral("keysView"));
}

QSortFilterProxyModel *proxyOf(AuthorizedKeysArea *area)
{
    return qobject_cast<QSortFilterProxyModel *>(viewOf(area)->model());
}

QAbstractItemModel *modelOf(AuthorizedKeysArea *area)
{
    return proxyOf(area)->sourceModel();
}

QPushButton *button(AuthorizedKeysArea *area, const char *name)
{
    return area->findChild<QPushButton *>(QLatin1String(name));
}

QStringList topLevelPaths(const QAbstractItemModel *model)
{
    QStringList paths;
    for (int row = 0; row < model->rowCount(); ++row) {
        paths.append(model->index(row, 0).data().toString());
    }
    return paths;
}

// Selects a row of the source model in the view.
void select(AuthorizedKeysArea *area, int fileRow, int keyRow = -1)
{
    QAbstractItemModel *model = modelOf(area);
    QModelIndex index = model->index(fileRow, 0);
    if (keyRow >= 0) {
        index = model->index(keyRow, 0, index);
    }
    viewOf(area)->setCurrentIndex(proxyOf(area)->mapFromSource(index));
}
}

class AuthorizedKeysAreaTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loadShowsConfiguredFiles();
    void expandPath_data();
    void expandPath();
    void changedListKeepsConfiguredPatterns();
    void unchangedListChangesNothing();
    void unreadableFileStaysListed();
    void resetReloadsFromOption();
    void buttonsFollowSelection();
    void search_data();
    void search();
    void removeDirectly();
    void removeRefusedOrCancelled();
    void removeThroughHelper();
    void addKey();
    void contextMenuAndShowPublicKey();
    void screenshot();

private:
    QString home(const QString &relative = QString()) const;
    void writeKeys(const QString &path, const QByteArray &content) const;

    QTemporaryDir m_keyDir;
    QTemporaryDir m_root;
    QString m_ed1, m_ed2, m_ec, m_rsa, m_ec256;
    QByteArray m_savedHome, m_savedUser;
};

void AuthorizedKeysAreaTest::initTestCase()
{
    QVERIFY(m_keyDir.isValid());
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
    QVERIFY(m_root.isValid());
    QDir(m_root.path()).removeRecursively();
    QDir().mkpath(m_root.filePath(QStringLiteral("home/alice/.ssh")));
    QDir().mkpath(m_root.filePath(QStringLiteral("home/alice/keys")));
    QDir().mkpath(m_root.filePath(QStringLiteral("etc/keys")));
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("USER", "alice");
    QCOMPARE(QDir::homePath(), home());
}

void AuthorizedKeysAreaTest::cleanup()
{
    qputenv("HOME", m_savedHome);
    qputenv("USER", m_savedUser);
    SSHKeyUtils::setWritableCheckForTesting({});
}

QString AuthorizedKeysAreaTest::home(const QString &relative) const
{
    const QString base = m_root.filePath(QStringLiteral("home/alice"));
    return relative.isEmpty() ? base : base + QLatin1Char('/') + relative;
}

void AuthorizedKeysAreaTest::writeKeys(const QString &path, const QByteArray &content) const
{
    QVERIFY(KeyTest::writeFile(path, content));
}

void AuthorizedKeysAreaTest::loadShowsConfiguredFiles()
{
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), "# my keys\n\n   \n  " + m_ed1.toUtf8() + "\n\t# old\n" + m_ec.toUtf8() + "   \r\nnot-a-key\n");
    writeKeys(home(QStringLiteral("keys/alice")), m_rsa.toUtf8());
    const QString outside = m_root.filePath(QStringLiteral("etc/keys/shared"));
    writeKeys(outside, m_ed2.toUtf8() + '\n');

    const QStringList patterns {QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/authorized_keys2"), QStringLiteral("%h/keys/%u"), outside};
    SSHKeyUtils::resetStartedProcessCount();
    auto area = makeArea(patterns);
    // One ssh-keygen run per file that has key lines, whatever the number of keys.
    QCOMPARE(SSHKeyUtils::startedProcessCount(), 3);

    QAbstractItemModel *model = modelOf(area.get());
    QCOMPARE(model->columnCount(), 7);
    QCOMPARE(topLevelPaths(model),
             QStringList(
                 {home(QStringLiteral(".ssh/authorized_keys")), home(QStringLiteral(".ssh/authorized_keys2")), home(QStringLiteral("keys/alice")), outside}));
    QCOMPARE(model->rowCount(model->index(0, 0)), 3);
    QCOMPARE(model->rowCount(model->index(1, 0)), 0);
    QCOMPARE(model->rowCount(model->index(2, 0)), 1);
    QCOMPARE(model->rowCount(model->index(3, 0)), 1);

    const QStringList headers {QStringLiteral("Name"), QStringLiteral("Fingerprint"),     QStringLiteral("Comment"),          QStringLiteral("Type"),
                               QStringLiteral("Size"), QStringLiteral("Full public key"), QStringLiteral("File availability")};
    for (int column = 0; column < headers.size(); ++column) {
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), headers.at(column));
        QVERIFY(!model->headerData(column, Qt::Vertical).isValid());
    }

    // File nodes.
    const QModelIndex present = model->index(0, AuthorizedKeysModel::FileExistsColumn);
    const QModelIndex missing = model->index(1, AuthorizedKeysModel::FileExistsColumn);
    QCOMPARE(present.data(AuthorizedKeysModel::FileExistsRole), QVariant(true));
    QCOMPARE(missing.data(AuthorizedKeysModel::FileExistsRole), QVariant(false));
    QCOMPARE(present.data(Qt::ToolTipRole).toString(), QStringLiteral("File exists"));
    QCOMPARE(missing.data(Qt::ToolTipRole).toString(), QStringLiteral("File does not exist"));
    QCOMPARE(model->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::gray));
    QVERIFY(!model->index(0, 0).data(Qt::ForegroundRole).isValid());
    QCOMPARE(model->index(0, 1).data().toString(), QString());

    // Key nodes: indented and CRLF lines kept (trimmed), comment and blank lines dropped.
    const QModelIndex file = model->index(0, 0);
    auto cell = [&](int row, int column) {
        return model->index(row, column, file).data();
    };
    QCOMPARE(cell(0, AuthorizedKeysModel::RawKeyColumn).toString(), m_ed1);
    QCOMPARE(cell(0, AuthorizedKeysModel::NameColumn).toString(), QStringLiteral("ssh-ed25519 alice laptop"));
    QCOMPARE(cell(0, AuthorizedKeysModel::CommentColumn).toString(), QStringLiteral("alice laptop"));
    QCOMPARE(cell(0, AuthorizedKeysModel::KeyTypeColumn).toString(), QStringLiteral("ssh-ed25519"));
    QCOMPARE(cell(0, AuthorizedKeysModel::KeyBitsColumn).toInt(), 256);
    QVERIFY(cell(0, AuthorizedKeysModel::FingerprintColumn).toString().startsWith(QLatin1String("SHA256:")));
    QCOMPARE(cell(1, AuthorizedKeysModel::RawKeyColumn).toString(), m_ec);
    QCOMPARE(cell(1, AuthorizedKeysModel::KeyBitsColumn).toInt(), 384);
    QCOMPARE(cell(2, AuthorizedKeysModel::KeyTypeColumn).toString(), QStringLiteral("Invalid"));
    QCOMPARE(cell(2, AuthorizedKeysModel::NameColumn).toString(), QStringLiteral("Invalid "));
    QCOMPARE(cell(2, AuthorizedKeysModel::KeyBitsColumn).toInt(), 0);
    QVERIFY(!cell(0, AuthorizedKeysModel::FileExistsColumn).isValid());
    QVERIFY(!model->index(0, AuthorizedKeysModel::FileExistsColumn, file).data(AuthorizedKeysModel::FileExistsRole).isValid());
    QCOMPARE(model->index(0, AuthorizedKeysModel::KeyBitsColumn, file).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Key size in bits, based on ssh-keygen analysis"));
    QCOMPARE(model->index(0, AuthorizedKeysModel::CommentColumn, file).data(Qt::ToolTipRole).toString(), QStringLiteral("alice laptop"));
    QCOMPARE(model->index(0, AuthorizedKeysModel::KeyBitsColumn, model->index(2, 0)).data().toInt(), 2048);
    QCOMPARE(model->parent(model->index(0, 3, file)), model->index(0, 0));
    QVERIFY(!model->parent(file).isValid());
    QVERIFY(!model->index(5, 0).isValid());
    QVERIFY(!(model->flags(file) & Qt::ItemIsEditable));

    // Nothing was changed, so every configured pattern is written back as it was.
    QCOMPARE(area->value().toStringList(), patterns);
    QVERIFY(!area->hasChanged());
    QVERIFY(viewOf(area.get())->isColumnHidden(AuthorizedKeysModel::RawKeyColumn));
}

void AuthorizedKeysAreaTest::expandPath_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected"); // relative to the home unless absolute; @HOME@ is the home without a slash
    QTest::newRow("relative") << ".ssh/authorized_keys"
                              << ".ssh/authorized_keys";
    QTest::newRow("trimmed") << "  .ssh/authorized_keys2 \t"
                             << ".ssh/authorized_keys2";
    QTest::newRow("tilde") << "~/.ssh/keys"
                           << ".ssh/keys";
    QTest::newRow("tilde with user name") << "~bob/keys"
                                          << "@HOME@bob/keys";
    QTest::newRow("home and user tokens") << "%h/keys/%u"
                                          << "keys/alice";
    QTest::newRow("user token in relative path") << ".ssh/%u.keys"
                                                 << ".ssh/alice.keys";
    QTest::newRow("tokens are case-sensitive") << "keys/%U"
                                               << "keys/%U";
    QTest::newRow("absolute outside home") << "/etc/ssh/keys/%u"
                                           << "/etc/ssh/keys/alice";
    QTest::newRow("dot segments") << "%h/../alice/./k"
                                  << "k";
}

void AuthorizedKeysAreaTest::expandPath()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QString absolute = expected.startsWith(QLatin1Char('/')) ? expected : home(expected);
    if (expected.startsWith(QLatin1String("@HOME@"))) {
        absolute = home() + expected.mid(6);
    }
    QCOMPARE(QDir::cleanPath(AuthorizedKeysArea::expandPath(pattern)), absolute);
    QVERIFY(QDir::isAbsolutePath(AuthorizedKeysArea::expandPath(pattern)));
}

void AuthorizedKeysAreaTest::changedListKeepsConfiguredPatterns()
{
    writeKeys(home(QStringLiteral("keys/alice")), m_rsa.toUtf8());
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1.toUtf8());
    const QString outside = m_root.filePath(QStringLiteral("etc/keys/shared"));
    writeKeys(outside, m_ed2.toUtf8());
    const QString addedInHome = home(QStringLiteral("keys/extra"));
    const QString addedOutside = m_root.filePath(QStringLiteral("etc/keys/more"));
    writeKeys(addedInHome, m_ec.toUtf8());
    writeKeys(addedOutside, QByteArray());

    const QStringList patterns {QStringLiteral("%h/keys/%u"), QStringLiteral(".ssh/authorized_keys"), outside, QStringLiteral("~/.ssh/authorized_keys2")};
    auto area = makeArea(patterns);
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);

    // Remove ".ssh/authorized_keys" and add one file inside and one outside the home.
    bool dialogSeen = false;
    KeyTest::whenModal<QDialog>([&](QDialog *dialog) {
        dialogSeen = true;
        auto *list = dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"));
        list->setCurrentRow(1);
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
    button(area.get(), "pathsEditButton")->click();
    QVERIFY(dialogSeen);

    QCOMPARE(modified.count(), 1);
    QVERIFY(area->hasChanged());
    QCOMPARE(topLevelPaths(modelOf(area.get())),
             QStringList({home(QStringLiteral("keys/alice")), outside, home(QStringLiteral(".ssh/authorized_keys2")), addedInHome, addedOutside}));
    // Configured entries keep their pattern; only new paths are made relative to the home.
    QCOMPARE(area->value().toStringList(),
             QStringList({QStringLiteral("%h/keys/%u"), outside, QStringLiteral("~/.ssh/authorized_keys2"), QStringLiteral("keys/extra"), addedOutside}));
    QCOMPARE(modelOf(area.get())->rowCount(modelOf(area.get())->index(3, 0)), 1);
}

void AuthorizedKeysAreaTest::unchangedListChangesNothing()
{
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys")});
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    KeyTest::whenModal<QDialog>([](QDialog *dialog) {
        dialog->accept();
    });
    button(area.get(), "pathsEditButton")->click();
    KeyTest::whenModal<QDialog>([](QDialog *dialog) {
        dialog->findChild<QListWidget *>(QStringLiteral("pathsListWidget"))->clear();
        dialog->reject();
    });
    button(area.get(), "pathsEditButton")->click();
    QCOMPARE(modified.count(), 0);
    QVERIFY(!area->hasChanged());
    QCOMPARE(modelOf(area.get())->rowCount(), 1);
}

void AuthorizedKeysAreaTest::unreadableFileStaysListed()
{
    // A folder where a file is expected exists but cannot be read as a file, even by root.
    QDir().mkpath(home(QStringLiteral(".ssh/authorized_keys")));
    writeKeys(home(QStringLiteral(".ssh/authorized_keys2")), m_ed1.toUtf8());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to open file: .*authorized_keys, error: \".*\"!$")));
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/authorized_keys2")});
    QAbstractItemModel *model = modelOf(area.get());
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->rowCount(model->index(0, 0)), 0);
    QVERIFY(!model->index(0, 0).data(AuthorizedKeysModel::ReadErrorRole).toString().isEmpty());
    QVERIFY(model->index(0, 0).data(Qt::ToolTipRole).toString().contains(QLatin1String("could not be read")));
    QVERIFY(model->index(0, AuthorizedKeysModel::FileExistsColumn).data(Qt::ToolTipRole).toString().contains(QLatin1String("could not be read")));
    QVERIFY(model->index(1, 0).data(AuthorizedKeysModel::ReadErrorRole).toString().isEmpty());
    QCOMPARE(area->value().toStringList(), QStringList({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/authorized_keys2")}));
}

void AuthorizedKeysAreaTest::resetReloadsFromOption()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, m_ed1.toUtf8());
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys")});
    QAbstractItemModel *model = modelOf(area.get());
    QCOMPARE(model->rowCount(model->index(0, 0)), 1);
    writeKeys(path, m_ed1.toUtf8() + '\n' + m_ec.toUtf8());
    area->reset();
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);

    area->updateArea(QVariant(QStringList {QStringLiteral("/nonexistent/keys"), QStringLiteral(".ssh/authorized_keys")}));
    QCOMPARE(topLevelPaths(model), QStringList({QStringLiteral("/nonexistent/keys"), path}));
    QVERIFY(!area->hasChanged());
}

void AuthorizedKeysAreaTest::buttonsFollowSelection()
{
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1.toUtf8());
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/missing")});
    QPushButton *add = button(area.get(), "addKeyButton");
    QPushButton *remove = button(area.get(), "removeButton");
    QVERIFY(add->isEnabled());
    QVERIFY(!remove->isEnabled());

    select(area.get(), 0, 0);
    QVERIFY(add->isEnabled());
    QVERIFY(remove->isEnabled());
    select(area.get(), 1);
    QVERIFY(!add->isEnabled());
    QVERIFY(!remove->isEnabled());
    select(area.get(), 0);
    QVERIFY(add->isEnabled());
    QVERIFY(!remove->isEnabled());
}

void AuthorizedKeysAreaTest::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("visible"); // file:key-count for every visible file

    QTest::newRow("empty shows every file") << QString() << QStringList {QStringLiteral("0:2"), QStringLiteral("1:0"), QStringLiteral("2:1")};
    QTest::newRow("name and comment") << "laptop" << QStringList {QStringLiteral("0:1")};
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
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1.toUtf8() + '\n' + m_ec.toUtf8() + '\n');
    writeKeys(home(QStringLiteral("backup_keys")), m_rsa.toUtf8() + '\n');
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/missing"), QStringLiteral("backup_keys")});
    QAbstractItemModel *model = modelOf(area.get());
    if (text == QLatin1String("fingerprint-of-rsa")) {
        const QString fingerprint = model->index(0, AuthorizedKeysModel::FingerprintColumn, model->index(2, 0)).data().toString();
        text = QRegularExpression::escape(fingerprint.mid(12, 10));
    } else if (text == QLatin1String("data-of-ed1")) {
        text = QRegularExpression::escape(m_ed1.section(QLatin1Char(' '), 1, 1).mid(40, 12));
    }

    auto *search = area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"));
    search->setText(text);
    QSortFilterProxyModel *proxy = proxyOf(area.get());
    QStringList shown;
    for (int row = 0; row < proxy->rowCount(); ++row) {
        const QModelIndex file = proxy->mapToSource(proxy->index(row, 0));
        shown.append(QStringLiteral("%1:%2").arg(file.row()).arg(proxy->rowCount(proxy->index(row, 0))));
    }
    QCOMPARE(shown, visible);

    const QColor textColour = search->palette().color(QPalette::Text);
    if (!text.isEmpty() && visible.isEmpty()) {
        QCOMPARE(textColour.rgb(), QColor(Qt::red).rgb());
        QCOMPARE(textColour.alpha(), 200);
    } else {
        QCOMPARE(textColour, search->palette().windowText().color());
    }
}

void AuthorizedKeysAreaTest::removeDirectly()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, m_ed1.toUtf8() + '\n' + m_ec.toUtf8() + "\n  " + m_ed1.toUtf8() + '\n');
    FakeActionRunner runner;
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys")});
    QAbstractItemModel *model = modelOf(area.get());
    select(area.get(), 0, 0);

    QString title, text;
    KeyTest::answerMessageBox(&title, &text, QMessageBox::Yes);
    button(area.get(), "removeButton")->click();
    QCOMPARE(title, QStringLiteral("Key removal"));
    QCOMPARE(text, QStringLiteral("Do you really want to delete this key?"));

    // Both copies leave the file, only the selected row leaves the tree.
    QCOMPARE(KeyTest::readFile(path), m_ec.toUtf8() + '\n');
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);
    QCOMPARE(model->index(0, AuthorizedKeysModel::RawKeyColumn, model->index(0, 0)).data().toString(), m_ec);
    QCOMPARE(model->index(1, AuthorizedKeysModel::RawKeyColumn, model->index(0, 0)).data().toString(), m_ed1);
    QVERIFY(runner.calls.isEmpty());
}

void AuthorizedKeysAreaTest::removeRefusedOrCancelled()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    const QByteArray content = m_ed1.toUtf8() + '\n';
    writeKeys(path, content);
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys")});
    QAbstractItemModel *model = modelOf(area.get());

    QString title, text;
    KeyTest::answerMessageBox(&title, &text);
    QMetaObject::invokeMethod(button(area.get(), "removeButton"), "clicked"); // button is disabled without a key row
    QCOMPARE(title, QStringLiteral("Key removal"));
    QCOMPARE(text, QStringLiteral("Select the key to be deleted."));

    select(area.get(), 0, 0);
    KeyTest::answerMessageBox(nullptr, nullptr, QMessageBox::No);
    button(area.get(), "removeButton")->click();
    QCOMPARE(KeyTest::readFile(path), content);
    QCOMPARE(model->rowCount(model->index(0, 0)), 1);
}

void AuthorizedKeysAreaTest::removeThroughHelper()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    const QByteArray content = "  " + m_ed1.toUtf8() + "\n" + m_ec.toUtf8() + '\n';
    writeKeys(path, content);
    SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
        return false;
    });
    FakeActionRunner runner;
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys")});
    QAbstractItemModel *model = modelOf(area.get());

    // The helper fails: an error box, a log line, and the row stays.
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("denied"), 4);
    });
    select(area.get(), 0, 1);
    QTest::ignoreMessage(QtCriticalMsg, "authorized_keys_file_remove: Error code 4, text: \"denied\"!");
    {
        KeyTest::MessageBoxAnswerer answerer;
        button(area.get(), "removeButton")->click();
        QCOMPARE(answerer.seen,
                 QStringList({QStringLiteral("Key removal: Do you really want to delete this key?"), QStringLiteral("Error: Failed to delete the key.")}));
    }
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);

    // The helper succeeds: the row goes, the file is the helper's business.
    runner.calls.clear();
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::success();
    });
    select(area.get(), 0, 0);
    KeyTest::answerMessageBox(nullptr, nullptr, QMessageBox::Yes);
    button(area.get(), "removeButton")->click();
    QCOMPARE(runner.calls.size(), 1);
    QCOMPARE(runner.calls.first().action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
    QCOMPARE(runner.calls.first().keys(), QStringList({QStringLiteral("authorized_keys_file"), QStringLiteral("remove_key_line")}));
    QCOMPARE(runner.calls.first().argument(QStringLiteral("authorized_keys_file")).toString(), path);
    QCOMPARE(runner.calls.first().argument(QStringLiteral("remove_key_line")).toString(), m_ed1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 1);
    QCOMPARE(KeyTest::readFile(path), content);
}

void AuthorizedKeysAreaTest::addKey()
{
    const QString path = home(QStringLiteral(".ssh/authorized_keys"));
    writeKeys(path, m_ed1.toUtf8());
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/missing")});
    QAbstractItemModel *model = modelOf(area.get());
    QPushButton *add = button(area.get(), "addKeyButton");

    QString title, text;
    KeyTest::answerMessageBox(&title, &text);
    add->click();
    QCOMPARE(title, QStringLiteral("Select a file"));
    QCOMPARE(text, QStringLiteral("First, select the authorized_keys file to which the key will be added."));

    // The file vanished after the tree was built.
    writeKeys(home(QStringLiteral(".ssh/other")), QByteArray());
    area->updateArea(QVariant(QStringList {QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/other")}));
    select(area.get(), 1);
    QVERIFY(add->isEnabled());
    QFile::remove(home(QStringLiteral(".ssh/other")));
    KeyTest::answerMessageBox(&title, &text);
    add->click();
    QCOMPARE(title, QStringLiteral("Error"));
    QCOMPARE(text, QStringLiteral("The path specified is incorrect, please make sure the file exists."));

    // A key entered in the dialog is written to the file and shown as the last row of that file.
    select(area.get(), 0, 0);
    KeyTest::whenModal<QDialog>([this](QDialog *dialog) {
        dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(QStringLiteral("\n  ") + m_ec256 + QStringLiteral("  \n"));
        dialog->accept();
    });
    add->click();
    QCOMPARE(KeyTest::readFile(path), m_ed1.toUtf8() + '\n' + m_ec256.toUtf8() + '\n');
    const QModelIndex file = model->index(0, 0);
    QCOMPARE(model->rowCount(file), 2);
    QCOMPARE(model->index(1, AuthorizedKeysModel::RawKeyColumn, file).data().toString(), m_ec256);
    QCOMPARE(model->index(1, AuthorizedKeysModel::KeyBitsColumn, file).data().toInt(), 256);
    QVERIFY(!area->hasChanged());
}

void AuthorizedKeysAreaTest::contextMenuAndShowPublicKey()
{
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1.toUtf8() + '\n' + m_ec.toUtf8() + '\n');
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/missing")});
    area->findChild<QGroupBox *>(QStringLiteral("groupBox"))->setMaximumHeight(QWIDGETSIZE_MAX);
    area->resize(900, 500);
    area->show();
    QVERIFY(QTest::qWaitForWindowExposed(area.get()));
    QTreeView *view = viewOf(area.get());
    QSortFilterProxyModel *proxy = proxyOf(area.get());

    auto menuTexts = [&](const QModelIndex &index, const QString &trigger) {
        QStringList texts;
        KeyTest::whenModal<QMenu>([&texts, trigger](QMenu *menu) {
            QAction *chosen = nullptr;
            for (QAction *action : menu->actions()) {
                if (!action->isSeparator()) {
                    texts.append(action->text());
                }
                if (action->text() == trigger) {
                    chosen = action;
                }
            }
            menu->close();
            if (chosen) {
                chosen->trigger();
            }
        });
        Q_EMIT view->customContextMenuRequested(view->visualRect(index).center());
        return texts;
    };

    const QModelIndex fileRow = proxy->index(0, 0);
    QCOMPARE(menuTexts(fileRow, QString()), QStringList {QStringLiteral("Expand all")});
    menuTexts(fileRow, QStringLiteral("Expand all"));
    QVERIFY(view->isExpanded(fileRow));

    const QModelIndex keyRow = proxy->index(1, 0, fileRow);
    QString dialogTitle;
    KeyTest::whenModal<QDialog>([&dialogTitle](QDialog *dialog) {
        dialogTitle = dialog->windowTitle();
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("Copy")) {
                button->click();
            }
        }
    });
    QApplication::clipboard()->clear();
    QCOMPARE(menuTexts(keyRow, QStringLiteral("Show public key")), QStringList({QStringLiteral("Collapse all"), QStringLiteral("Show public key")}));
    QCOMPARE(dialogTitle, QStringLiteral("Full public key"));
    QCOMPARE(QApplication::clipboard()->text(), m_ec);

    menuTexts(keyRow, QStringLiteral("Collapse all"));
    QVERIFY(!view->isExpanded(fileRow));
}

void AuthorizedKeysAreaTest::screenshot()
{
    const QString target = qEnvironmentVariable("KEYS_SCREENSHOT");
    if (target.isEmpty()) {
        QSKIP("set KEYS_SCREENSHOT to a PNG path to save a picture of the keys tree");
    }
    QIcon::setThemeName(QStringLiteral("breeze"));
    writeKeys(home(QStringLiteral(".ssh/authorized_keys")), (m_ed1 + QLatin1Char('\n') + m_ec + QLatin1Char('\n') + m_rsa + QLatin1Char('\n')).toUtf8());
    writeKeys(home(QStringLiteral("keys/alice")), m_ed2.toUtf8());
    auto area = makeArea({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/authorized_keys2"), QStringLiteral("%h/keys/%u")});
    area->resize(1000, 420);
    area->show();
    area->findChild<QToolButton *>(QStringLiteral("showButton"))->click();
    QTest::qWait(400);
    viewOf(area.get())->expandAll();
    // A window of its own does not grow with its layout as an embedded area does.
    area->resize(1000, area->sizeHint().height());
    select(area.get(), 0, 1);
    QTest::qWait(50);
    QVERIFY(area->grab().save(target));
}

QTEST_MAIN(AuthorizedKeysAreaTest)

#include "authorizedkeysareatest.moc"
