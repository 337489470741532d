// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QString>

namespace IpAddress
{
/**
 * Reads a literal address exactly as sshd does (inet_pton): four decimal parts
 * without leading zeros, or IPv6 text without a zone; nothing around it.
 * QHostAddress alone also takes "127.1", "0x7f.0.0.1", " ::1" and "fe80::1%eth0".
 */
bool parse(const QString &text, QHostAddress *address);

/// The address in its canonical text ("::1" for "0:0:0:0:0:0:0:1"); empty when @p text is none.
QString canonical(const QString &text);
}
