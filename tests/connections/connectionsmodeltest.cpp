// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsmodel.h"

#include <QSignalSpy>
#include <QTest>

namespace
{
SSHConnectionData connection(pid_t pid, const QString &user, const QDateTime &opened)
{
    SSHConnectionData data;
    data.syslogPid = pid;
    data.user = user;
    data.address = ServerAddress(QStringLiteral("192.168.1.5"), QStringLiteral("40000"), nullptr);
    data.failedTriesCount = 2;
    data.openDateTime = opened;
    return data;
}
}

class ConnectionsModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columns()
    {
        SSHConnectionsModel model(nullptr);
        QCOMPARE(model.columnCount(), 7);
        const QStringList headers = {QStringLiteral("User"),
                                     QStringLiteral("IP"),
                                     QStringLiteral("Port"),
                                     QStringLiteral("Failed login tries"),
                                     QStringLiteral("Last console activity"),
                                     QStringLiteral("Connection timestamp"),
                                     QStringLiteral("Disconnection timestamp")};
        for (int section = 0; section < headers.size(); ++section) {
            QCOMPARE(model.headerData(section, Qt::Horizontal).toString(), headers.at(section));
            QVERIFY(!model.headerData(section, Qt::Vertical).isValid());
            QVERIFY(!model.headerData(section, Qt::Horizontal, Qt::ToolTipRole).isValid());
        }
        QVERIFY(!model.headerData(7, Qt::Horizontal).isValid());
    }

    void displayValues()
    {
        SSHConnectionsModel model(nullptr);
        const QDateTime opened = QDateTime::currentDateTime().addSecs(-60);
        SSHConnectionData data = connection(812, QStringLiteral("bob"), opened);
        data.address = ServerAddress(QStringLiteral("2001:db8::1"), QStringLiteral("50022"), nullptr);
        model.addConnection(data);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("bob"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("2001:db8::1"));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("50022"));
        QCOMPARE(model.data(model.index(0, 3)).toInt(), 2);
        QVERIFY(model.data(model.index(0, 4)).toDateTime().isNull());
        QCOMPARE(model.data(model.index(0, 5)).toDateTime(), opened);
        QCOMPARE(model.data(model.index(0, 6)).toString(), QStringLiteral("Still connected"));
        QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
        QVERIFY(!model.data(model.index(0, 4), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(model.index(1, 0)).isValid());
        QVERIFY(!model.data(QModelIndex()).isValid());
    }

    void elapsedText_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "Elapsed 0h0m0s0ms";
        QTest::newRow("1h2m3.004s") << qint64(3723004) << "Elapsed 1h2m3s4ms";
        QTest::newRow("59m59.999s") << qint64(3599999) << "Elapsed 0h59m59s999ms";
        QTest::newRow("past a day") << qint64(90061001) << "Elapsed 25h1m1s1ms";
    }
    void elapsedText()
    {
        QFETCH(qint64, elapsed);
        QFETCH(QString, text);
        QCOMPARE(SSHConnectionsModel::elapsedText(elapsed), text);
    }

    void openTimeToolTip()
    {
        SSHConnectionsModel model(nullptr);
        model.addConnection(connection(812, QStringLiteral("bob"), QDateTime::currentDateTime().addMSecs(-3723004)));
        const QString toolTip = model.data(model.index(0, 5), Qt::ToolTipRole).toString();
        QVERIFY2(toolTip.startsWith(QLatin1String("Elapsed 1h2m3s")), qPrintable(toolTip));
    }

    void closing()
    {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-3600);
        SSHConnectionsModel model(nullptr);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);
        model.addConnection(connection(10, QStringLiteral("old"), before.addSecs(-60)));
        model.addConnection(connection(20, QStringLiteral("open"), before));
        model.addConnection(connection(30, QStringLiteral("late"), after));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

        // Closed before the model existed: the row goes.
        model.removeConnection(10, before);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.connections().at(0).syslogPid, 20);

        // Closed since: the row stays with its close time.
        model.removeConnection(30, after);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.connections().at(1).closeDateTime, after);
        QCOMPARE(model.data(model.index(1, 6)).toDateTime(), after);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 6));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int> {Qt::DisplayRole});

        // Unknown pid: only a warning.
        QTest::ignoreMessage(QtWarningMsg, "Session closed without being opened: 99");
        model.removeConnection(99, after);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(removed.size(), 1);
    }

    void idleTime()
    {
        SSHConnectionsModel model(nullptr);
        model.addConnection(connection(10, QStringLiteral("a"), QDateTime::currentDateTime()));
        model.addConnection(connection(20, QStringLiteral("b"), QDateTime::currentDateTime()));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QDateTime activity = QDateTime::fromMSecsSinceEpoch(1700000000123);
        model.updateIdleTime(20, activity);
        QCOMPARE(model.data(model.index(1, 4)).toDateTime(), activity);
        QVERIFY(model.data(model.index(0, 4)).toDateTime().isNull());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 4));
        model.updateIdleTime(20, QDateTime());
        QVERIFY(model.connections().at(1).lastActivityTime.isNull());

        QTest::ignoreMessage(QtWarningMsg, "Trying to update idle time for non-existemt PID 99");
        model.updateIdleTime(99, activity);
        QCOMPARE(changed.size(), 2);
    }

    void connectionOfIndex()
    {
        SSHConnectionsModel model(nullptr);
        model.addConnection(connection(10, QStringLiteral("a"), QDateTime::currentDateTime()));
        QCOMPARE(model.connection(model.index(0, 3)).syslogPid, 10);
        QTest::ignoreMessage(QtWarningMsg, "Incorrect or out-of-range index passed to connection method");
        const SSHConnectionData empty = model.connection(QModelIndex());
        QCOMPARE(empty.syslogPid, 0);
        QVERIFY(empty.user.isEmpty());
        QVERIFY(!empty.address.isValid());
        QVERIFY(empty.openDateTime.isNull());
    }
};

QTEST_GUILESS_MAIN(ConnectionsModelTest)
#include "connectionsmodeltest.moc"
