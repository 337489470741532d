// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// sshd's log: journal lines (JSON and short-iso-precise) read one by one, reduced to records in chunks cut anywhere,
// and the records (those of the reducer, or any bytes after their first line) applied by the tracker. The chunks
// never change the records, counts are never negative and every table stays within its cap.
#include "fuzzcheck.h"
#include "sshdlogentry.h"
#include "sshdlogreducer.h"
#include "sshdlogtracker.h"

using namespace SshdLog;

namespace
{
void checkRecords(const QByteArray &records)
{
    FUZZ_CHECK(records.startsWith("sshdlog 1\n"), "the records start with their version");
    FUZZ_CHECK(records.size() <= Reducer::MaxOutputBytes + 2048, "the records stay within their cap");
    int pending = 0;
    int addresses = 0;
    const QList<QByteArray> lines = records.split('\n');
    for (int i = 1; i < lines.size() - 1; ++i) {
        const QList<QByteArray> fields = lines.at(i).split('\t');
        const QByteArray &kind = fields.first();
        bool ok = false;
        if (kind == "L") {
            FUZZ_CHECK(fields.size() == 10 && fields.at(3).toInt(&ok) >= 0 && ok, "a login has its fields and a count");
        } else if (kind == "F") {
            FUZZ_CHECK(fields.size() == 3 && fields.at(2).toInt(&ok) > 0 && ok, "a pending process has failures");
            ++pending;
        } else if (kind == "A") {
            FUZZ_CHECK(fields.size() >= 5 && fields.size() <= 5 + Reducer::MaxUsersPerAddress, "an address has at most its names");
            FUZZ_CHECK(fields.at(2).toLongLong(&ok) > 0 && ok, "an address has failures");
            ++addresses;
        } else {
            FUZZ_CHECK((kind == "X" && fields.size() == 3) || (kind == "Y" && fields.size() == 2) || (kind == "C" && fields.size() == 2),
                       "every record is of a known kind");
        }
    }
    FUZZ_CHECK(lines.last().isEmpty(), "the records end with a line ending");
    FUZZ_CHECK(pending <= Reducer::MaxPendingProcesses && addresses <= Reducer::MaxAddresses, "the tables stay within their caps");
}

void checkTracker(Tracker &tracker, const QByteArray &records)
{
    tracker.opened = [](const Connection &connection) {
        FUZZ_CHECK(connection.pid > 0 && connection.failures >= 0, "a login has a process and no negative count");
    };
    FUZZ_CHECK(tracker.apply(records), "records apply");
    FUZZ_CHECK(tracker.pendingCount() >= 0 && tracker.pendingCount() <= Tracker::MaxPendingProcesses, "pending processes stay within their cap");
    const QList<AddressAttempts> attempts = tracker.attempts();
    FUZZ_CHECK(attempts.size() <= Tracker::MaxAddresses, "addresses stay within their cap");
    for (const AddressAttempts &address : attempts) {
        FUZZ_CHECK(address.failures >= 0, "an address never has a negative count");
        FUZZ_CHECK(address.users.size() <= Tracker::MaxUsersPerAddress, "an address has at most its names");
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool records = input.ConsumeBool();
    const size_t cut = input.ConsumeIntegral<uint16_t>();
    const QByteArray text = Fuzz::rest(input);
    Tracker tracker;
    if (records) {
        checkTracker(tracker, "sshdlog 1\n" + text);
        return 0;
    }

    for (const QByteArray &line : text.split('\n')) {
        Entry entry;
        QByteArray cursor;
        if (readLine(line.constData(), line.size(), &entry, &cursor) == LineKind::Entry) {
            FUZZ_CHECK(entry.pid > 0, "an entry has a process");
        }
    }
    const QByteArray whole = Reducer::reduce(text);
    checkRecords(whole);
    // The same journal in chunks cut at every cut-th byte.
    Reducer chunked;
    const int step = int(cut % (text.size() + 1)) + 1;
    for (int at = 0; at < text.size(); at += step) {
        chunked.feed(text.mid(at, step));
    }
    FUZZ_CHECK(chunked.finish() == whole, "a journal read in chunks gives the records of one read");
    checkTracker(tracker, whole);
    checkTracker(tracker, whole); // the next read finds what this one left
    return 0;
}
