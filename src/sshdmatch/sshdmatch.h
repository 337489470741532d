// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QString>

/**
 * sshd's matching of user, group and host patterns: '*' and '?' wildcards,
 * comma-separated lists where a negated ('!') match wins over every other,
 * CIDR networks. Host names are not looked up (UseDNS no): a client's host
 * name is its address.
 */
namespace SshdMatch
{
/// An address or CIDR network as sshd reads one: 0, -1 when it is none (a wildcard then), -2 when its address has
/// bits set past the mask, which sshd refuses.
int parseNetwork(const QString &text, QHostAddress *network, int *bits);
/// `*` and `?` wildcards over the whole of @p text; case-sensitive.
bool pattern(const QString &text, const QString &pattern);
/// A comma-separated list of patterns with '!' negations: 1 when @p text matches, 0 when not, -1 when a negation does.
/// With @p lowerCase the patterns are compared in lower case (host names).
int patternList(const QString &text, const QString &list, bool lowerCase);
/// A comma-separated list of addresses, CIDR networks or wildcards with '!' negations, as patternList();
/// -2 when an entry is not a valid network.
int addressList(const QString &address, const QString &list);
/// The host part of a USER@HOST entry for a client at @p address: 1, 0 (also for a negation), -1 when invalid.
int hosts(const QString &address, const QString &list);
/// One DenyUsers or AllowUsers entry, USER or USER@HOST, as hosts(); groups have no host part and use pattern().
int user(const QString &user, const QString &address, const QString &entry);
/// A client address as sshd sees it: an IPv4 client on an IPv6 socket is plain IPv4.
QString clientAddress(const QString &text);
/// Reads @p text as sshd reads a client address (see clientAddress()); false when it is none.
bool parseClientAddress(const QString &text, QHostAddress *address);
}
