// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "logcommands.h"

#include "sshdlogentry.h"
#include "sshdlogreducer.h"
#include "sshdlogtracker.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace
{
const QCommandLineOption s_input(QStringLiteral("input"),
                                 QStringLiteral("Read FILE, journalctl's short-iso-precise or JSON output, instead of this boot's journal."),
                                 QStringLiteral("FILE"));

// The records of the whole input, as the helper sends them; false after saying why not.
bool readRecords(const QCommandLineParser &parser, const ToolEngine &helper, QByteArray *records)
{
    if (!parser.isSet(s_input)) {
        // This boot's journal, read by the helper's own request.
        const Reply reply = helper.request({{SSHSettings::Protocol::Arg::JournalArguments, SshdLog::journalArguments(QString())}}, ::getuid());
        if (!reply.ok) {
            Tool::refuse(reply);
            return false;
        }
        *records = reply.data.value(SSHSettings::Protocol::Reply::Output).toByteArray();
        return true;
    }
    SshdLog::Reducer reducer;
    const QString path = parser.value(s_input);
    QFile file(path);
    if (path == QLatin1String("-") ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
        Tool::refuse(QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 got = 0;
    // Whether any line reads as an entry of journalctl's output, of sshd or not: the start of each line
    // is looked at until one does.
    bool entries = false;
    QByteArray start;
    const auto isEntry = [&start] {
        qint64 usec = 0;
        int consumed = 0;
        return start.startsWith("{\"")
            || (SshdLog::parseIsoTime(start.constData(), start.size(), &usec, &consumed) && consumed < start.size() && start.at(consumed) == ' ');
    };
    while ((got = file.read(chunk.data(), chunk.size())) > 0) {
        for (qint64 i = 0; i < got && !entries; ++i) {
            if (chunk.at(i) == '\n') {
                entries = isEntry();
                start.clear();
            } else if (start.size() < 64) {
                start.append(chunk.at(i));
            }
        }
        reducer.feed(QByteArray::fromRawData(chunk.constData(), int(got)));
    }
    if (got < 0) {
        Tool::refuse(QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    if (!entries && !isEntry()) {
        Tool::refuse(QStringLiteral("no journal entries in %1").arg(path));
        return false;
    }
    *records = reducer.finish();
    return true;
}

QByteArray isoTime(qint64 usec)
{
    return QDateTime::fromMSecsSinceEpoch(usec / 1000).toUTC().toString(Qt::ISODate).toUtf8();
}

int connections(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    QByteArray records;
    if (!arguments.isEmpty()) {
        return 2;
    }
    if (!readRecords(parser, helper, &records)) {
        return 1;
    }
    struct Row {
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
    QJsonArray json;
    for (const Row &row : std::as_const(rows)) {
        const SshdLog::Connection &c = row.connection;
        if (Tool::json()) {
            json.append(QJsonObject{{QStringLiteral("user"), c.user},
                                    {QStringLiteral("address"), c.address},
                                    {QStringLiteral("port"), c.port},
                                    {QStringLiteral("method"), c.method},
                                    {QStringLiteral("failures"), c.failures},
                                    {QStringLiteral("opened"), QString::fromUtf8(isoTime(c.opened))},
                                    {QStringLiteral("closed"), row.closed < 0 ? QJsonValue() : QJsonValue(QString::fromUtf8(isoTime(row.closed)))}});
            continue;
        }
        printf("%s\t%s\t%d\t%s\t%d\t%s\t%s\n",
               c.user.toUtf8().constData(),
               c.address.toUtf8().constData(),
               c.port,
               c.method.toUtf8().constData(),
               c.failures,
               isoTime(c.opened).constData(),
               row.closed < 0 ? "-" : isoTime(row.closed).constData());
    }
    if (Tool::json()) {
        Tool::print({{QStringLiteral("connections"), json}});
    }
    return 0;
}

int attempts(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    QByteArray records;
    if (!arguments.isEmpty()) {
        return 2;
    }
    if (!readRecords(parser, helper, &records)) {
        return 1;
    }
    SshdLog::Tracker tracker;
    tracker.apply(records);
    QList<SshdLog::AddressAttempts> rows = tracker.attempts();
    std::sort(rows.begin(), rows.end(), [](const SshdLog::AddressAttempts &a, const SshdLog::AddressAttempts &b) {
        return a.failures != b.failures ? a.failures > b.failures : a.address < b.address;
    });
    QJsonArray json;
    for (const SshdLog::AddressAttempts &a : std::as_const(rows)) {
        if (Tool::json()) {
            json.append(QJsonObject{{QStringLiteral("address"), a.address},
                                    {QStringLiteral("failures"), qint64(a.failures)},
                                    {QStringLiteral("users"), int(a.users.size())},
                                    {QStringLiteral("first"), QString::fromUtf8(isoTime(a.first))},
                                    {QStringLiteral("last"), QString::fromUtf8(isoTime(a.last))}});
            continue;
        }
        printf("%s\t%lld\t%d\t%s\t%s\n",
               a.address.toUtf8().constData(),
               static_cast<long long>(a.failures),
               int(a.users.size()),
               isoTime(a.first).constData(),
               isoTime(a.last).constData());
    }
    if (Tool::json()) {
        Tool::print({{QStringLiteral("attempts"), json}});
    }
    return 0;
}
}

QList<ToolCommand> logCommands()
{
    return {
        {QStringLiteral("connections"),
         RequestDispatch::Action::Read,
         QStringLiteral("[--input FILE] [--json]"),
         QStringLiteral("The SSH connections of this boot: user, address, port, method, failed tries, opened, closed (tab-separated, UTC)."),
         {s_input, Tool::jsonOption()},
         connections},
        {QStringLiteral("attempts"),
         RequestDispatch::Action::Read,
         QStringLiteral("[--input FILE] [--json]"),
         QStringLiteral("The failed attempts of this boot per address: address, failures, distinct users, first seen, last seen."),
         {s_input, Tool::jsonOption()},
         attempts},
    };
}
