// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "fixedservicestate.h"
#include "serverstate.h"
#include "sshmanager.h"
#include "sshoptioncatalog.h"

#include <QSignalSpy>
#include <QTest>

namespace
{
QVariantMap serverReply()
{
    return {
        {QStringLiteral("port"), QStringLiteral("2222")},
        {QStringLiteral("permitrootlogin"), QStringLiteral("prohibit-password")},
        {QStringLiteral("listenaddress"), QStringLiteral("10.0.0.1:22 [::1]:22")},
        {QStringLiteral("permittunnel"), QStringLiteral("ethernet")},
        {QStringLiteral("allowusers"), QStringList {QStringLiteral("alice@*"), QStringLiteral("bob@10.0.0.2")}},
        {QStringLiteral("denyusers"), QStringList()},
        {QStringLiteral("allowgroups"), QStringLiteral("wheel@*")},
    };
}
}

class ManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_state = FixedServiceState();
        ServerState::setStateSourceForTesting(&m_state);
    }

    void cleanup() { ServerState::setStateSourceForTesting(nullptr); }

    void loadWithActiveServerReadsBoth()
    {
        FakeActionRunner helper;
        helper.setHandler([](const FakeActionRunner::Call &call) {
            if (call.argument(QStringLiteral("type_id")).toInt() == Server) {
                return FakeActionRunner::success(serverReply());
            }
            return FakeActionRunner::success({{QStringLiteral("serveraliveinterval"), QStringLiteral("30")}});
        });
        SSHManager manager;
        QSignalSpy errors(&manager, &SSHManager::error);
        manager.initializeConfigurations(true);

        QCOMPARE(helper.calls.size(), 2);
        QCOMPARE(helper.calls.at(0).action, QStringLiteral("org.kde.kcontrol.kcmsshsettings.access"));
        QCOMPARE(helper.calls.at(0).keys(), (QStringList {QStringLiteral("check_options"), QStringLiteral("type_id")}));
        QCOMPARE(helper.calls.at(1).argument(QStringLiteral("type_id")).toInt(), int(Client));
        QCOMPARE(errors.count(), 0);

        QCOMPARE(manager.findOptionById(Server, SSHOption::Port)->value(), QVariant(2222));
        // Kept as read: a three-state box shows it, "keys only" is not "no".
        QCOMPARE(manager.findOptionById(Server, SSHOption::PermitRootLogin)->value(), QVariant(QStringLiteral("prohibit-password")));
        QCOMPARE(manager.currentLisstenAddresses(), (QStringList {QStringLiteral("10.0.0.1:22"), QStringLiteral("[::1]:22")}));
        QCOMPARE(manager.findOptionById(Server, SSHOption::PermitTunnel)->value(), QVariant(QStringList {QStringLiteral("ethernet")}));
        // A keyword missing from the reply keeps its default.
        QCOMPARE(manager.findOptionById(Server, SSHOption::MaxSessions)->value(), QVariant(10));
        QCOMPARE(manager.findOptionById(Client, SSHOption::ServerAliveInterval)->value(), QVariant(30));

        const SSHOptions access = manager.findOptionById(Server, SSHOption::AllowDenyUsersGroups)->subOptions();
        QCOMPARE(access.size(), 3); // DenyGroups was not in the reply
        QCOMPARE(access.at(0)->value(), QVariant(QStringList {QStringLiteral("alice@*"), QStringLiteral("bob@10.0.0.2")}));
        // A single string is one entry; it is not split.
        QCOMPARE(access.at(2)->value(), QVariant(QStringList {QStringLiteral("wheel@*")}));
    }

    void failedAndEmptyReads()
    {
        FakeActionRunner helper;
        helper.setHandler([](const FakeActionRunner::Call &call) {
            if (call.argument(QStringLiteral("type_id")).toInt() == Server) {
                return FakeActionRunner::failure(QStringLiteral("sshd -T failed"));
            }
            return FakeActionRunner::success();
        });
        SSHManager manager;
        QSignalSpy errors(&manager, &SSHManager::error);
        manager.initializeConfigurations(false);
        QSignalSpy clientPort(manager.findOptionById(Client, SSHOption::ClientPort), &SSHOption::valueChanged);
        manager.loadValueOptions();
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(1).value<SSHCodeError>(), ServerLoadError);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Failed to load the SSH server settings"));
        // The client's empty reply changes nothing and reports nothing.
        QCOMPARE(clientPort.count(), 0);

        helper.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("no"));
        });
        manager.loadConfigurations({Client});
        QCOMPARE(errors.count(), 2);
        QCOMPARE(errors.at(1).at(1).value<SSHCodeError>(), ClientLoadError);
    }

    // The page offers every keyword the helper accepts, each once, under its own configuration.
    void pageCoversTheCatalogue_data()
    {
        QTest::addColumn<SSHConfigurationTypeId>("type");
        QTest::newRow("server") << Server;
        QTest::newRow("client") << Client;
    }

    void pageCoversTheCatalogue()
    {
        QFETCH(SSHConfigurationTypeId, type);
        SSHManager manager;
        manager.initializeConfigurations(false);
        QStringList page = manager.getOptionNames(type);
        QStringList catalogue;
        for (const OptionCatalog::Option &option : OptionCatalog::options(static_cast<OptionCatalog::ConfigType>(type))) {
            catalogue.append(option.keyword);
        }
        page.sort();
        catalogue.sort();
        QCOMPARE(page, catalogue);
    }

    void changeSendsKeywordTypeAndValue()
    {
        FakeActionRunner helper;
        SSHManager manager;
        manager.initializeConfigurations(false);
        const QPointer<SSHOption> port = manager.findOptionById(Client, SSHOption::ClientPort);
        QSignalSpy changes(port, &SSHOption::valueChanged);
        QVERIFY(manager.changeValueOption(*port, QStringLiteral("2022")));
        QCOMPARE(helper.calls.size(), 1);
        const FakeActionRunner::Call call = helper.calls.constFirst();
        QCOMPARE(call.action, QStringLiteral("org.kde.kcontrol.kcmsshsettings.change"));
        QCOMPARE(call.keys(), (QStringList {QStringLiteral("option_name"), QStringLiteral("config_type_id"), QStringLiteral("new_value")}));
        QCOMPARE(call.argument(QStringLiteral("option_name")).toString(), QStringLiteral("Port"));
        QCOMPARE(call.argument(QStringLiteral("config_type_id")).toInt(), int(Client));
        QCOMPARE(call.argument(QStringLiteral("new_value")), QVariant(QStringLiteral("2022")));
        QCOMPARE(port->value(), QVariant(2022));
        QCOMPARE(changes.count(), 1);
    }

    void failedChangeKeepsOldValue()
    {
        FakeActionRunner helper;
        helper.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("sshd -t: bad"));
        });
        SSHManager manager;
        manager.initializeConfigurations(false);
        QSignalSpy errors(&manager, &SSHManager::error);
        const QPointer<SSHOption> dns = manager.findOptionById(Server, SSHOption::UseDNS);
        QVERIFY(!manager.changeValueOption(*dns, true));
        QCOMPARE(dns->value(), QVariant(false));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(1).value<SSHCodeError>(), ChangeOptionError);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Error changing SSH option 'UseDNS'"));
    }

    void restoreArguments()
    {
        FakeActionRunner helper;
        SSHManager manager;
        QSignalSpy errors(&manager, &SSHManager::error);
        QVERIFY(manager.restoreFileConfiguration(Client, true));
        QCOMPARE(helper.calls.at(0).keys(), (QStringList {QStringLiteral("restore_configure"), QStringLiteral("restore_local_backup")}));
        QCOMPARE(helper.calls.at(0).argument(QStringLiteral("restore_configure")).toInt(), int(Client));
        QCOMPARE(helper.calls.at(0).argument(QStringLiteral("restore_local_backup")), QVariant(true));
        helper.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("backup fails sshd -t"));
        });
        QVERIFY(!manager.restoreFileConfiguration(Server, false));
        QCOMPARE(errors.count(), 0);
    }

private:
    FixedServiceState m_state;
};

QTEST_GUILESS_MAIN(ManagerTest)
#include "managertest.moc"
