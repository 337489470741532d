// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"
#include "addpublickeydialog.h"
#include "addressfamilyarea.h"
#include "auditchecks.h"
#include "authorizedkeyspathdialog.h"
#include "conditionalarea.h"
#include "conditionalcriteria.h"
#include "editbannerdialog.h"
#include "fakeactionrunner.h"
#include "higchecks.h"
#include "kcmcompat.h"
#include "listenaddresseditdialog.h"
#include "messagesmanager.h"
#include "modaldriver.h"
#include "revertcountdown.h"
#include "reviewdialog.h"
#include "securityarea.h"
#include "serverstate.h"
#include "sshmodule.h"
#include "sshoption.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"
#include "statewidget.h"
#include "testfiles.h"
#include "usergroupentrydialog.h"

#include <KConfigGroup>
#include <KMessageBox>
#include <KSharedConfig>

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

namespace
{
/// A stand-in for the sshd service whose state the test sets.
struct FixedServiceState : ServerState::StateSource {
    bool active = true;
    bool enabled = true;
    bool isEnabled() const override
    {
        return enabled;
    }
    bool isActive() const override
    {
        return active;
    }
};

namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

QStringList serverCommands(const FakeActionRunner &helper)
{
    QStringList commands;
    const auto calls = helper.callsWith(Arg::ServiceCommand);
    for (const auto &call : calls) {
        // Only the service action serves them: one sent under another action shows as such.
        const bool service = call.action == SSHSettings::actionName(SSHSettings::ActionKind::Service);
        commands.append((service ? QString() : QStringLiteral("other action: ")) + call.argument(Arg::ServiceCommand).toString());
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

AbstractOptionArea *areaFor(SSHModule &page, SSHConfigurationTypeId type, const char *keyword)
{
    const auto areas = page.widget()->findChildren<AbstractOptionArea *>();
    for (AbstractOptionArea *area : areas) {
        if (area->option().type == type && area->option().keywords.contains(QLatin1String(keyword))) {
            return area;
        }
    }
    return nullptr;
}

// Picks a combo item the way a user does: activated() follows the choice.
void choose(QComboBox *combo, int index)
{
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

QList<KCMOS::MessageWidget *> countdownMessages(SSHModule &page)
{
    QList<KCMOS::MessageWidget *> found;
    const auto messages = page.messagesManager()->messages();
    for (KCMOS::MessageWidget *message : messages) {
        if (message->objectName() == QLatin1String("revertCountdown")) {
            found.append(message);
        }
    }
    return found;
}

// A transaction as "review|apply", its block operation, index and criteria (or its fixes, or host key operation), then its changes.
QString transactionSummary(const FakeActionRunner::Call &call)
{
    QStringList parts{call.argument(Arg::TransactionDryRun).toBool() ? QStringLiteral("review") : QStringLiteral("apply")};
    for (const QString &key : {QString(Arg::BlockOperation),
                               QString(Arg::BlockIndex),
                               QString(Arg::BlockCriteria),
                               QString(Arg::AuditFix),
                               QString(Arg::AuditFixAll),
                               QString(Arg::HostKeyOperation),
                               QString(Arg::HostKeyType),
                               QString(Arg::HostKeyBits),
                               QString(Arg::HostKeyFile)}) {
        if (call.keys().contains(key)) {
            const QVariant value = call.argument(key);
            parts.append(key == Arg::AuditFix          ? QStringLiteral("fix ") + value.toStringList().join(QLatin1Char(','))
                             : key == Arg::AuditFixAll ? QStringLiteral("fix all")
                                                       : value.toString());
        }
    }
    const QVariantMap changes = call.argument(Arg::TransactionChanges).toMap();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        parts.append(QString(it.key() + QLatin1Char('=') + it.value().toString()));
    }
    return parts.join(QLatin1Char(' '));
}

// Every transaction sent, as transactionSummary() gives it; one that names a reviewed base ends in " @" and the base.
QStringList sentTransactions(const FakeActionRunner &helper)
{
    QStringList sent;
    for (const auto &call : helper.callsWith(Arg::TransactionType)) {
        const QString base = call.argument(Arg::TransactionBase).toString();
        sent.append(transactionSummary(call) + (base.isEmpty() ? QString() : QStringLiteral(" @") + base));
    }
    return sent;
}

/// Loads @p page, then shows it at @p size.
bool loadAndShow(SSHModule &page, QSize size)
{
    page.load();
    if (!FakeActionRunner::settle()) {
        return false;
    }
    page.widget()->resize(size);
    page.widget()->show();
    return QTest::qWaitForWindowExposed(page.widget());
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

Q_DECLARE_METATYPE(std::function<QDialog *()>)

class ModuleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        SSHPaths::setRootForTesting(m_root.path());
        QDir().mkpath(m_root.filePath(QStringLiteral("etc/ssh")));
    }

    void init()
    {
        m_state = FixedServiceState();
        KMessageBox::enableMessage(ReviewDialog::DontAskAgainName);
        ServerState::setStateSourceForTesting(&m_state);
        m_serverValues = {
            {QStringLiteral("port"), QStringLiteral("2222")},
            {QStringLiteral("usedns"), QStringLiteral("no")},
            {QStringLiteral("authorizedkeysfile"), QStringList{m_root.filePath(QStringLiteral("none/authorized_keys"))}},
            {QStringLiteral("banner"), QStringLiteral("none")},
        };
        m_clientValues = {{QStringLiteral("port"), QStringLiteral("22")}};
        m_helper = std::make_unique<FakeActionRunner>();
        // A read, and an apply that asks for them, answer with the values; a dry run names what it read.
        m_answer = [this](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::ReadKeywords) || call.keys().contains(Arg::TransactionReadKeywords)) {
                const bool server = call.argument(call.keys().contains(Arg::ReadType) ? Arg::ReadType : Arg::TransactionType).toInt() == Server;
                QVariantMap values = server ? m_serverValues : m_clientValues;
                values.insert(Reply::Origins, values.value(Reply::Origins).toMap());
                if (call.argument(Arg::ReadKeywords).toStringList().contains(QLatin1String("Ciphers"))) {
                    values.insert(QStringLiteral("ciphers"), QStringLiteral("aes256-ctr")); // an algorithm list, when asked for
                }
                return FakeActionRunner::success(values);
            }
            return FakeActionRunner::success(call.argument(Arg::TransactionDryRun).toBool() ? QVariantMap{{Reply::Base, QStringLiteral("base-1")}}
                                                                                            : QVariantMap());
        };
        m_helper->setHandler(m_answer);
    }

    void cleanup()
    {
        m_helper.reset();
        ServerState::setStateSourceForTesting(nullptr);
        QFile::remove(SSHPaths::serverBackup());
        QFile::remove(SSHPaths::clientBackup());
    }

    void applyWritesOnlyChangedAreas()
    {
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QSignalSpy changed(&page, Compat::needsSaveChanged);
        QSignalSpy posted(page.messagesManager(), &KCMOS::MessagesManager::messagePosted);

        // Changed, then reset by the host: nothing is written.
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        areaFor(page, Server, "AddressFamily")->findChild<QComboBox *>()->setCurrentIndex(1);
        page.load();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(m_helper->callsWith(Arg::TransactionChanges).isEmpty());
        QVERIFY(serverCommands(*m_helper).isEmpty());
        QCOMPARE(posted.count(), 0);
        QVERIFY(!page.stateWidget()->isVisible());

        auto *clientPort = areaFor(page, Client, "Port");
        clientPort->findChild<QSpinBox *>()->setValue(2022);
        QVERIFY(Compat::needsSave(page, changed));
        QSignalSpy shown(&page, &SSHModule::valuesShown);
        const int reads = m_helper->callsWith(Arg::ReadKeywords).size();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(applied(*m_helper), (QList<QVariantMap>{{{QStringLiteral("Port"), QStringLiteral("2022")}}}));
        QVERIFY(m_helper->callsWith(Arg::TransactionDryRun).isEmpty()); // the client's change is not reviewed
        QVERIFY(m_helper->callsWith(Arg::TransactionRestart).isEmpty()); // and never restarts the server
        QVERIFY(!clientPort->hasChanged());
        // The answer carries the written configuration's values, which the page shows (the stand-in still says 22): no read follows.
        // The page's keywords first, then every other one, for "All settings"; the algorithm lists once it showed them.
        const QStringList readBack = m_helper->callsWith(Arg::TransactionChanges).last().argument(Arg::TransactionReadKeywords).toStringList();
        QCOMPARE(readBack.mid(0, 3), (QStringList{QStringLiteral("Port"), QStringLiteral("ServerAliveCountMax"), QStringLiteral("ServerAliveInterval")}));
        const auto &all = OptionCatalog::options(OptionCatalog::ConfigType::Client);
        QCOMPARE(readBack.size(), all.size() - std::count_if(all.cbegin(), all.cend(), [](const auto &option) {
                                      return option.kind == OptionCatalog::ValueKind::Algorithms;
                                  }));
        QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), reads);
        QCOMPARE(clientPort->value(), QVariant(22));
        QCOMPARE(shown.count(), 1);

        // Two server options: one reviewed transaction, which restarts sshd.
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        areaFor(page, Server, "X11Forwarding")->findChild<QCheckBox *>()->click();
        const int before = posted.count();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(applied(*m_helper).size(), 2);
        QCOMPARE(applied(*m_helper).last(), (QVariantMap{{QStringLiteral("UseDNS"), true}, {QStringLiteral("X11Forwarding"), true}}));
        QCOMPARE(m_helper->callsWith(Arg::TransactionDryRun).size(), 1);
        QVERIFY(m_helper->callsWith(Arg::TransactionChanges).last().argument(Arg::TransactionRestart).toBool());
        // Two round trips: the review, and the apply of what it reviewed, which answers with the values.
        QCOMPARE(m_helper->callsWith(Arg::TransactionChanges).last().argument(Arg::TransactionBase).toString(), QStringLiteral("base-1"));
        QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), reads);
        QCOMPARE(shown.count(), 2);
        QVERIFY(serverCommands(*m_helper).isEmpty());
        QCOMPARE(posted.count() - before, 1); // one success message per apply
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("The changes were applied.")});
    }

    void applyDuringApplyIsIgnored()
    {
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        int writes = 0;
        m_helper->setHandler([&](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::TransactionChanges) && ++writes == 1) {
                page.save(); // the host's Apply, pressed while the helper works
                page.defaults();
            }
            return FakeActionRunner::success();
        });
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        page.save();
        // While the helper works the page is busy, and neither Apply, Reset nor Defaults starts anything.
        QCOMPARE(page.stateWidget()->state(), KCMOS::Busy);
        page.load();
        QVERIFY(areaFor(page, Server, "UseDNS")->hasChanged());
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(page.stateWidget()->state(), KCMOS::Normal);
        QCOMPARE(writes, 2); // the review and the apply of the one Apply
        QVERIFY(m_helper->callsWith(Arg::RestoreType).isEmpty());
    }

    void refusalReasonsReachTheMessageArea()
    {
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        m_helper->setHandler([](const FakeActionRunner::Call &call) {
            if (call.argument(Arg::TransactionChanges).toMap().contains(QStringLiteral("UseDNS")) && !call.argument(Arg::TransactionDryRun).toBool()) {
                return FakeActionRunner::failure(QStringLiteral("another setting wins for UseDNS: set in /etc/ssh/sshd_config.d/50-cloud-init.conf"));
            }
            return FakeActionRunner::success();
        });
        auto *dns = areaFor(page, Server, "UseDNS");
        dns->findChild<QCheckBox *>()->click();
        auto *x11 = areaFor(page, Server, "X11Forwarding");
        x11->findChild<QCheckBox *>()->click();
        QSignalSpy changed(&page, Compat::needsSaveChanged);
        const QString refusal =
            QStringLiteral("The server settings were not applied: another setting wins for UseDNS: set in /etc/ssh/sshd_config.d/50-cloud-init.conf");
        for (int attempt = 0; attempt < 2; ++attempt) {
            page.save();
            QVERIFY(FakeActionRunner::settle());
            // One message for the transaction, replaced rather than stacked; all or nothing: both stay changed.
            QCOMPARE(messageTexts(page), QStringList{refusal});
            QVERIFY(dns->hasChanged() && x11->hasChanged());
        }
        QTRY_VERIFY(Compat::needsSave(page, changed));
        // A client change applied beside the refused server is read back; the server's stay changed.
        areaFor(page, Client, "Port")->findChild<QSpinBox *>()->setValue(2022);
        const int reads = m_helper->callsWith(Arg::ReadKeywords).size();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        const auto readsNow = m_helper->callsWith(Arg::ReadKeywords).mid(reads);
        QVERIFY(std::any_of(readsNow.cbegin(), readsNow.cend(), [](const FakeActionRunner::Call &call) {
            return call.argument(Arg::ReadType).toInt() == Client;
        }));
        QVERIFY(dns->hasChanged() && x11->hasChanged());
        QCOMPARE(messageTexts(page), (QStringList{refusal, QStringLiteral("The other changes were applied.")}));
        // The later success clears the stale error.
        m_helper->setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::success();
        });
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("The changes were applied.")});
        // Files changed by another hand since the review: nothing is written, and Review Again reviews anew.
        m_helper->setHandler([](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::TransactionChanges) && !call.argument(Arg::TransactionDryRun).toBool()) {
                return FakeActionRunner::failure(QString(SSHSettings::Protocol::ChangedSinceReview) + QStringLiteral(": /etc/ssh/sshd_config"));
            }
            return FakeActionRunner::success();
        });
        dns->findChild<QCheckBox *>()->click();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(dns->hasChanged());
        QCOMPARE(messageTexts(page).constLast(), QStringLiteral("The settings were not applied: the configuration changed since it was reviewed."));
        const int reviews = m_helper->callsWith(Arg::TransactionDryRun).size();
        page.messagesManager()->messages().constLast()->actions().constFirst()->trigger();
        QTRY_COMPARE(m_helper->callsWith(Arg::TransactionDryRun).size(), reviews + 1);
        QVERIFY(FakeActionRunner::settle());
    }

    // Each kind's editor shows what was read and writes what the keyword takes.
    void editorsByKind_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<int>("edit"); // clicks on a check box; the value of a spin box, the item of a combo box (-1: none)
        QTest::addColumn<QString>("shown"); // a check box's state, a spin box's text, a combo box's item
        QTest::addColumn<QVariantList>("written");
        const int server = Server;
        // A tri-state box (PermitRootLogin) cycles unchecked -> partially checked -> checked.
        // clang-format off
        QTest::newRow("keys only, untouched") << server << "PermitRootLogin" << "without-password" << 0 << "1" << QVariantList();
        QTest::newRow("keys only to yes") << server << "PermitRootLogin" << "without-password" << 1 << "1" << QVariantList{true};
        QTest::newRow("keys only to no") << server << "PermitRootLogin" << "without-password" << 2 << "1" << QVariantList{false};
        QTest::newRow("keys only, full circle") << server << "PermitRootLogin" << "without-password" << 3 << "1" << QVariantList();
        QTest::newRow("yes to keys only") << server << "PermitRootLogin" << "yes" << 2 << "2" << QVariantList{QStringLiteral("prohibit-password")};
        QTest::newRow("yes/no: a boolean") << server << "UseDNS" << "no" << 1 << "0" << QVariantList{true};
        QTest::newRow("choice: its own word") << server << "IgnoreRhosts" << "yes" << 1 << "2" << QVariantList{QStringLiteral("no")};
        QTest::newRow("choice, another word") << server << "IgnoreRhosts" << "shosts-only" << 1 << "0" << QVariantList{QStringLiteral("yes")};
        QTest::newRow("number as text") << server << "Port" << "2222" << 2022 << "2222" << QVariantList{QStringLiteral("2022")};
        QTest::newRow("several ports: the first edited, the others kept") << server << "Port" << "2222 22" << 2022 << "2222 and 22" << QVariantList{QStringLiteral("2022 22")};
        QTest::newRow("several ports, untouched") << server << "Port" << "2222 22 2200" << -1 << "2222 and 22, 2200" << QVariantList();
        QTest::newRow("seconds, 0 turns it off") << int(Client) << "ServerAliveInterval" << "0" << 30 << "Off" << QVariantList{QStringLiteral("30")};
        QTest::newRow("seconds, no limit") << server << "LoginGraceTime" << "90" << -1 << "90 s" << QVariantList();
        QTest::newRow("tunnel: its word") << server << "PermitTunnel" << "ethernet" << 2 << "Ethernet tunnels only" << QVariantList{QStringLiteral("point-to-point")};
        QTest::newRow("tunnel, unknown word") << server << "PermitTunnel" << "sometimes" << -1 << "Not allowed" << QVariantList(); // the item shown stays
        // clang-format on
    }

    void editorsByKind()
    {
        QFETCH(int, type);
        QFETCH(QString, keyword);
        QFETCH(QString, loaded);
        QFETCH(int, edit);
        (type == Server ? m_serverValues : m_clientValues)[keyword.toLower()] = loaded;
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        AbstractOptionArea *area = areaFor(page, SSHConfigurationTypeId(type), qPrintable(keyword));
        auto *box = area->findChild<QCheckBox *>();
        auto *spin = area->findChild<QSpinBox *>();
        auto *combo = area->findChild<QComboBox *>();
        QCOMPARE(box && box->isTristate(), keyword == QLatin1String("PermitRootLogin"));
        const auto *others = area->findChild<QLabel *>(QStringLiteral("otherPorts"));
        const QString spinText = spin ? spin->text() + (others && !others->isHidden() ? QLatin1Char(' ') + others->text() : QString()) : QString();
        QTEST(box ? QString::number(box->checkState()) : spin ? spinText : combo->currentText(), "shown");
        for (int i = 0; box && i < edit; ++i) {
            box->click();
        }
        if (spin && edit >= 0) {
            spin->setValue(edit);
        } else if (combo && edit >= 0) {
            choose(combo, edit);
        }
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QVariantList writes;
        for (const QVariantMap &changes : applied(*m_helper)) {
            writes.append(changes.value(keyword));
        }
        QTEST(writes, "written");
    }

    void reviewThenKeepOrRevert_data()
    {
        QTest::addColumn<QString>("review"); // apply, cancel, or apply and do not show again
        QTest::addColumn<QString>("ending"); // keep, revert (now), expire, or nothing
        QTest::addColumn<int>("applies");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("warns"); // the dry run predicts a lockout
        // clang-format off
        QTest::newRow("cancelled") << "cancel" << "" << 0 << "" << true;
        QTest::newRow("kept") << "apply" << "keep" << 1 << "The new settings are kept." << true;
        QTest::newRow("reverted now") << "apply" << "revert" << 1 << "The previous settings were restored." << true;
        QTest::newRow("countdown ran out") << "apply" << "expire" << 1 << "The previous settings were restored." << true;
        QTest::newRow("not shown again") << "dont-ask" << "keep" << 2 << "The new settings are kept." << false;
        QTest::newRow("a warning is shown all the same") << "dont-ask" << "keep" << 2 << "The new settings are kept." << true;
        QTest::newRow("countdown turned off") << "apply" << "off" << 1 << "The changes were applied." << true;
        // clang-format on
    }

    void reviewThenKeepOrRevert()
    {
        QFETCH(QString, review);
        QFETCH(QString, ending);
        QFETCH(bool, warns);
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
                    {{Reply::FileDiffs, QVariantMap{{QStringLiteral("/etc/ssh/sshd_config"), QByteArray("-UseDNS no\n+UseDNS yes\n")}}},
                     {Reply::Restarts, true},
                     {Reply::Lockouts,
                      warns
                          ? QVariantList{QVariantMap{{Reply::LockoutKind, QStringLiteral("access")}, {Reply::LockoutDetail, QStringLiteral("AllowUsers bob")}}}
                          : QVariantList()}});
            }
            if (call.keys().contains(Arg::TransactionChanges)) {
                return FakeActionRunner::success(call.keys().contains(Arg::TransactionRevertAfter) ? QVariantMap{{Reply::Token, token}} : QVariantMap());
            }
            return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
        });
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        for (int round = 0; round < (review == QLatin1String("dont-ask") ? 2 : 1); ++round) {
            areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
            ModalDriver driver;
            QString shown;
            QStringList summary;
            // "Do not show this again" never silences a lockout warning.
            if (round == 0 || warns) {
                driver.expect<ReviewDialog>([&](ReviewDialog *dialog) {
                    auto *warning = dialog->findChild<KMessageWidget *>();
                    shown = dialog->findChild<QPlainTextEdit *>()->toPlainText() + (warning ? warning->text() : QString());
                    // Above the diff, a row per changed keyword: its value now and after Apply, and its file.
                    const auto *changes = dialog->findChild<QTreeWidget *>(QStringLiteral("reviewChanges"));
                    for (int row = 0; row < changes->topLevelItemCount(); ++row) {
                        const QTreeWidgetItem *item = changes->topLevelItem(row);
                        summary.append(QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QLatin1Char('|')));
                    }
                    dialog->findChild<QCheckBox *>(QStringLiteral("dontShowAgain"))->setChecked(review == QLatin1String("dont-ask"));
                    review == QLatin1String("cancel") ? dialog->reject() : dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
                });
            }
            page.save();
            QVERIFY(FakeActionRunner::settle());
            QCOMPARE(driver.unanswered(), 0);
            QVERIFY(driver.failures.isEmpty()); // no review the second time, unless it warns
            if (round == 0) {
                QVERIFY(shown.contains(QLatin1String("+UseDNS yes")));
                QCOMPARE(summary, QStringList{QStringLiteral("UseDNS|no|yes|/etc/ssh/sshd_config")});
                QCOMPARE(shown.contains(QStringLiteral("“AllowUsers bob” would refuse your user")), warns);
            }
            if (countdown) {
                countdown->tick();
                QCOMPARE(messageTexts(page).constFirst(), QStringLiteral("Keep these settings? They will be reverted in 59 seconds."));
            }
        }
        QFETCH(int, applies);
        QCOMPARE(applied(*m_helper).size(), applies);
        QCOMPARE(m_helper->callsWith(Arg::TransactionRevertAfter).size(), ending == QLatin1String("off") ? 0 : applies);
        QFETCH(QString, message);
        if (!countdown) { // cancelled, or applied without a countdown
            QCOMPARE(messageTexts(page), message.isEmpty() ? QStringList() : QStringList{message});
            QCOMPARE(areaFor(page, Server, "UseDNS")->hasChanged(), ending.isEmpty());
            return;
        }
        if (ending == QLatin1String("expire")) {
            for (int second = 1; second < 60; ++second) { // one second went by above
                countdown->tick();
            }
            QVERIFY(FakeActionRunner::settle());
        } else {
            page.messagesManager()->messages().constFirst()->actions().value(ending == QLatin1String("keep") ? 0 : 1)->trigger();
            QVERIFY(FakeActionRunner::settle());
        }
        QCOMPARE(m_helper->callsWith(Arg::ConfirmToken).size(), ending == QLatin1String("keep") ? 1 : 0);
        QCOMPARE(m_helper->callsWith(Arg::RevertToken).size(), ending == QLatin1String("keep") ? 0 : 1);
        QCOMPARE(messageTexts(page), QStringList{message});
    }

    // One countdown for every armed change, never dropped; answers that are not the page's own change nothing it knows.
    void countdownSequences_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("kept"); // the changes (1 the first) whose tokens were confirmed, in order
        QTest::addColumn<QString>("reverted");
        QTest::addColumn<QString>("message"); // part of the messages shown at the end
        // clang-format off
        QTest::newRow("second apply joins the first") << "apply apply keep" << "2" << "" << "The new settings are kept.";
        QTest::newRow("helper's countdown was first") << "apply expire-late" << "" << "1" << "The previous settings were restored.";
        QTest::newRow("unknown change keeps the token") << "apply apply-untied keep" << "1" << "" << "The result of the change is not known; the settings shown were read again.";
        QTest::newRow("unknown first change") << "apply-untied" << "" << "" << "If it was written, it is undone after 60 seconds unless it is kept";
        QTest::newRow("unknown keep, asked again") << "apply keep-untied keep" << "1 1" << "" << "The new settings are kept.";
        QTest::newRow("sockets that do not answer") << "apply-unanswered close:Leave" << "" << "" << "sshd does not answer on 192.0.2.1 port 2222, ::1 port 2222.";
        QTest::newRow("joined changes made elsewhere") << "apply-joined close:Leave" << "" << "" << "Changes made elsewhere were waiting to be kept too";
        QTest::newRow("closing: keep") << "apply close:Keep" << "1" << "" << "The new settings are kept.";
        QTest::newRow("closing: revert") << "apply close:Revert" << "" << "1" << "The previous settings were restored.";
        QTest::newRow("closing: leave, asked once") << "apply close:Leave destroy" << "" << "" << "";
        QTest::newRow("page destroyed: keep") << "apply destroy:Keep" << "1" << "" << "";
        // clang-format on
    }

    void countdownSequences()
    {
        QFETCH(QString, steps);
        KMessageBox::saveDontShowAgainContinue(ReviewDialog::DontAskAgainName); // no warning below: no review
        KConfigGroup(KSharedConfig::openConfig(QStringLiteral("kcm_sshsettingsrc")), QStringLiteral("Apply")).writeEntry("RevertAfterSeconds", 60);
        QPointer<RevertCountdown> countdown;
        RevertCountdown::setTicker([&countdown](RevertCountdown *started) {
            countdown = started;
        });
        const auto noTicker = qScopeGuard([] {
            RevertCountdown::setTicker({});
        });
        const auto token = [](int change) {
            return QString(32, QLatin1Char('a' + change));
        };
        int applies = 0;
        QString untiedNext; // "apply" or "keep": that request is answered with another caller's denial
        bool revertFails = false;
        QStringList unanswered;
        m_helper->setHandler([&](const FakeActionRunner::Call &call) {
            const bool untied =
                !untiedNext.isEmpty() && call.keys().contains(untiedNext == QLatin1String("keep") ? Arg::ConfirmToken : Arg::TransactionRevertAfter);
            SSHSettings::ActionResult result = FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
            if (call.argument(Arg::TransactionDryRun).toBool()) {
                result = FakeActionRunner::success({{Reply::FileDiffs, QVariantMap{{QStringLiteral("/etc/ssh/sshd_config"), QByteArray("+UseDNS yes\n")}}}});
            } else if (call.keys().contains(Arg::TransactionRevertAfter)) {
                ++applies;
                result = FakeActionRunner::success({{Reply::Token, token(applies)},
                                                    {Reply::JoinedPending, applies > 1 || steps.startsWith(QLatin1String("apply-joined"))},
                                                    {Reply::Unanswered, unanswered}});
            } else if (call.keys().contains(Arg::RevertToken) && revertFails) {
                result = FakeActionRunner::failure(QStringLiteral("no change is waiting under %1: it was kept or reverted already").arg(token(1)));
            }
            if (untied) {
                untiedNext.clear();
                return FakeActionRunner::untied(FakeActionRunner::failure(QStringLiteral("authorization denied"), 4), token(9));
            }
            return result;
        });
        auto page = std::make_unique<SSHModule>(nullptr, Compat::ModuleArgs());
        page->load();
        QVERIFY(FakeActionRunner::settle());
        ModalDriver driver;
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            const QString name = step.section(QLatin1Char(':'), 0, 0);
            const QString answer = step.section(QLatin1Char(':'), 1);
            if (name.startsWith(QLatin1String("apply"))) {
                untiedNext = name == QLatin1String("apply-untied") ? QStringLiteral("apply") : QString();
                unanswered =
                    name == QLatin1String("apply-unanswered") ? QStringList{QStringLiteral("192.0.2.1 2222"), QStringLiteral("::1 2222")} : QStringList();
                if (countdown) {
                    countdown->tick();
                }
                auto *box = areaFor(*page, Server, "UseDNS")->findChild<QCheckBox *>();
                box->click();
                page->save();
                QVERIFY(FakeActionRunner::settle());
                QVERIFY(!areaFor(*page, Server, "UseDNS")->hasChanged()); // written, or read again: nothing pending
                const auto shown = countdownMessages(*page);
                QCOMPARE(shown.size(), countdown ? 1 : 0);
                if (countdown) { // one message, restarted at the full time (not by a change of unknown outcome), that cannot be closed
                    const QString left = name == QLatin1String("apply-untied") ? QStringLiteral("59") : QStringLiteral("60");
                    QVERIFY2(shown.first()->text().startsWith(QStringLiteral("Keep these settings? They will be reverted in %1 seconds.").arg(left)),
                             qPrintable(shown.first()->text()));
                    QVERIFY(!shown.first()->isCloseButtonVisible());
                }
            } else if (name.startsWith(QLatin1String("keep")) || name == QLatin1String("revert")) {
                untiedNext = name == QLatin1String("keep-untied") ? QStringLiteral("keep") : QString();
                countdownMessages(*page).value(0)->actions().value(name == QLatin1String("revert"))->trigger();
                QVERIFY(FakeActionRunner::settle());
            } else if (name == QLatin1String("expire-late")) {
                revertFails = true; // the helper's own countdown has already put the files back
                while (countdown && countdown->remaining() > 0) {
                    countdown->tick();
                }
                QVERIFY(FakeActionRunner::settle());
            } else if (name == QLatin1String("close") || name == QLatin1String("destroy")) {
                driver.answer(answer); // with no answer, no question may come
                name == QLatin1String("close") ? void(page->widget()->window()->close()) : page.reset();
                QVERIFY(FakeActionRunner::settle());
                QCOMPARE(driver.unanswered(), answer.isEmpty() ? 1 : 0);
                QVERIFY(driver.failures.isEmpty());
            }
        }
        // The question on closing offers Keep, Revert or Leave, Leave first.
        QCOMPARE(driver.seenDefaults, steps.contains(QLatin1Char(':')) ? QStringList{QStringLiteral("Leave the Countdown Running")} : QStringList());
        const auto confirmed = [&](const QString &key) {
            QStringList changes;
            for (const auto &call : m_helper->callsWith(key)) {
                changes.append(QString::number(call.argument(key).toString().at(0).unicode() - 'a'));
            }
            return changes.join(QLatin1Char(' '));
        };
        QTEST(confirmed(Arg::ConfirmToken), "kept");
        QTEST(confirmed(Arg::RevertToken), "reverted");
        QFETCH(QString, message);
        if (page) {
            QVERIFY2(messageTexts(*page).join(QLatin1Char('|')).contains(message), qPrintable(messageTexts(*page).join(QLatin1Char('|'))));
            QVERIFY(!messageTexts(*page).join(QString()).contains(token(1))); // never a raw token
        }
    }

    void defaultsConfirmsFirst_data()
    {
        QTest::addColumn<bool>("serverBackup");
        QTest::addColumn<bool>("clientBackup");
        QTest::addColumn<bool>("clientPage");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("firstDefault"); // the focused button of the first question
        QTest::addColumn<int>("restoredType"); // 0: nothing restored
        QTest::addColumn<bool>("fromBackup");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("refusal"); // the helper's, if it refuses the restore
        // clang-format off
        QTest::newRow("no backup: system default") << false << false << false << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Server) << false
            << "<p>ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept. The SSH server restarts afterwards.</p>" << QString();
        QTest::newRow("no backup: declined") << false << false << false << QStringList {QString()} << "Cancel" << 0 << false << QString() << QString();
        QTest::newRow("server backup") << true << true << false << QStringList {QStringLiteral("Last Working"), QStringLiteral("Restore")} << "Last Working Settings" << int(Server) << true
            << "<p>The files of the last working configuration are put back as they were saved then: ROOT/etc/ssh/sshd_config and the files it included; files added since stay as they are. The files replaced are kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept. The SSH server restarts afterwards.</p>" << QString();
        QTest::newRow("client page, never a restart") << true << true << true << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Client) << true
            << "<p>The files of the last working configuration are put back as they were saved then: ROOT/etc/ssh/ssh_config and the files it included; files added since stay as they are. The files replaced are kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept.</p>" << QString();
        QTest::newRow("cancel the choice") << true << true << false << QStringList {QString()} << "Last Working Settings" << 0 << false << QString() << QString();
        QTest::newRow("client page without a copy") << true << false << true << QStringList() << QString() << 0 << false << QString() << QString();
        QTest::newRow("stopped server: no restart") << false << false << false << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Server) << false
            << "<p>ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept.</p>" << QString();
        QTest::newRow("helper refuses: no restart") << false << false << false << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Server) << false
            << "<p>ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept. The SSH server restarts afterwards.</p>" << "sshd -t refuses the file";
        // The distribution's default reads the drop-ins, which a restore leaves: what they set is named, as sshd reads it
        // (the first global value; a Match block's is not), the default's relative Include resolved where sshd_config is.
        QTest::newRow("drop-ins stay in force") << false << false << false << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Server) << false
            << "<p>ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept. The SSH server restarts afterwards.</p>"
               "<p>The default settings also read files that are not replaced: what they set stays in force.</p><ul><li>LOGIN stays 120 s (sshd_config.d/50-site.conf, line 2)</li><li>Compression stays no (sshd_config.d/60-more.conf, line 2)</li></ul>" << QString();
        QTest::newRow("drop-ins the default does not read") << false << false << false << QStringList {QStringLiteral("Restore")} << "Cancel" << int(Server) << false
            << "<p>ROOT/etc/ssh/sshd_config will be replaced by ROOT/usr/share/openssh/sshd_config. The replaced file is kept in ROOT/var/backups/ssh-settings, in a folder named after the date and time; the five newest of these folders are kept. The SSH server restarts afterwards.</p>" << QString();
        // clang-format on
    }

    void defaultsConfirmsFirst()
    {
        QFETCH(bool, serverBackup);
        QFETCH(bool, clientBackup);
        QFETCH(bool, clientPage);
        QFETCH(QStringList, answers);
        QFETCH(int, restoredType);
        QFETCH(bool, fromBackup);
        QFETCH(QString, confirmation);
        for (const auto &[exists, path] : {std::pair{serverBackup, SSHPaths::serverBackup()}, std::pair{clientBackup, SSHPaths::clientBackup()}}) {
            QVERIFY(exists ? TestFiles::write(path, {}) : !QFile::exists(path) || QFile::remove(path));
        }
        const QByteArray tag = QTest::currentDataTag();
        const QString dropInFolder = SSHPaths::serverConfig() + QStringLiteral(".d");
        QDir(dropInFolder).removeRecursively();
        if (tag.startsWith("drop-ins")) {
            QVERIFY(TestFiles::write(SSHPaths::serverDistributionDefault(),
                                     tag == "drop-ins stay in force" ? "Include sshd_config.d/*.conf\nPort 22\n" : "Port 22\n"));
            QVERIFY(TestFiles::write(dropInFolder + QStringLiteral("/50-site.conf"), "# site\nLoginGraceTime 120\nMatch User bob\n  Compression yes\n"));
            QVERIFY(TestFiles::write(dropInFolder + QStringLiteral("/60-more.conf"), "logingracetime 60\nCompression no\n"));
        }
        m_state.active = QByteArray(QTest::currentDataTag()) != "stopped server: no restart";
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(clientPage ? 1 : 0);
        QFETCH(QString, refusal);
        m_helper->setHandler([this, refusal](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::RestoreType)) {
                return refusal.isEmpty()
                    ? FakeActionRunner::success({{Reply::Previous, QStringLiteral("/var/backups/ssh-settings/server-replaced-20261206-153000.000")}})
                    : FakeActionRunner::failure(refusal);
            }
            return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
        });
        ModalDriver answerer;
        for (const QString &answer : std::as_const(answers)) {
            answerer.answer(answer);
        }
        page.defaults();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(answerer.unanswered(), 0);
        QFETCH(QString, firstDefault);
        QCOMPARE(answerer.seenDefaults.value(0), firstDefault);
        const auto restores = m_helper->callsWith(Arg::RestoreType);
        if (!restoredType) {
            QVERIFY(restores.isEmpty());
            return;
        }
        // Paths are never broken across lines; the rest is the text read.
        const QString shown = QString(answerer.seenTexts.last()).remove(QStringLiteral("<nobr>")).remove(QStringLiteral("</nobr>"));
        const QString displayName = SSHOption::pageOption(Server, QStringLiteral("LoginGraceTime")).displayName;
        QCOMPARE(shown, QString(confirmation).replace(QStringLiteral("ROOT"), m_root.path()).replace(QStringLiteral("LOGIN"), displayName));
        QDir(dropInFolder).removeRecursively();
        QCOMPARE(restores.size(), 1);
        QCOMPARE(restores.at(0).action, SSHSettings::actionName(SSHSettings::ActionKind::Restore));
        QCOMPARE(restores.at(0).argument(Arg::RestoreType).toInt(), restoredType);
        QCOMPARE(restores.at(0).argument(Arg::RestoreFromBackup).toBool(), fromBackup);
        QCoreApplication::processEvents(); // a queued error of the manager would show now
        if (!refusal.isEmpty()) {
            QCOMPARE(messageTexts(page), QStringList{QStringLiteral("The configuration was not restored: ") + refusal});
            QVERIFY(serverCommands(*m_helper).isEmpty());
            return;
        }
        QCOMPARE(serverCommands(*m_helper), restoredType == Server && m_state.active ? QStringList{QStringLiteral("restart")} : QStringList());
        QVERIFY(messageTexts(page)
                    .join(QLatin1Char('|'))
                    .contains(QLatin1String("What was replaced is kept in /var/backups/ssh-settings/server-replaced-20261206-153000.000.")));
        QVERIFY(!page.stateWidget()->isVisible());
    }

    void failedReadsSayWhy_data()
    {
        QTest::addColumn<int>("type"); // the configuration whose read fails
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("offersRestore");
        QTest::addColumn<QString>("serverFile"); // the sshd_config everyone may read; none when empty
        // clang-format off
        QTest::newRow("invalid configuration") << int(Server) << "the configuration is invalid: /etc/ssh/sshd_config line 4: Bad configuration option: Prot" << -1
            << "Failed to load the SSH server settings: the configuration is invalid: /etc/ssh/sshd_config line 4: Bad configuration option: Prot" << true << "";
        QTest::newRow("client invalid") << int(Client) << "the configuration is invalid: /etc/ssh/ssh_config line 2: Bad configuration option: Hots" << -1
            << "Failed to load the SSH client settings: the configuration is invalid" << true << "";
        QTest::newRow("unreadable") << int(Server) << "cannot read /etc/ssh/sshd_config: permission denied" << -1
            << "Failed to load the SSH server settings: cannot read /etc/ssh/sshd_config: permission denied" << false << "";
        QTest::newRow("client unreadable") << int(Client) << "cannot read /etc/ssh/ssh_config" << -1 << "Failed to load the SSH client settings: cannot read /etc/ssh/ssh_config" << false << "";
        QTest::newRow("cancelled") << int(Server) << "" << 5 << "Administrator rights are needed to read and change the SSH settings." << false << "";
        QTest::newRow("denied") << int(Server) << "" << 4 << "Administrator rights are needed to read and change the SSH settings." << false << "";
        QTest::newRow("denied, the files shown") << int(Server) << "" << 4 << "These are the values of the configuration files that everyone may read; the SSH server may use other values." << false << "Port 2200\nUseDNS yes\n";
        QTest::newRow("no answer in time") << int(Server) << "" << -2 << "Failed to load the SSH server settings: The administrative helper did not answer within 5 minutes." << false << "";
        // clang-format on
    }

    void failedReadsSayWhy()
    {
        QFETCH(int, type);
        QFETCH(QString, reason);
        QFETCH(int, code);
        m_helper->setHandler([&](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::ReadKeywords) && call.argument(Arg::ReadType).toInt() == type && code != 0) {
                return code == -2 ? FakeActionRunner::timedOut() : FakeActionRunner::failure(reason, code);
            }
            return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
        });
        QFETCH(QString, serverFile);
        QFile file(SSHPaths::serverConfig());
        auto removeFile = qScopeGuard([&file] {
            file.remove();
        });
        if (!serverFile.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(serverFile.toUtf8()) > 0);
            file.close();
        }
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QTRY_COMPARE(page.messagesManager()->messages().size(), 1);
        KCMOS::MessageWidget *shown = page.messagesManager()->messages().constFirst();
        QFETCH(QString, message);
        QFETCH(bool, offersRestore);
        QVERIFY2(shown->text().startsWith(message), qPrintable(shown->text()));
        QCOMPARE(shown->text().contains(QLatin1String("<a href")), offersRestore);
        page.load(); // Reset: what the message says still holds
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(page.messagesManager()->messages(), QList<KCMOS::MessageWidget *>{shown});
        // Without administrator rights nothing is shown as if it had been read, and Retry asks again.
        // Without them, what the files everyone may read set is shown read-only; Stop, Restart, Defaults and Apply are disabled.
        const bool refused = code > 0;
        const auto areas = page.widget()->findChildren<AbstractOptionArea *>();
        for (AbstractOptionArea *area : areas) {
            QCOMPARE(area->isEnabled(), !refused);
            QCOMPARE(!area->isHidden(), !refused || !serverFile.isEmpty());
        }
        QCOMPARE(page.widget()->findChild<QPushButton *>(QStringLiteral("sshStopPlay"))->isEnabled(), !refused);
        if (!serverFile.isEmpty()) {
            QCOMPARE(areaFor(page, Server, "Port")->value(), QVariant(2200));
            QCOMPARE(areaFor(page, Server, "UseDNS")->value(), QVariant(true));
            QCOMPARE(areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->isChecked(), true);
        }
        // Every failure but a broken configuration (which offers a restore) offers Retry.
        QCOMPARE(shown->actions().size(), offersRestore ? 0 : 1);
        if (!offersRestore) {
            if (refused) {
                page.defaults(); // no restore offered: no dialog opens
            }
            code = 0;
            QSignalSpy shownAgain(&page, &SSHModule::valuesShown);
            shown->actions().constFirst()->trigger();
            QVERIFY(shownAgain.wait());
            QVERIFY(page.messagesManager()->messages().isEmpty());
            QCOMPARE(areaFor(page, Server, "Port")->value(), QVariant(2222));
            QVERIFY(areaFor(page, Server, "Port")->isEnabled() && !areaFor(page, Server, "Port")->isHidden());
        }
        if (offersRestore) {
            ModalDriver answerer;
            answerer.answer(QString()); // the confirmation, declined
            Q_EMIT shown->linkActivated(QStringLiteral("restore"));
            QCOMPARE(page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->currentIndex(), type == Client ? 1 : 0);
            QCOMPARE(answerer.seenTexts.size(), type == Server ? 1 : 0); // the client has no saved copy here
            QVERIFY(m_helper->callsWith(Arg::RestoreType).isEmpty());
        }
    }

    void statusRowFollowsTheService()
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
        QVERIFY(FakeActionRunner::settle());
        auto *status = page.widget()->findChild<QLabel *>(QStringLiteral("label"), Qt::FindDirectChildrenOnly);
        auto *stopPlay = page.widget()->findChild<QPushButton *>(QStringLiteral("sshStopPlay"));
        auto *warning = page.widget()->findChild<QToolButton *>(QStringLiteral("warningBtn"));
        auto *restart = page.widget()->findChild<QPushButton *>(QStringLiteral("sshReload"));
        QCOMPARE(status->text(), QStringLiteral("SSH server: Stopped"));
        QCOMPARE(stopPlay->toolTip(), QStringLiteral("Start the SSH server"));
        QVERIFY(warning->isHidden());
        QVERIFY(!restart->isEnabled());
        // A stopped server's settings are read and stay editable, with a note saying when they take effect.
        QVERIFY(areaFor(page, Server, "Port")->isEnabled());
        QCOMPARE(areaFor(page, Server, "Port")->value(), QVariant(2222));
        QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 2);
        QTRY_VERIFY(messageTexts(page).join(QString()).contains(QLatin1String("take effect when it starts")));

        stopPlay->click();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(serverCommands(*m_helper), QStringList{QStringLiteral("start")});
        // Starting reloads the values the running server uses.
        QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 4);
        QCOMPARE(status->text(), QStringLiteral("SSH server: Running"));
        QCOMPARE(stopPlay->toolTip(), QStringLiteral("Stop the SSH server"));
        QVERIFY(restart->isEnabled());
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("The SSH server (sshd) was started: it is running.")});

        // Stopping asks first, Cancel being the default; inside an SSH session it says that this includes the caller.
        m_state.enabled = false;
        for (const QString &session : {QString(), QStringLiteral("192.0.2.7 50000 192.0.2.1 22")}) {
            qputenv("SSH_CONNECTION", session.toLatin1());
            ModalDriver driver;
            driver.answer(session.isEmpty() ? QStringLiteral("Cancel") : QStringLiteral("Stop"));
            stopPlay->click();
            QVERIFY(FakeActionRunner::settle());
            QCOMPARE(driver.seenDefaults, QStringList{QStringLiteral("Cancel")});
            QVERIFY(driver.seenTexts.value(0).contains(QLatin1String("No new SSH login to this computer is possible while it is stopped.")));
            QCOMPARE(driver.seenTexts.value(0).contains(QLatin1String("This includes you")), !session.isEmpty());
            QCOMPARE(serverCommands(*m_helper).size(), session.isEmpty() ? 1 : 2);
        }
        qunsetenv("SSH_CONNECTION");
        QCOMPARE(serverCommands(*m_helper).last(), QStringLiteral("stop"));
        QCOMPARE(m_helper->callsWith(Arg::ReadKeywords).size(), 4); // stopping does not reload
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("The SSH server (sshd) was stopped: no new SSH login is possible until it is started.")});
        QVERIFY(!warning->isHidden());
        QVERIFY(!restart->isEnabled());
    }

    void allSettingsGoIntoTheSameApply()
    {
        m_serverValues.insert(QStringLiteral("maxauthtries"), QStringLiteral("3"));
        m_serverValues.insert(QStringLiteral("permituserenvironment"), QStringLiteral("yes"));
        m_serverValues[Reply::Origins] =
            QVariantMap{{QStringLiteral("permituserenvironment"),
                         QVariantMap{{Reply::OriginFile, QStringLiteral("/etc/ssh/sshd_config")}, {Reply::OriginLine, 7}, {Reply::OriginMainFile, true}}}};
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QSignalSpy changed(&page, Compat::needsSaveChanged);
        auto *allSettings = page.widget()->findChild<QWidget *>(QStringLiteral("allSettingsTab"));
        auto *view = allSettings->findChild<QTreeView *>(QStringLiteral("allSettingsView"));
        // Searched, then edited as its kind: a number.
        allSettings->findChild<QLineEdit *>(QStringLiteral("allSettingsSearch"))->setText(QStringLiteral("authtries"));
        QCOMPARE(view->model()->rowCount(), 1);
        view->setCurrentIndex(view->model()->index(0, 0));
        allSettings->findChild<QSpinBox *>(QStringLiteral("allSettingsNumber"))->setValue(4);
        QVERIFY(Compat::needsSave(page, changed));
        // Reset to default removes the lines of a keyword a file sets.
        allSettings->findChild<QLineEdit *>(QStringLiteral("allSettingsSearch"))->setText(QStringLiteral("PermitUserEnvironment"));
        view->setCurrentIndex(view->model()->index(0, 0));
        allSettings->findChild<QPushButton *>(QStringLiteral("allSettingsReset"))->click();
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        // One transaction, reviewed and written, with the page's change and those of "All settings".
        const QVariantMap expected{{QStringLiteral("UseDNS"), true},
                                   {QStringLiteral("MaxAuthTries"), 4},
                                   {QStringLiteral("PermitUserEnvironment"), QStringList()}};
        QCOMPARE(applied(*m_helper), QList<QVariantMap>{expected});
        QCOMPARE(m_helper->callsWith(Arg::TransactionDryRun).size(), 1);
        QVERIFY(!Compat::needsSave(page, changed));
    }

    void algorithmListsReadWhenShown_data()
    {
        QTest::addColumn<QString>("shown"); // a tab of the server's page, or the client's page
        QTest::addColumn<int>("type"); // whose lists are read; -1: none
        QTest::newRow("general tab: none") << "generalTab" << -1;
        QTest::newRow("all settings") << "allSettingsTab" << int(Server);
        QTest::newRow("conditional settings") << "conditionalTab" << int(Server);
        QTest::newRow("client page") << "clientPage" << int(Client);
    }

    void algorithmListsReadWhenShown()
    {
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        const auto listsRead = [this] {
            QList<int> types;
            for (const auto &call : m_helper->callsWith(Arg::ReadKeywords)) {
                if (call.argument(Arg::ReadKeywords).toStringList().contains(QLatin1String("Ciphers"))) {
                    types.append(call.argument(Arg::ReadType).toInt());
                }
            }
            return types;
        };
        QCOMPARE(listsRead(), QList<int>()); // the page opens without them
        QFETCH(QString, shown);
        auto *pages = page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"));
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        for (int time = 0; time < 2; ++time) {
            pages->setCurrentIndex(0);
            tabs->setCurrentIndex(0);
            shown == QLatin1String("clientPage") ? pages->setCurrentIndex(1) : tabs->setCurrentWidget(page.widget()->findChild<QWidget *>(shown));
            QVERIFY(FakeActionRunner::settle());
        }
        QFETCH(int, type);
        QCOMPARE(listsRead(), type < 0 ? QList<int>() : QList<int>{type}); // once, however often shown
        // "All settings" of that configuration lists them.
        for (AbstractOptionArea *area : page.widget()->findChildren<AbstractOptionArea *>()) {
            if (area->option().tab == PageTab::AllSettings) {
                area->findChild<QLineEdit *>(QStringLiteral("allSettingsSearch"))->setText(QStringLiteral("Ciphers"));
                const QAbstractItemModel *rows = area->findChild<QTreeView *>(QStringLiteral("allSettingsView"))->model();
                QCOMPARE(rows->match(rows->index(0, 0), Qt::DisplayRole, QStringLiteral("Ciphers"), -1, Qt::MatchExactly).size(),
                         area->option().type == type ? 1 : 0);
            }
        }
    }

    void unreadableJournalIsSaidOnce()
    {
        m_helper->setHandler([this](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::JournalArguments)) {
                return FakeActionRunner::failure(QStringLiteral("journalctl: no access"));
            }
            return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) ? m_serverValues : QVariantMap());
        });
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QSignalSpy posted(page.messagesManager(), &KCMOS::MessagesManager::messagePosted);
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        for (int round = 0; round < 3; ++round) { // each visit reads the journal again
            tabs->setCurrentWidget(page.widget()->findChild<QWidget *>(QStringLiteral("connectionsTab")));
            tabs->setCurrentIndex(0);
        }
        QTRY_COMPARE(posted.count(), 1);
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("Connections cannot be shown: the system journal could not be read (journalctl: no access).")});
    }

    void tabOrderFollowsTheScreen()
    {
        SSHModule page(nullptr, {});
        QVERIFY(loadAndShow(page, QSize(1280, 900)));
        // Closed panels keep what they hold out of the focus chain; open ones join it in place.
        QList<QWidget *> panels;
        for (QWidget *box : page.widget()->findChildren<QWidget *>(QStringLiteral("groupBox"))) {
            if (box->parentWidget()->objectName() != QLatin1String("clientScrollContents")) { // not the client page's frame
                panels.append(box);
            }
        }
        QCOMPARE(panels.size(), 3);
        for (QWidget *panel : panels) {
            QVERIFY(!panel->isVisibleTo(page.widget()));
        }
        for (auto *button : page.widget()->findChildren<QToolButton *>(QStringLiteral("showButton"))) {
            button->click();
        }
        for (QWidget *panel : panels) {
            QTRY_VERIFY(!panel->isHidden() && panel->maximumHeight() == QWIDGETSIZE_MAX);
        }
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        // The content's Alt letters are none of the host's buttons', the tabs' or the configuration's.
        QString frameLetters = HigChecks::HostMnemonics + HigChecks::mnemonic(page.widget()->findChild<QLabel *>(QStringLiteral("label_2"))->text());
        for (int i = 0; i < tabs->count(); ++i) {
            frameLetters.append(HigChecks::mnemonic(tabs->tabText(i)));
        }
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QVERIFY(FakeActionRunner::settle()); // the security check is read when shown
            QCOMPARE(HigChecks::focusOutOfOrder(page.widget(), tabs->currentWidget()), QString());
            QCOMPARE(HigChecks::invisibleFocusStops(page.widget()), QStringList());
            QCOMPARE(HigChecks::labelsWithoutBuddy(tabs->currentWidget()), QStringList());
            QCOMPARE(HigChecks::mnemonicsTaken(tabs->currentWidget(), frameLetters), QStringList());
            QCOMPARE(HigChecks::unnamedFocusStops(page.widget()).join(QLatin1Char(',')), QString());
            // Tab goes from the status row to the configuration, the tab bar, then into the tab.
            const QList<QWidget *> chain = HigChecks::focusChain(page.widget());
            const QStringList frame{QStringLiteral("sshStopPlay"),
                                    QStringLiteral("sshReload"),
                                    QStringLiteral("comboBoxSshConfig"),
                                    QStringLiteral("serverTabBar")};
            QStringList first;
            for (int i = 0; i < frame.size(); ++i) {
                first.append(chain.value(i)->objectName());
            }
            QCOMPARE(first, frame);
            QVERIFY(tabs->currentWidget()->isAncestorOf(chain.value(frame.size())));
        }
        // No Alt shortcut of the frame takes one of the host's buttons.
        QCOMPARE(HigChecks::mnemonicsTaken(tabs->tabBar()), QStringList());
        const QChar configuration = HigChecks::mnemonic(page.widget()->findChild<QLabel *>(QStringLiteral("label_2"))->text());
        QVERIFY(!configuration.isNull() && !HigChecks::HostMnemonics.contains(configuration));

        page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(1);
        QCoreApplication::processEvents();
        QCOMPARE(HigChecks::focusOutOfOrder(page.widget(), page.widget()->findChild<QWidget *>(QStringLiteral("clientPage"))), QString());
        QCOMPARE(HigChecks::mnemonicsTaken(page.widget()->findChild<QWidget *>(QStringLiteral("clientPage")), frameLetters), QStringList());
        QCOMPARE(HigChecks::unnamedFocusStops(page.widget()).join(QLatin1Char(',')), QString());
        QCOMPARE(HigChecks::mutedButtons(page.widget()).join(QLatin1Char(',')), QString());
        // Every label of a field names it (an Alt shortcut where a letter is free: the host and the tabs take 14 of
        // 26); every option explains itself in a tool tip.
        for (QLabel *label : page.widget()->findChildren<QLabel *>()) {
            if (label->objectName() == QLatin1String("label") && qobject_cast<AbstractOptionArea *>(label->parentWidget())) {
                QVERIFY2(label->buddy(), qPrintable(label->text()));
            }
        }
        for (AbstractOptionArea *area : page.widget()->findChildren<AbstractOptionArea *>()) {
            if (area->option().tab == PageTab::AllSettings) {
                continue; // each keyword's description is in a column of its own
            }
            const auto parts = area->findChildren<QWidget *>() << area;
            QVERIFY2(std::any_of(parts.cbegin(),
                                 parts.cend(),
                                 [area](QWidget *part) {
                                     return !part->toolTip().isEmpty() && part->toolTip() == area->option().description;
                                 }),
                     qPrintable(area->option().keyword()));
        }
    }

    void messagesStayInPlace()
    {
        SSHModule page(nullptr, {});
        QVERIFY(loadAndShow(page, QSize(606, 514)));
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        KCMOS::MessagesManager *area = page.messagesManager();
        const QString longText = QStringLiteral("A message long enough to wrap over several lines at the smallest size of the page. ").repeated(2);
        int firstTop = -1;
        for (int i = 0; i < 6; ++i) {
            area->newMessage(i % 2 ? longText : QStringLiteral("Message %1.").arg(i), KCMOS::Information);
            QCoreApplication::processEvents();
            // A bounded height: once the area is full, the page below stays where it is.
            QVERIFY2(area->height() <= area->maximumAreaHeight() && area->maximumAreaHeight() <= 514 / 3, qPrintable(QString::number(area->height())));
            const int top = tabs->mapTo(page.widget(), QPoint()).y();
            if (area->height() == area->maximumAreaHeight()) {
                firstTop = firstTop < 0 ? top : firstTop;
                QCOMPARE(top, firstTop);
            }
        }
        QVERIFY(firstTop > 0);
        // The newest on top, seen whole with its buttons.
        const auto shown = area->messages();
        QVERIFY(shown.constLast()->y() < shown.constFirst()->y());
        QCOMPARE(shown.constLast()->visibleRegion().boundingRect().size(), shown.constLast()->size());
        // Reset clears what has gone stale; what still holds stays.
        KCMOS::MessageWidget *held = area->newMessage(QStringLiteral("It still holds."), KCMOS::Warning);
        held->setSticky(true);
        // Its buttons keep their icons when they have the focus or the mouse (the style draws them Selected, Active).
        QPixmap square(16, 16);
        square.fill(Qt::darkBlue);
        held->addAction(new QAction(QIcon(square), QStringLiteral("Act"), held));
        int icons = 0;
        for (QToolButton *button : held->findChildren<QToolButton *>()) {
            for (const QIcon::Mode mode : {QIcon::Active, QIcon::Selected}) {
                icons += !button->icon().isNull();
                QCOMPARE(button->icon().pixmap(16, mode).toImage(), button->icon().pixmap(16, QIcon::Normal).toImage());
            }
        }
        QVERIFY(icons >= 2);
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(messageTexts(page), QStringList{QStringLiteral("It still holds.")});
        // So does an Apply that wrote something; its own errors stay.
        area->newMessage(QStringLiteral("Stale."), KCMOS::Information);
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        page.save();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(messageTexts(page), (QStringList{QStringLiteral("It still holds."), QStringLiteral("The changes were applied.")}));
    }

    void smallestSizeScrollsNoWaySideways()
    {
        SSHModule page(nullptr, {});
        QVERIFY(loadAndShow(page, QSize(606, 514)));
        // The frame: status row, configuration and tab bar, within the page even with a message above them.
        page.messagesManager()->newMessage(QStringLiteral("A message."), KCMOS::Information);
        const QList<QWidget *> frame{page.widget()->findChild<QWidget *>(QStringLiteral("comboBoxSshConfig")),
                                     page.widget()->findChild<QWidget *>(QStringLiteral("label_2")),
                                     page.widget()->findChild<QWidget *>(QStringLiteral("sshReload")),
                                     page.widget()->findChild<QTabBar *>()};
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        auto *configuration = page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"));
        QStringList scrolling;
        for (int tab = 0; tab <= tabs->count(); ++tab) {
            configuration->setCurrentIndex(tab == tabs->count() ? 1 : 0);
            tabs->setCurrentIndex(std::min(tab, tabs->count() - 1));
            QCoreApplication::processEvents();
            QCOMPARE(HigChecks::cutOff(page.widget(), frame), QStringList());
            const QStringList found = HigChecks::horizontalScrolling(page.widget());
            if (!found.isEmpty()) {
                scrolling.append(QString((tab == tabs->count() ? QStringLiteral("client") : tabs->widget(tab)->objectName()) + QStringLiteral(": ")
                                         + found.join(QStringLiteral(", "))));
            }
        }
        QCOMPARE(scrolling, QStringList());
    }

    void busyStateDisablesButtons_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("busyText"); // each text of the indicator in turn
        QTest::addColumn<QString>("message"); // once done
        // clang-format off
        QTest::newRow("first read") << "load" << "Waiting for administrator rights…" << "";
        QTest::newRow("apply") << "apply" << "Applying…" << "The changes were applied.";
        QTest::newRow("restart, then read") << "restart" << "Restarting the SSH server…|Reading the settings…" << "The SSH server (sshd) was restarted: it is running with the settings in its files.";
        QTest::newRow("start, still stopped") << "start" << "Starting the SSH server…"
            << "The SSH server is stopped. Changes to its settings are saved and take effect when it starts.|The SSH server (sshd) was started, but it is not running. The system log says why.";
        // clang-format on
    }

    void busyStateDisablesButtons()
    {
        QFETCH(QString, action);
        QFETCH(QString, busyText);
        QFETCH(QString, message);
        KMessageBox::saveDontShowAgainContinue(ReviewDialog::DontAskAgainName); // no review to answer
        auto guard = qScopeGuard([] {
            KMessageBox::enableMessage(ReviewDialog::DontAskAgainName);
        });
        m_state.active = action != QLatin1String("start"); // a server that does not start
        SSHModule page(nullptr, {});
        page.widget()->resize(606, 514);
        page.widget()->show();
        QVERIFY(QTest::qWaitForWindowActive(page.widget()));
        QSignalSpy changed(&page, Compat::needsSaveChanged);
        QSignalSpy defaulted(&page, Compat::representsDefaultsChanged);
        auto *stopPlay = page.widget()->findChild<QPushButton *>(QStringLiteral("sshStopPlay"));
        auto *restart = page.widget()->findChild<QPushButton *>(QStringLiteral("sshReload"));
        // What the page shows while the helper works on the request: the state is taken as the helper answers its last call.
        QString whileBusy;
        QStringList busyTexts; // each text the indicator showed, in turn
        m_helper->setHandler([&](const FakeActionRunner::Call &call) {
            if (page.stateWidget()->isVisible()) {
                if (busyTexts.value(busyTexts.size() - 1) != page.stateWidget()->text()) {
                    busyTexts.append(page.stateWidget()->text());
                }
                whileBusy = QStringLiteral("stop %1 restart %2 apply %3 defaults %4")
                                .arg(int(stopPlay->isEnabled()))
                                .arg(int(restart->isEnabled()))
                                .arg(int(Compat::needsSave(page, changed)))
                                .arg(int(!Compat::representsDefaults(page, defaulted)));
            }
            return m_answer(call);
        });
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QSpinBox *port = areaFor(page, Server, "Port")->findChild<QSpinBox *>();
        if (action != QLatin1String("load")) {
            busyTexts.clear();
        }
        if (action == QLatin1String("apply")) {
            port->setValue(2200);
            port->setFocus();
            QVERIFY(Compat::needsSave(page, changed));
            page.save();
        } else if (action == QLatin1String("restart")) {
            restart->click();
        } else if (action == QLatin1String("start")) {
            stopPlay->click();
        }
        QVERIFY(FakeActionRunner::settle());
        // While busy, an indicator that says what the page waits for, and no button of the page's or the host's to press.
        QCOMPARE(busyTexts.join(QLatin1Char('|')), busyText);
        QCOMPARE(whileBusy, QStringLiteral("stop 0 restart 0 apply 0 defaults 0"));
        QVERIFY(!page.stateWidget()->isVisible());
        QVERIFY(stopPlay->isEnabled());
        QCOMPARE(restart->isEnabled(), m_state.active);
        QVERIFY(!Compat::representsDefaults(page, defaulted));
        QCOMPARE(messageTexts(page).join(QLatin1Char('|')), message);
        if (action == QLatin1String("apply")) {
            QCOMPARE(QApplication::focusWidget(), port); // the focus stays where it was
        }
    }

    void dialogsFollowTheScreen_data()
    {
        using Make = std::function<QDialog *()>;
        QTest::addColumn<Make>("make");
        // clang-format off
        QTest::newRow("access entry") << Make([] { return new UserGroupEntryDialog(nullptr); });
        QTest::newRow("listening address") << Make([] { return new ListenAddressEditDialog(ActionDialogAdd, {}, QStringLiteral("22"), nullptr); });
        QTest::newRow("key files") << Make([] { return new AuthorizedKeysPathDialog({QStringLiteral("%h/.ssh/authorized_keys")}, nullptr); });
        QTest::newRow("add key") << Make([] { return new AddPublicKeyDialog(QStringLiteral("/nonexistent/authorized_keys"), nullptr); });
        QTest::newRow("banner") << Make([] { return new EditBannerDialog(QStringLiteral("/nonexistent/banner"), nullptr); });
        QTest::newRow("block criteria, another one kept") << Make([] { return new ConditionalCriteriaDialog(Server, QStringLiteral("User alice Address 192.0.2.0/24"), nullptr); });
        QTest::newRow("client block criteria") << Make([] { return new ConditionalCriteriaDialog(Client, QStringLiteral("Host *.example.com"), nullptr); });
        QTest::newRow("review, with a lockout") << Make([] {
            SSHManager::Review review;
            review.ok = true;
            review.diffs.insert(QStringLiteral("/etc/ssh/sshd_config"), QByteArray("@@ -1 +1 @@\n-MaxSessions 10\n+MaxSessions 8\n"));
            review.lockouts.append({QStringLiteral("authentication"), QStringLiteral("No way to log in is left.")});
            return new ReviewDialog(review, nullptr);
        });
        // clang-format on
    }

    void dialogsFollowTheScreen()
    {
        QFETCH(std::function<QDialog *()>, make);
        std::unique_ptr<QDialog> dialog(make());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QVERIFY(!dialog->windowTitle().isEmpty() && dialog->windowTitle() != QLatin1String("Dialog"));
        QCOMPARE(HigChecks::focusOutOfOrder(dialog.get(), dialog.get()), QString());
        QCOMPARE(HigChecks::mutedButtons(dialog.get()), QStringList());
        QCOMPARE(HigChecks::invisibleFocusStops(dialog.get()), QStringList());
        QCOMPARE(HigChecks::unnamedFocusStops(dialog.get()).join(QLatin1Char(',')), QString());
        QCOMPARE(HigChecks::mnemonicsTaken(dialog.get(), HigChecks::duplicateMnemonics(dialog.get())).join(QLatin1Char(',')), QString());
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->isVisible()) { // a mnemonic with its buddy, never a stray ampersand
                QVERIFY2(bool(label->buddy()) == label->text().contains(QLatin1Char('&')), qPrintable(label->text()));
            }
        }
    }

    void addressFamilyAgainstListenAddresses_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("choice"); // -1: left as it is
        QTest::addColumn<bool>("valid"); // false: the choice is declined and the combo falls back
        const QString any = QStringLiteral("any");
        QTest::newRow("ipv4 with ipv6 address") << any << QStringList{QStringLiteral("[::1]:22")} << 1 << false;
        QTest::newRow("any with ipv6 address") << any << QStringList{QStringLiteral("[::1]:22")} << 0 << true;
        QTest::newRow("ipv4 with wildcard only") << any << QStringList{QStringLiteral("0.0.0.0:22")} << 1 << true;
        QTest::newRow("ipv6 with ipv4 address") << any << QStringList{QStringLiteral("[::1]:22"), QStringLiteral("10.0.0.1:22")} << 2 << false;
        QTest::newRow("ipv4 with ipv4 addresses") << any << QStringList{QStringLiteral("10.0.0.1:22"), QStringLiteral("10.0.0.2:2222")} << 1 << true;
        QTest::newRow("unknown value, no item") << QStringLiteral("bogus") << QStringList() << -1 << true;
    }

    void addressFamilyAgainstListenAddresses()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, addresses);
        QFETCH(int, choice);
        QFETCH(bool, valid);
        AddressFamilyArea area(SSHOption::pageOption(Server, QStringLiteral("AddressFamily")).withValue(stored), nullptr);
        area.setAddressSource([addresses] {
            return addresses;
        });
        area.inflate();
        auto *combo = area.findChild<QComboBox *>();
        QCOMPARE(combo->currentIndex(), choice < 0 ? -1 : 0);
        area.show();
        ModalDriver noBox; // why a choice is declined is said under the field, in no box
        noBox.answer(QStringLiteral("OK"));
        if (choice >= 0) {
            choose(combo, choice);
        }
        QCOMPARE(noBox.seenTexts, QStringList());
        auto *warning = area.findChild<QLabel *>(QStringLiteral("familyWarning"));
        QCOMPARE(warning->isVisible() ? warning->text() : QString(),
                 valid ? QString() : QStringLiteral("Remove the listening addresses of the other address family first."));
        // A declined family is never shown as pending: what is written stays shown, unchanged.
        QVERIFY(area.validate());
        QCOMPARE(combo->currentIndex(), valid ? choice : 0);
        if (!valid) {
            QCOMPARE(area.value().toString(), stored);
        }
        QCOMPARE(area.hasChanged(), valid && choice > 0);
    }

    void criteriaInWords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("problem"); // of the first criterion, as the criteria dialog judges it
        // clang-format off
        QTest::newRow("group") << int(Server) << "Group sftponly" << "Users in group sftponly" << "";
        QTest::newRow("network") << int(Server) << "Address 192.0.2.0/24" << "Connections from 192.0.2.0/24" << "";
        QTest::newRow("one user") << int(Server) << "User anoncvs" << "User anoncvs" << "";
        QTest::newRow("negation only") << int(Server) << "user !root,!admin" << "Users other than root, admin" << "";
        QTest::newRow("two criteria, a list with an exception") << int(Server) << "User alice,bob Address 10.0.0.0/8,!10.0.0.1"
            << "Users alice, bob; Connections from 10.0.0.0/8, except 10.0.0.1" << "";
        QTest::newRow("all") << int(Server) << "All" << "All connections" << "";
        QTest::newRow("address pattern") << int(Server) << "Address 192.0.2.*" << "Connections from 192.0.2.*" << "";
        QTest::newRow("not an address") << int(Server) << "Address 192.0.2.300" << "Connections from 192.0.2.300"
            << "“192.0.2.300” is not an address, a network such as 192.0.2.0/24, or an address pattern.";
        QTest::newRow("bits past the mask, which sshd refuses") << int(Server) << "Address 10.1.2.3/8" << "Connections from 10.1.2.3/8"
            << "“10.1.2.3/8” is not an address, a network such as 192.0.2.0/24, or an address pattern.";
        QTest::newRow("port out of range") << int(Server) << "LocalPort 70000" << "Connections to port 70000" << "“70000” is not a port number from 1 to 65535.";
        QTest::newRow("a quote") << int(Server) << "User \"bob\"" << "User \"bob\""
            << "“\"bob\"” is not a valid value: use letters, digits and patterns, separated by commas.";
        QTest::newRow("host names") << int(Server) << "Host *.example.com,!gw.example.com" << "Connections from host *.example.com, except gw.example.com" << "";
        QTest::newRow("unknown criterion") << int(Server) << "Foo bar" << "Foo bar" << "";
        QTest::newRow("client host line") << int(Client) << "Host *.example.com !gw.example.com" << "Host *.example.com, except gw.example.com" << "";
        QTest::newRow("client match") << int(Client) << "Match user git host github.com" << "Remote user git; Host github.com" << "";
        // clang-format on
    }

    void criteriaInWords()
    {
        QFETCH(int, type);
        QFETCH(QString, criteria);
        const auto kind = SSHConfigurationTypeId(type);
        QTEST(ConditionalCriteria::inWords(kind, criteria), "words");
        const auto first = ConditionalCriteria::parse(kind, criteria).constFirst();
        QTEST(ConditionalCriteria::problem(kind, first.first, first.second), "problem");
        QCOMPARE(ConditionalCriteria::join(kind, ConditionalCriteria::parse(kind, criteria)), criteria.simplified());
    }

    void blockOperations_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("selected"); // 1-based
        QTest::addColumn<int>("selectedAfter"); // once the blocks are read again: an added one, or the same
        QTest::addColumn<QString>("value"); // typed in the criteria dialog, or into the body's editor
        QTest::addColumn<bool>("accept"); // the first review
        QTest::addColumn<QStringList>("transactions");
        const QString sftp = QStringLiteral(" add Group sftponly ChrootDirectory=%h DisableForwarding=true ForceCommand=internal-sftp PermitTTY=false");
        const QString passwords = QStringLiteral(" add Address 192.0.2.0/24,!192.0.2.9 PasswordAuthentication=true");
        const auto both = [](const QString &transaction) {
            return QStringList{QStringLiteral("review") + transaction, QStringLiteral("apply") + transaction + QStringLiteral(" @base-1")};
        };
        // clang-format off
        QTest::newRow("sftp recipe") << "conditionalRecipeSftp" << 2 << 1 << "sftponly" << true << both(sftp);
        QTest::newRow("passwords recipe: the block, then the global line") << "conditionalRecipePasswords" << 1 << 1 << "192.0.2.0/24, !192.0.2.9" << true
            << both(passwords) + both(QStringLiteral(" PasswordAuthentication=false"));
        QTest::newRow("passwords recipe cancelled: no global line") << "conditionalRecipePasswords" << 1 << 1 << "192.0.2.0/24, !192.0.2.9" << false
            << QStringList{both(passwords).constFirst()};
        QTest::newRow("remove") << "conditionalRemove" << 2 << 2 << "" << true << QStringList{QStringLiteral("review remove 2"), QStringLiteral("apply remove 2 @base-1")};
        QTest::newRow("move up") << "conditionalUp" << 2 << 2 << "" << true << QStringList{QStringLiteral("review up 2"), QStringLiteral("apply up 2 @base-1")};
        QTest::newRow("move down") << "conditionalDown" << 1 << 1 << "" << true << QStringList{QStringLiteral("review down 1"), QStringLiteral("apply down 1 @base-1")};
        QTest::newRow("criteria") << "conditionalCriteria" << 2 << 2 << "anoncvs" << true
            << QStringList{QStringLiteral("review criteria 2 User anoncvs"), QStringLiteral("apply criteria 2 User anoncvs @base-1")};
        QTest::newRow("body") << "conditionalSave" << 1 << 1 << "internal-sftp -l INFO" << true
            << QStringList{QStringLiteral("review 1 ForceCommand=internal-sftp -l INFO"), QStringLiteral("apply 1 ForceCommand=internal-sftp -l INFO @base-1")};
        QTest::newRow("body, review cancelled: the edit stays") << "conditionalSave" << 1 << 1 << "internal-sftp -l INFO" << false
            << QStringList{QStringLiteral("review 1 ForceCommand=internal-sftp -l INFO")};
        QTest::newRow("client: confirmed, not reviewed") << "client:conditionalRemove" << 2 << 2 << "" << true << QStringList{QStringLiteral("apply remove 2")};
        // clang-format on
    }

    void blockOperations()
    {
        QFETCH(QString, action);
        const bool client = action.startsWith(QLatin1String("client:"));
        action.remove(QStringLiteral("client:"));
        QFETCH(QString, value);
        QFETCH(bool, accept);
        const QVariantList blocks = servedBlocks();
        const QVariantMap effective{
            {QStringLiteral("port"), QStringLiteral("2222")},
            {QStringLiteral("passwordauthentication"), QStringLiteral("no")},
            {Reply::AppliedBlocks, QVariantList{blocks.at(1)}},
            {Reply::Verdict, QVariantMap{{Reply::VerdictCanLogIn, true}, {Reply::VerdictMethods, QStringList{QStringLiteral("publickey")}}}}};
        serveBlocks(effective);
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(m_helper->callsWith(Arg::ReadBlocks).isEmpty()); // read when looked at
        QWidget *tab = showBlocks(page, client);
        QVERIFY(FakeActionRunner::settle());
        auto *list = tab->findChild<QTreeWidget *>(QStringLiteral("conditionalBlocks"));
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(QString(list->topLevelItem(1)->text(0) + QLatin1Char('|') + list->topLevelItem(1)->text(2)),
                 client ? QStringLiteral("Address 192.0.2.0/24|10-local.conf:3") : QStringLiteral("Connections from 192.0.2.0/24|10-local.conf:3"));
        QFETCH(int, selected);
        QFETCH(int, selectedAfter);
        list->setCurrentItem(list->topLevelItem(selected - 1));

        // A pending edit of another tab stays pending, for Apply.
        areaFor(page, Server, "UseDNS")->findChild<QCheckBox *>()->click();
        ModalDriver driver;
        if (action.startsWith(QLatin1String("conditionalRecipe")) || action == QLatin1String("conditionalCriteria")) {
            driver.expect<ConditionalCriteriaDialog>([&](ConditionalCriteriaDialog *dialog) {
                dialog->findChild<QComboBox *>(QStringLiteral("criteriaKind"))->setCurrentIndex(0); // the recipe's only one, or User
                dialog->setValue(value);
                dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
            });
        }
        QFETCH(QStringList, transactions);
        if (client) {
            driver.answer(QStringLiteral("Yes"));
        }
        for (int review = 0; review < transactions.filter(QRegularExpression(QStringLiteral("^review"))).size(); ++review) {
            driver.expect<ReviewDialog>([&, review](ReviewDialog *dialog) {
                QVERIFY(!dialog->findChild<QCheckBox *>(QStringLiteral("dontShowAgain"))->isVisible());
                accept || review > 0 ? dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click() : dialog->reject();
            });
        }
        const int reads = m_helper->callsWith(Arg::ReadBlocks).size();
        if (auto *recipe = tab->findChild<QAction *>(action)) {
            recipe->trigger();
        } else if (action == QLatin1String("conditionalSave")) {
            editFirstBodyRow(tab, value);
            tab->findChild<QPushButton *>(action)->click();
        } else {
            tab->findChild<QPushButton *>(action)->click();
        }
        QCOMPARE(page.stateWidget()->state(), KCMOS::Busy);
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(driver.failures.isEmpty());
        QCOMPARE(driver.unanswered(), 0);
        QCOMPARE(sentTransactions(*m_helper), transactions);
        QCOMPARE(m_helper->callsWith(Arg::ReadBlocks).size(), reads + 1); // the blocks as written
        QVERIFY(areaFor(page, Server, "UseDNS")->hasChanged());
        QCOMPARE(list->indexOfTopLevelItem(list->currentItem()) + 1, selectedAfter);
        QCOMPARE(tab->findChild<QPushButton *>(QStringLiteral("conditionalSave"))->isEnabled(), action == QLatin1String("conditionalSave") && !accept);
        if (client) {
            QCOMPARE(driver.seenTexts, QStringList{QStringLiteral("Remove the block “Address 192.0.2.0/24” and its settings?")});
            return; // the client has no test of a connection
        }

        // Who gets what: the values that differ from those outside blocks, the blocks that applied, the verdict.
        tab->findChild<QLineEdit *>(QStringLiteral("conditionalTestUser"))->setText(QStringLiteral("alice"));
        tab->findChild<QLineEdit *>(QStringLiteral("conditionalTestAddress"))->setText(QStringLiteral("192.0.2.7"));
        tab->findChild<QPushButton *>(QStringLiteral("conditionalTest"))->click();
        QVERIFY(FakeActionRunner::settle());
        const auto asked = m_helper->callsWith(Arg::EffectiveUser).constLast();
        QCOMPARE(asked.argument(Arg::EffectiveAddress).toString(), QStringLiteral("192.0.2.7"));
        QVERIFY(!asked.keys().contains(Arg::EffectiveHost));
        auto *values = tab->findChild<QTreeWidget *>(QStringLiteral("conditionalEffective"));
        QCOMPARE(values->topLevelItemCount(), 1);
        QCOMPARE(QString(values->topLevelItem(0)->text(0) + QLatin1Char('=') + values->topLevelItem(0)->text(1)), QStringLiteral("PasswordAuthentication=no"));
        QCOMPARE(tab->findChild<QLabel *>(QStringLiteral("conditionalVerdict"))->text(), QStringLiteral("alice can log in from 192.0.2.7, with: publickey."));
        QCOMPARE(tab->findChild<QLabel *>(QStringLiteral("conditionalApplied"))->text(),
                 QStringLiteral("Blocks that apply: Connections from 192.0.2.0/24 (10-local.conf:3)"));
    }

    void securityTab_data()
    {
        QTest::addColumn<QString>("action"); // a button or menu action; empty: the check is only looked at
        QTest::addColumn<QStringList>("severities"); // of the first findings of the fake check, in order
        QTest::addColumn<int>("keys"); // host keys, all usable
        QTest::addColumn<bool>("accept"); // the review
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QStringList>("transactions");
        QTest::addColumn<QString>("message"); // the fixes left out, said after the run
        const QStringList all{QStringLiteral("warn"), QStringLiteral("fail"), QStringLiteral("fail"), QStringLiteral("warn"), QStringLiteral("info")};
        const QString counts = QStringLiteral("2 failures, 2 warnings, 1 note");
        const auto both = [](const QString &transaction) {
            return QStringList{QStringLiteral("review ") + transaction, QStringLiteral("apply ") + transaction + QStringLiteral(" @base-1")};
        };
        // clang-format off
        QTest::newRow("counts: one of each") << "" << QStringList{QStringLiteral("fail"), QStringLiteral("warn"), QStringLiteral("info")} << 3 << true
            << "1 failure, 1 warning, 1 note" << QStringList() << "";
        QTest::newRow("counts: warnings only") << "" << QStringList{QStringLiteral("warn"), QStringLiteral("warn")} << 3 << true
            << "2 warnings" << QStringList() << "";
        QTest::newRow("counts: nothing found") << "" << QStringList() << 3 << true << "Nothing to improve was found." << QStringList() << "";
        QTest::newRow("fix the selected finding") << "securityFix" << all << 3 << true << counts << both(QStringLiteral("fix max-auth-tries")) << "";
        QTest::newRow("fix, review cancelled") << "securityFix" << all << 3 << false << counts
            << QStringList{QStringLiteral("review fix max-auth-tries")} << "";
        QTest::newRow("fix all: what was left out is said") << "securityFixAll" << all << 3 << true << counts << both(QStringLiteral("fix all"))
            << "This fix was left out:<ul><li>password-authentication: would stop password logins of alice</li></ul>";
        QTest::newRow("generate ed25519") << "hostKeysGenerateEd25519" << all << 3 << true << counts << both(QStringLiteral("generate ed25519")) << "";
        QTest::newRow("generate rsa") << "hostKeysGenerateRsa" << all << 3 << true << counts << both(QStringLiteral("generate rsa 4096")) << "";
        QTest::newRow("remove") << "hostKeysRemove" << all << 2 << true << counts << both(QStringLiteral("remove /etc/ssh/ssh_host_ecdsa_key")) << "";
        QTest::newRow("remove the last key: not offered") << "hostKeysRemove" << all << 1 << true << counts << QStringList() << "";
        // clang-format on
    }

    void securityTab()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, severities);
        QFETCH(int, keys);
        QFETCH(bool, accept);
        const QList<QStringList> rows{
            {QStringLiteral("max-auth-tries"), QStringLiteral("MaxAuthTries"), QStringLiteral("6"), QStringLiteral("4"), QStringLiteral("default"), QString()},
            {QStringLiteral("kex-weak"),
             QStringLiteral("KexAlgorithms"),
             QStringLiteral("ecdh-sha2-nistp256"),
             QStringLiteral("curve25519-sha256"),
             QStringLiteral("default"),
             QString()},
            {QStringLiteral("hostkey-ecdsa"),
             QStringLiteral("/etc/ssh/ssh_host_ecdsa_key"),
             QStringLiteral("ECDSA 256 bits"),
             QStringLiteral("not used"),
             QStringLiteral("default"),
             QString()},
            {QStringLiteral("x11-forwarding"),
             QStringLiteral("X11Forwarding"),
             QStringLiteral("yes"),
             QStringLiteral("no"),
             QStringLiteral("/etc/ssh/sshd_config:94"),
             QStringLiteral("User anoncvs")},
            {QStringLiteral("banner"), QStringLiteral("Banner"), QStringLiteral("none"), QString(), QStringLiteral("default"), QString()},
        };
        QVariantList findings;
        for (int i = 0; i < severities.size(); ++i) {
            const QStringList &row = rows.at(i);
            findings.append(QVariantMap{{Reply::FindingId, row.at(0)},
                                        {Reply::FindingSeverity, severities.at(i)},
                                        {Reply::FindingSubject, row.at(1)},
                                        {Reply::FindingCurrent, row.at(2)},
                                        {Reply::FindingRecommended, row.at(3)},
                                        {Reply::FindingOrigin, row.at(4)},
                                        {Reply::FindingBlock, row.at(5)},
                                        {Reply::FindingFixable, !row.at(3).isEmpty() && row.at(5).isEmpty()}});
        }
        QVariantList hostKeys;
        for (int i = 0; i < keys; ++i) {
            const QString type = QStringList{QStringLiteral("ecdsa"), QStringLiteral("ed25519"), QStringLiteral("rsa")}.at(i);
            hostKeys.append(QVariantMap{{Reply::HostKeyEntryFile, QStringLiteral("/etc/ssh/ssh_host_%1_key").arg(type)},
                                        {Reply::HostKeyEntryType, type.toUpper()},
                                        {Reply::HostKeyEntryBits, type == QLatin1String("rsa") ? 3072 : 256},
                                        {Reply::HostKeyEntryFingerprint, QStringLiteral("SHA256:%1").arg(type)},
                                        {Reply::HostKeyEntryMode, 0600},
                                        {Reply::HostKeyEntryConfigured, true},
                                        {Reply::HostKeyEntryPresent, true}});
        }
        const QVariantList skipped{QVariantMap{{Reply::FindingId, QStringLiteral("password-authentication")},
                                               {Reply::SkippedReason, QStringLiteral("would stop password logins of alice")}}};
        m_helper->setHandler([&](const FakeActionRunner::Call &call) {
            if (call.argument(Arg::Audit).toBool()) {
                return FakeActionRunner::success({{Reply::Findings, findings}});
            }
            if (call.argument(Arg::ReadHostKeys).toBool()) {
                return FakeActionRunner::success({{Reply::HostKeys, hostKeys}});
            }
            QVariantMap reply = call.keys().contains(Arg::ReadKeywords) || call.keys().contains(Arg::TransactionReadKeywords) ? m_serverValues : QVariantMap();
            if (call.argument(Arg::AuditFixAll).toBool()) {
                reply.insert(Reply::AuditSkipped, skipped);
            }
            if (call.argument(Arg::TransactionDryRun).toBool()) {
                reply.insert(Reply::Base, QStringLiteral("base-1"));
                reply.insert(Reply::FileDiffs, QVariantMap{{QStringLiteral("/etc/ssh/sshd_config"), QByteArray("+MaxAuthTries 4\n")}});
            }
            return FakeActionRunner::success(reply);
        });
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(m_helper->callsWith(Arg::Audit).isEmpty()); // not when the page opens
        QWidget *tab = page.widget()->findChild<QWidget *>(QStringLiteral("securityTab"));
        page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"))->setCurrentWidget(tab);
        QCOMPARE(page.stateWidget()->state(), KCMOS::Busy);
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(m_helper->callsWith(Arg::Audit).size(), 1);
        QCOMPARE(m_helper->callsWith(Arg::ReadHostKeys).size(), 1);
        QFETCH(QString, summary);
        QCOMPARE(tab->findChild<QLabel *>(QStringLiteral("securitySummary"))->text(), summary);
        auto *view = tab->findChild<QTreeWidget *>(QStringLiteral("securityFindings"));
        QCOMPARE(tab->findChild<QPushButton *>(QStringLiteral("securityFixAll"))->isEnabled(), severities.size() > 0);
        if (severities.size() == rows.size()) {
            // Grouped by kind; each with its change, where it is set (and for whom) and why, through the table of checks.
            QStringList groups;
            for (int i = 0; i < view->topLevelItemCount(); ++i) {
                groups.append(view->topLevelItem(i)->text(0) + QLatin1Char(' ') + QString::number(view->topLevelItem(i)->childCount()));
            }
            QCOMPARE(groups, (QStringList{QStringLiteral("Algorithms 1"), QStringLiteral("Host keys 1"), QStringLiteral("Options 3")}));
            const QTreeWidgetItem *hostKey = view->topLevelItem(1)->child(0);
            QVERIFY(!AuditChecks::reason(QStringLiteral("hostkey-ecdsa")).isEmpty());
            QCOMPARE(hostKey->text(3), AuditChecks::reason(QStringLiteral("hostkey-ecdsa")));
            QCOMPARE(hostKey->text(1), QStringLiteral("ECDSA 256 bits → not used"));
            QCOMPARE(view->topLevelItem(2)->child(1)->text(2), QStringLiteral("/etc/ssh/sshd_config:94, in “Match User anoncvs”"));
            view->setCurrentItem(view->topLevelItem(2)->child(1));
            QVERIFY(!tab->findChild<QPushButton *>(QStringLiteral("securityFix"))->isEnabled()); // a block's own setting
            view->setCurrentItem(view->topLevelItem(2)->child(0));
        }
        auto *keysView = tab->findChild<QTreeWidget *>(QStringLiteral("hostKeysView"));
        QCOMPARE(keysView->topLevelItemCount(), keys);
        QCOMPARE(keysView->topLevelItem(0)->text(4), QStringLiteral("0600"));
        QCOMPARE(tab->findChild<QPushButton *>(QStringLiteral("hostKeysRemove"))->isEnabled(), keys > 1);
        if (action.isEmpty()) {
            return;
        }

        QFETCH(QStringList, transactions);
        qputenv("SSH_CONNECTION", "192.0.2.7 50022 192.0.2.5 22");
        const auto unset = qScopeGuard([] {
            qunsetenv("SSH_CONNECTION");
        });
        ModalDriver driver;
        QString warned;
        if (!transactions.isEmpty()) {
            driver.expect<ReviewDialog>([&](ReviewDialog *dialog) {
                auto *warning = dialog->findChild<KMessageWidget *>(QStringLiteral("reviewWarning"));
                warned = warning ? warning->text() : QString();
                accept ? dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click() : dialog->reject();
            });
        }
        if (auto *generate = tab->findChild<QAction *>(action)) {
            generate->trigger();
        } else {
            tab->findChild<QPushButton *>(action)->click();
        }
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(driver.failures.isEmpty());
        QCOMPARE(driver.unanswered(), 0);
        QCOMPARE(sentTransactions(*m_helper), transactions);
        for (const auto &call : m_helper->callsWith(Arg::TransactionType)) {
            // A fix's apply repeats the lockout review of its dry run; none asks for the values written, which the helper does not take.
            QCOMPARE(call.keys().contains(Arg::TransactionSession),
                     call.argument(Arg::TransactionDryRun).toBool() || action.startsWith(QLatin1String("securityFix")));
            QVERIFY(!call.keys().contains(Arg::TransactionReadKeywords));
        }
        // A change of host keys (fix all here replaces the ECDSA key) says that clients will notice.
        QCOMPARE(warned.contains(QLatin1String("host key")), !transactions.isEmpty() && action != QLatin1String("securityFix"));
        // The check is read again once something was written.
        QCOMPARE(m_helper->callsWith(Arg::Audit).size(), transactions.size() == 2 ? 2 : 1);
        QFETCH(QString, message);
        QCOMPARE(messageTexts(page).filter(QStringLiteral("left out")).join(QLatin1Char('|')), message);
    }

    void bodyEditsOnLeaving_data()
    {
        QTest::addColumn<QString>("leave"); // how the first block, its body edited, is left
        QTest::addColumn<QString>("answer"); // to the question; none may come without one
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<bool>("editsKept");
        QTest::addColumn<QStringList>("transactions");
        const QStringList body{QStringLiteral("review 1 ForceCommand=internal-sftp -l INFO"), QStringLiteral("apply 1 ForceCommand=internal-sftp -l INFO")};
        // clang-format off
        QTest::newRow("another block, cancelled") << "select" << "Cancel" << 1 << true << QStringList();
        QTest::newRow("another block, discarded") << "select" << "Discard" << 2 << false << QStringList();
        QTest::newRow("another block, applied first") << "select" << "Apply to Block" << 2 << false << body;
        QTest::newRow("removed, cancelled") << "conditionalRemove" << "Cancel" << 1 << true << QStringList();
        QTest::newRow("removed, discarded") << "conditionalRemove" << "Discard" << 1 << false
            << QStringList{QStringLiteral("review remove 1"), QStringLiteral("apply remove 1")};
        QTest::newRow("moved: the edits follow") << "conditionalDown" << "" << 1 << true
            << QStringList{QStringLiteral("review down 1"), QStringLiteral("apply down 1")};
        // clang-format on
    }

    void bodyEditsOnLeaving()
    {
        serveBlocks();
        SSHModule page(nullptr, {});
        page.load();
        QWidget *tab = showBlocks(page);
        QVERIFY(FakeActionRunner::settle());
        auto *list = tab->findChild<QTreeWidget *>(QStringLiteral("conditionalBlocks"));
        auto *save = tab->findChild<QPushButton *>(QStringLiteral("conditionalSave"));
        list->setCurrentItem(list->topLevelItem(0));
        editFirstBodyRow(tab, QStringLiteral("internal-sftp -l INFO"));
        QVERIFY(save->isEnabled());

        QFETCH(QString, leave);
        QFETCH(QString, answer);
        QFETCH(QStringList, transactions);
        ModalDriver driver;
        if (!answer.isEmpty()) {
            driver.answer(answer);
        }
        for (int review = 0; review < transactions.size() / 2; ++review) {
            driver.expect<ReviewDialog>([](ReviewDialog *dialog) {
                dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
            });
        }
        leave == QLatin1String("select") ? list->setCurrentItem(list->topLevelItem(1)) : tab->findChild<QPushButton *>(leave)->click();
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(driver.failures.isEmpty());
        QCOMPARE(driver.unanswered(), 0);
        QCOMPARE(driver.seenTexts,
                 answer.isEmpty() ? QStringList()
                                  : QStringList{QStringLiteral("The settings of the block “Users in group sftponly” were changed but not applied.")});
        QStringList sent;
        for (const auto &call : m_helper->callsWith(Arg::TransactionType)) {
            sent.append(transactionSummary(call));
        }
        QCOMPARE(sent, transactions);
        QTEST(list->indexOfTopLevelItem(list->currentItem()) + 1, "selectedAfter");
        QTEST(save->isEnabled(), "editsKept");
    }

    void verdictReasons_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("words");
        // clang-format off
        QTest::newRow("access rule") << "access:DenyUsers *@10.0.0.1" << "“DenyUsers *@10.0.0.1” refuses this user";
        QTest::newRow("no method left") << "authentication:PasswordAuthentication"
            << "neither a password nor an authorized key is left to this user (PasswordAuthentication)";
        QTest::newRow("not listening") << "listening:192.0.2.1 port 2222" << "the server does not listen on 192.0.2.1 port 2222";
        QTest::newRow("no such account") << "account:nobody2" << "there is no account “nobody2”";
        QTest::newRow("unknown kind: as written") << "quota:none left" << "quota:none left";
        QTest::newRow("no kind: as written") << "refused" << "refused";
        // clang-format on
    }

    void verdictReasons()
    {
        QFETCH(QString, reason);
        QFETCH(QString, words);
        ConditionalArea area(Server, nullptr);
        area.findChild<QLineEdit *>(QStringLiteral("conditionalTestUser"))->setText(QStringLiteral("alice"));
        area.findChild<QLineEdit *>(QStringLiteral("conditionalTestAddress"))->setText(QStringLiteral("192.0.2.7"));
        area.showEffective({{Reply::Verdict, QVariantMap{{Reply::VerdictCanLogIn, false}, {Reply::VerdictReasons, QStringList{reason, reason}}}}});
        QCOMPARE(area.findChild<QLabel *>(QStringLiteral("conditionalVerdict"))->text(),
                 QStringLiteral("alice cannot log in from 192.0.2.7: %1; %1.").arg(words));
    }

private:
    // Two blocks, the second in a drop-in.
    static QVariantList servedBlocks()
    {
        return {QVariantMap{{Reply::BlockEntryIndex, 1},
                            {Reply::BlockEntryCriteria, QStringLiteral("Group sftponly")},
                            {Reply::BlockEntryFile, QStringLiteral("/etc/ssh/sshd_config")},
                            {Reply::BlockEntryLine, 30},
                            {Reply::BlockEntryValues, QVariantMap{{QStringLiteral("ForceCommand"), QStringLiteral("internal-sftp")}}}},
                QVariantMap{{Reply::BlockEntryIndex, 2},
                            {Reply::BlockEntryCriteria, QStringLiteral("Address 192.0.2.0/24")},
                            {Reply::BlockEntryFile, QStringLiteral("/etc/ssh/sshd_config.d/10-local.conf")},
                            {Reply::BlockEntryLine, 3},
                            {Reply::BlockEntryValues, QVariantMap{{QStringLiteral("PasswordAuthentication"), QStringLiteral("yes")}}}}};
    }

    // The fake helper reads servedBlocks() (the same after any change), answers a test with @p effective, reviews with a diff.
    void serveBlocks(const QVariantMap &effective = {})
    {
        m_serverValues.insert(QStringLiteral("forcecommand"), QStringLiteral("none"));
        m_serverValues.insert(QStringLiteral("passwordauthentication"), QStringLiteral("yes"));
        m_helper->setHandler([this, effective](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::ReadBlocks)) {
                return FakeActionRunner::success({{Reply::Blocks, servedBlocks()}});
            }
            if (call.keys().contains(Arg::EffectiveUser)) {
                return FakeActionRunner::success(effective);
            }
            if (call.argument(Arg::TransactionDryRun).toBool()) {
                return FakeActionRunner::success({{Reply::Base, QStringLiteral("base-1")},
                                                  {Reply::FileDiffs, QVariantMap{{QStringLiteral("/etc/ssh/sshd_config"), QByteArray("+Match\n")}}}});
            }
            return FakeActionRunner::success(call.keys().contains(Arg::ReadKeywords) || call.keys().contains(Arg::TransactionReadKeywords) ? m_serverValues
                                                                                                                                           : QVariantMap());
        });
    }

    // The server's "Conditional settings" tab (the client's area with @p client) of @p page, loaded before.
    static QWidget *showBlocks(SSHModule &page, bool client = false)
    {
        KMessageBox::saveDontShowAgainContinue(ReviewDialog::DontAskAgainName); // Apply's reviews only
        QWidget *tab = page.widget()->findChild<QWidget *>(QStringLiteral("conditionalTab"));
        page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"))->setCurrentWidget(tab);
        if (client) {
            page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(1);
            tab = page.widget()->findChild<QWidget *>(QStringLiteral("clientPage"))->findChild<ConditionalArea *>();
        }
        return tab;
    }

    // Types @p value into the first keyword of the selected block's body.
    static void editFirstBodyRow(QWidget *tab, const QString &value)
    {
        auto *body = tab->findChild<QTreeView *>(QStringLiteral("allSettingsView"));
        body->setCurrentIndex(body->model()->index(0, 0));
        tab->findChild<QLineEdit *>(QStringLiteral("allSettingsText"))->setText(value);
    }

    FixedServiceState m_state;
    QTemporaryDir m_root;
    std::unique_ptr<FakeActionRunner> m_helper;
    FakeActionRunner::Handler m_answer; ///< the helper's answers set by init()
    QVariantMap m_serverValues;
    QVariantMap m_clientValues;
};

QTEST_MAIN(ModuleTest)
#include "moduletest.moc"
