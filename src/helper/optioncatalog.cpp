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
    const int colon = entry.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return false;
    }
    *address = entry.left(colon);
    *port = entry.mid(colon + 1);
    if (address->startsWith(QLatin1Char('[')) && address->endsWith(QLatin1Char(']'))) {
        *address = address->mid(1, address->size() - 2);
    }
    return true;
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
            checked->expected = QStringList {QString::fromLatin1(word)};
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
        checked->expected = QStringList {text};
        return true;
    }
    case ValueKind::Port:
    case ValueKind::Number: {
        if (value.userType() == QMetaType::Int) {
            text = QString::number(value.toInt());
        } else if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        qint64 number = 0;
        if (!isDecimal(text, option.kind == ValueKind::Port ? 65535 : 2147483647, &number)) {
            return refuse(
                QStringLiteral("\"%1\" is not a %2")
                    .arg(text.left(40), option.kind == ValueKind::Port ? QStringLiteral("port number 1..65535") : QStringLiteral("non-negative number")));
        }
        if (option.kind == ValueKind::Port && number < 1) {
            return refuse(QStringLiteral("port must be 1..65535"));
        }
        text = QString::number(number);
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList {text};
        return true;
    }
    case ValueKind::Tunnel:
    case ValueKind::AddressFamily: {
        if (!textValue(value, &text, error)) {
            return refuse(*error);
        }
        const QStringList allowed = option.kind == ValueKind::Tunnel
            ? QStringList {QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("point-to-point"), QStringLiteral("ethernet")}
            : QStringList {QStringLiteral("any"), QStringLiteral("inet"), QStringLiteral("inet6")};
        if (!allowed.contains(text)) {
            return refuse(QStringLiteral("must be one of %1").arg(allowed.join(QStringLiteral(", "))));
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList {text};
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
        checked->expected = QStringList {text};
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
                return refuse(QStringLiteral("\"%1\" is not an IP address followed by :port").arg(entry.left(80)));
            }
            if (!isDecimal(port, 65535, &number) || number < 1) {
                return refuse(QStringLiteral("\"%1\" has no valid port").arg(entry.left(80)));
            }
            const QString written = ipv6 ? QStringLiteral("[%1]:%2").arg(address).arg(number) : QStringLiteral("%1:%2").arg(address).arg(number);
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
