// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "modaldriver.h"
#include "testoptions.h"

#include "bannerarea.h"
#include "editbannerdialog.h"

#include <KMessageBox>

#include <KMessageWidget>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
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
        QVERIFY(area->validate()); // an empty path is "none"

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
        // The reason shows inside the dialog, which stays open.
        EditBannerDialog dialog(path, nullptr);
        dialog.accept();
        QVERIFY(!dialog.errorWidget()->isHidden());
        QVERIFY(dialog.errorWidget()->text().startsWith(QLatin1String("The banner was not saved: ")));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
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
};

QTEST_MAIN(BannerTest)
#include "bannertest.moc"
