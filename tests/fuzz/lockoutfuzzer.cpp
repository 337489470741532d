// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The lockout review's readers: the session's $SSH_CONNECTION, the lines of the user's own authorized_keys as sshd takes
// them, and sshd -T's access rules, authentication methods and listen addresses judged for that session. A connection
// has two addresses and a port; a key taken later is taken now; every method left is one sshd has, and no method left
// is exactly an authentication problem.
#include "configuration.h"
#include "fuzzcheck.h"
#include "lockout.h"
#include "usablekeys.h"

#include <QTimeZone>

using namespace Lockout;

namespace
{
void checkKeyLine(const QByteArray &line, const Values &values, const Session &session)
{
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
    AuthorizedKeys::Line parsed;
    const bool taken = UsableKeys::accepted(line, values, session, now, &parsed);
    FUZZ_CHECK(!taken || (!parsed.type.isEmpty() && !parsed.key.isEmpty()), "a key taken has a type and a blob");
    AuthorizedKeys::Line later;
    FUZZ_CHECK(!UsableKeys::accepted(line, values, session, now.addYears(50), &later) || taken, "a key taken later is taken now");
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Session session;
    const QString connection = Fuzz::text(input, 96);
    if (parseConnection(connection, &session)) {
        FUZZ_CHECK(!session.clientAddress.isEmpty() && !session.localAddress.isEmpty(), "a connection has two addresses");
        FUZZ_CHECK(session.localPort >= 1 && session.localPort <= 65535, "a port is a port");
        FUZZ_CHECK(connection.count(QLatin1Char(' ')) == 3, "a connection is four words");
    }
    session.user = Fuzz::text(input, 32);
    session.groups = Fuzz::text(input, 64).split(QLatin1Char(','));
    session.password = Fuzz::bytes(input, 16);
    session.isRoot = input.ConsumeBool();
    session.home = QStringLiteral("/nonexistent");
    const QByteArray keys = Fuzz::bytes(input, 2048);
    Values values = Configuration::parseDump(Fuzz::rest(input));
    // The key files are the user's own lines above: no file of this system is read, no ssh-keygen run.
    values.insert("authorizedkeysfile", {"none"});

    for (const QByteArray &line : keys.split('\n')) {
        checkKeyLine(line, values, session);
    }

    const QStringList lists = methods(values, session);
    for (const QString &list : lists) {
        for (const QString &method : list.split(QLatin1Char(','))) {
            const QString name = method.section(QLatin1Char(':'), 0, 0);
            FUZZ_CHECK(name == QLatin1String("publickey") || name == QLatin1String("password") || name == QLatin1String("keyboard-interactive"),
                       "a method left is one sshd has");
        }
    }
    int authentication = 0;
    const QList<Problem> found = problems(values, session);
    for (const Problem &problem : found) {
        FUZZ_CHECK(!kindWord(problem.kind).isEmpty() && !problem.detail.isEmpty(), "a problem has a kind and a detail");
        authentication += problem.kind == Kind::Authentication;
    }
    FUZZ_CHECK(authentication == (lists.isEmpty() ? 1 : 0), "no method left is exactly an authentication problem");
    return 0;
}
