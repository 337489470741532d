// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
#include "modaldriver.h"
#include "sshkeyutils.h"

#include <KMessageWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace
{
template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}
}

class AuthorizedKeysDialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void pathDialog();
    void addDialog_data();
    void addDialog();
    void addDialogThroughHelper();

private:
    QString freshFile(const QByteArray &content = QByteArray())
    {
        const QString path = m_dir.filePath(QStringLiteral("authorized_keys_%1").arg(++m_fileCounter));
        KeyTest::writeFile(path, content);
        return path;
    }

    QTemporaryDir m_dir;
    QString m_ed;
    QString m_rsa;
    int m_fileCounter = 0;
};

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

void AuthorizedKeysDialogsTest::pathDialog()
{
    const QString listed = freshFile();
    const QString other = freshFile();
    AuthorizedKeysPathDialog dialog({QStringLiteral("/a/one"), QStringLiteral(" /b/two "), listed}, nullptr);
    auto *list = child<QListWidget>(&dialog, "pathsListWidget");
    auto *remove = child<QPushButton>(&dialog, "removePath");
    QVERIFY(!remove->isEnabled());
    QCOMPARE(dialog.paths(), QStringList({QStringLiteral("/a/one"), QStringLiteral("/b/two"), listed}));

    // Removed with the Delete key or the button.
    list->setCurrentRow(1);
    QVERIFY(remove->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Delete);
    QCOMPARE(dialog.paths(), QStringList({QStringLiteral("/a/one"), listed}));
    list->setCurrentRow(0);
    remove->click();
    QCOMPARE(dialog.paths(), QStringList {listed});

    // Ctrl+N opens the chooser; cancelling it changes nothing, a path already listed is refused.
    ModalDriver &answerer = KeyTest::modals();
    answerer.seenTexts.clear();
    answerer.answer(QString());
    QTest::keyClick(&dialog, Qt::Key_N, Qt::ControlModifier);
    auto choose = [](const QString &path) {
        KeyTest::modals().expect<QFileDialog>([path](QFileDialog *fileDialog) {
            fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(fileDialog)->accept();
        });
    };
    choose(listed);
    answerer.answer(QStringLiteral("OK"));
    child<QPushButton>(&dialog, "addPath")->click();
    QCOMPARE(answerer.seenTexts,
             QStringList({QStringLiteral("Select a file to store SSH authorization keys"), QStringLiteral("This path is already on the list.")}));
    QCOMPARE(dialog.paths(), QStringList {listed});

    choose(other);
    child<QPushButton>(&dialog, "addPath")->click();
    QCOMPARE(dialog.paths(), QStringList({listed, other}));
}

void AuthorizedKeysDialogsTest::addDialog_data()
{
    // "type|data|comment" fills the parts mode (no comment field: the default one is kept), any other input the simple mode.
    // @TYPE@ and @DATA@ stand for the fields of a real ed25519 key, @KEY@ for its whole line.
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("result"); // the error shown, or "written:" and the line written

    const QString empty = QStringLiteral("Public key cannot be empty.");
    const QString invalid = QStringLiteral("Unable to add a key. It is possible that the key is invalid or incorrectly generated.");
    const QString required = QStringLiteral("Please fill in the required fields: type and key.");
    QTest::newRow("simple: empty") << "  \n " << empty;
    QTest::newRow("simple: one field") << "ssh-ed25519" << invalid;
    QTest::newRow("simple: not base64") << "ssh-ed25519 !!!! x" << invalid;
    // Well-formed base64 that is no key: a fingerprint can be computed, ssh-keygen still rejects it.
    QTest::newRow("simple: unreadable key") << "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIHello x" << invalid;
    QTest::newRow("simple: padded key") << "\n\n   @KEY@  \n\n" << QStringLiteral("written:@KEY@");
    QTest::newRow("parts: no type") << " |AAAA" << required;
    QTest::newRow("parts: no key") << "@TYPE@|\n" << required;
    QTest::newRow("parts: wrong type") << "ssh-rsa|@DATA@" << invalid;
    // With the comment cleared the written line ends in a space; the key handed back does not.
    QTest::newRow("parts: no comment") << " @TYPE@|@DATA@\n|" << QStringLiteral("written:@TYPE@ @DATA@ ");
    QTest::newRow("parts: comment trimmed") << "@TYPE@|@DATA@|  work  laptop " << QStringLiteral("written:@TYPE@ @DATA@ work  laptop");
    QTest::newRow("parts: default comment") << "@TYPE@|@DATA@" << QStringLiteral("written:@TYPE@ @DATA@ @USER@");
}

void AuthorizedKeysDialogsTest::addDialog()
{
    QFETCH(QString, input);
    QFETCH(QString, result);
    for (QString *text : {&input, &result}) {
        text->replace(QLatin1String("@KEY@"), m_ed)
            .replace(QLatin1String("@TYPE@"), m_ed.section(QLatin1Char(' '), 0, 0))
            .replace(QLatin1String("@DATA@"), m_ed.section(QLatin1Char(' '), 1, 1))
            .replace(QLatin1String("@USER@"), SSHKeyUtils::defaultComment());
    }

    const QString path = freshFile(m_rsa.toUtf8()); // no final line feed
    FakeActionRunner runner;
    AddPublicKeyDialog dialog(path, nullptr);
    const QStringList parts = input.split(QLatin1Char('|'));
    if (parts.size() > 1) {
        child<QRadioButton>(&dialog, "partsModeRBtn")->setChecked(true);
        child<QLineEdit>(&dialog, "typeLineEdit")->setText(parts.at(0));
        child<QTextEdit>(&dialog, "partsKeyEdit")->setPlainText(parts.at(1));
        if (parts.size() > 2) {
            child<QLineEdit>(&dialog, "commentLineEdit")->setText(parts.at(2));
        }
    } else {
        child<QTextEdit>(&dialog, "simpleKeyEdit")->setPlainText(input);
    }
    dialog.show();

    ModalDriver &answerer = KeyTest::modals();
    answerer.seenTexts.clear();
    const bool written = result.startsWith(QLatin1String("written:"));
    if (!written) {
        answerer.answer(QStringLiteral("OK"));
    }
    dialog.accept();
    QVERIFY(runner.calls.isEmpty());
    if (!written) {
        QCOMPARE(answerer.seenTexts, QStringList {result});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(KeyTest::readFile(path), m_rsa.toUtf8());
        return;
    }
    const QString line = result.mid(8);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.generatedKey(), line.trimmed());
    QCOMPARE(KeyTest::readFile(path), (m_rsa + QLatin1Char('\n') + line + QLatin1Char('\n')).toUtf8());
}

void AuthorizedKeysDialogsTest::addDialogThroughHelper()
{
    const QString path = freshFile(m_rsa.toUtf8() + '\n');
    SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
        return false;
    });
    FakeActionRunner runner;
    AddPublicKeyDialog dialog(path, nullptr);
    child<QTextEdit>(&dialog, "simpleKeyEdit")->setPlainText(m_ed);
    dialog.show();

    // Refused by the helper: the reason shows in the dialog, which stays open (a message box would block here).
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("not authorized"));
    });
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.errorWidget()->text(), QStringLiteral("The key was not added to %1: not authorized").arg(path));
    QCOMPARE(runner.calls.size(), 1);

    // Accepted by the helper, which does the writing.
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::success();
    });
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(runner.calls.size(), 2);
    const FakeActionRunner::Call &call = runner.calls.last();
    QCOMPARE(call.action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
    QCOMPARE(call.arguments, (SSHSettings::ActionArguments {{QStringLiteral("authorized_keys_file"), path}, {QStringLiteral("add_key_line"), m_ed}}));
    QCOMPARE(KeyTest::readFile(path), m_rsa.toUtf8() + '\n');
}

QTEST_MAIN(AuthorizedKeysDialogsTest)

#include "authorizedkeysdialogstest.moc"
