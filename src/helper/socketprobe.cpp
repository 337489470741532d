// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "socketprobe.h"

#include "optioncatalog.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>

namespace
{
// A refused connection fails at once: the pause between two rounds.
constexpr int RetryPauseMs = 200;
// sshd sends its identification line first; other lines may come before it, but not many.
constexpr qint64 MaxGreetingBytes = 8192;

bool answers(const QString &socket, int timeoutMs)
{
    const int space = socket.lastIndexOf(QLatin1Char(' '));
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] {
        return int(qMax<qint64>(deadline.remainingTime(), 1));
    };
    QTcpSocket connection;
    connection.setProxy(QNetworkProxy::NoProxy); // straight to sshd, whatever the environment says
    connection.connectToHost(QHostAddress(socket.left(space)), socket.mid(space + 1).toUShort());
    if (!connection.waitForConnected(remaining())) {
        return false;
    }
    qint64 received = 0;
    while (received < MaxGreetingBytes) {
        while (connection.canReadLine()) {
            const QByteArray line = connection.readLine(256);
            if (line.startsWith("SSH-")) {
                return true;
            }
            received += line.size();
        }
        if (deadline.hasExpired() || !connection.waitForReadyRead(remaining())) {
            return false;
        }
    }
    return false;
}
}

QStringList SocketProbe::sockets(const QList<QByteArray> &listenAddresses, const QStringList &localAddresses)
{
    QList<QHostAddress> local;
    for (const QString &address : localAddresses) {
        local.append(QHostAddress(address));
    }
    QStringList result;
    for (const QByteArray &entry : listenAddresses) {
        QString address;
        QString port;
        if (!OptionCatalog::splitListenAddress(QString::fromLatin1(entry.split(' ').value(0)), &address, &port) || port.isEmpty()) {
            continue;
        }
        QHostAddress host(address);
        if (host == QHostAddress(QHostAddress::AnyIPv4) || host == QHostAddress(QHostAddress::AnyIPv6)) {
            host = QHostAddress(host.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
            if (!local.contains(host)) {
                continue;
            }
        }
        const QString socket = host.toString() + QLatin1Char(' ') + port;
        if (!host.isNull() && !result.contains(socket)) {
            result.append(socket);
        }
    }
    return result;
}

QStringList SocketProbe::unanswered(const QStringList &sockets, int totalMs, int attemptMs)
{
    QStringList waiting = sockets;
    const QDeadlineTimer deadline(totalMs);
    for (bool first = true; !waiting.isEmpty(); first = false) {
        const QDeadlineTimer round(RetryPauseMs);
        for (auto it = waiting.begin(); it != waiting.end();) {
            const int budget = first ? attemptMs : int(qMin<qint64>(attemptMs, deadline.remainingTime()));
            it = budget > 0 && answers(*it, budget) ? waiting.erase(it) : it + 1;
        }
        if (waiting.isEmpty() || deadline.hasExpired()) {
            break;
        }
        QThread::msleep(quint64(qMin(round.remainingTime(), deadline.remainingTime())));
    }
    return waiting;
}
