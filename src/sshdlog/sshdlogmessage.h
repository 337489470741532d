// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

namespace SshdLog
{
/// What an sshd message says about its process.
enum class Form {
    Other,
    Accepted, ///< "Accepted METHOD for USER from ADDRESS port PORT ssh2[: KEY INFO]"
    Failed, ///< "Failed METHOD for [invalid user ]USER from ADDRESS port PORT ssh2[: KEY INFO]"
    Ended, ///< the process ends: its session closed, the client left or sshd gave up
};

struct Message
{
    Form form = Form::Other;
    QByteArray method; ///< Accepted and Failed: "publickey", "password", "keyboard-interactive/pam", …
    QByteArray user;
    bool invalidUser = false;
    QByteArray address;
    int port = 0;
    QByteArray keyType; ///< publickey and hostbased: e.g. "ED25519"
    QByteArray fingerprint; ///< e.g. "SHA256:…"
};

/// Which form the message has, from its start alone (cheap; Other for most lines).
Form formOf(const char *message, int size);
/// Reads the message; Form::Other when it is none of the forms or is malformed.
Message readMessage(const QByteArray &message);
}
