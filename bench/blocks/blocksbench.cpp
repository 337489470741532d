// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The read of every block, as `match list` and the page's tab ask it, of an
 * sshd_config of N Match blocks of three body lines each, half of them in a
 * drop-in and one block including a file of blocks of its own. Each size is
 * read five times; the best time counts. The target: 5000 blocks under 100 ms,
 * and ten times the blocks at most about ten times the time (linear).
 *
 * Usage: blocksbench [blocks ...]   (default 500 5000)
 */
#include "configuration.h"
#include "sshsettingsprotocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace
{
constexpr qint64 TargetMs = 100;

void write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(contents);
    }
}

QByteArray blocks(int from, int count)
{
    QByteArray text;
    for (int i = from; i < from + count; ++i) {
        text += "Match User user" + QByteArray::number(i) + " Address 192.0.2." + QByteArray::number(i % 256) + "\n\tX11Forwarding no\n\tPermitTTY no\n"
            + "\tMaxSessions " + QByteArray::number(1 + i % 9) + "\n";
    }
    return text;
}

// The best of five reads of @p count blocks, in milliseconds.
double measure(int count)
{
    QTemporaryDir dir;
    const EnginePaths paths = EnginePaths::system().filesUnder(dir.path());
    QDir().mkpath(QFileInfo(paths.serverConfig).absolutePath() + QLatin1String("/sshd_config.d"));
    const QString dropin = QFileInfo(paths.serverConfig).absolutePath() + QLatin1String("/sshd_config.d/50-blocks.conf");
    const QString inner = QFileInfo(paths.serverConfig).absolutePath() + QLatin1String("/inner.conf");
    write(paths.serverConfig,
          "Include " + QFile::encodeName(dropin) + "\nPasswordAuthentication no\n" + blocks(0, count / 2) + "Match Group admins\n\tInclude "
              + QFile::encodeName(inner) + "\n");
    write(dropin, blocks(count / 2, count - count / 2 - 10));
    write(inner, blocks(count - 10, 9));
    const Configuration configuration(paths);
    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        const Reply reply = configuration.readBlocks(OptionCatalog::ConfigType::Server);
        const double ms = timer.nsecsElapsed() / 1e6;
        const int read = reply.data.value(SSHSettings::Protocol::Reply::Blocks).toList().size();
        if (!reply.ok || read != count) {
            std::printf("%d blocks: read %d: %s\n", count, read, qPrintable(reply.error));
            return -1;
        }
        best = std::min(best, ms);
    }
    return best;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (const QString &argument : app.arguments().mid(1)) {
        sizes.append(argument.toInt());
    }
    if (sizes.isEmpty()) {
        sizes = {500, 5000};
    }
    std::printf("%8s %12s %14s\n", "blocks", "read ms", "us per block");
    for (const int count : std::as_const(sizes)) {
        const double ms = measure(count);
        std::printf("%8d %12.1f %14.2f\n", count, ms, ms * 1000 / std::max(count, 1));
    }
    std::printf("target: 5000 blocks under %lld ms, time growing linearly with the blocks\n", TargetMs);
    return 0;
}
