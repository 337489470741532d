// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * Loads an authorized_keys file of 10, 100 and 1000 real keys of mixed types
 * through the keys area, as the settings page does, and compares the load
 * time with one bare "ssh-keygen -lf" over the same file and with asking
 * ssh-keygen about every key on its own.
 *
 * The keys are generated once into a cache folder in the build tree.
 */
#include "authorizedkeysarea.h"
#include "sshkeyutils.h"
#include "sshoption.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace
{
constexpr int s_poolSize = 1000;

QString keyKind(int index, int *bits)
{
    // Mostly ed25519 and ECDSA, every tenth key RSA.
    switch (index % 10) {
    case 0:
        *bits = 2048;
        return QStringLiteral("rsa");
    case 1:
    case 2:
    case 3: {
        static const int curves[] = {256, 384, 521};
        *bits = curves[(index / 10) % 3];
        return QStringLiteral("ecdsa");
    }
    default:
        *bits = 0;
        return QStringLiteral("ed25519");
    }
}

QStringList keyPool()
{
    const QString cacheDir = QStringLiteral(KEY_CACHE_DIR);
    QDir().mkpath(cacheDir);
    const QString poolPath = cacheDir + QStringLiteral("/pool.txt");
    QStringList pool;
    QFile poolFile(poolPath);
    if (poolFile.open(QIODevice::ReadOnly)) {
        pool = QString::fromUtf8(poolFile.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        poolFile.close();
    }
    if (pool.size() >= s_poolSize) {
        return pool.mid(0, s_poolSize);
    }
    std::printf("generating %d keys into %s ...\n", s_poolSize - int(pool.size()), qPrintable(cacheDir));
    std::fflush(stdout);
    QTemporaryDir work;
    for (int i = pool.size(); i < s_poolSize; ++i) {
        int bits = 0;
        const QString type = keyKind(i, &bits);
        const QString base = work.filePath(QStringLiteral("k%1").arg(i));
        QStringList arguments{QStringLiteral("-q"),
                              QStringLiteral("-t"),
                              type,
                              QStringLiteral("-N"),
                              QString(),
                              QStringLiteral("-C"),
                              QStringLiteral("bench key %1").arg(i)};
        if (bits > 0) {
            arguments << QStringLiteral("-b") << QString::number(bits);
        }
        arguments << QStringLiteral("-f") << base;
        QProcess process;
        process.start(SSHKeyUtils::sshKeygenProgram(), arguments);
        process.waitForFinished(60000);
        QFile pub(base + QStringLiteral(".pub"));
        if (!pub.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "ssh-keygen could not generate a %s key\n", qPrintable(type));
            return {};
        }
        pool.append(QString::fromUtf8(pub.readAll()).trimmed());
    }
    if (poolFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        poolFile.write(pool.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    return pool;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double bareKeygenMs(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(SSHKeyUtils::sshKeygenProgram(), {QStringLiteral("-lf"), path});
    process.waitForFinished(60000);
    process.readAllStandardOutput();
    return timer.nsecsElapsed() / 1e6;
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QStringList pool = keyPool();
    if (pool.size() < s_poolSize) {
        return 1;
    }

    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral(".ssh")));
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString keysPath = home.filePath(QStringLiteral(".ssh/authorized_keys"));

    const SSHOption option = SSHOption::pageOption(Server, QStringLiteral("AuthorizedKeysFile")).withValue(QStringList{QStringLiteral(".ssh/authorized_keys")});

    std::printf("%6s %12s %10s %16s %14s %8s %10s\n", "keys", "load ms", "processes", "bare keygen ms", "per-key ms", "ratio", "identical");
    double ratioAt1000 = 0;
    bool allIdentical = true;
    for (const int count : {10, 100, 1000}) {
        const QStringList lines = pool.mid(0, count);
        QFile file(keysPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 1;
        }
        file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
        file.close();

        AuthorizedKeysArea area(option, nullptr);
        area.inflate(); // first load, also warms the caches
        const int repeats = count >= 1000 ? 5 : 9;
        QList<double> loads;
        QList<double> bares;
        int processes = 0;
        for (int i = 0; i < repeats; ++i) {
            SSHKeyUtils::resetStartedProcessCount();
            QElapsedTimer timer;
            timer.start();
            area.reset();
            loads.append(timer.nsecsElapsed() / 1e6);
            processes = SSHKeyUtils::startedProcessCount();
            bares.append(bareKeygenMs(keysPath));
        }

        // The design that asks ssh-keygen about every key on its own.
        QElapsedTimer perKeyTimer;
        perKeyTimer.start();
        QList<int> perKeySizes;
        for (const QString &line : lines) {
            perKeySizes.append(SSHKeyUtils::calculateKeySize(line));
        }
        const double perKeyMs = perKeyTimer.nsecsElapsed() / 1e6;

        // The sizes the tree shows must be exactly those.
        const QAbstractItemModel *model = area.findChild<QTreeView *>()->model();
        const QModelIndex fileIndex = model->index(0, 0);
        bool identical = model->rowCount(fileIndex) == count;
        for (int row = 0; identical && row < count; ++row) {
            identical = model->index(row, 4, fileIndex).data().toInt() == perKeySizes.at(row) && perKeySizes.at(row) > 0;
        }
        allIdentical = allIdentical && identical;

        const double load = median(loads);
        const double bare = median(bares);
        const double ratio = load / bare;
        if (count == 1000) {
            ratioAt1000 = ratio;
        }
        std::printf("%6d %12.1f %10d %16.1f %14.1f %8.2f %10s\n", count, load, processes, bare, perKeyMs, ratio, identical ? "yes" : "NO");
        std::fflush(stdout);
    }

    const bool met = allIdentical && ratioAt1000 <= 1.5;
    std::printf("%s: load / bare ssh-keygen -lf at 1000 keys = %.2f (limit 1.50)%s\n",
                met ? "target met" : "target missed",
                ratioAt1000,
                allIdentical ? "" : ", sizes differ from the per-key design");
    return 0;
}
