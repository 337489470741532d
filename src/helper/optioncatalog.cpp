// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "optioncatalog.h"

#include "atomicfile.h"
#include "ipaddress.h"

namespace OptionCatalog
{
namespace
{
constexpr int MaxValueLength = 8192;
constexpr int MaxListEntries = 256;
// sshd listens on at most 16 sockets; more Port lines than that can never all be in force.
constexpr int MaxPorts = 16;

bool isDecimal(const QString &text, qint64 max, qint64 *number)
{
    if (text.isEmpty() || text.size() > 10) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    bool ok = false;
    *number = text.toLongLong(&ok);
    return ok && *number <= max;
}

bool textValue(const QVariant &value, QString *text, QString *error)
{
    if (value.userType() != QMetaType::QString) {
        *error = QStringLiteral("expected a string, got %1").arg(QString::fromLatin1(value.typeName() ? value.typeName() : "nothing"));
        return false;
    }
    *text = value.toString();
    if (text->size() > MaxValueLength) {
        *error = QStringLiteral("value too long");
        return false;
    }
    if (hasControlCharacter(*text)) {
        *error = QStringLiteral("value contains a control character");
        return false;
    }
    return true;
}

bool listValue(const QVariant &value, QStringList *list, QString *error)
{
    if (value.userType() != QMetaType::QStringList) {
        *error = QStringLiteral("expected a string list, got %1").arg(QString::fromLatin1(value.typeName() ? value.typeName() : "nothing"));
        return false;
    }
    *list = value.toStringList();
    if (list->size() > MaxListEntries) {
        *error = QStringLiteral("too many entries");
        return false;
    }
    for (const QString &entry : std::as_const(*list)) {
        if (entry.size() > MaxValueLength || hasControlCharacter(entry)) {
            *error = QStringLiteral("list entry contains a control character or is too long");
            return false;
        }
    }
    return true;
}

// Accepts a literal IP address and gives it in its canonical text form.
bool isIpAddress(QString *address, bool *ipv6)
{
    QHostAddress parsed;
    if (!IpAddress::parse(*address, &parsed)) {
        return false;
    }
    *ipv6 = parsed.protocol() == QAbstractSocket::IPv6Protocol;
    *address = parsed.toString();
    return true;
}
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029) {
            return true;
        }
    }
    return false;
}

bool isSafeToken(const QString &text)
{
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || u == '"' || u == '\'' || u == '#' || u == '\\') {
            return false;
        }
    }
    return true;
}

bool splitListenAddress(const QString &entry, QString *address, QString *port)
{
    port->clear();
    if (entry.startsWith(QLatin1Char('['))) {
        const int close = entry.indexOf(QLatin1Char(']'));
        const QString rest = entry.mid(close + 1);
        if (close < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':')))) {
            return false;
        }
        *address = entry.mid(1, close - 1);
        *port = rest.mid(1);
        return !address->isEmpty() && (rest.isEmpty() || !port->isEmpty());
    }
    const int colon = entry.lastIndexOf(QLatin1Char(':'));
    QHostAddress host;
    if (colon >= 0 && (entry.indexOf(QLatin1Char(':')) == colon || IpAddress::parse(entry.left(colon), &host))) {
        *address = entry.left(colon);
        *port = entry.mid(colon + 1);
        return !address->isEmpty() && !port->isEmpty();
    }
    *address = entry;
    return !address->isEmpty();
}

bool checkValue(const Option &option, const QVariant &value, CheckedValue *checked, QString *error)
{
    *checked = CheckedValue();
    const QString keyword = option.keyword;
    auto refuse = [&](const QString &reason) {
        *error = QStringLiteral("%1: %2").arg(keyword, reason);
        return false;
    };
    QString text;
    QStringList list;
    switch (option.kind) {
    case ValueKind::Bool:
    case ValueKind::Subsystem: {
        if (value.userType() != QMetaType::Bool) {
            return refuse(QStringLiteral("expected a boolean"));
        }
        checked->enable = value.toBool();
        if (option.kind == ValueKind::Bool) {
            const QByteArray word = checked->enable ? "yes" : "no";
            checked->lines = {word};
            checked->expected = QStringList{QString::fromLatin1(word)};
        }
        return true;
    }
    case ValueKind::RootLogin: {
        if (value.userType() == QMetaType::Bool) {
            text = value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
        } else if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        // "without-password" is the older spelling of "prohibit-password".
        if (text == QLatin1String("without-password")) {
            text = QStringLiteral("prohibit-password");
        }
        const QStringList allowed = {QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("prohibit-password"), QStringLiteral("forced-commands-only")};
        if (!allowed.contains(text)) {
            return refuse(QStringLiteral("must be one of %1").arg(allowed.join(QStringLiteral(", "))));
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList{text};
        return true;
    }
    case ValueKind::Port:
    case ValueKind::Number: {
        if (value.userType() == QMetaType::Int) {
            text = QString::number(value.toInt());
        } else if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        // sshd listens on every Port line: several blank-separated ports give one line each.
        const QStringList words = option.kind == ValueKind::Port ? text.split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList{text};
        if (words.isEmpty()) {
            return refuse(QStringLiteral("\"\" is not a port number 1..65535"));
        }
        if (words.size() > (option.accumulating ? MaxPorts : 1)) {
            return refuse(option.accumulating ? QStringLiteral("at most %1 ports").arg(MaxPorts) : QStringLiteral("takes one port"));
        }
        for (const QString &word : words) {
            qint64 number = 0;
            if (!isDecimal(word, option.kind == ValueKind::Port ? 65535 : 2147483647, &number)) {
                return refuse(
                    QStringLiteral("\"%1\" is not a %2")
                        .arg(word.left(40), option.kind == ValueKind::Port ? QStringLiteral("port number 1..65535") : QStringLiteral("non-negative number")));
            }
            if (option.kind == ValueKind::Port && number < 1) {
                return refuse(QStringLiteral("port must be 1..65535"));
            }
            const QString canonical = QString::number(number);
            if (!checked->expected.contains(canonical)) {
                checked->lines.append(canonical.toLatin1());
                checked->expected.append(canonical);
            }
        }
        return true;
    }
    case ValueKind::Tunnel:
    case ValueKind::AddressFamily: {
        if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        const QStringList allowed = option.kind == ValueKind::Tunnel
            ? QStringList{QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("point-to-point"), QStringLiteral("ethernet")}
            : QStringList{QStringLiteral("any"), QStringLiteral("inet"), QStringLiteral("inet6")};
        if (!allowed.contains(text)) {
            return refuse(QStringLiteral("must be one of %1").arg(allowed.join(QStringLiteral(", "))));
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList{text};
        return true;
    }
    case ValueKind::Banner: {
        if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        if (text != QLatin1String("none") && (!AtomicFile::isCleanAbsolutePath(text) || !isSafeToken(text))) {
            return refuse(QStringLiteral("must be \"none\" or an absolute path without blanks or \"..\""));
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList{text};
        return true;
    }
    case ValueKind::ListenAddresses: {
        if (!listValue(value, &list, error)) {
            return refuse(*error);
        }
        for (const QString &entry : std::as_const(list)) {
            QString address;
            QString port;
            qint64 number = 0;
            bool ipv6 = false;
            if (!splitListenAddress(entry, &address, &port) || !isIpAddress(&address, &ipv6)) {
                return refuse(QStringLiteral("\"%1\" is not an IP address, alone or followed by :port").arg(entry.left(80)));
            }
            if (!port.isEmpty() && (!isDecimal(port, 65535, &number) || number < 1)) {
                return refuse(QStringLiteral("\"%1\" has no valid port").arg(entry.left(80)));
            }
            // Without a port of its own, the address is written alone: it follows Port.
            const QString written = port.isEmpty() ? address
                : ipv6                             ? QStringLiteral("[%1]:%2").arg(address).arg(number)
                                                   : QStringLiteral("%1:%2").arg(address).arg(number);
            if (!checked->lines.contains(written.toLatin1())) {
                checked->lines.append(written.toLatin1());
                checked->expected.append(written);
                checked->addresses.append(address);
            }
        }
        return true;
    }
    case ValueKind::KeyFilePatterns: {
        if (!listValue(value, &list, error)) {
            return refuse(*error);
        }
        QStringList tokens;
        for (const QString &entry : std::as_const(list)) {
            if (!isSafeToken(entry)) {
                return refuse(QStringLiteral("\"%1\" is not a single file pattern").arg(entry.left(80)));
            }
            tokens.append(entry);
        }
        if (!tokens.isEmpty()) {
            checked->lines = {tokens.join(QLatin1Char(' ')).toLatin1()};
            checked->expected = tokens;
        }
        return true;
    }
    case ValueKind::AccessPatterns: {
        if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (tokens.size() > MaxListEntries) {
            return refuse(QStringLiteral("too many entries"));
        }
        for (const QString &token : tokens) {
            if (!isSafeToken(token) || token.count(QLatin1Char('@')) > 1 || token.startsWith(QLatin1Char('@')) || token.endsWith(QLatin1Char('@'))) {
                return refuse(QStringLiteral("\"%1\" is not a user or group pattern").arg(token.left(80)));
            }
        }
        if (keyword.endsWith(QLatin1String("Groups"))) {
            for (const QString &token : tokens) {
                if (token.contains(QLatin1Char('@'))) {
                    return refuse(QStringLiteral("\"%1\" names a host, but sshd matches groups by name only").arg(token.left(80)));
                }
            }
        }
        if (!tokens.isEmpty()) {
            checked->lines = {tokens.join(QLatin1Char(' ')).toLatin1()};
            checked->expected = tokens;
        }
        return true;
    }
    }
    return refuse(QStringLiteral("unsupported keyword"));
}
}
