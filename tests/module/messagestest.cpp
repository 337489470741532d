// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagesmanager.h"
#include "messagewidget.h"
#include "orbiskcmodule.h"
#include "statewidget.h"

#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

namespace
{
class Page : public KCMOS::OrbisKCModule
{
public:
    Page() : KCMOS::OrbisKCModule(QStringLiteral("test"), nullptr, QString(), {})
    {
        auto *layout = new QVBoxLayout(widget());
        layout->addWidget(new QLabel(QStringLiteral("content"), widget()));
    }
    int accessCalls = 0;
    int changeCalls = 0;
    void access() override { ++accessCalls; }
    void change() override { ++changeCalls; }
};
}

class MessagesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageByIdReplacesTheEarlierOne();
};

void MessagesTest::messageByIdReplacesTheEarlierOne()
{
    KCMOS::MessagesManager manager;
    manager.show();
    manager.newMessage(QStringLiteral("plain"), KCMOS::Information);
    QPointer<KCMOS::MessageWidget> first = manager.newMessageById(QStringLiteral("success_change_id"), QStringLiteral("one"), KCMOS::Positive);
    manager.newMessageById(QStringLiteral("success_change_id"), QStringLiteral("two"), KCMOS::Positive);
    QCOMPARE(manager.messages().size(), 2);
    QCOMPARE(manager.messages().last()->text(), QStringLiteral("two"));
    QTRY_VERIFY(!first);
    manager.clearMessages();
    QVERIFY(manager.messages().isEmpty());
    QVERIFY(manager.isHidden());
}

QTEST_MAIN(MessagesTest)
#include "messagestest.moc"
