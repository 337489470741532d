// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "optioncatalog.h"

#include "atomicfile.h"
#include "ipaddress.h"

#include <QRegularExpression>

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

using Code = Refusal::Code;

QString typeName(const QVariant &value)
{
    return QString::fromLatin1(value.typeName() ? value.typeName() : "nothing");
}

bool textValue(const QString &keyword, const QVariant &value, QString *text, Refusal *error)
{
    if (value.userType() != QMetaType::QString) {
        *error = {Code::ExpectedString, {keyword, typeName(value)}};
        return false;
    }
    *text = value.toString();
    if (text->size() > MaxValueLength) {
        *error = {Code::ValueTooLong, {keyword}};
        return false;
    }
    if (hasControlCharacter(*text)) {
        *error = {Code::ControlCharacter, {keyword}};
        return false;
    }
    if (text->toUtf8() != text->toLatin1()) { // outside ASCII a character would be written as another one, or as '?'
        *error = {Code::NotAscii, {keyword}};
        return false;
    }
    return true;
}

bool listValue(const QString &keyword, const QVariant &value, QStringList *list, Refusal *error)
{
    if (value.userType() != QMetaType::QStringList) {
        *error = {Code::ExpectedList, {keyword, typeName(value)}};
        return false;
    }
    *list = value.toStringList();
    if (list->size() > MaxListEntries) {
        *error = {Code::TooManyEntries, {keyword}};
        return false;
    }
    for (const QString &entry : std::as_const(*list)) {
        if (entry.size() > MaxValueLength || hasControlCharacter(entry) || entry.toUtf8() != entry.toLatin1()) {
            *error = {Code::BadListEntry, {keyword}};
            return false;
        }
    }
    return true;
}

// "min..max word word" of a Number or Interval row.
void range(const Option &option, qint64 *min, qint64 *max, QStringList *words)
{
    *words = option.values.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList bounds = words->isEmpty() ? QStringList() : words->takeFirst().split(QStringLiteral(".."));
    *min = bounds.value(0).toLongLong();
    *max = bounds.size() == 2 ? bounds.at(1).toLongLong() : 2147483647;
}

// A '%' takes one of the token letters @p letters, or another '%'.
bool tokensAllowed(const QString &text, const QString &letters)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%')) {
            ++i;
            if (i == text.size() || !(text.at(i) == QLatin1Char('%') || (text.at(i) != QLatin1Char('%') && letters.contains(text.at(i))))) {
                return false;
            }
        }
    }
    return true;
}

Refusal tokenRefusal(const Option &option)
{
    return option.values.isEmpty()
        ? Refusal(Code::NoTokens, {option.keyword})
        : Refusal(Code::TokenLetters, {option.keyword, QLatin1Char('%') + option.values.split(QString(), Qt::SkipEmptyParts).join(QStringLiteral(" %"))});
}

bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('!'));
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

bool checkValue(const Option &option, const QVariant &value, CheckedValue *checked, Refusal *error, const Installed &installed)
{
    *checked = CheckedValue();
    const QString keyword = option.keyword;
    // Every refusal names the keyword first.
    auto refuse = [&](Code code, const QStringList &arguments = {}) {
        *error = Refusal(code, QStringList{keyword} + arguments);
        return false;
    };
    if (!knownIn(option, installed.version)) {
        return option.since > installed.version ? refuse(Code::NeedsVersion, {versionText(option.since), versionText(installed.version)})
                                                : refuse(Code::RemovedAfter, {versionText(option.until), versionText(installed.version)});
    }
    // An empty list removes the keyword's lines: its default applies again.
    if (value.userType() == QMetaType::QStringList && value.toStringList().isEmpty()) {
        checked->remove = true;
        return true;
    }
    // A repeatable path (HostKey) takes one line per entry of a list, each checked as a single path is.
    if (option.kind == ValueKind::Path && option.accumulating && value.userType() == QMetaType::QStringList) {
        const QStringList paths = value.toStringList();
        for (const QString &path : paths) {
            CheckedValue one;
            if (!checkValue(option, path, &one, error, installed)) {
                return false;
            }
            checked->lines += one.lines;
        }
        return true;
    }
    QString text;
    QStringList list;
    const auto single = [&](const QByteArray &line, const QString &expected) {
        if (line.startsWith('=')) { // sshd takes it for the separator after the keyword, and reads the rest
            return refuse(Code::EqualsFirst);
        }
        checked->lines = {line};
        if (!expected.isNull()) {
            checked->expected = QStringList{expected};
        }
        return true;
    };
    // The kinds read from one line of text (Number and Interval also from an int).
    static const QList<ValueKind> textKinds = {ValueKind::Number,
                                               ValueKind::Interval,
                                               ValueKind::Choice,
                                               ValueKind::Algorithms,
                                               ValueKind::Patterns,
                                               ValueKind::Path,
                                               ValueKind::Text,
                                               ValueKind::Triple,
                                               ValueKind::Penalties,
                                               ValueKind::HostPort};
    if (textKinds.contains(option.kind)) {
        if (value.userType() == QMetaType::Int && (option.kind == ValueKind::Number || option.kind == ValueKind::Interval)) {
            text = QString::number(value.toInt());
        } else if (!textValue(keyword, value, &text, error)) {
            return false;
        }
        text = text.simplified();
        if (text.isEmpty()) {
            return refuse(Code::TakesValue);
        }
    }
    switch (option.kind) {
    case ValueKind::Number:
    case ValueKind::Interval: {
        qint64 min = 0;
        qint64 max = 0;
        QStringList words;
        range(option, &min, &max, &words);
        if (words.contains(text, Qt::CaseInsensitive)) {
            return single(text.toLower().toLatin1(), option.kind == ValueKind::Number ? text.toLower() : QString());
        }
        qint64 number = 0;
        if (option.kind == ValueKind::Interval ? (number = parseInterval(text)) < 0 : !isDecimal(text, 2147483647, &number)) {
            return refuse(option.kind == ValueKind::Interval ? Code::NotInterval : Code::NotNumber, {text.left(40)});
        }
        if (number < min || number > max) {
            return refuse(Code::OutOfRange, {QString::number(min), QString::number(max)});
        }
        return single(option.kind == ValueKind::Interval ? text.toLatin1() : QByteArray::number(number), QString::number(number));
    }
    case ValueKind::Choice: {
        const QStringList allowed = option.values.split(QLatin1Char(' '));
        const int index = allowed.indexOf(QRegularExpression(QRegularExpression::escape(text), QRegularExpression::CaseInsensitiveOption));
        if (index < 0) {
            return refuse(Code::NotOneOf, {allowed.join(QStringLiteral(", "))});
        }
        return single(allowed.at(index).toLatin1(), allowed.at(index));
    }
    case ValueKind::Algorithms: {
        const QChar prefix = QStringLiteral("+-^").contains(text.at(0)) ? text.at(0) : QChar();
        const QStringList names = text.mid(prefix.isNull() ? 0 : 1).split(QLatin1Char(','));
        const QStringList supported = installed.algorithms.value(option.values);
        for (const QString &name : names) {
            if (!isSafeToken(name) || name.startsWith(QLatin1Char('+')) || name.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('^'))) {
                return refuse(Code::NotAlgorithmName, {name.left(80)});
            }
            // Only a list of names to remove may hold patterns.
            if (prefix != QLatin1Char('-') && hasWildcard(name)) {
                return refuse(Code::AlgorithmPattern, {name.left(80)});
            }
            if (prefix != QLatin1Char('-') && !supported.isEmpty() && !supported.contains(name)) {
                return refuse(Code::UnsupportedAlgorithm, {name.left(80), option.values});
            }
        }
        return single(text.toLatin1(), QString());
    }
    case ValueKind::Patterns:
    case ValueKind::HostPort: {
        const QStringList entries = text.split(option.separator.isNull() ? QLatin1Char(' ') : option.separator);
        for (const QString &entry : entries) {
            if (!isSafeToken(entry)) {
                return refuse(Code::NotPattern, {entry.left(80)});
            }
            if (option.kind == ValueKind::Patterns) {
                continue;
            }
            if (entry == QLatin1String("any") || entry == QLatin1String("none")) {
                if (entries.size() > 1) {
                    return refuse(Code::StandsAlone, {entry});
                }
                continue;
            }
            const int colon = entry.lastIndexOf(QLatin1Char(':'));
            const QString host = colon < 0 ? QString() : entry.left(colon);
            const QString port = entry.mid(colon + 1);
            qint64 number = 0;
            if ((colon < 0 && option.values != QLatin1String("port")) || (colon >= 0 && host.isEmpty())) {
                return refuse(Code::NotHostPort, {entry.left(80)});
            }
            if (port != QLatin1String("*") && (!isDecimal(port, 65535, &number) || number < 1)) {
                return refuse(Code::NoPort, {entry.left(80)});
            }
        }
        return single(entries.join(option.separator.isNull() ? QLatin1Char(' ') : option.separator).toLatin1(), QString());
    }
    case ValueKind::Path: {
        if (!isSafeToken(text)) {
            return refuse(Code::NotPath, {text.left(80)});
        }
        if (!tokensAllowed(text, option.values)) {
            *error = tokenRefusal(option);
            return false;
        }
        return single(text.toLatin1(), QString());
    }
    case ValueKind::Text: {
        if (text.count(QLatin1Char('"')) % 2 != 0) {
            return refuse(Code::UnbalancedQuote);
        }
        if (text.startsWith(QLatin1Char('#')) || text.contains(QLatin1String(" #"))) {
            return refuse(Code::CommentWord);
        }
        return single(text.toLatin1(), QString());
    }
    case ValueKind::Triple: {
        const QStringList maxima = option.values.split(QLatin1Char(':'));
        const QStringList parts = text.split(QLatin1Char(':'));
        if (parts.size() != 1 && parts.size() != maxima.size()) {
            return refuse(Code::TripleCount, {QString::number(maxima.size())});
        }
        QList<qint64> numbers;
        for (int i = 0; i < parts.size(); ++i) {
            qint64 number = 0;
            if (!isDecimal(parts.at(i), maxima.at(i).toLongLong(), &number)) {
                return refuse(Code::TripleNumber, {parts.at(i).left(40), maxima.at(i)});
            }
            numbers.append(number);
        }
        // start:rate:full drops a rising share of connections from start on, all of them at full.
        if (numbers.size() == 3 && (numbers.at(1) < 1 || numbers.at(0) > numbers.at(2))) {
            return refuse(Code::TripleRate);
        }
        return single(text.toLatin1(), text);
    }
    case ValueKind::Penalties: {
        const QStringList words = text.split(QLatin1Char(' '));
        if (words == QStringList{QStringLiteral("no")}) {
            return single("no", QString());
        }
        const QStringList known = option.values.split(QLatin1Char(' '));
        for (const QString &word : words) {
            const int colon = word.indexOf(QLatin1Char(':'));
            const QString name = word.left(colon);
            const QString argument = word.mid(colon + 1);
            const QString type =
                known.value(known.indexOf(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(name) + QStringLiteral(":.$")))).right(1);
            qint64 number = 0;
            if (colon <= 0 || type.isEmpty()) {
                return refuse(Code::PenaltyWord, {word.left(80), known.join(QStringLiteral(", "))});
            }
            if ((type == QLatin1String("i") && parseInterval(argument) < 0) || (type == QLatin1String("n") && !isDecimal(argument, 2147483647, &number))
                || (type == QLatin1String("m") && argument != QLatin1String("deny-all") && argument != QLatin1String("permissive"))) {
                return refuse(type == QLatin1String("i")       ? Code::PenaltyInterval
                                  : type == QLatin1String("n") ? Code::PenaltyNumber
                                                               : Code::PenaltyMode,
                              {word.left(80)});
            }
        }
        return single(words.join(QLatin1Char(' ')).toLatin1(), QString());
    }
    case ValueKind::Bool:
    case ValueKind::Subsystem: {
        if (value.userType() != QMetaType::Bool) {
            return refuse(Code::ExpectedBoolean);
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
        } else if (!textValue(keyword, value, &text, error)) {
            return false;
        }
        // "without-password" is the older spelling of "prohibit-password".
        if (text == QLatin1String("without-password")) {
            text = QStringLiteral("prohibit-password");
        }
        const QStringList allowed = {QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("prohibit-password"), QStringLiteral("forced-commands-only")};
        if (!allowed.contains(text)) {
            return refuse(Code::NotOneOf, {allowed.join(QStringLiteral(", "))});
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList{text};
        return true;
    }
    case ValueKind::Port: {
        if (value.userType() == QMetaType::Int) {
            text = QString::number(value.toInt());
        } else if (!textValue(keyword, value, &text, error)) {
            return false;
        }
        // sshd listens on every Port line: several blank-separated ports give one line each.
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty()) {
            return refuse(Code::NotPort, {QString()});
        }
        if (words.size() > (option.accumulating ? MaxPorts : 1)) {
            return option.accumulating ? refuse(Code::TooManyPorts, {QString::number(MaxPorts)}) : refuse(Code::OnePort);
        }
        for (const QString &word : words) {
            qint64 number = 0;
            if (!isDecimal(word, 65535, &number)) {
                return refuse(Code::NotPort, {word.left(40)});
            }
            if (number < 1) {
                return refuse(Code::PortRange);
            }
            const QString canonical = QString::number(number);
            if (!checked->expected.contains(canonical)) {
                checked->lines.append(canonical.toLatin1());
                checked->expected.append(canonical);
            }
        }
        return true;
    }
    case ValueKind::Banner: {
        if (!textValue(keyword, value, &text, error)) {
            return false;
        }
        if (text != QLatin1String("none") && (!AtomicFile::isCleanAbsolutePath(text) || !isSafeToken(text))) {
            return refuse(Code::BannerValue);
        }
        checked->lines = {text.toLatin1()};
        checked->expected = QStringList{text};
        return true;
    }
    case ValueKind::ListenAddresses: {
        if (!listValue(keyword, value, &list, error)) {
            return false;
        }
        for (const QString &entry : std::as_const(list)) {
            QString address;
            QString port;
            qint64 number = 0;
            bool ipv6 = false;
            if (!splitListenAddress(entry, &address, &port) || !isIpAddress(&address, &ipv6)) {
                return refuse(Code::NotListenAddress, {entry.left(80)});
            }
            if (!port.isEmpty() && (!isDecimal(port, 65535, &number) || number < 1)) {
                return refuse(Code::ListenPort, {entry.left(80)});
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
        if (!listValue(keyword, value, &list, error)) {
            return false;
        }
        QStringList tokens;
        for (const QString &entry : std::as_const(list)) {
            if (!isSafeToken(entry) || entry.startsWith(QLatin1Char('='))) {
                return refuse(Code::NotFilePattern, {entry.left(80)});
            }
            // sshd expands the tokens only at login: an unknown one would fail every key login then.
            if (!tokensAllowed(entry, option.values)) {
                *error = tokenRefusal(option);
                return false;
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
        if (!textValue(keyword, value, &text, error)) {
            return false;
        }
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (tokens.size() > MaxListEntries) {
            return refuse(Code::TooManyEntries);
        }
        for (const QString &token : tokens) {
            if (!isSafeToken(token) || token.count(QLatin1Char('@')) > 1 || token.startsWith(QLatin1Char('@')) || token.endsWith(QLatin1Char('@'))
                || token.startsWith(QLatin1Char('='))) {
                return refuse(Code::NotAccessPattern, {token.left(80)});
            }
        }
        if (keyword.endsWith(QLatin1String("Groups"))) {
            for (const QString &token : tokens) {
                if (token.contains(QLatin1Char('@'))) {
                    return refuse(Code::GroupHost, {token.left(80)});
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
    return refuse(Code::UnsupportedKeyword);
}
}
