// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

/// An invariant of a reader: when it does not hold, the fuzzer stops and keeps the input.
#define FUZZ_CHECK(condition, what)                                                                                                                            \
    do {                                                                                                                                                       \
        if (!(condition)) {                                                                                                                                    \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, what);                                                                 \
            std::abort();                                                                                                                                      \
        }                                                                                                                                                      \
    } while (false)

namespace Fuzz
{
inline QByteArray bytes(FuzzedDataProvider &data, size_t maxLength)
{
    const std::string text = data.ConsumeRandomLengthString(maxLength);
    return QByteArray(text.data(), int(text.size()));
}

inline QByteArray rest(FuzzedDataProvider &data)
{
    const std::string text = data.ConsumeRemainingBytesAsString();
    return QByteArray(text.data(), int(text.size()));
}

inline QString text(FuzzedDataProvider &data, size_t maxLength)
{
    return QString::fromUtf8(bytes(data, maxLength));
}
}
