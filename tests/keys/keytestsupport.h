// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>

namespace KeyTest
{
/// Generates a key pair in dir and returns the public line, or an empty string when this type cannot be made here.
inline QString generateKey(const QString &dir, const QString &type, int bits, const QString &comment)
{
    static int counter = 0;
    const QString base = QDir(dir).filePath(QStringLiteral("key%1").arg(++counter));
    QStringList arguments {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(), QStringLiteral("-C"), comment};
    if (bits > 0) {
        arguments << QStringLiteral("-b") << QString::number(bits);
    }
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), arguments << QStringLiteral("-f") << base);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    QFile file(base + QStringLiteral(".pub"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

/// ssh-keygen's own "-lf" lines for a file, one per key it could read.
inline QStringList keygenListing(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
}
