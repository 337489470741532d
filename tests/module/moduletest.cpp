// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"
#include "equaltabwidthwidget.h"
#include "fakeactionrunner.h"
#include "fixedservicestate.h"
#include "kcmcompat.h"
#include "messagesmanager.h"
#include "modaldriver.h"
#include "revertcountdown.h"
#include "reviewdialog.h"
#include "serverstate.h"
#include "sshmodule.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"
#include "statewidget.h"

#include <KConfigGroup>
#include <KMessageBox>
#include <KPluginFactory>
#include <KSharedConfig>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

QStringList serverCommands(const FakeActionRunner &helper)
{
    QStringList commands;
    const auto calls = helper.callsWith(Arg::ServiceCommand);
    for (const auto &call : calls) {
        commands.append(call.argument(Arg::ServiceCommand).toString());
    }
    return commands;
}

// The changes of every transaction that was applied (dry runs left out), in order.
QList<QVariantMap> applied(const FakeActionRunner &helper)
{
    QList<QVariantMap> transactions;
    const auto calls = helper.callsWith(Arg::TransactionChanges);
    for (const auto &call : calls) {
        if (!call.argument(Arg::TransactionDryRun).toBool()) {
            transactions.append(call.argument(Arg::TransactionChanges).toMap());
        }
    }
    return transactions;
}

AbstractOptionArea *areaFor(SSHModule &page, SSHConfigurationTypeId type, SSHOption::Id id)
{
    const auto areas = page.widget()->findChildren<AbstractOptionArea *>();
    for (AbstractOptionArea *area : areas) {
        if (area->option().configureId() == type && area->option().id() == id) {
            return area;
        }
    }
    return nullptr;
}

QStringList messageTexts(SSHModule &page)
{
    QStringList texts;
    const auto messages = page.messagesManager()->messages();
    for (const auto *message : messages) {
        texts.append(message->text());
    }
    return texts;
}
}

class ModuleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void applyWritesOnlyChangedAreas();
    void applyDuringApplyIsIgnored();
    void refusalReasonsReachTheMessageArea();
    void rootLoginTriState_data();
    void rootLoginTriState();
    void resetClearsChangedFlags();
    void originsBesideOptions();
    void reviewThenKeepOrRevert_data();
    void reviewThenKeepOrRevert();
    void defaultsConfirmsFirst_data();
    void defaultsConfirmsFirst();
    void failedReadsSayWhy_data();
    void failedReadsSayWhy();
    void statusRowFollowsTheService();

private:
    FixedServiceState m_state;
    QTemporaryDir m_root;
    std::unique_ptr<FakeActionRunner> m_helper;
    QVariantMap m_serverValues;
};

void ModuleTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    SSHPaths::setRootForTesting(m_root.path());
    QDir().mkpath(m_root.filePath(QStringLiteral("etc/ssh")));
}

void ModuleTest::init()
{
    m_state = FixedServiceState();
    KMessageBox::enableMessage(ReviewDialog::DontAskAgainName);
    ServerState::setStateSourceForTesting(&m_state);
    m_serverValues = {
        {QStringLiteral("port"), QStringLiteral("2222")},
        {QStringLiteral("usedns"), QStringLiteral("no")},
        {QStringLiteral("authorizedkeysfile"), QStringList {m_root.filePath(QStringLiteral("none/authorized_keys"))}},
        {QStringLiteral("banner"), QStringLiteral("none")},
    };
    m_helper = std::make_unique<FakeActionRunner>();
    m_helper->setHandler([this](const FakeActionRunner::Call &call) {
        if (call.keys().contains(Arg::ReadKeywords)) {
            if (call.argument(Arg::ReadType).toInt() == Server) {
                return FakeActionRunner::success(m_serverValues);
            }
            return FakeActionRunner::success({{QStringLiteral("port"), QStringLiteral("22")}});
        }
        return FakeActionRunner::success();
    });
}

void ModuleTest::cleanup()
{
    m_helper.reset();
    ServerState::setStateSourceForTesting(nullptr);
    QFile::remove(SSHPaths::serverBackup());
    QFile::remove(SSHPaths::clientBackup());
}

void ModuleTest::applyWritesOnlyChangedAreas()
{
    SSHModule page(nullptr, {});
    page.load();
    QSignalSpy changed(&page, Compat::needsSaveChanged);
    QSignalSpy posted(page.messagesManager(), &KCMOS::MessagesManager::messagePosted);

    page.save(); // nothing changed
    QVERIFY(m_helper->callsWith(Arg::TransactionChanges).isEmpty());
    QVERIFY(serverCommands(*m_helper).isEmpty());
    QCOMPARE(posted.count(), 0);
    QVERIFY(!page.stateWidget()->isVisible());

    auto *clientPort = areaFor(page, Client, SSHOption::ClientPort);
    clientPort->findChild<QSpinBox *>()->setValue(2022);
    QVERIFY(Compat::needsSave(page, changed));
    page.save();
    QCOMPARE(applied(*m_helper), (QList<QVariantMap> {{{QStringLiteral("Port"), QStringLiteral("2022")}}}));
    QVERIFY(m_helper->callsWith(Arg::TransactionDryRun).isEmpty()); // the client's change is not reviewed
    QVERIFY(m_helper->callsWith(Arg::TransactionRestart).isEmpty()); // and never restarts the server
    QVERIFY(!clientPort->hasChanged());
    QCOMPARE(clientPort->option().value(), QVariant(2022));

    // Two server options: one reviewed transaction, which restarts sshd.
    areaFor(page, Server, SSHOption::UseDNS)->findChild<QCheckBox *>()->click();
    areaFor(page, Server, SSHOption::X11Forwarding)->findChild<QCheckBox *>()->click();
    const int before = posted.count();
    page.save();
    QCOMPARE(applied(*m_helper).size(), 2);
    QCOMPARE(applied(*m_helper).last().keys(), (QStringList {QStringLiteral("UseDNS"), QStringLiteral("X11Forwarding")}));
    QCOMPARE(m_helper->callsWith(Arg::TransactionDryRun).size(), 1);
    QVERIFY(m_helper->calls.last().argument(Arg::TransactionRestart).toBool());
    QVERIFY(serverCommands(*m_helper).isEmpty());
    QCOMPARE(posted.count() - before, 1); // one success message per apply
    QCOMPARE(messageTexts(page), QStringList {QStringLiteral("Changes applied successfully")});
}

void ModuleTest::applyDuringApplyIsIgnored()
{
    SSHModule page(nullptr, {});
    page.load();
    int writes = 0;
    m_helper->setHandler([&](const FakeActionRunner::Call &call) {
        if (call.keys().contains(Arg::TransactionChanges) && ++writes == 1) {
            page.save(); // the host's Apply, pressed while the helper works
            page.defaults();
        }
        return FakeActionRunner::success();
    });
    areaFor(page, Server, SSHOption::UseDNS)->findChild<QCheckBox *>()->click();
    page.save();
    QCOMPARE(writes, 2); // the review and the apply of the one Apply
    QVERIFY(m_helper->callsWith(Arg::RestoreType).isEmpty());
}

void ModuleTest::refusalReasonsReachTheMessageArea()
{
    SSHModule page(nullptr, {});
    page.load();
    m_helper->setHandler([](const FakeActionRunner::Call &call) {
        if (call.argument(Arg::TransactionChanges).toMap().contains(QStringLiteral("UseDNS")) && !call.argument(Arg::TransactionDryRun).toBool()) {
            return FakeActionRunner::failure(QStringLiteral("another setting wins for UseDNS: set in /etc/ssh/sshd_config.d/50-cloud-init.conf"));
        }
        return FakeActionRunner::success();
    });
    auto *dns = areaFor(page, Server, SSHOption::UseDNS);
    dns->findChild<QCheckBox *>()->click();
    auto *x11 = areaFor(page, Server, SSHOption::X11Forwarding);
    x11->findChild<QCheckBox *>()->click();
    QSignalSpy changed(&page, Compat::needsSaveChanged);
    const QString refusal =
        QStringLiteral("The server settings were not applied: another setting wins for UseDNS: set in /etc/ssh/sshd_config.d/50-cloud-init.conf");
    for (int attempt = 0; attempt < 2; ++attempt) {
        page.save();
        // One message for the transaction, replaced rather than stacked; all or nothing: both stay changed.
        QCOMPARE(messageTexts(page), QStringList {refusal});
        QVERIFY(dns->hasChanged() && x11->hasChanged());
    }
    QTRY_VERIFY(Compat::needsSave(page, changed));
    // The later success clears the stale error.
    m_helper->setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::success();
    });
    page.save();
    QCOMPARE(messageTexts(page), QStringList {QStringLiteral("Changes applied successfully")});
}

void ModuleTest::rootLoginTriState_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QVariantList>("written");
    // A tri-state box cycles unchecked -> partially checked -> checked.
    QTest::newRow("keys only, untouched") << "without-password" << 0 << QVariantList();
    QTest::newRow("keys only to yes") << "without-password" << 1 << QVariantList {true};
    QTest::newRow("keys only to no") << "without-password" << 2 << QVariantList {false};
    QTest::newRow("keys only, full circle") << "without-password" << 3 << QVariantList();
    QTest::newRow("yes to keys only") << "yes" << 2 << QVariantList {QStringLiteral("prohibit-password")};
}

void ModuleTest::rootLoginTriState()
{
    QFETCH(QString, loaded);
    QFETCH(int, clicks);
    m_serverValues[QStringLiteral("permitrootlogin")] = loaded;
    SSHModule page(nullptr, {});
    page.load();
    auto *box = areaFor(page, Server, SSHOption::PermitRootLogin)->findChild<QCheckBox *>();
    QVERIFY(box->isTristate());
    QCOMPARE(box->checkState(), loaded == QLatin1String("yes") ? Qt::Checked : Qt::PartiallyChecked);
    for (int i = 0; i < clicks; ++i) {
        box->click();
    }
    page.save();
    QVariantList writes;
    for (const QVariantMap &changes : applied(*m_helper)) {
        writes.append(changes.value(QStringLiteral("PermitRootLogin")));
    }
    QTEST(writes, "written");
}

void ModuleTest::resetClearsChangedFlags()
{
    SSHModule page(nullptr, {});
    page.load();
    areaFor(page, Server, SSHOption::UseDNS)->findChild<QCheckBox *>()->click();
    areaFor(page, Server, SSHOption::AddressFamily)->findChild<QComboBox *>()->setCurrentIndex(1);
    page.load(); // the host's Reset
    page.save();
    QVERIFY(m_helper->callsWith(Arg::TransactionChanges).isEmpty());
    QVERIFY(serverCommands(*m_helper).isEmpty());
}

void ModuleTest::originsBesideOptions()
{
    const QString main = SSHPaths::serverConfig();
    const auto at = [&main](const QString &file, int line, const QVariantList &overrides = {}) {
        return QVariantMap {{Reply::OriginFile, file}, {Reply::OriginLine, line}, {Reply::OriginOverrides, overrides}, {Reply::OriginMainFile, file == main}};
    };
    m_serverValues[Reply::Origins] = QVariantMap {
        {QStringLiteral("usedns"), at(QStringLiteral("/etc/ssh/sshd_config.d/50-cloud-init.conf"), 3)},
        {QStringLiteral("x11forwarding"),
         at(main, 5, {QVariantMap {{Reply::OriginFile, main}, {Reply::OriginLine, 20}, {Reply::OriginMatch, QStringLiteral("Match User anoncvs")}}})},
        {QStringLiteral("port"), at(main, 1)},
        {QStringLiteral("maxsessions"), at(QString(), 0)},
    };
    SSHModule page(nullptr, {});
    page.load();
    const auto indicator = [&page](SSHOption::Id id) {
        for (QWidget *widget = areaFor(page, Server, id); widget; widget = widget->parentWidget()) {
            if (auto *label = widget->findChild<QLabel *>(QStringLiteral("originIndicator"), Qt::FindDirectChildrenOnly)) {
                return label;
            }
        }
        return static_cast<QLabel *>(nullptr);
    };
    QCOMPARE(indicator(SSHOption::UseDNS)->isHidden(), false);
    QCOMPARE(indicator(SSHOption::UseDNS)->toolTip(), QStringLiteral("UseDNS is set in /etc/ssh/sshd_config.d/50-cloud-init.conf, line 3."));
    QCOMPARE(indicator(SSHOption::X11Forwarding)->toolTip(),
             QStringLiteral("X11Forwarding is set for some connections by “Match User anoncvs” in %1, line 20.").arg(main));
    QVERIFY(indicator(SSHOption::Port)->isHidden()); // the main file
    QVERIFY(indicator(SSHOption::MaxSessions)->isHidden()); // the built-in default
}

void ModuleTest::reviewThenKeepOrRevert_data()
{
    QTest::addColumn<QString>("review"); // apply, cancel, or apply and do not show again
    QTest::addColumn<QString>("ending"); // keep, revert (now), expire, or nothing
    QTest::addColumn<int>("applies");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancelled") << "cancel"
                               << "" << 0 << "";
    QTest::newRow("kept") << "apply"
                          << "keep" << 1 << "The new settings are kept.";
    QTest::newRow("reverted now") << "apply"
                                  << "revert" << 1 << "The earlier settings are back.";
    QTest::newRow("countdown ran out") << "apply"
                                       << "expire" << 1 << "The earlier settings are back.";
    QTest::newRow("not shown again") << "dont-ask"
                                     << "keep" << 2 << "The new settings are kept.";
    QTest::newRow("countdown turned off") << "apply"
                                          << "off" << 1 << "Changes applied successfully";
}

void ModuleTest::reviewThenKeepOrRevert()
{
    QFETCH(QString, review);
    QFETCH(QString, ending);
    KConfigGroup settings(KSharedConfig::openConfig(QStringLiteral("kcm_sshsettingsrc")), QStringLiteral("Apply"));
    settings.writeEntry("RevertAfterSeconds", ending == QLatin1String("off") ? 0 : 60);
    QPointer<RevertCountdown> countdown;
    RevertCountdown::setTicker([&countdown](RevertCountdown *started) {
        countdown = started; // ticked by hand below
    });
    const auto noTicker = qScopeGuard([] {
        RevertCountdown::setTicker({});
    });
    const QString token = QStringLiteral("0123456789abcdef0123456789abcdef");
    m_helper->setHandler([&](const FakeActionRunner::Call &call) {
        if (call.argument(Arg::TransactionDryRun).toBool()) {
            return FakeActionRunner::success(
                {{Reply::FileDiffs, QVariantMap {{QStringLiteral("/etc/ssh/sshd_config"), QByteArray("-UseDNS no\n+UseDNS yes\n")}}},
                 {Reply::Restarts, true},
                 {Reply::Lockouts,
                  QVariantList {QVariantMap {{Reply::LockoutKind, QStringLiteral("access")}, {Reply::LockoutDetail, QStringLiteral("AllowUsers bob")}}}}});
        }
        if (call.keys().contains(Arg::TransactionChanges)) {
            return FakeActionRunner::success(call.keys().contains(Arg::TransactionRevertAfter) ? QVariantMap {{Reply::Token, token}} : QVariantMap());
        }
        return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
    });
    SSHModule page(nullptr, {});
    page.load();
    for (int round = 0; round < (review == QLatin1String("dont-ask") ? 2 : 1); ++round) {
        areaFor(page, Server, SSHOption::UseDNS)->findChild<QCheckBox *>()->click();
        ModalDriver driver;
        QString shown;
        if (round == 0) {
            driver.expect<ReviewDialog>([&](ReviewDialog *dialog) {
                shown = dialog->findChild<QPlainTextEdit *>()->toPlainText() + dialog->findChild<KMessageWidget *>()->text();
                dialog->findChild<QCheckBox *>(QStringLiteral("dontShowAgain"))->setChecked(review == QLatin1String("dont-ask"));
                review == QLatin1String("cancel") ? dialog->reject() : dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
            });
        }
        page.save();
        QCOMPARE(driver.unanswered(), 0);
        QVERIFY(driver.failures.isEmpty()); // no review the second time
        if (round == 0) {
            QVERIFY(shown.contains(QLatin1String("+UseDNS yes")));
            QVERIFY2(shown.contains(QStringLiteral("“AllowUsers bob” would refuse your user")), qPrintable(shown));
        }
        if (countdown) {
            countdown->tick();
            QCOMPARE(messageTexts(page).constFirst(), QStringLiteral("Keep these settings? They will be reverted in 59 seconds."));
        }
    }
    QFETCH(int, applies);
    QCOMPARE(applied(*m_helper).size(), applies);
    QCOMPARE(m_helper->callsWith(Arg::TransactionRevertAfter).size(), ending == QLatin1String("off") ? 0 : applies);
    if (ending == QLatin1String("off")) {
        QVERIFY(!countdown);
        QCOMPARE(messageTexts(page), QStringList {QStringLiteral("Changes applied successfully")});
        return;
    }
    if (ending.isEmpty()) {
        QVERIFY(!countdown);
        QVERIFY(areaFor(page, Server, SSHOption::UseDNS)->hasChanged());
        return;
    }
    const auto actions = page.messagesManager()->messages().constFirst()->actions();
    if (ending == QLatin1String("expire")) {
        for (int second = 1; second < 60; ++second) { // one second went by above
            countdown->tick();
        }
    } else {
        actions.value(ending == QLatin1String("keep") ? 0 : 1)->trigger();
    }
    QCOMPARE(m_helper->callsWith(Arg::ConfirmToken).size(), ending == QLatin1String("keep") ? 1 : 0);
    QCOMPARE(m_helper->callsWith(Arg::RevertToken).size(), ending == QLatin1String("keep") ? 0 : 1);
    QFETCH(QString, message);
    QCOMPARE(messageTexts(page), QStringList {message});
}

void ModuleTest::defaultsConfirmsFirst_data()
{
    QTest::addColumn<bool>("serverBackup");
    QTest::addColumn<bool>("clientBackup");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("restoredType"); // 0: nothing restored
    QTest::addColumn<bool>("fromBackup");
    QTest::addColumn<QString>("confirmation");
    const QString root = QStringLiteral("ROOT");
    // clang-format off
    QTest::newRow("no backup: system default") << false << false << QStringList {QStringLiteral("Restore")} << int(Server) << false
        << "ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept beside it, with the date and time in its name. The SSH server restarts afterwards.";
    QTest::newRow("no backup: declined") << false << false << QStringList {QString()} << 0 << false << QString();
    QTest::newRow("server backup") << true << false << QStringList {QStringLiteral("Latest working"), QStringLiteral("Restore")} << int(Server) << true
        << "ROOT/etc/ssh/sshd_config will be replaced by ROOT/etc/ssh/sshd_config.bak. The replaced file is kept beside it, with the date and time in its name. The SSH server restarts afterwards.";
    QTest::newRow("client backup, never a restart") << true << true << QStringList {QStringLiteral("Client"), QStringLiteral("Restore")} << int(Client) << true
        << "ROOT/etc/ssh/ssh_config will be replaced by ROOT/etc/ssh/ssh_config.bak. The replaced file is kept beside it, with the date and time in its name.";
    QTest::newRow("cancel the choice") << true << true << QStringList {QString()} << 0 << false << QString();
    // clang-format on
}

void ModuleTest::defaultsConfirmsFirst()
{
    QFETCH(bool, serverBackup);
    QFETCH(bool, clientBackup);
    QFETCH(QStringList, answers);
    QFETCH(int, restoredType);
    QFETCH(bool, fromBackup);
    QFETCH(QString, confirmation);
    QFile::remove(SSHPaths::serverBackup());
    QFile::remove(SSHPaths::clientBackup());
    if (serverBackup) {
        QFile(SSHPaths::serverBackup()).open(QIODevice::WriteOnly);
    }
    if (clientBackup) {
        QFile(SSHPaths::clientBackup()).open(QIODevice::WriteOnly);
    }
    SSHModule page(nullptr, {});
    page.load();
    m_helper->setHandler([this](const FakeActionRunner::Call &call) {
        if (call.keys().contains(Arg::RestoreType)) {
            return FakeActionRunner::success({{Reply::Previous, QStringLiteral("/etc/ssh/sshd_config.20261206-153000")}});
        }
        return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
    });
    ModalDriver answerer;
    for (const QString &answer : std::as_const(answers)) {
        answerer.answer(answer);
    }
    page.defaults();
    QCOMPARE(answerer.unanswered(), 0);
    const auto restores = m_helper->callsWith(Arg::RestoreType);
    if (!restoredType) {
        QVERIFY(restores.isEmpty());
        QVERIFY(messageTexts(page).isEmpty());
        return;
    }
    QCOMPARE(answerer.seenTexts.last(), QString(confirmation).replace(QStringLiteral("ROOT"), m_root.path()));
    QCOMPARE(restores.size(), 1);
    QCOMPARE(restores.at(0).argument(Arg::RestoreType).toInt(), restoredType);
    QCOMPARE(restores.at(0).argument(Arg::RestoreFromBackup).toBool(), fromBackup);
    QCOMPARE(serverCommands(*m_helper), restoredType == Server ? QStringList {QStringLiteral("restart")} : QStringList());
    QVERIFY(messageTexts(page).last().endsWith(QLatin1String("The replaced file is kept as /etc/ssh/sshd_config.20261206-153000.")));
    QVERIFY(!page.stateWidget()->isVisible());
}

void ModuleTest::failedReadsSayWhy_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("offersRestore");
    // clang-format off
    QTest::newRow("invalid configuration") << "the configuration is invalid: /etc/ssh/sshd_config line 4: Bad configuration option: Prot" << -1
        << "Failed to load the SSH server settings: the configuration is invalid: /etc/ssh/sshd_config line 4: Bad configuration option: Prot" << true;
    QTest::newRow("unreadable") << "cannot read /etc/ssh/sshd_config: permission denied" << -1
        << "Failed to load the SSH server settings: cannot read /etc/ssh/sshd_config: permission denied" << false;
    QTest::newRow("cancelled") << "" << 5 << "Failed to load the SSH server settings: the authorization was cancelled or denied. Nothing was read." << false;
    QTest::newRow("denied") << "" << 4 << "Failed to load the SSH server settings: the authorization was cancelled or denied. Nothing was read." << false;
    // clang-format on
}

void ModuleTest::failedReadsSayWhy()
{
    QFETCH(QString, reason);
    QFETCH(int, code);
    m_helper->setHandler([&](const FakeActionRunner::Call &call) {
        if (call.keys().contains(Arg::ReadKeywords) && call.argument(Arg::ReadType).toInt() == Server) {
            return FakeActionRunner::failure(reason, code);
        }
        return FakeActionRunner::success();
    });
    SSHModule page(nullptr, {});
    page.load();
    QTRY_COMPARE(page.messagesManager()->messages().size(), 1);
    KCMOS::MessageWidget *shown = page.messagesManager()->messages().constFirst();
    QFETCH(QString, message);
    QFETCH(bool, offersRestore);
    QVERIFY2(shown->text().startsWith(message), qPrintable(shown->text()));
    QCOMPARE(shown->text().contains(QLatin1String("<a href")), offersRestore);
    if (offersRestore) {
        ModalDriver answerer;
        answerer.answer(QString()); // the confirmation, declined
        Q_EMIT shown->linkActivated(QStringLiteral("restore"));
        QCOMPARE(answerer.seenTexts.size(), 1);
        QVERIFY(m_helper->callsWith(Arg::RestoreType).isEmpty());
    }
}

void ModuleTest::statusRowFollowsTheService()
{
    m_state.active = false;
    m_state.enabled = true;
    m_helper->setHandler([this](const FakeActionRunner::Call &call) {
        const QString command = call.argument(Arg::ServiceCommand).toString();
        if (command == QLatin1String("start")) {
            m_state.active = true;
        } else if (command == QLatin1String("stop")) {
            m_state.active = false;
        }
        return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
    });
    SSHModule page(nullptr, {});
    page.load();
    auto *status = page.widget()->findChild<QLabel *>(QStringLiteral("label"), Qt::FindDirectChildrenOnly);
    auto *stopPlay = page.widget()->findChild<QPushButton *>(QStringLiteral("sshStopPlay"));
    auto *warning = page.widget()->findChild<QToolButton *>(QStringLiteral("warningBtn"));
    QCOMPARE(status->text(), QStringLiteral("SSH server status switched off"));
    QCOMPARE(stopPlay->toolTip(), QStringLiteral("Launched SSH server"));
    QVERIFY(warning->isHidden());
    QVERIFY(!areaFor(page, Server, SSHOption::Port)->isEnabled());
    QVERIFY(areaFor(page, Client, SSHOption::ClientPort)->isEnabled());
    QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 1); // only the client was read

    stopPlay->click();
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("start")});
    // Starting reloads the values the running server uses.
    QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 3);
    QCOMPARE(status->text(), QStringLiteral("SSH server status launched"));
    QCOMPARE(stopPlay->toolTip(), QStringLiteral("Switched off SSH server"));
    QVERIFY(areaFor(page, Server, SSHOption::Port)->isEnabled());

    m_state.enabled = false;
    stopPlay->click();
    QCOMPARE(serverCommands(*m_helper).last(), QStringLiteral("stop"));
    QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 3); // stopping does not reload
    QVERIFY(!warning->isHidden());

    page.widget()->findChild<QPushButton *>(QStringLiteral("sshReload"))->click();
    QCOMPARE(serverCommands(*m_helper).last(), QStringLiteral("restart"));
}

QTEST_MAIN(ModuleTest)
#include "moduletest.moc"
