// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshmanager.h"
#include "sshoptioncatalog.h"

#include <QTest>

// How the manager loads, changes and restores is proven against the real helper (tests/e2e) and through the page (tests/module).
class ManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The page offers every keyword the helper accepts, each once, under its own configuration.
    void pageCoversTheCatalogue()
    {
        SSHManager manager;
        manager.initializeConfigurations(false);
        for (const SSHConfigurationTypeId type : {Server, Client}) {
            QStringList page = manager.getOptionNames(type);
            QStringList catalogue;
            for (const OptionCatalog::Option &option : OptionCatalog::options(static_cast<OptionCatalog::ConfigType>(type))) {
                catalogue.append(option.keyword);
            }
            page.sort();
            catalogue.sort();
            QCOMPARE(page, catalogue);
        }
    }
};

QTEST_GUILESS_MAIN(ManagerTest)
#include "managertest.moc"
