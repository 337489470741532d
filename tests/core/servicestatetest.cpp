// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "systemdservice.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace
{
/// systemd's answers for a few units: name -> (loaded as, active state, unit file state).
struct StandInBus : NuvoAdmin::SystemdBus {
    struct Unit {
        QString id;
        QStringList names;
        QString active;
        QString fileState;
    };
    QList<Unit> units;
    bool loaded = true; ///< whether GetUnit knows them already, or only LoadUnit
    QString unitPath(const QString &method, const QString &name) override
    {
        for (int i = 0; i < units.size(); ++i) {
            if (units.at(i).names.contains(name) && (loaded || method == QLatin1String("LoadUnit"))) {
                return QStringLiteral("/unit/%1").arg(i);
            }
        }
        // LoadUnit answers every name, with LoadState "not-found" for unknown ones.
        return method == QLatin1String("LoadUnit") ? QStringLiteral("/unit/missing") : QString();
    }
    QVariant unitProperty(const QString &path, const QString &property) override
    {
        if (path.endsWith(QLatin1String("missing"))) {
            return property == QLatin1String("LoadState") ? QVariant(QStringLiteral("not-found")) : QVariant();
        }
        const Unit &unit = units.at(path.section(QLatin1Char('/'), -1).toInt());
        const QVariantMap properties{{QStringLiteral("LoadState"), QStringLiteral("loaded")},
                                     {QStringLiteral("Id"), unit.id},
                                     {QStringLiteral("Names"), unit.names},
                                     {QStringLiteral("ActiveState"), unit.active},
                                     {QStringLiteral("UnitFileState"), unit.fileState}};
        return properties.value(property);
    }
};
}
Q_DECLARE_METATYPE(QList<StandInBus::Unit>)

class ServiceStateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_paths.runDirectory = m_root->filePath(QStringLiteral("run"));
        m_paths.procDirectory = m_root->filePath(QStringLiteral("proc"));
        m_paths.etcDirectory = m_root->filePath(QStringLiteral("etc"));
        m_paths.systemdRuntimeMarker = m_root->filePath(QStringLiteral("run/systemd/system"));
        NuvoAdmin::SystemdService::setPathsForTesting(m_paths);
    }

    void cleanupTestCase()
    {
        NuvoAdmin::SystemdService::setPathsForTesting({});
    }

    void sysvActiveNeedsALiveSshd()
    {
        const NuvoAdmin::SystemdService service;
        QVERIFY(!service.isActive()); // no pid file
        QVERIFY(TestFiles::write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "4242\n"));
        QVERIFY(!service.isActive()); // no such process
        QVERIFY(TestFiles::write(m_paths.procDirectory + QStringLiteral("/4242/comm"), "bash\n"));
        QVERIFY(!service.isActive()); // a recycled pid of another program
        QVERIFY(TestFiles::write(m_paths.procDirectory + QStringLiteral("/4242/comm"), "sshd\n"));
        QVERIFY(service.isActive());
        QVERIFY(TestFiles::write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "garbage"));
        QVERIFY(!service.isActive());
        QVERIFY(TestFiles::write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "1"));
        QVERIFY(!service.isActive());
    }

    void sysvEnabledFollowsTheDefaultRunlevel()
    {
        const NuvoAdmin::SystemdService service;
        QVERIFY(!service.isEnabled());
        QVERIFY(TestFiles::write(m_paths.etcDirectory + QStringLiteral("/rc3.d/S01ssh"), ""));
        QVERIFY(!service.isEnabled()); // Debian's default runlevel is 2
        QVERIFY(TestFiles::write(m_paths.etcDirectory + QStringLiteral("/inittab"), "# comment\nid:3:initdefault:\n"));
        QVERIFY(service.isEnabled());
        QVERIFY(TestFiles::write(m_paths.etcDirectory + QStringLiteral("/rc2.d/K01ssh"), ""));
        QVERIFY(TestFiles::write(m_paths.etcDirectory + QStringLiteral("/inittab"), "id:2:initdefault:\n"));
        QVERIFY(!service.isEnabled()); // stopped in runlevel 2
    }

    void nothingToAskAnswersFalse()
    {
        // systemd seems to run, but there is no bus to ask: both answers are false, quickly.
        QDir().mkpath(m_paths.systemdRuntimeMarker);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray(QByteArray("unix:path=") + m_root->filePath(QStringLiteral("no-bus")).toUtf8()));
        QElapsedTimer timer;
        timer.start();
        const NuvoAdmin::SystemdService service;
        QVERIFY(!service.isActive());
        QVERIFY(!service.isEnabled());
        QVERIFY(timer.elapsed() < 5000);
    }

    void resolvesTheUnitInUse_data()
    {
        QTest::addColumn<QList<StandInBus::Unit>>("units");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("enabled");
        const QString ssh = QStringLiteral("ssh.service");
        const QString sshd = QStringLiteral("sshd.service");
        const QString socket = QStringLiteral("ssh.socket");
        using U = StandInBus::Unit;
        // clang-format off
        QTest::newRow("debian enabled, alias") << QList<U>{{ssh, {ssh, sshd}, QStringLiteral("active"), QStringLiteral("enabled")}} << true << ssh << true << true;
        QTest::newRow("debian running but disabled") << QList<U>{{ssh, {ssh}, QStringLiteral("active"), QStringLiteral("disabled")}} << true << ssh << true << false;
        QTest::newRow("debian not loaded yet") << QList<U>{{ssh, {ssh}, QStringLiteral("inactive"), QStringLiteral("disabled")}} << false << ssh << false << false;
        QTest::newRow("socket activated") << QList<U>{{ssh, {ssh}, QStringLiteral("inactive"), QStringLiteral("disabled")}, {socket, {socket}, QStringLiteral("active"), QStringLiteral("enabled")}} << true << ssh << true << true;
        QTest::newRow("fedora") << QList<U>{{sshd, {sshd}, QStringLiteral("active"), QStringLiteral("enabled")}} << true << sshd << true << true;
        QTest::newRow("not installed") << QList<U>{} << true << QString() << false << false;
        // clang-format on
    }

    void resolvesTheUnitInUse()
    {
        QFETCH(QList<StandInBus::Unit>, units);
        QFETCH(bool, loaded);
        QDir().mkpath(m_paths.systemdRuntimeMarker);
        StandInBus bus;
        bus.units = units;
        bus.loaded = loaded;
        NuvoAdmin::SystemdService::setBusForTesting(&bus);
        const NuvoAdmin::SystemdService service;
        QTEST(service.unitName(), "unit");
        QTEST(service.isActive(), "active");
        QTEST(service.isEnabled(), "enabled");
        NuvoAdmin::SystemdService::setBusForTesting(nullptr);
    }

private:
    std::unique_ptr<QTemporaryDir> m_root;
    NuvoAdmin::SystemdService::SysVPaths m_paths;
};

QTEST_GUILESS_MAIN(ServiceStateTest)
#include "servicestatetest.moc"
