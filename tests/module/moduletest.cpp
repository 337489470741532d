// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"
#include "equaltabwidthwidget.h"
#include "fakeactionrunner.h"
#include "fixedservicestate.h"
#include "kcmcompat.h"
#include "messagesmanager.h"
#include "modalanswerer.h"
#include "serverstate.h"
#include "sshmodule.h"
#include "sshpaths.h"
#include "statewidget.h"

#include <KPluginFactory>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPluginLoader>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList serverCommands(const FakeActionRunner &helper)
{
    QStringList commands;
    const auto calls = helper.callsWith(QStringLiteral("ssh_server_command"));
    for (const auto &call : calls) {
        commands.append(call.argument(QStringLiteral("ssh_server_command")).toString());
    }
    return commands;
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
    void equalTabWidths();
    void pluginLoadsLikeTheHost();
    void firstLoadBuildsThePage();
    void applyWritesOnlyChangedAreas();
    void applyDuringApplyIsIgnored();
    void failedApplyKeepsThePageChanged();
    void defaultsWithBothBackups();
    void defaultsWithoutBackups();
    void defaultsCancelled();
    void loadErrorOffersRestore();
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
    ServerState::setStateSourceForTesting(&m_state);
    m_serverValues = {
        {QStringLiteral("port"), QStringLiteral("2222")},
        {QStringLiteral("usedns"), QStringLiteral("no")},
        {QStringLiteral("authorizedkeysfile"), QStringList {m_root.filePath(QStringLiteral("none/authorized_keys"))}},
        {QStringLiteral("banner"), QStringLiteral("none")},
    };
    m_helper = std::make_unique<FakeActionRunner>();
    m_helper->setHandler([this](const FakeActionRunner::Call &call) {
        if (call.keys().contains(QStringLiteral("check_options"))) {
            if (call.argument(QStringLiteral("type_id")).toInt() == Server) {
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

void ModuleTest::equalTabWidths()
{
    QCOMPARE(EqualTabWidthWidget::tabWidthFor(800, 4), 199);
    QCOMPARE(EqualTabWidthWidget::tabWidthFor(802, 4), 199);
    QCOMPARE(EqualTabWidthWidget::tabWidthFor(803, 4), 199);
    QCOMPARE(EqualTabWidthWidget::tabWidthFor(804, 4), 200);
    EqualTabWidthWidget tabs;
    tabs.resize(300, 100);
    tabs.show();
    QVERIFY(tabs.tabBar()->styleSheet().isEmpty()); // no tabs, no style sheet
    for (int i = 0; i < 4; ++i) {
        tabs.addTab(new QWidget, QString::number(i));
    }
    tabs.resize(800, 200);
    QTRY_COMPARE(tabs.tabBar()->styleSheet(), QStringLiteral("QTabBar::tab{width:199px;}"));
}

void ModuleTest::pluginLoadsLikeTheHost()
{
    QPluginLoader loader(QStringLiteral(PLUGIN_DIR "/kcm_sshsettings.so"));
    auto *factory = qobject_cast<KPluginFactory *>(loader.instance());
    QVERIFY2(factory, qPrintable(loader.errorString()));
    QCOMPARE(QString::fromLatin1(factory->metaObject()->className()), QStringLiteral("SSHFactory"));

    QObject notAWidget;
    auto *orphan = factory->create<KCModule>(&notAWidget);
    QVERIFY(orphan);
    QCOMPARE(Compat::moduleWidget(orphan)->parentWidget(), nullptr);
    delete orphan;

    QWidget host;
    auto *module = factory->create<KCModule>(&host);
    QVERIFY(module);
    QCOMPARE(Compat::moduleWidget(module)->parentWidget(), &host);
    QVERIFY(module->buttons() & KCModule::Apply);
    QVERIFY(module->buttons() & KCModule::Default);
    // The constructor builds only the form; nothing is asked of the helper yet.
    QVERIFY(m_helper->calls.isEmpty());
    // The plug-in carries its own copy of the action seam, so its page talks to the real
    // helper: show the form only, as the host does before its first load.
    host.resize(800, 600);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(Compat::moduleWidget(module)->isVisible());
    QCOMPARE(Compat::moduleWidget(module)->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"))->count(), 4);
}

void ModuleTest::firstLoadBuildsThePage()
{
    SSHModule page(nullptr, {});
    page.load();
    QCOMPARE(m_helper->callsWith(QStringLiteral("check_options")).size(), 2);
    auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(3), QStringLiteral("Connections"));

    // Areas sit in their tabs in the order of the page's table.
    auto *general = page.widget()->findChild<QWidget *>(QStringLiteral("generalTab"));
    auto *port = areaFor(page, Server, SSHOption::Port);
    QVERIFY(port);
    QVERIFY(general->isAncestorOf(port));
    QCOMPARE(port->findChild<QSpinBox *>()->value(), 2222);
    QVERIFY(page.widget()->findChild<QWidget *>(QStringLiteral("authTab"))->isAncestorOf(areaFor(page, Server, SSHOption::PermitRootLogin)));
    QVERIFY(page.widget()->findChild<QWidget *>(QStringLiteral("otherTab"))->isAncestorOf(areaFor(page, Server, SSHOption::UseDNS)));
    QVERIFY(page.widget()->findChild<QWidget *>(QStringLiteral("clientPage"))->isAncestorOf(areaFor(page, Client, SSHOption::ServerAliveInterval)));

    auto *switcher = page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"));
    auto *stack = page.widget()->findChild<QStackedWidget *>(QStringLiteral("configureSwitcher"));
    tabs->setCurrentIndex(2);
    switcher->setCurrentIndex(1);
    QCOMPARE(stack->currentIndex(), 1);
    switcher->setCurrentIndex(0);
    QCOMPARE(stack->currentIndex(), 0);
    QCOMPARE(tabs->currentIndex(), 2);

    // A second load resets the areas without reading again.
    port->findChild<QSpinBox *>()->setValue(3000);
    page.load();
    QCOMPARE(m_helper->callsWith(QStringLiteral("check_options")).size(), 2);
    QCOMPARE(port->findChild<QSpinBox *>()->value(), 2222);
}

void ModuleTest::applyWritesOnlyChangedAreas()
{
    SSHModule page(nullptr, {});
    page.load();
    QSignalSpy changed(&page, Compat::needsSaveChanged);
    QSignalSpy posted(page.messagesManager(), &KCMOS::MessagesManager::messagePosted);

    page.save(); // nothing changed
    QVERIFY(m_helper->callsWith(QStringLiteral("option_name")).isEmpty());
    QVERIFY(serverCommands(*m_helper).isEmpty());
    QCOMPARE(posted.count(), 0);
    QVERIFY(!page.stateWidget()->isVisible());

    auto *clientPort = areaFor(page, Client, SSHOption::ClientPort);
    clientPort->findChild<QSpinBox *>()->setValue(2022);
    QVERIFY(Compat::needsSave(page, changed));
    page.save();
    auto writes = m_helper->callsWith(QStringLiteral("option_name"));
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes.at(0).argument(QStringLiteral("new_value")), QVariant(QStringLiteral("2022")));
    QVERIFY(serverCommands(*m_helper).isEmpty()); // client options never restart the server
    QVERIFY(!clientPort->hasChanged());
    QCOMPARE(clientPort->option().value(), QVariant(2022));

    auto *dns = areaFor(page, Server, SSHOption::UseDNS);
    dns->findChild<QCheckBox *>()->click();
    auto *x11 = areaFor(page, Server, SSHOption::X11Forwarding);
    x11->findChild<QCheckBox *>()->click();
    const int before = posted.count();
    page.save();
    writes = m_helper->callsWith(QStringLiteral("option_name"));
    QCOMPARE(writes.size(), 3);
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("restart")});
    QCOMPARE(posted.count() - before, 2); // one success message per option, under one id
    QCOMPARE(messageTexts(page), QStringList {QStringLiteral("Changes applied successfully")});
}

void ModuleTest::applyDuringApplyIsIgnored()
{
    SSHModule page(nullptr, {});
    page.load();
    int writes = 0;
    m_helper->setHandler([&](const FakeActionRunner::Call &call) {
        if (call.keys().contains(QStringLiteral("option_name")) && ++writes == 1) {
            page.save(); // the host's Apply, pressed while the helper works
            page.defaults();
        }
        return FakeActionRunner::success();
    });
    areaFor(page, Server, SSHOption::UseDNS)->findChild<QCheckBox *>()->click();
    page.save();
    QCOMPARE(writes, 1);
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("restart")});
    QVERIFY(m_helper->callsWith(QStringLiteral("restore_configure")).isEmpty());
}

void ModuleTest::failedApplyKeepsThePageChanged()
{
    SSHModule page(nullptr, {});
    page.load();
    m_helper->setHandler([](const FakeActionRunner::Call &call) {
        if (call.keys().contains(QStringLiteral("option_name"))) {
            return FakeActionRunner::failure(QStringLiteral("sshd -t failed"));
        }
        return FakeActionRunner::success();
    });
    auto *dns = areaFor(page, Server, SSHOption::UseDNS);
    dns->findChild<QCheckBox *>()->click();
    QSignalSpy changed(&page, Compat::needsSaveChanged);
    page.save();
    QVERIFY(dns->hasChanged());
    QCOMPARE(dns->option().value(), QVariant(false));
    // The server option failed, yet the service is restarted as after any server apply.
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("restart")});
    QTRY_VERIFY(Compat::needsSave(page, changed));
    QTRY_COMPARE(messageTexts(page), QStringList {QStringLiteral("Error changing SSH option 'UseDNS'")});
}

void ModuleTest::defaultsWithBothBackups()
{
    SSHModule page(nullptr, {});
    page.load();
    QFile(SSHPaths::serverBackup()).open(QIODevice::WriteOnly);
    QFile(SSHPaths::clientBackup()).open(QIODevice::WriteOnly);

    ModalAnswerer answerer;
    answerer.answer(QStringLiteral("Server"));
    answerer.answer(QStringLiteral("Latest working configuration (local)"));
    m_serverValues[QStringLiteral("port")] = QStringLiteral("22");
    page.defaults();
    QCOMPARE(answerer.seenTexts.size(), 2);
    QCOMPARE(answerer.seenTexts.at(0), QStringLiteral("Select the configuration to restore."));
    const auto restores = m_helper->callsWith(QStringLiteral("restore_configure"));
    QCOMPARE(restores.size(), 1);
    QCOMPARE(restores.at(0).argument(QStringLiteral("restore_configure")).toInt(), int(Server));
    QCOMPARE(restores.at(0).argument(QStringLiteral("restore_local_backup")), QVariant(true));
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("restart")});
    QCOMPARE(areaFor(page, Server, SSHOption::Port)->findChild<QSpinBox *>()->value(), 22);
    QCOMPARE(messageTexts(page), QStringList {QStringLiteral("SSH settings were Server successfully restored.")});
    QVERIFY(!page.stateWidget()->isVisible());

    answerer.answer(QStringLiteral("Client"));
    page.defaults();
    const auto clientRestore = m_helper->callsWith(QStringLiteral("restore_configure")).last();
    QCOMPARE(clientRestore.argument(QStringLiteral("restore_configure")).toInt(), int(Client));
    QCOMPARE(clientRestore.argument(QStringLiteral("restore_local_backup")), QVariant(true));
    QCOMPARE(serverCommands(*m_helper).size(), 2); // restarted after a client restore too
    QCOMPARE(messageTexts(page), QStringList {QStringLiteral("SSH settings were Client successfully restored.")});
}

void ModuleTest::defaultsWithoutBackups()
{
    SSHModule page(nullptr, {});
    page.load();
    ModalAnswerer answerer;
    page.defaults();
    QVERIFY(answerer.seenTexts.isEmpty());
    const auto restores = m_helper->callsWith(QStringLiteral("restore_configure"));
    QCOMPARE(restores.size(), 1);
    QCOMPARE(restores.at(0).argument(QStringLiteral("restore_configure")).toInt(), int(Server));
    QCOMPARE(restores.at(0).argument(QStringLiteral("restore_local_backup")), QVariant(false));

    m_helper->setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("distribution default fails sshd -t"));
    });
    page.defaults();
    QCOMPARE(messageTexts(page).last(), QStringLiteral("Failed to restore the configuration file."));
    QVERIFY(serverCommands(*m_helper).size() == 1); // no restart after a failed restore
}

void ModuleTest::defaultsCancelled()
{
    SSHModule page(nullptr, {});
    page.load();
    QFile(SSHPaths::serverBackup()).open(QIODevice::WriteOnly);
    QFile(SSHPaths::clientBackup()).open(QIODevice::WriteOnly);
    const int callsBefore = m_helper->calls.size();
    ModalAnswerer answerer;
    answerer.answer(QString()); // Cancel the first question
    page.defaults();
    answerer.answer(QStringLiteral("Server"));
    answerer.answer(QString()); // Cancel the second one
    page.defaults();
    QCOMPARE(answerer.seenTexts.size(), 3);
    QCOMPARE(m_helper->calls.size(), callsBefore);
    QVERIFY(messageTexts(page).isEmpty());
    QVERIFY(!page.stateWidget()->isVisible());
}

void ModuleTest::loadErrorOffersRestore()
{
    m_helper->setHandler([](const FakeActionRunner::Call &call) {
        if (call.keys().contains(QStringLiteral("check_options")) && call.argument(QStringLiteral("type_id")).toInt() == Server) {
            return FakeActionRunner::failure(QStringLiteral("broken"));
        }
        return FakeActionRunner::success();
    });
    SSHModule page(nullptr, {});
    page.load();
    QTRY_COMPARE(page.messagesManager()->messages().size(), 1);
    KCMOS::MessageWidget *message = page.messagesManager()->messages().constFirst();
    QVERIFY(message->text().startsWith(QLatin1String("Failed to load SSH server settings. If you are dealing with an incorrect server")));
    QVERIFY(message->text().contains(QLatin1String("<a href=\"restore\">")));
    Q_EMIT message->linkActivated(QStringLiteral("anything"));
    QCOMPARE(m_helper->callsWith(QStringLiteral("restore_configure")).size(), 1);
}

void ModuleTest::statusRowFollowsTheService()
{
    m_state.active = false;
    m_state.enabled = true;
    m_helper->setHandler([this](const FakeActionRunner::Call &call) {
        const QString command = call.argument(QStringLiteral("ssh_server_command")).toString();
        if (command == QLatin1String("start")) {
            m_state.active = true;
        } else if (command == QLatin1String("stop")) {
            m_state.active = false;
        }
        return FakeActionRunner::success(call.keys().contains(QStringLiteral("check_options")) ? m_serverValues : QVariantMap());
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
    QCOMPARE(m_helper->callsWith(QStringLiteral("check_options")).size(), 1); // only the client was read

    stopPlay->click();
    QCOMPARE(serverCommands(*m_helper), QStringList {QStringLiteral("start")});
    // Starting reloads the values the running server uses.
    QCOMPARE(m_helper->callsWith(QStringLiteral("check_options")).size(), 3);
    QCOMPARE(status->text(), QStringLiteral("SSH server status launched"));
    QCOMPARE(stopPlay->toolTip(), QStringLiteral("Switched off SSH server"));
    QVERIFY(areaFor(page, Server, SSHOption::Port)->isEnabled());

    m_state.enabled = false;
    stopPlay->click();
    QCOMPARE(serverCommands(*m_helper).last(), QStringLiteral("stop"));
    QCOMPARE(m_helper->callsWith(QStringLiteral("check_options")).size(), 3); // stopping does not reload
    QVERIFY(!warning->isHidden());

    page.widget()->findChild<QPushButton *>(QStringLiteral("sshReload"))->click();
    QCOMPARE(serverCommands(*m_helper).last(), QStringLiteral("restart"));
}

QTEST_MAIN(ModuleTest)
#include "moduletest.moc"
