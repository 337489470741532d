// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QVariant>

#include <algorithm>

/**
 * The nonce that ties a reply to its request (Protocol::Arg::Nonce, Protocol::Reply::Nonce).
 *
 * KAuth's helper announces every reply to every caller of the same action, so
 * a caller counts only the reply that carries its own nonce. A refusal reaches
 * the caller without its data: there the nonce leads the description as
 * "[<nonce>] ", which the caller takes off again.
 */
namespace SSHSettings::RequestNonce
{
constexpr int Length = 32;

/// 32 random lower-case hexadecimal digits from the system's generator.
inline QString generate()
{
    QString nonce;
    nonce.reserve(Length);
    for (int i = 0; i < Length; ++i) {
        nonce.append(QLatin1Char("0123456789abcdef"[QRandomGenerator::system()->bounded(16)]));
    }
    return nonce;
}

/// Whether @p value is a QString of @p length (a nonce: 32) lower-case hexadecimal digits.
inline bool isValid(const QVariant &value, int length = Length)
{
    if (value.userType() != QMetaType::QString) {
        return false;
    }
    const QString text = value.toString();
    return text.size() == length && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
               return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
           });
}

/// A refusal's description carrying @p nonce (left as it is without one).
inline QString withNonce(const QString &nonce, const QString &description)
{
    return nonce.isEmpty() ? description : QLatin1Char('[') + nonce + QLatin1String("] ") + description;
}

/// Takes the nonce off the start of a refusal's @p description and returns it; empty when there is none.
inline QString take(QString *description)
{
    const int prefix = Length + 3;
    if (description->size() < prefix || !description->startsWith(QLatin1Char('[')) || description->mid(Length + 1, 2) != QLatin1String("] ")
        || !isValid(description->mid(1, Length))) {
        return QString();
    }
    const QString nonce = description->mid(1, Length);
    description->remove(0, prefix);
    return nonce;
}
}
