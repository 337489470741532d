// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "serveraddress.h"
#include "ipaddress.h"

namespace
{
const QHostAddress &anyIPv4()
{
    static const QHostAddress address(QStringLiteral("0.0.0.0"));
    return address;
}

const QHostAddress &anyIPv6()
{
    static const QHostAddress address(QStringLiteral("::"));
    return address;
}
}

ServerAddress::ServerAddress(QObject *parent)
    : QObject(parent)
{
}

ServerAddress::ServerAddress(const QString &ip, const QString &port, QObject *parent)
    : QObject(parent)
    , m_ip(ip)
    , m_port(port)
{
}

ServerAddress::ServerAddress(const QString &fullAddress, QObject *parent)
    : QObject(parent)
{
    const auto parsed = parseFullAddress(fullAddress);
    m_ip = parsed.first;
    m_port = parsed.second;
}

ServerAddress::ServerAddress(const ServerAddress &other)
    : QObject(other.parent())
    , m_ip(other.m_ip)
    , m_port(other.m_port)
{
}

ServerAddress &ServerAddress::operator=(const ServerAddress &other)
{
    m_ip = other.m_ip;
    m_port = other.m_port;
    return *this;
}

QHostAddress ServerAddress::ip() const
{
    return m_ip;
}

QString ServerAddress::port() const
{
    return m_port;
}

QPair<QHostAddress, QString> ServerAddress::parseFullAddress(const QString &fullAddress) const
{
    if (fullAddress.startsWith(QLatin1Char('[')) && fullAddress.endsWith(QLatin1Char(']'))) {
        const QHostAddress address(fullAddress.mid(1, fullAddress.size() - 2));
        return {address, QString()};
    }
    const int colon = fullAddress.lastIndexOf(QLatin1Char(':'));
    QString host = fullAddress.left(colon);
    host.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    const QHostAddress address(host);
    if (colon >= 0 && !address.isNull()) {
        return {address, fullAddress.mid(colon + 1)};
    }
    // An address alone, without a port of its own.
    const QHostAddress alone(fullAddress);
    return {alone, QString()};
}

QString ServerAddress::toString() const
{
    if (m_port.isEmpty()) {
        return m_ip.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(m_ip.toString()) : m_ip.toString();
    }
    return QStringLiteral("%1:%2").arg(m_ip.toString(), m_port);
}

bool ServerAddress::isValid() const
{
    if (m_ip.isNull()) {
        return false;
    }
    bool ok = false;
    const int port = m_port.toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535) {
        return false;
    }
    const auto protocol = m_ip.protocol();
    return protocol == QAbstractSocket::IPv4Protocol || protocol == QAbstractSocket::IPv6Protocol;
}

bool ServerAddress::followsPort() const
{
    const auto protocol = m_ip.protocol();
    return m_port.isEmpty() && (protocol == QAbstractSocket::IPv4Protocol || protocol == QAbstractSocket::IPv6Protocol);
}

bool ServerAddress::isRealAddress() const
{
    return m_ip != anyIPv4() && m_ip != anyIPv6() && !m_ip.toString().isEmpty();
}

bool ServerAddress::operator==(const ServerAddress &other) const
{
    return m_ip == other.m_ip && m_port == other.m_port;
}

bool ServerAddress::operator!=(const ServerAddress &other) const
{
    return !(*this == other);
}

bool ServerAddress::isValidIpAddress(const QString &ip)
{
    // As the helper reads a ListenAddress, so the dialog refuses what the helper would.
    QHostAddress address;
    return IpAddress::parse(ip, &address);
}

QList<ServerAddress> ServerAddress::fromStringList(const QStringList &addresses)
{
    QList<ServerAddress> result;
    for (const QString &text : addresses) {
        ServerAddress address(text, nullptr);
        if (address.isRealAddress()) {
            result.append(address);
        }
    }
    return result;
}

QAbstractSocket::NetworkLayerProtocol ServerAddress::addressFamilyIdByString(const QString &family)
{
    if (family == QLatin1String("any")) {
        return QAbstractSocket::AnyIPProtocol;
    }
    if (family == QLatin1String("inet")) {
        return QAbstractSocket::IPv4Protocol;
    }
    if (family == QLatin1String("inet6")) {
        return QAbstractSocket::IPv6Protocol;
    }
    return QAbstractSocket::UnknownNetworkLayerProtocol;
}

QString ServerAddress::addressFamilyStringById(QAbstractSocket::NetworkLayerProtocol protocol)
{
    switch (protocol) {
    case QAbstractSocket::IPv4Protocol:
        return QStringLiteral("inet");
    case QAbstractSocket::IPv6Protocol:
        return QStringLiteral("inet6");
    case QAbstractSocket::AnyIPProtocol:
        return QStringLiteral("any");
    default:
        break;
    }
    return {};
}

uint qHash(const ServerAddress &address, uint hashSeed)
{
    return qHash(address.ip().toString(), hashSeed) ^ qHash(address.port(), hashSeed);
}
