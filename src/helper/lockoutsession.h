// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// What a lockout review (lockout.h) and the search for usable keys (usablekeys.h) both judge.
namespace Lockout
{
/// Keyword → values, as `sshd -T` prints them.
using Values = QHash<QByteArray, QList<QByteArray>>;

/// The session to keep: its user and the two ends of its connection ($SSH_CONNECTION).
struct Session {
    QString user;
    QStringList groups; ///< primary and supplementary, by name
    bool isRoot = false;
    QString home;
    uid_t uid = 0;
    QByteArray password; ///< the account's password field: "!…" or "*…" locked, empty for none
    QString keygen; ///< ssh-keygen, which reads a key blob as sshd does
    QString clientAddress;
    QString localAddress;
    int localPort = 0;
};

/// A connection to ask "who gets what" for, as `sshd -T -C` takes it: user, addr, host, laddr, lport.
struct Connection {
    QString user;
    QString address;
    QString host; ///< empty: the address
    QString localAddress; ///< empty: the first address sshd listens on for the client's family, else its loopback address
    int localPort = 0; ///< 0: the port of that listen address, else the first Port
};
}
