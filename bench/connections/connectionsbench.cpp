// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The first read of a boot under brute-force load.
 *
 * Scales the journal of a real attacked server (2000 lines, one password
 * login) to larger boots by shifting pids and times, and reads each one
 * through the path of the helper's reply: journalctl's output streamed into
 * the helper's JournalFilter, the reply map marshalled as KAuth sends it, then
 * SSHConnectionsManager::readConnections() and the failed-attempts view's
 * model. Each size runs in a child process so that its peak memory is its own.
 * The floor is `grep -c 'Failed password'` over the same file.
 *
 * Usage: connectionsbench [lines ...]   (default 10000 100000 1000000)
 */
#include "journalfilter.h"
#include "privilegedaction.h"
#include "sshattemptsmodel.h"
#include "sshconnectionsmanager.h"
#include "sshsettingsprotocol.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace
{
constexpr int PidStride = 2000;
constexpr qint64 BusMessageLimit = 32 * 1024 * 1024;
constexpr double TargetRatio = 6.0;
constexpr double TargetPeakMiB = 100.0;

struct CorpusLine {
    QDateTime time; // whole seconds, UTC
    QByteArray head; // " host ident["
    int pid = 0;
    QByteArray tail; // "]: message"
};

QList<CorpusLine> readCorpus(const QString &path, QByteArray *cursorLine)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    static const QRegularExpression line(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2})\\.\\d+\\+0000( [^\\[]+\\[)(\\d+)(\\].*)$"));
    QList<CorpusLine> result;
    while (!file.atEnd()) {
        const QByteArray raw = file.readLine().trimmed();
        if (raw.startsWith("-- cursor: ")) {
            *cursorLine = raw;
            continue;
        }
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(raw));
        if (!match.hasMatch()) {
            continue;
        }
        CorpusLine entry;
        entry.time = QDateTime::fromString(match.captured(1), Qt::ISODate);
        entry.time.setTimeSpec(Qt::UTC);
        entry.head = match.captured(2).toUtf8();
        entry.pid = match.captured(3).toInt();
        entry.tail = match.captured(4).toUtf8();
        result.append(entry);
    }
    return result;
}

/// Writes `count` lines: copy k of the corpus has its pids shifted by k * PidStride and its times by k spans.
bool writeScaled(const QList<CorpusLine> &corpus, const QByteArray &cursorLine, int count, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const qint64 span = corpus.constFirst().time.secsTo(corpus.constLast().time) + 1;
    QByteArray buffer;
    for (int i = 0; i < count; ++i) {
        const int copy = i / corpus.size();
        const CorpusLine &line = corpus.at(i % corpus.size());
        const QDateTime time = line.time.addSecs(copy * span);
        buffer += time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1();
        buffer += '.' + QByteArray::number(i % 1000000).rightJustified(6, '0') + "+0000";
        buffer += line.head + QByteArray::number(line.pid + copy * PidStride) + line.tail + '\n';
        if (buffer.size() > (1 << 20)) {
            file.write(buffer);
            buffer.clear();
        }
    }
    buffer += cursorLine + '\n';
    file.write(buffer);
    return true;
}

/// Stands in for the helper: streams the file (or one half of it per read) through its filter, as it does journalctl's pipe.
class HelperPath : public SSHSettings::ActionRunner
{
public:
    HelperPath(const QString &path, bool halves)
        : m_path(path)
        , m_halves(halves)
    {
    }
    qint64 replyBytes = 0;
    int reads = 0;
    QStringList lastArguments;

    SSHSettings::ActionResult run(const QString &, const SSHSettings::ActionArguments &arguments) override
    {
        ++reads;
        lastArguments = arguments.value(0).second.toStringList();
        SSHSettings::ActionResult result;
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            result.errorText = file.errorString();
            return result;
        }
        // The first read ends at the middle line in halves mode; the second takes the rest.
        const qint64 middle = m_halves ? middleOf(file) : file.size();
        const bool first = lastArguments.filter(QStringLiteral("--after-cursor=")).isEmpty();
        qint64 from = first ? 0 : middle;
        const qint64 to = first ? middle : file.size();
        JournalFilter filter;
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        file.seek(from);
        while (from < to) {
            const qint64 got = file.read(chunk.data(), std::min<qint64>(chunk.size(), to - from));
            if (got <= 0) {
                break;
            }
            filter.feed(QByteArray::fromRawData(chunk.constData(), int(got)));
            from += got;
        }
        if (first && m_halves) {
            filter.feed("-- cursor: s=half\n");
        }
        QByteArray output = filter.finish();
        // KAuth carries the reply map as a QDataStream blob over the system bus.
        QByteArray wire;
        {
            QDataStream out(&wire, QIODevice::WriteOnly);
            out << QVariantMap{{SSHSettings::Protocol::Reply::Output, output}};
        }
        output.clear();
        replyBytes = std::max(replyBytes, qint64(wire.size()));
        QDataStream in(wire);
        in >> result.data;
        // The helper echoes the request's nonce; the module's queue drops an answer without it.
        for (const auto &argument : arguments) {
            if (argument.first == SSHSettings::Protocol::Arg::Nonce) {
                result.data.insert(SSHSettings::Protocol::Reply::Nonce, argument.second);
            }
        }
        result.ok = true;
        return result;
    }

private:
    static qint64 middleOf(QFile &file)
    {
        file.seek(file.size() / 2);
        file.readLine();
        return file.pos();
    }
    QString m_path;
    bool m_halves;
};

qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

struct Outcome {
    QList<QByteArray> events;
    int pending = 0;
    int addresses = 0;
    bool incremental = false;
    qint64 replyBytes = 0;
};

/// Two reads through the given path: the whole boot and nothing new, or each half.
Outcome readBoot(const QString &path, bool halves)
{
    HelperPath helper(path, halves);
    SSHSettings::setActionRunner(&helper);
    Outcome outcome;
    {
        SSHConnectionsManager manager(nullptr);
        SSHAttemptsModel attempts(nullptr);
        QObject::connect(&manager, &SSHConnectionsManager::attemptsChanged, [&] {
            attempts.setAttempts(manager.attempts());
        });
        QObject::connect(&manager, &SSHConnectionsManager::connectionOpened, [&outcome](const SSHConnectionData &c) {
            outcome.events.append(QStringLiteral("open %1 %2 %3 %4 %5")
                                      .arg(c.syslogPid)
                                      .arg(c.user, c.address.toString())
                                      .arg(c.failedTriesCount)
                                      .arg(c.openDateTime.toMSecsSinceEpoch())
                                      .toUtf8());
        });
        QObject::connect(&manager, &SSHConnectionsManager::connectionClosed, [&outcome](pid_t pid, const QDateTime &time) {
            outcome.events.append(QStringLiteral("close %1 %2").arg(pid).arg(time.toMSecsSinceEpoch()).toUtf8());
        });
        // Each read is answered asynchronously: let it finish before the next one.
        const auto settle = [] {
            SSHSettings::ActionQueue *queue = SSHSettings::ActionQueue::instance();
            if (!queue->isIdle()) {
                QEventLoop loop;
                QObject::connect(queue, &SSHSettings::ActionQueue::idle, &loop, &QEventLoop::quit);
                loop.exec();
            }
        };
        manager.readConnections();
        settle();
        manager.readConnections();
        settle();
        outcome.replyBytes = helper.replyBytes;
        outcome.incremental = helper.reads == 2 && !helper.lastArguments.filter(QStringLiteral("--after-cursor=")).isEmpty();
        outcome.pending = manager.pendingCount();
        outcome.addresses = attempts.rowCount();
        qint64 failures = 0;
        for (int row = 0; row < attempts.rowCount(); ++row) {
            failures += attempts.index(row, SSHAttemptsModel::FailuresColumn).data().toLongLong();
        }
        outcome.events.append("failures " + QByteArray::number(failures));
    }
    SSHSettings::setActionRunner(nullptr);
    return outcome;
}

int runChild(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const Outcome filtered = readBoot(path, false);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 peak = peakKiB();
    // The same boot in two reads: the connections, counts and attempts must not differ.
    const Outcome unlimited = readBoot(path, true);
    const bool same = filtered.events == unlimited.events;
    int opened = 0;
    for (const QByteArray &event : filtered.events) {
        opened += event.startsWith("open ") ? 1 : 0;
    }
    std::printf(
        "RESULT seconds=%.6f peak_kib=%lld pending=%d unlimited_pending=%d opened=%d events=%d reply_bytes=%lld same=%d incremental=%d addresses=%d "
        "failures=%s\n",
        seconds,
        static_cast<long long>(peak),
        filtered.pending,
        unlimited.pending,
        opened,
        int(filtered.events.size()),
        static_cast<long long>(filtered.replyBytes),
        same ? 1 : 0,
        filtered.incremental ? 1 : 0,
        filtered.addresses,
        filtered.events.constLast().mid(9).constData());
    return 0;
}

double grepSeconds(const QString &path, qint64 *count)
{
    double best = 1e9;
    for (int run = 0; run < 4; ++run) { // the first run warms the page cache
        QElapsedTimer timer;
        QProcess grep;
        timer.start();
        grep.start(QStringLiteral("grep"), {QStringLiteral("-c"), QStringLiteral("Failed password"), path});
        grep.waitForFinished(-1);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (run > 0) {
            best = std::min(best, seconds);
        }
    }
    // Every failed method counts as an attempt, not only passwords (untimed).
    QProcess grep;
    grep.start(QStringLiteral("grep"), {QStringLiteral("-cE"), QStringLiteral("\\]: Failed [^ ]+ for "), path});
    grep.waitForFinished(-1);
    *count = grep.readAllStandardOutput().trimmed().toLongLong();
    return best;
}

QMap<QString, QString> parseResult(const QByteArray &output)
{
    QMap<QString, QString> values;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.startsWith("RESULT ")) {
            continue;
        }
        for (const QByteArray &pair : line.mid(7).split(' ')) {
            const int equals = pair.indexOf('=');
            values.insert(QString::fromLatin1(pair.left(equals)), QString::fromLatin1(pair.mid(equals + 1)));
        }
    }
    return values;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--child")) {
        return runChild(arguments.value(1));
    }
    QList<int> sizes;
    for (const QString &argument : std::as_const(arguments)) {
        sizes.append(argument.toInt());
    }
    if (sizes.isEmpty()) {
        sizes = {10000, 100000, 1000000};
    }

    QByteArray cursorLine = "-- cursor: s=0;i=0";
    const QList<CorpusLine> corpus = readCorpus(QStringLiteral(CORPUS_DIR "/journal-lab-server-2k.txt"), &cursorLine);
    if (corpus.isEmpty()) {
        std::printf("corpus journal-lab-server-2k.txt not found in %s\ntarget missed: no corpus\n", CORPUS_DIR);
        return 1;
    }
    QTemporaryDir dir;
    std::printf("%10s %12s %10s %10s %9s %10s %10s %11s %7s %10s %10s %5s %5s\n",
                "lines",
                "lines/s",
                "read s",
                "grep s",
                "ratio",
                "peak MiB",
                "pending",
                "reply KiB",
                "opened",
                "addresses",
                "failures",
                "same",
                "incr");
    bool met = true;
    double lastRatio = 0;
    double lastPeak = 0;
    for (const int size : std::as_const(sizes)) {
        const QString path = dir.filePath(QStringLiteral("journal-%1.txt").arg(size));
        if (!writeScaled(corpus, cursorLine, size, path)) {
            std::printf("cannot write %s\ntarget missed: no scaled journal\n", qPrintable(path));
            return 1;
        }
        qint64 failedCount = 0;
        const double floor = grepSeconds(path, &failedCount);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), path});
        child.waitForFinished(-1);
        const QMap<QString, QString> result = parseResult(child.readAllStandardOutput());
        if (result.isEmpty()) {
            std::printf("child failed: %s\ntarget missed: child failed\n", child.readAllStandardError().constData());
            return 1;
        }
        const double seconds = result.value(QStringLiteral("seconds")).toDouble();
        const double peakMiB = result.value(QStringLiteral("peak_kib")).toDouble() / 1024.0;
        const double ratio = seconds / floor;
        const qint64 reply = result.value(QStringLiteral("reply_bytes")).toLongLong();
        const bool same = result.value(QStringLiteral("same")) == QLatin1String("1");
        const bool incremental = result.value(QStringLiteral("incremental")) == QLatin1String("1");
        const bool counted = result.value(QStringLiteral("failures")).toLongLong() == failedCount;
        std::printf("%10d %12.0f %10.3f %10.4f %8.1fx %10.1f %10s %11.1f %7s %10s %10s %5s %5s\n",
                    size,
                    size / seconds,
                    seconds,
                    floor,
                    ratio,
                    peakMiB,
                    qPrintable(result.value(QStringLiteral("pending")) + QLatin1Char('/') + result.value(QStringLiteral("unlimited_pending"))),
                    reply / 1024.0,
                    qPrintable(result.value(QStringLiteral("opened"))),
                    qPrintable(result.value(QStringLiteral("addresses"))),
                    qPrintable(result.value(QStringLiteral("failures")) + (counted ? QString() : QStringLiteral("!"))),
                    same ? "yes" : "NO",
                    incremental ? "yes" : "NO");
        std::fflush(stdout);
        QFile::remove(path);
        met = met && same && incremental && counted && reply < BusMessageLimit && peakMiB < TargetPeakMiB;
        lastRatio = ratio;
        lastPeak = peakMiB;
    }
    met = met && lastRatio <= TargetRatio;
    std::printf(
        "(pending: processes with failures carried after one read / after the boot read in two halves; "
        "failures: the attempts view's total, '!' when it differs from grep's count; "
        "same: the connections, counts and attempts equal those of the two halves)\n");
    std::printf("%s: %d lines read in %.1fx the grep floor (target <= %.0fx), peak %.1f MiB (target < %.0f MiB)\n",
                met ? "target met" : "target missed",
                sizes.constLast(),
                lastRatio,
                TargetRatio,
                lastPeak,
                TargetPeakMiB);
    return 0;
}
