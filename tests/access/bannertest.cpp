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
}

class BannerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_banner;
    std::unique_ptr<ModalDriver> m_driver;
    QStringList m_messages;

    std::unique_ptr<BannerArea> makeArea(const QString &value)
    {
        auto area = std::make_unique<BannerArea>(TestOptions::make(SSHOption::Banner, QStringLiteral("Banner"), QMetaType::QString, value), nullptr);
        area->inflate();
        return area;
    }
    static QLineEdit *pathField(BannerArea *area) { return area->findChild<QLineEdit *>(QStringLiteral("pathToBannerLineEdit")); }
    static QToolButton *editButton(BannerArea *area) { return area->findChild<QToolButton *>(QStringLiteral("editButton")); }

    enum Answer { SuccessBox, SilenceSuccess, ErrorBox, NoBox };

    /// Opens the editor on path, checks it shows the file, saves text and answers what follows.
    /// The editor is closed by hand if it stays open.
    int editAndSave(const QString &path, const QString &text, Answer answer)
    {
        EditBannerDialog dialog(path, nullptr);
        m_driver->expect<EditBannerDialog>([&](EditBannerDialog *shown) {
            auto *edit = shown->findChild<QTextEdit *>(QStringLiteral("textEdit"));
            QCOMPARE(edit->toPlainText(), QString::fromUtf8(readAll(path)));
            if (answer == ErrorBox) {
                m_driver->expectMessage(&m_messages);
            } else if (answer != NoBox) {
                // KMessageBox's success box: record its text, tick "don't show again" if asked.
                m_driver->expect<QDialog>([this, answer](QDialog *box) {
                    const auto labels = box->findChildren<QLabel *>();
                    for (const QLabel *label : labels) {
                        if (label->text() == successText) {
                            m_messages.append(label->text());
                        }
                    }
                    box->findChild<QCheckBox *>()->setChecked(answer == SilenceSuccess);
                    box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
                });
            }
            edit->setPlainText(text);
            shown->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
            if (shown->isVisible()) {
                shown->reject();
            }
        });
        const int result = dialog.exec();
        return m_driver->done() ? result : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(m_dir.isValid());
    }
    void init()
    {
        m_banner = m_dir.filePath(QStringLiteral("issue.net"));
        QVERIFY(writeAll(m_banner, "Authorised users only\n"));
        KMessageBox::enableMessage(QStringLiteral("ssh_banner_success_change_id"));
        EditBannerDialog::setWriteAccessCheck({});
        m_driver = std::make_unique<ModalDriver>();
        m_messages.clear();
    }
    void cleanup()
    {
        EditBannerDialog::setWriteAccessCheck({});
        QVERIFY2(m_driver->failures.isEmpty(), qPrintable(m_driver->failures.join(QLatin1Char(';'))));
    }

    void pathFieldValueAndValidation()
    {
        auto area = makeArea(QStringLiteral("none"));
        QVERIFY(pathField(area.get())->text().isEmpty());
        QVERIFY(!editButton(area.get())->isEnabled());
        QCOMPARE(area->value(), QVariant(QStringLiteral("none")));
        QVERIFY(!area->hasChanged());
        QVERIFY(!area->validate());

        QSignalSpy modified(area.get(), &AbstractOptionArea::modify);
        QTest::keyClicks(pathField(area.get()), m_banner);
        QVERIFY(area->hasChanged());
        QVERIFY(editButton(area.get())->isEnabled());
        QCOMPARE(area->value(), QVariant(m_banner));
        QVERIFY(area->validate());
        QVERIFY(modified.count() > 0);

        // An absent file does not validate; an emptied field is written as "none".
        pathField(area.get())->setText(m_dir.filePath(QStringLiteral("absent")));
        QVERIFY(!area->validate());
        pathField(area.get())->clear();
        QVERIFY(!area->hasChanged());
        QVERIFY(!editButton(area.get())->isEnabled());
        QCOMPARE(area->value(), QVariant(QStringLiteral("none")));

        auto stored = makeArea(m_banner);
        stored->updateArea(QStringLiteral("none"));
        QVERIFY(pathField(stored.get())->text().isEmpty());
        QVERIFY(!stored->hasChanged());
    }

    void fileChooser()
    {
        const QString other = m_dir.filePath(QStringLiteral("motd.txt"));
        QVERIFY(writeAll(other, "hello\n"));
        auto area = makeArea(m_banner);
        auto *choose = area->findChild<QToolButton *>(QStringLiteral("choosePathButton"));
        const auto chooseFile = [&](const QString &path) {
            m_driver->expect<QFileDialog>([path](QFileDialog *dialog) {
                if (path.isEmpty()) {
                    dialog->reject();
                } else {
                    dialog->selectFile(path);
                    static_cast<QDialog *>(dialog)->accept();
                }
            });
            choose->click();
            QVERIFY(m_driver->done());
        };
        chooseFile(other);
        QCOMPARE(pathField(area.get())->text(), other);
        QVERIFY(area->hasChanged());
        // Cancelling leaves path and flag alone.
        chooseFile(QString());
        QCOMPARE(pathField(area.get())->text(), other);
    }

    void openingFails()
    {
        // A folder exists but cannot be read as a file, whoever runs the test (root reads any file).
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
        const QStringList names {QStringLiteral("absent"), QStringLiteral("folder")};
        const QStringList errors {QStringLiteral("The path specified is incorrect, please make sure the file exists."),
                                  QStringLiteral("Failed to open file for reading")};
        auto area = makeArea(QStringLiteral("none"));
        QStringList messages;
        for (const QString &name : names) {
            pathField(area.get())->setText(m_dir.filePath(name));
            m_driver->expect<QMessageBox>([&](QMessageBox *box) {
                QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
                QCOMPARE(box->parentWidget(), area.get());
                messages.append(box->text());
                box->button(QMessageBox::Ok)->click();
            });
            editButton(area.get())->click();
            QVERIFY(m_driver->done());
        }
        QCOMPARE(messages, errors);
    }

    void directWriteAddsFinalLineFeed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("without final line feed") << QStringLiteral("Welcome\nNo trespassing") << QByteArray("Welcome\nNo trespassing\n");
        QTest::newRow("with final line feed") << QStringLiteral("Welcome\n") << QByteArray("Welcome\n");
        QTest::newRow("empty") << QString() << QByteArray("\n");
        QTest::newRow("utf-8") << QStringLiteral("Zutritt für Befugte") << QStringLiteral("Zutritt für Befugte\n").toUtf8();
    }
    void directWriteAddsFinalLineFeed()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, written);
        // The new text is renamed over the banner, so the old file is never cut short: a second
        // name of the old file still holds the old text afterwards. A symlink is followed.
        const QString oldName = m_dir.filePath(QStringLiteral("old-issue"));
        const QString link = m_dir.filePath(QStringLiteral("banner-link"));
        QFile::remove(oldName);
        QFile::remove(link);
        QVERIFY(::link(QFile::encodeName(m_banner).constData(), QFile::encodeName(oldName).constData()) == 0);
        QVERIFY(QFile::link(m_banner, link));
        FakeActionRunner runner;
        QCOMPARE(editAndSave(link, typed, SuccessBox), int(QDialog::Accepted));
        QCOMPARE(readAll(m_banner), written);
        QCOMPARE(readAll(oldName), QByteArray("Authorised users only\n"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(m_messages, QStringList({successText}));
        QVERIFY(runner.calls.isEmpty());
        // Nothing is left behind next to the banner.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("issue.net*")}, QDir::Files), QStringList({QStringLiteral("issue.net")}));
    }

    void directWriteFailureKeepsDialogOpen()
    {
        // The check lets us write, but /proc takes no new file and its files refuse writing.
        const QString path = QStringLiteral("/proc/version");
        if (!QFile::exists(path)) {
            QSKIP("needs /proc");
        }
        const QByteArray before = readAll(path);
        EditBannerDialog::setWriteAccessCheck([](const QString &) {
            return true;
        });
        FakeActionRunner runner;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot write the banner file")));
        QCOMPARE(editAndSave(path, QStringLiteral("replaced"), ErrorBox), int(QDialog::Rejected));
        QCOMPARE(m_messages, QStringList({QStringLiteral("Failed to open the file for writing!")}));
        QCOMPARE(readAll(path), before);
        QVERIFY(runner.calls.isEmpty());
    }

    void privilegedWrite_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("helper writes") << true;
        QTest::newRow("helper refuses") << false;
    }
    void privilegedWrite()
    {
        QFETCH(bool, succeeds);
        QStringList checked;
        EditBannerDialog::setWriteAccessCheck([&checked](const QString &path) {
            checked.append(path);
            return false;
        });
        FakeActionRunner runner;
        runner.setHandler([succeeds](const FakeActionRunner::Call &) {
            return succeeds ? FakeActionRunner::success() : FakeActionRunner::failure(QStringLiteral("not authorized"));
        });
        if (!succeeds) {
            // No message box: the editor simply stays open.
            QTest::ignoreMessage(QtWarningMsg, "Error writing to welcome file (Banner): not authorized");
        }
        QCOMPARE(editAndSave(m_banner, QStringLiteral("Root's banner"), succeeds ? SuccessBox : NoBox), int(succeeds ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(checked, QStringList({m_banner}));
        QCOMPARE(runner.calls.size(), 1);
        const FakeActionRunner::Call &call = runner.calls.at(0);
        QCOMPARE(call.action, SSHSettings::actionName(SSHSettings::ActionKind::Change));
        const SSHSettings::ActionArguments arguments {{QStringLiteral("write_banner_path"), m_banner},
                                                      {QStringLiteral("write_banner_text"), QStringLiteral("Root's banner\n")}};
        QCOMPARE(call.arguments, arguments);
        // The helper writes the file; this process did not.
        QCOMPARE(readAll(m_banner), QByteArray("Authorised users only\n"));
        QCOMPARE(m_messages.size(), succeeds ? 1 : 0);
    }

    void successMessageCanBeSilenced()
    {
        QCOMPARE(editAndSave(m_banner, QStringLiteral("first"), SilenceSuccess), int(QDialog::Accepted));
        QCOMPARE(editAndSave(m_banner, QStringLiteral("second"), NoBox), int(QDialog::Accepted));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(readAll(m_banner), QByteArray("second\n"));
    }
};

QTEST_MAIN(BannerTest)
#include "bannertest.moc"
