// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
#include "sshkeyutils.h"

#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

class AuthorizedKeysDialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void pathDialogListAndRemove();
    void pathDialogAdd();
    void addDialogStartsInSimpleMode();
    void addDialogRefusesBadInput_data();
    void addDialogRefusesBadInput();
    void addDialogSimpleModeAppends();
    void addDialogPartsMode();
    void addDialogThroughHelper();

private:
    QString freshFile(const QByteArray &content = QByteArray());

    QTemporaryDir m_dir;
    QString m_ed;
    QString m_rsa;
    int m_fileCounter = 0;
};

namespace
{
template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}
}

void AuthorizedKeysDialogsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_ed = KeyTest::generateKey(m_dir.path(), QStringLiteral("ed25519"), 0, QStringLiteral("alice@desk"));
    m_rsa = KeyTest::generateKey(m_dir.path(), QStringLiteral("rsa"), 2048, QStringLiteral("bob@server"));
    QVERIFY(!m_ed.isEmpty() && !m_rsa.isEmpty());
}

void AuthorizedKeysDialogsTest::cleanup()
{
    SSHKeyUtils::setWritableCheckForTesting({});
}

QString AuthorizedKeysDialogsTest::freshFile(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("authorized_keys_%1").arg(++m_fileCounter));
    KeyTest::writeFile(path, content);
    return path;
}

void AuthorizedKeysDialogsTest::pathDialogListAndRemove()
{
    AuthorizedKeysPathDialog dialog({QStringLiteral("/a/one"), QStringLiteral(" /b/two "), QStringLiteral("/c/three")}, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    auto *list = child<QListWidget>(&dialog, "pathsListWidget");
    auto *remove = child<QPushButton>(&dialog, "removePath");
    QCOMPARE(list->count(), 3);
    QVERIFY(!(list->item(0)->flags() & Qt::ItemIsEditable));
    QVERIFY(!remove->isEnabled());
    QCOMPARE(dialog.paths(), QStringList({QStringLiteral("/a/one"), QStringLiteral("/b/two"), QStringLiteral("/c/three")}));

    list->setCurrentRow(1);
    QVERIFY(remove->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Delete);
    QCOMPARE(dialog.paths(), QStringList({QStringLiteral("/a/one"), QStringLiteral("/c/three")}));

    list->setCurrentRow(0);
    remove->click();
    QCOMPARE(dialog.paths(), QStringList {QStringLiteral("/c/three")});
    remove->click();
    QCOMPARE(dialog.paths(), QStringList());
    QVERIFY(!remove->isEnabled());
}

void AuthorizedKeysDialogsTest::pathDialogAdd()
{
    const QString listed = freshFile();
    const QString other = freshFile();
    AuthorizedKeysPathDialog dialog({listed}, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    auto choose = [](const QString &path, QString *title) {
        KeyTest::whenModal<QFileDialog>([path, title](QFileDialog *fileDialog) {
            *title = fileDialog->windowTitle();
            if (path.isEmpty()) {
                fileDialog->reject();
                return;
            }
            fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(fileDialog)->accept();
        });
    };

    // Ctrl+N opens the chooser; cancelling it changes nothing.
    QString title;
    choose(QString(), &title);
    QTest::keyClick(&dialog, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(title, QStringLiteral("Select a file to store SSH authorization keys"));
    QCOMPARE(dialog.paths(), QStringList {listed});

    // A path already on the list is refused.
    QString boxTitle, boxText;
    choose(listed, &title);
    KeyTest::answerMessageBox(&boxTitle, &boxText);
    child<QPushButton>(&dialog, "addPath")->click();
    QCOMPARE(boxTitle, QStringLiteral("Already added"));
    QCOMPARE(boxText, QStringLiteral("This path is already on the list."));
    QCOMPARE(dialog.paths(), QStringList {listed});

    choose(other, &title);
    child<QPushButton>(&dialog, "addPath")->click();
    QCOMPARE(dialog.paths(), QStringList({listed, other}));
}

void AuthorizedKeysDialogsTest::addDialogStartsInSimpleMode()
{
    const QByteArray savedUser = qgetenv("USER");
    qputenv("USER", "carol");
    AddPublicKeyDialog dialog(freshFile(), nullptr);
    qputenv("USER", savedUser);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Add public key"));
    QVERIFY(child<QRadioButton>(&dialog, "simpleModeRBtn")->isChecked());
    auto *stack = child<QStackedWidget>(&dialog, "stackedWidget");
    QCOMPARE(stack->currentIndex(), 0);
    child<QRadioButton>(&dialog, "partsModeRBtn")->setChecked(true);
    QCOMPARE(stack->currentIndex(), 1);
    child<QRadioButton>(&dialog, "simpleModeRBtn")->setChecked(true);
    QCOMPARE(stack->currentIndex(), 0);

    QVERIFY(child<QLineEdit>(&dialog, "commentLineEdit")->text().startsWith(QLatin1String("carol@")));
    QCompleter *completer = child<QLineEdit>(&dialog, "typeLineEdit")->completer();
    QVERIFY(completer);
    QCOMPARE(completer->filterMode(), Qt::MatchContains);
    QStringList types;
    for (int row = 0; row < completer->model()->rowCount(); ++row) {
        types.append(completer->model()->index(row, 0).data().toString());
    }
    QVERIFY(types.contains(QStringLiteral("ssh-ed25519")));
    QVERIFY(dialog.generatedKey().isEmpty());
}

void AuthorizedKeysDialogsTest::addDialogRefusesBadInput_data()
{
    QTest::addColumn<bool>("parts");
    QTest::addColumn<QString>("first"); // simple: whole text; parts: type
    QTest::addColumn<QString>("second"); // parts: key data
    QTest::addColumn<QString>("message");

    const QString empty = QStringLiteral("Public key cannot be empty.");
    const QString invalid = QStringLiteral("Unable to add a key. It is possible that the key is invalid or incorrectly generated.");
    const QString required = QStringLiteral("Please fill in the required fields: type and key.");
    QTest::newRow("simple: empty") << false << "  \n " << QString() << empty;
    QTest::newRow("simple: one field") << false << "ssh-ed25519" << QString() << invalid;
    QTest::newRow("simple: not base64") << false << "ssh-ed25519 !!!! x" << QString() << invalid;
    // Well-formed base64 that is no key: a fingerprint can be computed, ssh-keygen still rejects it.
    QTest::newRow("simple: not a key") << false << "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIHello x" << QString() << invalid;
    QTest::newRow("parts: no type") << true << " "
                                    << "AAAA" << required;
    QTest::newRow("parts: no data") << true << "ssh-ed25519"
                                    << "\n"
                                    << required;
    QTest::newRow("parts: wrong type") << true << "ssh-rsa"
                                       << "ed25519-data" << invalid;
}

void AuthorizedKeysDialogsTest::addDialogRefusesBadInput()
{
    QFETCH(bool, parts);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, message);
    if (second == QLatin1String("ed25519-data")) {
        second = m_ed.section(QLatin1Char(' '), 1, 1);
    }

    const QByteArray content = m_rsa.toUtf8() + '\n';
    const QString path = freshFile(content);
    FakeActionRunner runner;
    AddPublicKeyDialog dialog(path, nullptr);
    if (parts) {
        child<QRadioButton>(&dialog, "partsModeRBtn")->setChecked(true);
        child<QLineEdit>(&dialog, "typeLineEdit")->setText(first);
        child<QTextEdit>(&dialog, "partsKeyEdit")->setPlainText(second);
    } else {
        child<QTextEdit>(&dialog, "simpleKeyEdit")->setPlainText(first);
    }
    dialog.show();

    KeyTest::MessageBoxAnswerer answerer;
    dialog.accept();
    QCOMPARE(answerer.seen, QStringList {QStringLiteral("Error: ") + message});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(KeyTest::readFile(path), content);
    QVERIFY(runner.calls.isEmpty());
}

void AuthorizedKeysDialogsTest::addDialogSimpleModeAppends()
{
    const QString path = freshFile(m_rsa.toUtf8()); // no final line feed
    FakeActionRunner runner;
    AddPublicKeyDialog dialog(path, nullptr);
    child<QTextEdit>(&dialog, "simpleKeyEdit")->setPlainText(QStringLiteral("\n\n   ") + m_ed + QStringLiteral("  \n\n"));
    dialog.show();
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.generatedKey(), m_ed);
    QCOMPARE(KeyTest::readFile(path), m_rsa.toUtf8() + '\n' + m_ed.toUtf8() + '\n');
    QVERIFY(runner.calls.isEmpty());
}

void AuthorizedKeysDialogsTest::addDialogPartsMode()
{
    const QString type = m_ed.section(QLatin1Char(' '), 0, 0);
    const QString data = m_ed.section(QLatin1Char(' '), 1, 1);

    // With the comment cleared the written line ends in a space; the shown key does not.
    const QString path = freshFile();
    AddPublicKeyDialog dialog(path, nullptr);
    child<QRadioButton>(&dialog, "partsModeRBtn")->setChecked(true);
    child<QLineEdit>(&dialog, "typeLineEdit")->setText(QStringLiteral(" ") + type);
    child<QTextEdit>(&dialog, "partsKeyEdit")->setPlainText(data + QStringLiteral("\n"));
    child<QLineEdit>(&dialog, "commentLineEdit")->clear();
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(KeyTest::readFile(path), QStringLiteral("%1 %2 \n").arg(type, data).toUtf8());
    QCOMPARE(dialog.generatedKey(), QStringLiteral("%1 %2").arg(type, data));

    const QString second = freshFile();
    AddPublicKeyDialog withComment(second, nullptr);
    child<QRadioButton>(&withComment, "partsModeRBtn")->setChecked(true);
    child<QLineEdit>(&withComment, "typeLineEdit")->setText(type);
    child<QTextEdit>(&withComment, "partsKeyEdit")->setPlainText(data);
    child<QLineEdit>(&withComment, "commentLineEdit")->setText(QStringLiteral("  work  laptop "));
    withComment.accept();
    QCOMPARE(KeyTest::readFile(second), QStringLiteral("%1 %2 work  laptop\n").arg(type, data).toUtf8());
}

void AuthorizedKeysDialogsTest::addDialogThroughHelper()
{
    const QByteArray content = m_rsa.toUtf8() + '\n';
    const QString path = freshFile(content);
    SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
        return false;
    });
    FakeActionRunner runner;

    // Refused by the helper: logged, no message box, the dialog stays open.
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("not authorized"));
    });
    AddPublicKeyDialog dialog(path, nullptr);
    child<QTextEdit>(&dialog, "simpleKeyEdit")->setPlainText(m_ed);
    dialog.show();
    QTest::ignoreMessage(QtWarningMsg, QStringLiteral("Error writing to authorized keys file '%1'. Error: not authorized").arg(path).toUtf8().constData());
    KeyTest::MessageBoxAnswerer answerer;
    dialog.accept();
    QVERIFY(answerer.seen.isEmpty());
    QVERIFY(dialog.isVisible());
    QCOMPARE(runner.calls.size(), 1);

    // Accepted by the helper.
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::success();
    });
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(runner.calls.size(), 2);
    const FakeActionRunner::Call &call = runner.calls.last();
    QCOMPARE(call.action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
    QCOMPARE(call.keys(), QStringList({QStringLiteral("authorized_keys_file"), QStringLiteral("add_key_line")}));
    QCOMPARE(call.argument(QStringLiteral("authorized_keys_file")).toString(), path);
    QCOMPARE(call.argument(QStringLiteral("add_key_line")).toString(), m_ed);
    // The helper does the writing; nothing was written directly.
    QCOMPARE(KeyTest::readFile(path), content);
}

QTEST_MAIN(AuthorizedKeysDialogsTest)

#include "authorizedkeysdialogstest.moc"
