// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "modaldriver.h"
#include "testoptions.h"

#include "bannerarea.h"
#include "editbannerdialog.h"

#include <KMessageBox>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <QToolButton>
#include <unistd.h>

namespace
{
const QString successText = QStringLiteral("The content of the welcome message has been successfully changed.");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

/// Answers the success box of KMessageBox: records that it was shown and ticks "don't show again" if asked.
void expectSuccessBox(ModalDriver &driver, QStringList *texts, bool dontShowAgain = false)
{
    driver.expect<QDialog>([texts, dontShowAgain](QDialog *box) {
        const auto labels = box->findChildren<QLabel *>();
        for (const QLabel *label : labels) {
            if (label->text() == successText) {
                texts->append(label->text());
            }
        }
        if (auto *checkBox = box->findChild<QCheckBox *>()) {
            checkBox->setChecked(dontShowAgain);
        }
        box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
}

void typeAndSave(EditBannerDialog *dialog, const QString &text)
{
    dialog->findChild<QTextEdit *>(QStringLiteral("textEdit"))->setPlainText(text);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
}
}

class BannerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // area
    void storedNoneShowsEmptyField();
    void storedFileAndFileChooser();
    void clearedPathDoesNotValidate();
    void refreshFromOption();

    // dialog flows
    void openingFails_data();
    void openingFails();
    void directWriteAddsFinalLineFeed_data();
    void directWriteAddsFinalLineFeed();
    void directWriteReplacesTheFileWhole();
    void directWriteFollowsSymlink();
    void directWriteFailureKeepsDialogOpen();
    void privilegedWrite();
    void privilegedWriteFailure();
    void successMessageCanBeSilenced();

private:
    std::unique_ptr<BannerArea> makeArea(const QString &value)
    {
        auto area = std::make_unique<BannerArea>(TestOptions::make(SSHOption::Banner, QStringLiteral("Banner"), QVariant::String, value), nullptr);
        area->inflate();
        return area;
    }
    QLineEdit *pathField(BannerArea *area) { return area->findChild<QLineEdit *>(QStringLiteral("pathToBannerLineEdit")); }

    QTemporaryDir m_dir;
    QString m_banner;
};

void BannerTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_dir.isValid());
}

void BannerTest::init()
{
    m_banner = m_dir.filePath(QStringLiteral("issue.net"));
    QVERIFY(writeAll(m_banner, "Authorised users only\n"));
    KMessageBox::enableMessage(QStringLiteral("ssh_banner_success_change_id"));
    EditBannerDialog::setWriteAccessCheck({});
}

void BannerTest::cleanup()
{
    EditBannerDialog::setWriteAccessCheck({});
}

void BannerTest::storedNoneShowsEmptyField()
{
    auto area = makeArea(QStringLiteral("none"));
    auto *edit = area->findChild<QToolButton *>(QStringLiteral("editButton"));
    QVERIFY(pathField(area.get())->text().isEmpty());
    QVERIFY(!edit->isEnabled());
    QVERIFY(!area->hasChanged());
    QCOMPARE(area->value(), QVariant(QStringLiteral("none")));
    QVERIFY(!area->validate());

    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    QTest::keyClicks(pathField(area.get()), m_banner);
    QVERIFY(area->hasChanged());
    QVERIFY(edit->isEnabled());
    QCOMPARE(area->value(), QVariant(m_banner));
    QCOMPARE(pathField(area.get())->toolTip(), m_banner);
    QVERIFY(area->validate());

    pathField(area.get())->clear();
    QVERIFY(!area->hasChanged());
    QVERIFY(!edit->isEnabled());
    QCOMPARE(area->value(), QVariant(QStringLiteral("none")));
    QVERIFY(modified.count() > 1);
}

void BannerTest::storedFileAndFileChooser()
{
    const QString other = m_dir.filePath(QStringLiteral("motd.txt"));
    QVERIFY(writeAll(other, "hello\n"));
    auto area = makeArea(m_banner);
    QCOMPARE(pathField(area.get())->text(), m_banner);
    QVERIFY(area->findChild<QToolButton *>(QStringLiteral("editButton"))->isEnabled());
    QVERIFY(!area->hasChanged());
    auto *choose = area->findChild<QToolButton *>(QStringLiteral("choosePathButton"));
    QCOMPARE(choose->toolTip(), QStringLiteral("Select a file"));

    ModalDriver driver;
    auto chooseFile = [&driver](const QString &path) {
        driver.expect<QFileDialog>([path](QFileDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Select a banner file"));
            QCOMPARE(dialog->nameFilters(), QStringList({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}));
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                static_cast<QDialog *>(dialog)->accept();
            }
        });
    };

    chooseFile(other);
    choose->click();
    QVERIFY(driver.done());
    QCOMPARE(pathField(area.get())->text(), other);
    QVERIFY(area->hasChanged());

    // Cancelling leaves path and flag alone.
    chooseFile(QString());
    choose->click();
    QCOMPARE(pathField(area.get())->text(), other);
    QVERIFY(area->hasChanged());

    chooseFile(m_banner);
    choose->click();
    QCOMPARE(pathField(area.get())->text(), m_banner);
    QVERIFY(!area->hasChanged());
    QVERIFY(driver.failures.isEmpty());
}

void BannerTest::clearedPathDoesNotValidate()
{
    auto area = makeArea(m_banner);
    QVERIFY(area->validate());
    pathField(area.get())->clear();
    QVERIFY(area->hasChanged());
    QVERIFY(!area->validate());
    QCOMPARE(area->value(), QVariant(QStringLiteral("none")));

    pathField(area.get())->setText(m_dir.filePath(QStringLiteral("absent")));
    QVERIFY(area->hasChanged());
    QVERIFY(!area->validate());
}

void BannerTest::refreshFromOption()
{
    auto area = makeArea(m_banner);
    QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
    area->updateArea(QStringLiteral("none"));
    QVERIFY(pathField(area.get())->text().isEmpty());
    QVERIFY(!area->findChild<QToolButton *>(QStringLiteral("editButton"))->isEnabled());
    QVERIFY(!area->hasChanged());
    QCOMPARE(modified.count(), 1);
}

void BannerTest::openingFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing file") << "absent"
                                  << "The path specified is incorrect, please make sure the file exists.";
    // A folder exists but cannot be read as a file, whoever runs the test (root reads any file).
    QTest::newRow("unreadable") << "folder"
                                << "Failed to open file for reading";
}

void BannerTest::openingFails()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));

    auto area = makeArea(QStringLiteral("none"));
    pathField(area.get())->setText(m_dir.filePath(name));
    ModalDriver driver;
    QStringList messages;
    driver.expect<QMessageBox>([&](QMessageBox *box) {
        messages.append(box->windowTitle() + QLatin1Char('/') + box->text());
        QCOMPARE(box->parentWidget(), area.get());
        box->button(QMessageBox::Ok)->click();
    });
    area->findChild<QToolButton *>(QStringLiteral("editButton"))->click();
    QVERIFY(driver.done());
    QCOMPARE(messages, QStringList({QStringLiteral("Error/") + error}));

    EditBannerDialog dialog(m_dir.filePath(name), nullptr);
    driver.expectMessage();
    QCOMPARE(dialog.exec(), 0);
    QVERIFY(driver.done());
}

void BannerTest::directWriteAddsFinalLineFeed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("without final line feed") << "Welcome\nNo trespassing" << QByteArray("Welcome\nNo trespassing\n");
    QTest::newRow("with final line feed") << "Welcome\n" << QByteArray("Welcome\n");
    QTest::newRow("empty") << "" << QByteArray("\n");
    QTest::newRow("utf-8") << QStringLiteral("Zutritt für Befugte") << QStringLiteral("Zutritt für Befugte\n").toUtf8();
}

void BannerTest::directWriteAddsFinalLineFeed()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, written);

    FakeActionRunner runner;
    QWidget parent;
    EditBannerDialog dialog(m_banner, &parent);
    ModalDriver driver;
    QStringList successes;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        QCOMPARE(shown->findChild<QTextEdit *>()->toPlainText(), QStringLiteral("Authorised users only\n"));
        expectSuccessBox(driver, &successes);
        typeAndSave(shown, typed);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(driver.done());
    QCOMPARE(readAll(m_banner), written);
    QCOMPARE(successes, QStringList({successText}));
    QVERIFY(runner.calls.isEmpty());
    // Nothing is left behind next to the banner.
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("issue.net*")}, QDir::Files), QStringList({QStringLiteral("issue.net")}));
}

void BannerTest::directWriteReplacesTheFileWhole()
{
    // The new text is written beside the banner and renamed over it, so the old file is
    // never cut short: a second name of the old file still holds the old text afterwards.
    const QString oldName = m_dir.filePath(QStringLiteral("old-issue"));
    QVERIFY(::link(QFile::encodeName(m_banner).constData(), QFile::encodeName(oldName).constData()) == 0);
    EditBannerDialog dialog(m_banner, nullptr);
    ModalDriver driver;
    QStringList successes;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        expectSuccessBox(driver, &successes);
        typeAndSave(shown, QStringLiteral("New text"));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(readAll(m_banner), QByteArray("New text\n"));
    QCOMPARE(readAll(oldName), QByteArray("Authorised users only\n"));
    QVERIFY(QFile::remove(oldName));
}

void BannerTest::directWriteFollowsSymlink()
{
    const QString link = m_dir.filePath(QStringLiteral("banner-link"));
    QVERIFY(QFile::link(m_banner, link));
    EditBannerDialog dialog(link, nullptr);
    ModalDriver driver;
    QStringList successes;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        expectSuccessBox(driver, &successes);
        typeAndSave(shown, QStringLiteral("Through the link"));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(m_banner), QByteArray("Through the link\n"));
    QVERIFY(QFile::remove(link));
}

void BannerTest::directWriteFailureKeepsDialogOpen()
{
    // A file the check lets us write but whose folder takes no new file and which cannot be
    // opened for writing either: the kernel's version text under /proc.
    const QString path = QStringLiteral("/proc/version");
    if (!QFile::exists(path)) {
        QSKIP("needs /proc");
    }
    const QByteArray before = readAll(path);
    EditBannerDialog::setWriteAccessCheck([](const QString &) {
        return true;
    });
    FakeActionRunner runner;
    EditBannerDialog dialog(path, nullptr);
    ModalDriver driver;
    QStringList messages;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        driver.expectMessage(&messages);
        typeAndSave(shown, QStringLiteral("replaced"));
        QVERIFY(shown->isVisible());
        shown->reject();
    });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot write the banner file")));
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(messages, QStringList({QStringLiteral("Failed to open the file for writing!")}));
    QCOMPARE(readAll(path), before);
    QVERIFY(runner.calls.isEmpty());
}

void BannerTest::privilegedWrite()
{
    QStringList checked;
    EditBannerDialog::setWriteAccessCheck([&checked](const QString &path) {
        checked.append(path);
        return false;
    });
    FakeActionRunner runner;
    EditBannerDialog dialog(m_banner, nullptr);
    ModalDriver driver;
    QStringList successes;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        expectSuccessBox(driver, &successes);
        typeAndSave(shown, QStringLiteral("Root's banner"));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(checked, QStringList({m_banner}));
    QCOMPARE(runner.calls.size(), 1);
    const FakeActionRunner::Call &call = runner.calls.at(0);
    QCOMPARE(call.action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
    QCOMPARE(call.keys(), QStringList({QStringLiteral("write_banner_path"), QStringLiteral("write_banner_text")}));
    QCOMPARE(call.argument(QStringLiteral("write_banner_path")).toString(), m_banner);
    QCOMPARE(call.argument(QStringLiteral("write_banner_text")).toString(), QStringLiteral("Root's banner\n"));
    // The helper writes the file; this process did not.
    QCOMPARE(readAll(m_banner), QByteArray("Authorised users only\n"));
    QCOMPARE(successes, QStringList({successText}));
}

void BannerTest::privilegedWriteFailure()
{
    EditBannerDialog::setWriteAccessCheck([](const QString &) {
        return false;
    });
    FakeActionRunner runner;
    runner.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("not authorized"));
    });
    EditBannerDialog dialog(m_banner, nullptr);
    ModalDriver driver;
    driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
        typeAndSave(shown, QStringLiteral("Root's banner"));
        // No message box: the editor simply stays open.
        QVERIFY(shown->isVisible());
        QCOMPARE(runner.calls.size(), 1);
        shown->reject();
    });
    QTest::ignoreMessage(QtWarningMsg, "Error writing to welcome file (Banner): not authorized");
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(driver.failures.isEmpty());
}

void BannerTest::successMessageCanBeSilenced()
{
    ModalDriver driver;
    QStringList successes;
    {
        EditBannerDialog dialog(m_banner, nullptr);
        driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
            expectSuccessBox(driver, &successes, true);
            typeAndSave(shown, QStringLiteral("first"));
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
    QCOMPARE(successes.size(), 1);
    {
        EditBannerDialog dialog(m_banner, nullptr);
        driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
            typeAndSave(shown, QStringLiteral("second"));
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
    QCOMPARE(successes.size(), 1);
    QCOMPARE(readAll(m_banner), QByteArray("second\n"));
    QVERIFY(driver.failures.isEmpty());
}

QTEST_MAIN(BannerTest)
#include "bannertest.moc"
