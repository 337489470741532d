// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshconnectionsmanager.h"

#include "messagesmanager.h"
#include "privilegedaction.h"

#include <KLocalizedString>

#include <QDebug>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopedValueRollback>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace
{
const QString s_cursorPrefix = QStringLiteral("-- cursor: ");

const QRegularExpression &journalLineExpression()
{
    static const QRegularExpression expression(QStringLiteral("^(?<datetime>") +
                                               QStringLiteral("(?<date>\\d{4}-\\d{2}-\\d{2})T(?<time>\\d{2}:\\d{2}:\\d{2}\\.\\d++)") +
                                               QStringLiteral(")\\+0000\\s++[^\\s]++\\s++[^\\[]++\\[(?<syslog_pid>\\d++)\\]:\\s++(?<message>.*+)$"));
    return expression;
}

const QRegularExpression &acceptedPasswordExpression()
{
    // Hexadecimal digits too, so that IPv6 clients are followed.
    static const QRegularExpression expression(QStringLiteral("^Accepted password for (?<user>.+) from (?<ip>[0-9a-fA-F.:]++) port (?<port>\\d++)"));
    return expression;
}

// Messages with which an sshd process announces its end. An authentication of
// such a process can no longer open a session.
bool endsProcess(const QString &message)
{
    static const QStringList prefixes = {
        QStringLiteral("Received disconnect from "),
        QStringLiteral("error: Received disconnect from "),
        QStringLiteral("Disconnected from "),
        QStringLiteral("Disconnecting"),
        QStringLiteral("Connection closed by "),
        QStringLiteral("Connection reset by "),
        QStringLiteral("error: maximum authentication attempts exceeded"),
        QStringLiteral("Timeout before authentication"),
        QStringLiteral("fatal: "),
    };
    for (const QString &prefix : prefixes) {
        if (message.startsWith(prefix)) {
            return true;
        }
    }
    return message.startsWith(QLatin1String("PAM ")) && message.contains(QLatin1String(" more authentication failure"));
}
}

SSHConnectionsManager::SSHConnectionsManager(QObject *parent) : QObject(parent)
{
    registerSSHConnectionMetaTypes();
}

SSHConnectionsManager::~SSHConnectionsManager() = default;

QStringList SSHConnectionsManager::journalArguments(const QString &cursor)
{
    QStringList arguments = {
        QStringLiteral("--identifier=sshd"), QStringLiteral("--identifier=sshd-session"), QStringLiteral("--boot"), QStringLiteral("--utc"),
        QStringLiteral("--show-cursor"),     QStringLiteral("--output=short-iso-precise")};
    if (!cursor.isNull()) {
        arguments.append(QStringLiteral("--after-cursor=%1").arg(cursor));
    }
    return arguments;
}

QString SSHConnectionsManager::journalCursor() const
{
    return m_journalCursor;
}

int SSHConnectionsManager::pendingCount() const
{
    return pendingConnections.size();
}

void SSHConnectionsManager::readConnections()
{
    // The privileged job waits in a local event loop, where the next refresh tick
    // may arrive: a nested read would ask with the same cursor and count every line twice.
    if (m_reading) {
        return;
    }
    const QScopedValueRollback<bool> reading(m_reading, true);
    const SSHSettings::ActionResult result =
        SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Access, {{QStringLiteral("system_logs_arguments"), journalArguments(m_journalCursor)}});
    if (!result.ok) {
        qWarning() << "Failed to read journalctl" << result.errorText;
        return;
    }
    const auto output = result.data.constFind(QStringLiteral("output"));
    if (output == result.data.constEnd()) {
        qWarning() << "Reading journalctl sent no data";
        return;
    }
    if (!output->canConvert<QByteArray>()) {
        qWarning() << "Reading journalctl sent data with type inconvertible to QByteArray";
        return;
    }
    processJournalOutput(output->toByteArray());
}

void SSHConnectionsManager::processJournalOutput(const QByteArray &output)
{
    // Walk the lines in place: the output may be large, and a copy of it per
    // line list would double the memory.
    const char *data = output.constData();
    int begin = 0;
    int end = output.size();
    while (begin < end && QChar::isSpace(uchar(data[begin]))) {
        ++begin;
    }
    while (end > begin && QChar::isSpace(uchar(data[end - 1]))) {
        --end;
    }
    while (begin < end) {
        const void *found = std::memchr(data + begin, '\n', size_t(end - begin));
        const int lineEnd = found ? int(static_cast<const char *>(found) - data) : end;
        processJournalLine(data + begin, lineEnd - begin);
        begin = lineEnd + 1;
    }
}

void SSHConnectionsManager::processJournalLine(const char *data, int size)
{
    if (size >= 3 && std::memcmp(data, "-- ", 3) == 0) {
        const QString note = QString::fromUtf8(data, size);
        if (note.startsWith(s_cursorPrefix)) {
            m_journalCursor = note.mid(s_cursorPrefix.size());
        }
        return;
    }
    const int length = int(qstrnlen(data, uint(size)));
    const QString line = QString::fromUtf8(data, length);
    const QRegularExpressionMatch match = journalLineExpression().match(line);
    if (!match.hasMatch()) {
        qWarning() << "journalctl line does not match short-iso-precise regular expression:" << line;
        return;
    }
    const QDateTime time = QDateTime::fromString(match.captured(QStringLiteral("datetime")) + QLatin1Char('Z'), Qt::ISODateWithMs).toLocalTime();
    if (!time.isValid()) {
        qWarning() << "journalctl line has an unreadable time:" << line;
        return;
    }
    const int pid = match.captured(QStringLiteral("syslog_pid")).toInt();
    const QString message = match.captured(QStringLiteral("message"));

    tryProcessFailedPassword(pid, message);
    tryProcessAcceptedPassword(pid, message);
    const QString complaint = tryProcessSessionOpened(pid, message, time);
    if (!complaint.isNull()) {
        qWarning().noquote() << complaint << line;
    }
    tryProcessSessionClosed(pid, message, time);
    tryProcessProcessEnded(pid, message);
}

void SSHConnectionsManager::tryProcessFailedPassword(int syslogPid, const QString &message)
{
    if (!message.startsWith(QLatin1String("Failed password for"))) {
        return;
    }
    const auto pending = pendingConnections.find(syslogPid);
    if (pending != pendingConnections.end()) {
        ++pending->failedTriesCount;
        return;
    }
    SSHConnectionData connection;
    connection.failedTriesCount = 1;
    connection.syslogPid = syslogPid;
    insertPending(syslogPid, connection);
}

void SSHConnectionsManager::tryProcessAcceptedPassword(int syslogPid, const QString &message)
{
    const QRegularExpressionMatch match = acceptedPasswordExpression().match(message);
    if (!match.hasMatch()) {
        return;
    }
    const ServerAddress address(match.captured(QStringLiteral("ip")), match.captured(QStringLiteral("port")), nullptr);
    const auto pending = pendingConnections.find(syslogPid);
    if (pending != pendingConnections.end()) {
        pending->user = match.captured(QStringLiteral("user"));
        pending->address = address;
        return;
    }
    SSHConnectionData connection;
    connection.user = match.captured(QStringLiteral("user"));
    connection.address = address;
    connection.syslogPid = syslogPid;
    insertPending(syslogPid, connection);
}

QString SSHConnectionsManager::tryProcessSessionOpened(int syslogPid, const QString &message, const QDateTime &time)
{
    if (!message.startsWith(QLatin1String("pam_unix(sshd:session): session opened"))) {
        return QString();
    }
    const auto pending = pendingConnections.constFind(syslogPid);
    if (pending == pendingConnections.constEnd()) {
        return QStringLiteral("Session somehow opened without password, cannot observe data:");
    }
    if (pending->user.isEmpty()) {
        // Failed passwords only: the login itself used another method.
        takePending(syslogPid);
        return QStringLiteral("Session somehow opened without password, cannot observe data:");
    }
    SSHConnectionData connection = takePending(syslogPid);
    connection.openDateTime = time;
    Q_EMIT connectionOpened(connection);
    return QString();
}

void SSHConnectionsManager::tryProcessSessionClosed(int syslogPid, const QString &message, const QDateTime &time)
{
    if (message.startsWith(QLatin1String("pam_unix(sshd:session): session closed"))) {
        Q_EMIT connectionClosed(syslogPid, time);
    }
}

void SSHConnectionsManager::tryProcessProcessEnded(int syslogPid, const QString &message)
{
    if (pendingConnections.contains(syslogPid) && endsProcess(message)) {
        takePending(syslogPid);
    }
}

void SSHConnectionsManager::insertPending(int syslogPid, const SSHConnectionData &connection)
{
    while (pendingConnections.size() >= MaxPendingConnections && !m_pendingOrder.empty()) {
        const auto oldest = m_pendingOrder.begin();
        pendingConnections.remove(oldest->second);
        m_pendingSerials.remove(oldest->second);
        m_pendingOrder.erase(oldest);
    }
    const quint64 serial = m_nextSerial++;
    pendingConnections.insert(syslogPid, connection);
    m_pendingSerials.insert(syslogPid, serial);
    m_pendingOrder.emplace(serial, syslogPid);
}

SSHConnectionData SSHConnectionsManager::takePending(int syslogPid)
{
    const auto serial = m_pendingSerials.constFind(syslogPid);
    if (serial != m_pendingSerials.constEnd()) {
        m_pendingOrder.erase(*serial);
        m_pendingSerials.erase(serial);
    }
    return pendingConnections.take(syslogPid);
}

QString SSHConnectionsManager::readWhoOutput()
{
    QProcess who;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    who.setProcessEnvironment(environment);
    who.start(QStringLiteral("/usr/bin/who"), {QStringLiteral("-pu")}, QIODevice::ReadOnly | QIODevice::Text);
    if (!who.waitForFinished(30000)) {
        qWarning() << "Process"
                   << "who -pu"
                   << "did not finish:" << who.errorString();
        who.kill();
        who.waitForFinished(1000);
        return QString();
    }
    if (who.exitStatus() == QProcess::CrashExit) {
        qWarning() << "Process"
                   << "who -pu"
                   << "crashed. Stderr:" << QString::fromLocal8Bit(who.readAllStandardError());
        return QString();
    }
    return QString::fromLocal8Bit(who.readAllStandardOutput());
}

QString SSHConnectionsManager::deviceDirectory() const
{
    return QStringLiteral("/dev/");
}

void SSHConnectionsManager::readIdleTime(const QList<SSHConnectionData> &connections)
{
    static const QRegularExpression fieldSeparator(QStringLiteral("\\s++"));
    QHash<int, QString> terminals;
    const QStringList rows = readWhoOutput().trimmed().split(QLatin1Char('\n'));
    for (const QString &row : rows) {
        const QStringList fields = row.split(fieldSeparator);
        if (fields.size() < 7) {
            continue;
        }
        terminals.insert(fields.at(6).toInt(nullptr, 10), fields.at(1));
    }

    for (const SSHConnectionData &connection : connections) {
        if (!connection.closeDateTime.isNull()) {
            continue;
        }
        const auto terminal = terminals.constFind(connection.syslogPid);
        if (terminal == terminals.constEnd()) {
            if (!connection.lastActivityTime.isNull()) {
                Q_EMIT idleTimeChanged(connection.syslogPid, QDateTime());
            }
            continue;
        }
        const QString path = deviceDirectory() + *terminal;
        struct stat status;
        if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
            const int error = errno;
            qWarning() << "Cannot get stat of TTY" << path << QString::fromLocal8Bit(std::strerror(error));
            if (!connection.lastActivityTime.isNull()) {
                Q_EMIT idleTimeChanged(connection.syslogPid, QDateTime());
            }
            continue;
        }
        const qint64 accessMs = qint64(status.st_atim.tv_sec) * 1000 + qint64(status.st_atim.tv_nsec) / 1000000;
        const QDateTime activity = QDateTime::fromMSecsSinceEpoch(accessMs);
        if (activity != connection.lastActivityTime) {
            Q_EMIT idleTimeChanged(connection.syslogPid, activity);
        }
    }
}

void SSHConnectionsManager::killConnection(const SSHConnectionData &connection, KCMOS::MessagesManager *messagesManager)
{
    const SSHSettings::ActionResult result =
        SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Change, {{QStringLiteral("kill_pid"), int(connection.syslogPid)}});
    const QString address = connection.address.toString();
    if (result.ok) {
        if (messagesManager) {
            messagesManager->newMessage(i18n("Successfully disconnected %1", address), KCMOS::Positive, QString(), KCMOS::Normal);
        }
        return;
    }
    qWarning() << "Failed to kill" << connection.syslogPid << address << result.errorText;
    if (messagesManager) {
        messagesManager->newMessage(i18n("Failed to disconnect %1: %2", address, result.errorText), KCMOS::Error, QString(), KCMOS::Normal);
    }
}
