// SPDX-License-Identifier: GPL-2.0-or-later
#include "logcommands.h"

#include "helperprograms.h"
#include "runprogram.h"
#include "sshdlogentry.h"
#include "sshdlogreducer.h"
#include "sshdlogtracker.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace
{
// The records of the whole input, as the helper would send them; the exit code on failure.
int readRecords(const QStringList &arguments, const char *command, QByteArray *records)
{
    SshdLog::Reducer reducer;
    if (arguments.isEmpty()) {
        const ProgramResult result =
            runProgram(QStringLiteral(SSHSETTINGS_JOURNALCTL_PATH), SshdLog::journalArguments(QString()), {}, 120000, [&reducer](const QByteArray &chunk) {
                reducer.feed(chunk);
            });
        if (!result.succeeded()) {
            fprintf(stderr, "ssh-settings-tool: journalctl failed: %s\n", qPrintable(result.reason(QStringLiteral(SSHSETTINGS_JOURNALCTL_PATH))));
            return 1;
        }
    } else if (arguments.size() == 2 && arguments.first() == QLatin1String("--input")) {
        QFile file(arguments.at(1));
        if (arguments.at(1) == QLatin1String("-") ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
            fprintf(stderr, "ssh-settings-tool: %s: %s\n", qPrintable(arguments.at(1)), qPrintable(file.errorString()));
            return 1;
        }
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        qint64 got = 0;
        while ((got = file.read(chunk.data(), chunk.size())) > 0) {
            reducer.feed(QByteArray::fromRawData(chunk.constData(), int(got)));
        }
        if (got < 0) {
            fprintf(stderr, "ssh-settings-tool: %s: %s\n", qPrintable(arguments.at(1)), qPrintable(file.errorString()));
            return 1;
        }
    } else {
        fprintf(stderr, "usage: ssh-settings-tool %s [--input FILE]\n", command);
        return 2;
    }
    *records = reducer.finish();
    return 0;
}

QByteArray isoTime(qint64 usec)
{
    return QDateTime::fromMSecsSinceEpoch(usec / 1000, Qt::UTC).toString(Qt::ISODate).toUtf8();
}
}

int connectionsCommand(const QStringList &arguments)
{
    QByteArray records;
    if (const int failed = readRecords(arguments, "connections", &records)) {
        return failed;
    }
    struct Row
    {
        SshdLog::Connection connection;
        qint64 closed = -1;
    };
    QList<Row> rows;
    SshdLog::Tracker tracker;
    tracker.opened = [&rows](const SshdLog::Connection &connection) {
        rows.append({connection, -1});
    };
    tracker.closed = [&rows](int pid, qint64 usec) {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            if (row->connection.pid == pid) {
                row->closed = usec;
                return;
            }
        }
    };
    tracker.apply(records);
    for (const Row &row : std::as_const(rows)) {
        const SshdLog::Connection &c = row.connection;
        printf("%s\t%s\t%d\t%s\t%d\t%s\t%s\n", c.user.toUtf8().constData(), c.address.toUtf8().constData(), c.port, c.method.toUtf8().constData(), c.failures,
               isoTime(c.opened).constData(), row.closed < 0 ? "-" : isoTime(row.closed).constData());
    }
    return 0;
}

int attemptsCommand(const QStringList &arguments)
{
    QByteArray records;
    if (const int failed = readRecords(arguments, "attempts", &records)) {
        return failed;
    }
    SshdLog::Tracker tracker;
    tracker.apply(records);
    QList<SshdLog::AddressAttempts> attempts = tracker.attempts();
    std::sort(attempts.begin(), attempts.end(), [](const SshdLog::AddressAttempts &a, const SshdLog::AddressAttempts &b) {
        return a.failures != b.failures ? a.failures > b.failures : a.address < b.address;
    });
    for (const SshdLog::AddressAttempts &a : std::as_const(attempts)) {
        printf("%s\t%lld\t%d\t%s\t%s\n", a.address.toUtf8().constData(), static_cast<long long>(a.failures), int(a.users.size()), isoTime(a.first).constData(),
               isoTime(a.last).constData());
    }
    return 0;
}
