// SPDX-License-Identifier: GPL-2.0-or-later
#include "checkboxoptionarea.h"
#include "factorymanager.h"
#include "fakeactionrunner.h"
#include "serverstate.h"
#include "sshmanager.h"

#include <QCheckBox>
#include <QTest>

class AreaFrameworkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void updateAreaShowsLoadedValue();
};

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
