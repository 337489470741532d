// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsmanager.h"
#include "connections_debug.h"
#include "sshdlogentry.h"

#include "messagesmanager.h"
#include "privilegedaction.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QDebug>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

SSHConnectionsManager::SSHConnectionsManager(QObject *parent)
    : QObject(parent)
{
    registerSSHConnectionMetaTypes();
    m_tracker.opened = [this](const SshdLog::Connection &opened) {
        SSHConnectionData connection;
        connection.syslogPid = opened.pid;
        connection.user = opened.user;
        connection.address = ServerAddress(opened.address, QString::number(opened.port), nullptr);
        connection.method = opened.method;
        connection.keyType = opened.keyType;
        connection.fingerprint = opened.fingerprint;
        connection.failedTriesCount = opened.failures;
        connection.openDateTime = QDateTime::fromMSecsSinceEpoch((opened.opened + 500) / 1000);
        Q_EMIT connectionOpened(connection);
    };
    m_tracker.closed = [this](int pid, qint64 usec) {
        Q_EMIT connectionClosed(pid, QDateTime::fromMSecsSinceEpoch((usec + 500) / 1000));
    };
}

SSHConnectionsManager::~SSHConnectionsManager() = default;

QString SSHConnectionsManager::journalCursor() const
{
    return m_tracker.cursor();
}

int SSHConnectionsManager::pendingCount() const
{
    return m_tracker.pendingCount();
}

QList<SshdLog::AddressAttempts> SSHConnectionsManager::attempts() const
{
    return m_tracker.attempts();
}

void SSHConnectionsManager::readConnections()
{
    // A read still waits for its answer: the next refresh tick would ask with the same cursor and count every line twice.
    if (m_reading) {
        return;
    }
    m_reading = true;
    using namespace SSHSettings::Protocol;
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Read,
                                     {{Arg::JournalArguments, SshdLog::journalArguments(m_tracker.cursor())}},
                                     this,
                                     [this](const SSHSettings::ActionResult &result) {
                                         m_reading = false;
                                         journalRead(result);
                                     });
}

void SSHConnectionsManager::journalRead(const SSHSettings::ActionResult &result)
{
    using namespace SSHSettings::Protocol;
    // Each failure is logged once, not at every refresh.
    if (!result.ok) {
        if (m_lastFailure != result.errorText) {
            qCWarning(SSHSETTINGS_CONNECTIONS) << "Failed to read journalctl" << result.errorText;
        }
        m_lastFailure = result.errorText;
        Q_EMIT journalReadable(false, SSHSettings::failureReason(result));
        return;
    }
    const QVariant output = result.data.value(Reply::Output);
    if (output.userType() != QMetaType::QByteArray || !m_tracker.apply(output.toByteArray())) {
        if (m_lastFailure != QStringLiteral("no records")) {
            qCWarning(SSHSETTINGS_CONNECTIONS) << "Reading journalctl sent no records";
        }
        m_lastFailure = QStringLiteral("no records");
        Q_EMIT journalReadable(false, QString());
        return;
    }
    m_lastFailure.clear();
    Q_EMIT journalReadable(true, QString());
    Q_EMIT attemptsChanged();
}

QString SSHConnectionsManager::readWhoOutput()
{
    QProcess who;
    // LC_ALL overrides LC_TIME and LANG: the columns then read as in the C locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    who.setProcessEnvironment(environment);
    who.start(QStringLiteral("/usr/bin/who"), {QStringLiteral("-pu")}, QIODevice::ReadOnly | QIODevice::Text);
    if (!who.waitForFinished(30000)) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Process"
                                           << "who -pu"
                                           << "did not finish:" << who.errorString();
        who.kill();
        who.waitForFinished(1000);
        return QString();
    }
    if (who.exitStatus() == QProcess::CrashExit) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Process"
                                           << "who -pu"
                                           << "crashed. Stderr:" << QString::fromLocal8Bit(who.readAllStandardError());
        return QString();
    }
    return QString::fromLocal8Bit(who.readAllStandardOutput());
}

QHash<int, QString> SSHConnectionsManager::whoTerminals(const QString &whoOutput)
{
    // "NAME LINE TIME IDLE PID [COMMENT]", where TIME is "2024-03-01 10:15" or
    // "Mar  1 10:15" and the comment "(host)": the pid is the last word before it.
    static const QRegularExpression comment(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    static const QRegularExpression separator(QStringLiteral("\\s+"));
    QHash<int, QString> terminals;
    const QStringList rows = whoOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString row : rows) {
        row.remove(comment);
        const QStringList fields = row.split(separator, Qt::SkipEmptyParts);
        bool ok = false;
        const int pid = fields.isEmpty() ? 0 : fields.last().toInt(&ok);
        if (fields.size() >= 5 && ok && pid > 0) {
            terminals.insert(pid, fields.at(1));
        }
    }
    return terminals;
}

QString SSHConnectionsManager::deviceDirectory() const
{
    return QStringLiteral("/dev/");
}

QString SSHConnectionsManager::processDirectory() const
{
    return QStringLiteral("/proc/");
}

int SSHConnectionsManager::parentPid(int pid) const
{
    QFile stat(processDirectory() + QString::number(pid) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // "pid (name) state ppid …", where the name may hold blanks and parentheses.
    const QByteArray line = stat.read(4096);
    const int nameEnd = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(nameEnd + 1).simplified().split(' ');
    return nameEnd > 0 && fields.size() >= 2 ? fields.at(1).toInt() : 0;
}

void SSHConnectionsManager::readIdleTime(const QList<SSHConnectionData> &connections)
{
    // sshd records a terminal with the pid of the session's unprivileged
    // process, a child of the one that logs the login: a terminal belongs to
    // the connection of its pid or of its parent, the latest access wins.
    QHash<int, QDateTime> activity;
    const QHash<int, QString> terminals = whoTerminals(readWhoOutput());
    for (auto terminal = terminals.cbegin(); terminal != terminals.cend(); ++terminal) {
        const QString path = deviceDirectory() + terminal.value();
        struct stat status;
        if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
            const int error = errno;
            qCWarning(SSHSETTINGS_CONNECTIONS) << "Cannot get stat of TTY" << path << QString::fromLocal8Bit(std::strerror(error));
            continue;
        }
        const QDateTime access = QDateTime::fromMSecsSinceEpoch(qint64(status.st_atim.tv_sec) * 1000 + qint64(status.st_atim.tv_nsec) / 1000000);
        for (const int owner : {terminal.key(), parentPid(terminal.key())}) {
            QDateTime &latest = activity[owner];
            if (owner > 0 && (latest.isNull() || access > latest)) {
                latest = access;
            }
        }
    }
    for (const SSHConnectionData &connection : connections) {
        const QDateTime latest = activity.value(connection.syslogPid);
        if (connection.closeDateTime.isNull() && latest != connection.lastActivityTime) {
            Q_EMIT idleTimeChanged(connection.syslogPid, latest);
        }
    }
}

void SSHConnectionsManager::killConnection(const SSHConnectionData &connection, KCMOS::MessagesManager *messagesManager)
{
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Sessions,
                                     {{SSHSettings::Protocol::Arg::KillPid, int(connection.syslogPid)}},
                                     this,
                                     [this, connection, messages = QPointer<KCMOS::MessagesManager>(messagesManager)](const SSHSettings::ActionResult &result) {
                                         connectionKilled(connection, result, messages);
                                         // The end of the session is in the journal now, or soon: read it at once.
                                         readConnections();
                                     });
}

void SSHConnectionsManager::connectionKilled(const SSHConnectionData &connection,
                                             const SSHSettings::ActionResult &result,
                                             KCMOS::MessagesManager *messagesManager)
{
    const QString user = connection.user;
    const QString address = connection.address.ip().toString();
    if (!result.ok) {
        qCWarning(SSHSETTINGS_CONNECTIONS) << "Failed to kill" << connection.syslogPid << address << result.errorText;
    }
    if (!messagesManager) {
        return;
    }
    if (result.ok) {
        messagesManager->newMessage(i18n("The SSH session of %1 from %2 was ended.", user, address), KCMOS::Positive, QString(), KCMOS::Normal);
    } else if (result.outcomeUnknown) {
        // The connections are read again right after this; they show whether it still runs.
        messagesManager->newMessage(i18n("Whether the SSH session of %1 from %2 was ended is not known; the connections shown were read again.", user, address),
                                    KCMOS::Warning,
                                    QString(),
                                    KCMOS::Normal);
    } else {
        messagesManager->newMessage(i18n("The SSH session of %1 from %2 was not ended: %3", user, address, SSHSettings::failureReason(result)),
                                    KCMOS::Error,
                                    QString(),
                                    KCMOS::Normal);
    }
}
