// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "keytestsupport.h"
#include "modaldriver.h"
#include "sshkeyutils.h"

#include <KMessageWidget>
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
