// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

/// Whether sshd answers on the sockets a configuration gives it.
namespace SocketProbe
{
/**
 * The sockets to try for `sshd -T`'s listenaddress values ("address:port"), each as
 * "address port". A wildcard address is tried on the loopback address of its family,
 * and only when that one is among @p localAddresses (a system without IPv6 has no ::1).
 */
QStringList sockets(const QList<QByteArray> &listenAddresses, const QStringList &localAddresses);

/**
 * The sockets of @p sockets that did not send an SSH identification line ("SSH-…").
 * Each is tried once with @p attemptMs, then again until it answers or @p totalMs
 * have passed since the start (sshd takes a moment to listen after a restart).
 */
QStringList unanswered(const QStringList &sockets, int totalMs, int attemptMs);
}
