// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

#include <algorithm>
#include <utility>
#include <vector>

namespace SshdLog
{
/// What an sshd message says about its process.
enum class Form {
    Other,
    Accepted, ///< "Accepted METHOD for USER from ADDRESS port PORT ssh2[: KEY INFO]"
    Failed, ///< "Failed METHOD for [invalid user ]USER from ADDRESS port PORT ssh2[: KEY INFO]"
    Ended, ///< the process ends: its session closed, the client left or sshd gave up
};

struct Message {
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
/// The same, for a message whose formOf() is known.
Message readMessage(const QByteArray &message, Form form);
}

namespace SshdLog
{
/// Drops the least recently seen tenth of a table of attempts (values with "last" and "failures"
/// members), so that a flood of new addresses costs little per line. Of addresses last seen in the
/// same second, the ones with fewer failures go first: the busiest attacker stays in view.
template<typename Table>
void dropLeastRecent(Table &table)
{
    using Rank = std::pair<qint64, qint64>;
    const auto rank = [](const typename Table::mapped_type &attempts) {
        return Rank(attempts.last, attempts.failures);
    };
    const int quota = std::max(1, int(table.size() / 10));
    std::vector<Rank> ranks;
    ranks.reserve(size_t(table.size()));
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        ranks.push_back(rank(*it));
    }
    std::nth_element(ranks.begin(), ranks.begin() + (quota - 1), ranks.end());
    const Rank limit = ranks.at(size_t(quota - 1));
    int dropped = 0;
    for (auto it = table.begin(); it != table.end();) {
        it = rank(*it) < limit ? (++dropped, table.erase(it)) : std::next(it);
    }
    for (auto it = table.begin(); it != table.end() && dropped < quota;) {
        it = rank(*it) == limit ? (++dropped, table.erase(it)) : std::next(it);
    }
}
}
