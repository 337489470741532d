// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "lockout.h"

#include "sshdmatch.h"
#include "usablekeys.h"

#include <algorithm>

namespace Lockout
{
namespace
{
QStringList words(const Values &values, const char *keyword)
{
    QStringList all;
    for (const QByteArray &value : values.value(keyword)) {
        all += QString::fromUtf8(value).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return all;
}

QString first(const Values &values, const char *keyword)
{
    return QString::fromUtf8(values.value(keyword).value(0)).toLower();
}

// The methods left to the user, and the lists of AuthenticationMethods made of them only.
struct Methods {
    QStringList lists; ///< each a method or a comma-separated list of them that the user could complete
    bool anyMethod = true; ///< AuthenticationMethods any
    bool keyFound = false;
};

Methods methodsLeft(const Values &values, const Session &session)
{
    Methods left;
    const QString rootLogin = first(values, "permitrootlogin");
    const bool rootKeysOnly = session.isRoot && rootLogin != QLatin1String("yes");
    const bool passwordSet = session.password.isEmpty() ? first(values, "permitemptypasswords") == QLatin1String("yes")
                                                        : !session.password.startsWith('!') && !session.password.startsWith('*');
    const bool password = !rootKeysOnly && passwordSet && first(values, "passwordauthentication") == QLatin1String("yes");
    const bool keyboard =
        !rootKeysOnly && first(values, "kbdinteractiveauthentication") == QLatin1String("yes") && first(values, "usepam") == QLatin1String("yes");
    left.keyFound = first(values, "authorizedkeyscommand") != QLatin1String("none") || UsableKeys::any(values, session);
    const bool key = left.keyFound && first(values, "pubkeyauthentication") != QLatin1String("no");
    const auto available = [&](const QString &method) {
        const QString name = method.section(QLatin1Char(':'), 0, 0);
        return (name == QLatin1String("publickey") && key) || (name == QLatin1String("password") && password)
            || (name == QLatin1String("keyboard-interactive") && keyboard);
    };
    QStringList lists = words(values, "authenticationmethods");
    left.anyMethod = lists.isEmpty() || lists == QStringList{QStringLiteral("any")};
    if (left.anyMethod) {
        lists = QStringList{QStringLiteral("publickey"), QStringLiteral("password"), QStringLiteral("keyboard-interactive")};
    }
    for (const QString &list : std::as_const(lists)) {
        const QStringList methods = list.split(QLatin1Char(','));
        if (std::all_of(methods.cbegin(), methods.cend(), available)) {
            left.lists.append(list);
        }
    }
    return left;
}
}

QList<Problem> problems(const Values &values, const Session &session)
{
    QList<Problem> found;
    const QStringList denyUsers = words(values, "denyusers");
    const QStringList allowUsers = words(values, "allowusers");
    for (const QString &pattern : denyUsers) {
        if (SshdMatch::user(session.user, session.clientAddress, pattern) != 0) {
            found.append({Kind::Access, QStringLiteral("DenyUsers %1").arg(pattern)});
        }
    }
    if (!allowUsers.isEmpty() && std::none_of(allowUsers.cbegin(), allowUsers.cend(), [&session](const QString &pattern) {
            return SshdMatch::user(session.user, session.clientAddress, pattern) == 1;
        })) {
        found.append({Kind::Access, QStringLiteral("AllowUsers %1").arg(allowUsers.join(QLatin1Char(' ')))});
    }
    const auto anyGroup = [&session](const QStringList &patterns, QString *which) {
        for (const QString &pattern : patterns) {
            for (const QString &group : session.groups) {
                if (SshdMatch::pattern(group, pattern)) {
                    *which = pattern;
                    return true;
                }
            }
        }
        return false;
    };
    const QStringList denyGroups = words(values, "denygroups");
    const QStringList allowGroups = words(values, "allowgroups");
    QString which;
    if (anyGroup(denyGroups, &which)) {
        found.append({Kind::Access, QStringLiteral("DenyGroups %1").arg(which)});
    }
    if (!allowGroups.isEmpty() && !anyGroup(allowGroups, &which)) {
        found.append({Kind::Access, QStringLiteral("AllowGroups %1").arg(allowGroups.join(QLatin1Char(' ')))});
    }
    const QString rootLogin = first(values, "permitrootlogin");
    if (session.isRoot && rootLogin == QLatin1String("no")) {
        found.append({Kind::Access, QStringLiteral("PermitRootLogin no")});
    }

    const Methods left = methodsLeft(values, session);
    if (left.lists.isEmpty()) {
        found.append({Kind::Authentication,
                      !left.anyMethod     ? QStringLiteral("AuthenticationMethods %1").arg(words(values, "authenticationmethods").join(QLatin1Char(' ')))
                          : left.keyFound ? QStringLiteral("PubkeyAuthentication")
                                          : QStringLiteral("PasswordAuthentication")});
    }

    if (!session.localAddress.isEmpty()) {
        QHostAddress local;
        SshdMatch::parseClientAddress(session.localAddress, &local);
        bool listens = false;
        for (const QByteArray &entry : values.value("listenaddress")) {
            const QString socket = QString::fromLatin1(entry);
            const int colon = socket.lastIndexOf(QLatin1Char(':'));
            QString host = socket.left(colon);
            if (host.startsWith(QLatin1Char('['))) {
                host = host.mid(1, host.size() - 2);
            }
            QHostAddress bound;
            if (socket.mid(colon + 1).toInt() != session.localPort || !SshdMatch::parseClientAddress(host, &bound) || bound.protocol() != local.protocol()) {
                continue;
            }
            const QHostAddress any(bound.protocol() == QAbstractSocket::IPv4Protocol ? QHostAddress::AnyIPv4 : QHostAddress::AnyIPv6);
            listens = listens || bound == any || bound == local;
        }
        if (!listens) {
            found.append({Kind::Listening, QStringLiteral("%1 port %2").arg(session.localAddress).arg(session.localPort)});
        }
    }
    return found;
}

QString kindWord(Kind kind)
{
    static const char *const words[] = {"access", "authentication", "listening"};
    return QLatin1String(words[int(kind)]);
}

QStringList methods(const Values &values, const Session &session)
{
    return methodsLeft(values, session).lists;
}

bool parseConnection(const QString &text, Session *session)
{
    const QStringList fields = text.split(QLatin1Char(' '));
    QHostAddress ignored;
    bool clientPort = false;
    bool localPort = false;
    if (fields.size() != 4 || !SshdMatch::parseClientAddress(fields.at(0), &ignored) || !SshdMatch::parseClientAddress(fields.at(2), &ignored)) {
        return false;
    }
    const int client = fields.at(1).toInt(&clientPort);
    session->localPort = fields.at(3).toInt(&localPort);
    if (!clientPort || !localPort || client < 1 || client > 65535 || session->localPort < 1 || session->localPort > 65535) {
        return false;
    }
    session->clientAddress = SshdMatch::clientAddress(fields.at(0));
    session->localAddress = SshdMatch::clientAddress(fields.at(2));
    return true;
}
}
