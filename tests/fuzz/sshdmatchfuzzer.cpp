// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// sshd's reading of addresses and patterns, as the page and the helper both use it: an address reads as the C
// library's inet_pton() reads it, a network reads back from its own text, and the list, host and user readers agree
// with the single pattern and network they are made of.
#include "fuzzcheck.h"
#include "ipaddress.h"
#include "sshdmatch.h"

#include <arpa/inet.h>

#include <cstring>

namespace
{
void checkAddress(const QString &text)
{
    QHostAddress address;
    const bool read = IpAddress::parse(text, &address);
    const QByteArray ascii = text.toLatin1();
    if (ascii.contains('\0') || QString::fromLatin1(ascii) != text) {
        FUZZ_CHECK(!read, "an address is ASCII");
        return;
    }
    unsigned char bytes[16];
    const bool v4 = inet_pton(AF_INET, ascii.constData(), bytes) == 1;
    const bool v6 = !v4 && inet_pton(AF_INET6, ascii.constData(), bytes) == 1;
    FUZZ_CHECK(read == (v4 || v6), "an address reads as inet_pton() reads it");
    if (v4) {
        FUZZ_CHECK(address.toIPv4Address() == ntohl(*reinterpret_cast<const quint32 *>(bytes)), "an IPv4 address has inet_pton()'s value");
    } else if (v6) {
        const Q_IPV6ADDR parsed = address.toIPv6Address();
        FUZZ_CHECK(address.protocol() == QAbstractSocket::IPv6Protocol && std::memcmp(parsed.c, bytes, 16) == 0, "an IPv6 address has inet_pton()'s value");
    }
    if (read) {
        QHostAddress again;
        FUZZ_CHECK(IpAddress::parse(IpAddress::canonical(text), &again) && again == address, "an address's canonical text reads as the address");
    }
}

void checkNetwork(const QString &text, const QString &client)
{
    QHostAddress network;
    int bits = -1;
    const int kind = SshdMatch::parseNetwork(text, &network, &bits);
    FUZZ_CHECK(kind == 0 || kind == -1 || kind == -2, "a network is read, refused or has bits past its mask");
    if (kind != 0) {
        return;
    }
    FUZZ_CHECK(bits >= 0 && bits <= (network.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128), "a mask fits its address");
    QHostAddress again;
    int bitsAgain = -1;
    FUZZ_CHECK(SshdMatch::parseNetwork(network.toString() + QLatin1Char('/') + QString::number(bits), &again, &bitsAgain) == 0 && again == network
                   && bitsAgain == bits,
               "a network reads back from its own text");
    QHostAddress address;
    if (SshdMatch::parseClientAddress(client, &address)) {
        FUZZ_CHECK((SshdMatch::addressList(client, text) == 1) == address.isInSubnet(network, bits), "a one-network list matches as its network");
        FUZZ_CHECK(SshdMatch::addressList(client, QLatin1Char('!') + text) == (address.isInSubnet(network, bits) ? -1 : 0), "a negated network never allows");
    }
}

void checkPatterns(const QString &text, const QString &pattern)
{
    const bool matches = SshdMatch::pattern(text, pattern);
    FUZZ_CHECK(SshdMatch::pattern(text, QStringLiteral("*")) && SshdMatch::pattern(text, text.contains(QLatin1Char('*')) ? QStringLiteral("*") : text),
               "a text matches itself and *");
    if (!pattern.contains(QLatin1Char(',')) && !pattern.startsWith(QLatin1Char('!'))) {
        FUZZ_CHECK((SshdMatch::patternList(text, pattern, false) == 1) == matches, "a one-pattern list matches as its pattern");
        FUZZ_CHECK(SshdMatch::patternList(text, QLatin1Char('!') + pattern, false) == (matches ? -1 : 0), "a negated pattern never allows");
        if (!pattern.contains(QLatin1Char('@'))) {
            FUZZ_CHECK(SshdMatch::user(text, QStringLiteral("192.0.2.1"), pattern) == (matches ? 1 : 0), "a user entry without a host is its pattern");
        }
    }
    const int host = SshdMatch::hosts(text, pattern);
    FUZZ_CHECK(host >= -1 && host <= 1, "a host list is allowed, not or refused");
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString text = QString::fromLatin1(Fuzz::bytes(input, 256));
    const QString other = QString::fromLatin1(Fuzz::rest(input));
    checkAddress(text);
    checkAddress(SshdMatch::clientAddress(text));
    checkNetwork(text, other);
    checkNetwork(other, text);
    checkPatterns(text, other);
    return 0;
}
