// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "modaldriver.h"
#include "testfiles.h"

#include "bannerarea.h"
#include "editbannerdialog.h"
#include "messagesmanager.h"
#include "sshsettingsprotocol.h"

#include <KMessageWidget>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace Arg = SSHSettings::Protocol::Arg;

class BannerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_banner;

    std::unique_ptr<BannerArea> makeArea(const QString &value)
    {
        auto area = std::make_unique<BannerArea>(SSHOption::pageOption(Server, QStringLiteral("Banner")).withValue(value), nullptr);
        area->inflate();
        return area;
    }
    static QLineEdit *pathField(BannerArea *area)
    {
        return area->findChild<QLineEdit *>(QStringLiteral("pathToBannerLineEdit"));
    }
    static QToolButton *editButton(BannerArea *area)
    {
        return area->findChild<QToolButton *>(QStringLiteral("editButton"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void init()
    {
        m_banner = m_dir.filePath(QStringLiteral("issue.net"));
        QVERIFY(TestFiles::write(m_banner, "Authorised users only\n"));
    }
    void cleanup()
    {
        EditBannerDialog::setWriteAccessCheck({});
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
        stored->updateArea(stored->option().withValue(QStringLiteral("none")));
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
        const QByteArray before = TestFiles::read(path);
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
        QCOMPARE(TestFiles::read(path), before);
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
        // Opened from the area on a page, which says what was saved.
        QWidget page;
        auto *messages = new KCMOS::MessagesManager(&page);
        auto *area = new BannerArea(SSHOption::pageOption(Server, QStringLiteral("Banner")).withValue(m_banner), &page);
        area->inflate();
        ModalDriver driver;
        driver.expect<EditBannerDialog>([&](EditBannerDialog *shown) {
            auto *edit = shown->findChild<QPlainTextEdit *>(QStringLiteral("textEdit"));
            QCOMPARE(edit->toPlainText(), QStringLiteral("Authorised users only\n"));
            edit->setPlainText(QStringLiteral("Root's banner"));
            // Tab leaves the editor instead of going into the banner.
            QTest::keyClick(edit, Qt::Key_Tab);
            shown->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
            QVERIFY(FakeActionRunner::settle());
            if (shown->isVisible()) { // refused: the reason shows in the dialog, which stays open
                QVERIFY(shown->errorWidget()->text().endsWith(QLatin1String("not authorized")));
                shown->reject();
            }
        });
        editButton(area)->click();
        QCOMPARE(driver.unanswered(), 0);
        QStringList texts;
        for (const KMessageWidget *message : messages->messages()) {
            texts.append(message->text());
        }
        QCOMPARE(texts, succeeds ? QStringList{QStringLiteral("The banner %1 was saved.").arg(m_banner)} : QStringList());
        QCOMPARE(checked, QStringList({m_banner}));
        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(runner.calls.at(0).action, SSHSettings::actionName(SSHSettings::ActionKind::Configure));
        QCOMPARE(runner.calls.at(0).arguments,
                 (SSHSettings::ActionArguments{{Arg::BannerPath, m_banner}, {Arg::BannerText, QStringLiteral("Root's banner\n")}}));
        // The helper writes the file; this process did not.
        QCOMPARE(TestFiles::read(m_banner), QByteArray("Authorised users only\n"));
    }
};

QTEST_MAIN(BannerTest)
#include "bannertest.moc"
