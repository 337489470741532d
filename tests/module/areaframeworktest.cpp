// SPDX-License-Identifier: GPL-2.0-or-later
#include "animationcontroller.h"
#include "checkboxoptionarea.h"
#include "factorymanager.h"
#include "fakeactionrunner.h"
#include "serverstate.h"
#include "sshmanager.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

class AreaFrameworkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registryCreatesEachAreaOnce();
    void updateAreaShowsLoadedValue();
};

void AreaFrameworkTest::registryCreatesEachAreaOnce()
{
    SSHManager manager;
    manager.initializeConfigurations(false);
    FactoryManager registry(&manager, nullptr);
    QWidget parent;
    const SSHOptions options = manager.allOptions();
    for (const QPointer<SSHOption> &option : options) {
        registry.initializeOptionArea(*option, &parent);
    }
    QCOMPARE(registry.areas().size(), 29);
    AbstractOptionArea *port = registry.getAreaById(SSHOption::Port);
    QVERIFY(port);
    QTest::ignoreMessage(QtWarningMsg, "Trying to initialize an existing area!");
    registry.initializeOptionArea(*manager.findOptionById(Server, SSHOption::Port), &parent);
    QCOMPARE(registry.getAreaById(SSHOption::Port), port);

    // A sub-option has no area of its own.
    const QPointer<SSHOption> allowUsers = manager.findOptionById(Server, SSHOption::AllowDenyUsersGroups)->subOptions().constFirst();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Cannot create widget for option 'AllowUsers' with unsupported type '.*' and id '22'")));
    registry.initializeOptionArea(*allowUsers, &parent);
    QVERIFY(!registry.getAreaById(SSHOption::AllowUsers));
}

void AreaFrameworkTest::updateAreaShowsLoadedValue()
{
    SSHOption option(Server, nullptr);
    option.setId(SSHOption::UseDNS);
    option.setValueType(QVariant::Bool);
    option.setValue(false);
    CheckboxOptionArea area(option, nullptr);
    area.inflate();
    auto *box = area.findChild<QCheckBox *>();
    box->click();
    QVERIFY(area.hasChanged());
    area.updateArea(QStringLiteral("no"));
    QVERIFY(!box->isChecked()); // the edit is dropped from the widget
    QVERIFY(!area.hasChanged()); // a newly loaded value ends the edit

    SSHOption applied(area.option());
    applied.setValue(true);
    area.replaceOption(applied);
    QVERIFY(!area.hasChanged());
    QCOMPARE(area.option().value(), QVariant(true));
    QVERIFY(!box->isChecked()); // replaceOption shows nothing
}

QTEST_MAIN(AreaFrameworkTest)
#include "areaframeworktest.moc"
