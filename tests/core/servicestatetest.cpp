// SPDX-License-Identifier: GPL-2.0-or-later
#include "fakeactionrunner.h"
#include "serverstate.h"
#include "systemdservice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class ServiceStateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanupTestCase();
    void sysvActiveNeedsALiveSshd();
    void sysvEnabledFollowsTheDefaultRunlevel();
    void nothingToAskAnswersFalse();
    void commandsGoThroughTheHelper();

private:
    void write(const QString &path, const QByteArray &content);
    std::unique_ptr<QTemporaryDir> m_root;
    NuvoAdmin::SystemdService::SysVPaths m_paths;
};

void ServiceStateTest::write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void ServiceStateTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_paths.runDirectory = m_root->filePath(QStringLiteral("run"));
    m_paths.procDirectory = m_root->filePath(QStringLiteral("proc"));
    m_paths.etcDirectory = m_root->filePath(QStringLiteral("etc"));
    m_paths.systemdRuntimeMarker = m_root->filePath(QStringLiteral("run/systemd/system"));
    NuvoAdmin::SystemdService::setPathsForTesting(m_paths);
}

void ServiceStateTest::cleanupTestCase()
{
    NuvoAdmin::SystemdService::setPathsForTesting({});
}

void ServiceStateTest::sysvActiveNeedsALiveSshd()
{
    const NuvoAdmin::SystemdService service(QStringLiteral("sshd"));
    QVERIFY(!service.isActive()); // no pid file
    write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "4242\n");
    QVERIFY(!service.isActive()); // no such process
    write(m_paths.procDirectory + QStringLiteral("/4242/comm"), "bash\n");
    QVERIFY(!service.isActive()); // a recycled pid of another program
    write(m_paths.procDirectory + QStringLiteral("/4242/comm"), "sshd\n");
    QVERIFY(service.isActive());
    write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "garbage");
    QVERIFY(!service.isActive());
    write(m_paths.runDirectory + QStringLiteral("/sshd.pid"), "1");
    QVERIFY(!service.isActive());
}

void ServiceStateTest::sysvEnabledFollowsTheDefaultRunlevel()
{
    const NuvoAdmin::SystemdService service(QStringLiteral("sshd"));
    QVERIFY(!service.isEnabled());
    write(m_paths.etcDirectory + QStringLiteral("/rc3.d/S01ssh"), "");
    QVERIFY(!service.isEnabled()); // Debian's default runlevel is 2
    write(m_paths.etcDirectory + QStringLiteral("/inittab"), "# comment\nid:3:initdefault:\n");
    QVERIFY(service.isEnabled());
    write(m_paths.etcDirectory + QStringLiteral("/rc2.d/K01ssh"), "");
    write(m_paths.etcDirectory + QStringLiteral("/inittab"), "id:2:initdefault:\n");
    QVERIFY(!service.isEnabled()); // stopped in runlevel 2
}

void ServiceStateTest::nothingToAskAnswersFalse()
{
    // systemd seems to run, but there is no bus to ask: both answers are false, quickly.
    QDir().mkpath(m_paths.systemdRuntimeMarker);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray(QByteArray("unix:path=") + m_root->filePath(QStringLiteral("no-bus")).toUtf8()));
    QElapsedTimer timer;
    timer.start();
    const NuvoAdmin::SystemdService service(QStringLiteral("sshd"));
    QVERIFY(!service.isActive());
    QVERIFY(!service.isEnabled());
    QVERIFY(timer.elapsed() < 5000);
}

void ServiceStateTest::commandsGoThroughTheHelper()
{
    FakeActionRunner helper;
    ServerState state;
    state.start();
    state.stop();
    helper.setHandler([](const FakeActionRunner::Call &) {
        return FakeActionRunner::failure(QStringLiteral("invalid configuration"), 4);
    });
    QTest::ignoreMessage(QtCriticalMsg, "ssh_server_command: Error code 4, text: \"invalid configuration\"!");
    state.restart();
    QCOMPARE(helper.calls.size(), 3);
    QStringList commands;
    for (const auto &call : std::as_const(helper.calls)) {
        QCOMPARE(call.action, QStringLiteral("org.kde.kcontrol.kcmsshsettings.access"));
        QCOMPARE(call.keys(), QStringList {QStringLiteral("ssh_server_command")});
        commands.append(call.argument(QStringLiteral("ssh_server_command")).toString());
    }
    QCOMPARE(commands, (QStringList {QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("restart")}));
}

QTEST_GUILESS_MAIN(ServiceStateTest)
#include "servicestatetest.moc"
