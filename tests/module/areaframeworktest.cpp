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
    void registryWithoutManagerMakesNothing();
    void updateAreaShowsLoadedValue();
    void animationTogglesOpenAndClosed();
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

void AreaFrameworkTest::registryWithoutManagerMakesNothing()
{
    FactoryManager registry(nullptr, nullptr);
    SSHOption option(Server, nullptr);
    option.setId(SSHOption::Port);
    option.setName(QStringLiteral("Port"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot create widget for option 'Port'")));
    QWidget parent;
    registry.initializeOptionArea(option, &parent);
    QVERIFY(registry.areas().isEmpty());
}

void AreaFrameworkTest::updateAreaShowsLoadedValue()
{
    SSHOption option(Server, nullptr);
    option.setId(SSHOption::UseDNS);
    option.setValueType(QMetaType::Bool);
    option.setValue(false);
    CheckboxOptionArea area(option, nullptr);
    area.inflate();
    auto *box = area.findChild<QCheckBox *>();
    box->click();
    QVERIFY(area.hasChanged());
    area.updateArea(QStringLiteral("no"));
    QVERIFY(!box->isChecked()); // the edit is dropped from the widget
    QVERIFY(area.hasChanged()); // the flag is not touched

    SSHOption applied(area.option());
    applied.setValue(true);
    area.replaceOption(applied);
    QVERIFY(!area.hasChanged());
    QCOMPARE(area.option().value(), QVariant(true));
    QVERIFY(!box->isChecked()); // replaceOption shows nothing
}

void AreaFrameworkTest::animationTogglesOpenAndClosed()
{
    QWidget target;
    auto *layout = new QVBoxLayout(&target);
    auto *content = new QWidget(&target);
    content->setFixedHeight(120);
    layout->addWidget(content);
    const int openHeight = target.sizeHint().height();
    QVERIFY(openHeight >= 120);
    AnimationController controller(&target, nullptr);
    controller.setAnimationDuration(20);
    QSignalSpy finished(&controller, &AnimationController::animationFinished);
    target.setMaximumHeight(0);
    controller.toggleAnimation();
    QVERIFY(finished.wait(2000));
    QCOMPARE(target.maximumHeight(), openHeight);
    controller.toggleAnimation();
    QVERIFY(finished.wait(2000));
    QCOMPARE(target.maximumHeight(), 0);
}

QTEST_MAIN(AreaFrameworkTest)
#include "areaframeworktest.moc"
