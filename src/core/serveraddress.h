// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

/// A host address with a port, in the text forms of the SSH configuration.
class ServerAddress : public QObject
{
    Q_OBJECT
public:
    enum Id {
        IpAddress = 0,
        Port = 1,
    };
    Q_ENUM(Id)

    explicit ServerAddress(QObject *parent = nullptr);
    ServerAddress(const QString &ip, const QString &port, QObject *parent);
    ServerAddress(const QString &fullAddress, QObject *parent);
    ServerAddress(const ServerAddress &other);
    ServerAddress &operator=(const ServerAddress &other);

    QHostAddress ip() const;
    QString port() const;

    /**
     * Splits "host:port" at the last colon; brackets are dropped. An address alone
     * ("192.0.2.1", "[2001:db8::1]", "2001:db8::1") gives an empty port. (null, "") when it does not parse.
     */
    QPair<QHostAddress, QString> parseFullAddress(const QString &fullAddress) const;
    /// "host:port", IPv6 without brackets; without a port the address alone, IPv6 in brackets.
    QString toString() const;
    bool isValid() const;
    /// A listening address without a port of its own: sshd gives it every Port of the server.
    bool followsPort() const;
    /// Neither a wildcard address nor empty.
    bool isRealAddress() const;

    bool operator==(const ServerAddress &other) const;
    bool operator!=(const ServerAddress &other) const;

    static bool isValidIpAddress(const QString &ip);
    /// The real addresses among the given "host:port" (or address alone) texts, in order.
    static QList<ServerAddress> fromStringList(const QStringList &addresses);
    static QAbstractSocket::NetworkLayerProtocol addressFamilyIdByString(const QString &family);
    static QString addressFamilyStringById(QAbstractSocket::NetworkLayerProtocol protocol);

private:
    QHostAddress m_ip;
    QString m_port;
};

uint qHash(const ServerAddress &address, uint hashSeed = 0);

Q_DECLARE_METATYPE(ServerAddress)
