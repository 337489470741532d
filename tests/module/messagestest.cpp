// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagesmanager.h"
#include "messagewidget.h"
#include "orbiskcmodule.h"
#include "statewidget.h"

#include <QLabel>
#include <QSignalSpy>
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
    void loadAndSaveLeadToAccessAndChange();
    void linkInMessageIsReported();
    void messageByIdReplacesTheEarlierOne();
    void messagesSitAboveThePage();
    void busyOverlayCoversThePage();
};

void MessagesTest::loadAndSaveLeadToAccessAndChange()
{
    Page page;
    page.load();
    page.save();
    QCOMPARE(page.accessCalls, 1);
    QCOMPARE(page.changeCalls, 1);
}

void MessagesTest::linkInMessageIsReported()
{
    KCMOS::MessagesManager manager;
    KCMOS::MessageWidget *message = manager.newMessage(QStringLiteral("Broken. <a href=\"restore\">click on this text.</a>"), KCMOS::Error);
    QSignalSpy spy(message, &KCMOS::MessageWidget::linkActivated);
    // The label inside KMessageWidget forwards its link activation.
    QLabel *textLabel = nullptr;
    const auto labels = message->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->text().contains(QLatin1String("href"))) {
            textLabel = label;
        }
    }
    QVERIFY(textLabel);
    Q_EMIT textLabel->linkActivated(QStringLiteral("restore"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("restore"));
    QCOMPARE(message->messageType(), KCMOS::Error);
}

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

void MessagesTest::messagesSitAboveThePage()
{
    Page page;
    page.widget()->show();
    page.messagesManager()->newMessage(QStringLiteral("hello"), KCMOS::Positive);
    auto *layout = qobject_cast<QBoxLayout *>(page.widget()->layout());
    QCOMPARE(layout->indexOf(page.messagesManager()), 0);
    QVERIFY(page.messagesManager()->isVisible());
}

void MessagesTest::busyOverlayCoversThePage()
{
    Page page;
    page.widget()->resize(400, 300);
    page.widget()->show();
    page.stateWidget()->resetState(); // harmless without a wait
    QVERIFY(!page.stateWidget()->isVisible());
    page.stateWidget()->waitState(KCMOS::Busy);
    QVERIFY(page.stateWidget()->isVisible());
    QCOMPARE(page.stateWidget()->geometry(), page.widget()->rect());
    page.widget()->resize(500, 350);
    QCOMPARE(page.stateWidget()->geometry(), page.widget()->rect());
    page.stateWidget()->resetState();
    QVERIFY(!page.stateWidget()->isVisible());
}

QTEST_MAIN(MessagesTest)
#include "messagestest.moc"
