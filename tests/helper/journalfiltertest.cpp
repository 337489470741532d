// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// sshd's log grammar as the helper's filter applies it: message forms, both
// journal formats, the records of a read and their bounds.
#include "journalfilter.h"
#include "sshdlogmessage.h"
#include "sshdlogtracker.h"

#include <QTest>
#include <algorithm>

using namespace SshdLog;

namespace
{
QByteArray text(int pid, const QByteArray &message, int second = 30, const QByteArray &identifier = "sshd")
{
    return "2024-03-01T10:15:" + QByteArray::number(second).rightJustified(2, '0') + ".000001+0000 host " + identifier + '[' + QByteArray::number(pid)
        + "]: " + message + '\n';
}

QByteArray json(int pid, const QByteArray &message, int uid = 0, const QByteArray &identifier = "sshd")
{
    return R"({"__CURSOR":"s=j;i=)" + QByteArray::number(pid) + R"(","__REALTIME_TIMESTAMP":"1709288130000001","_PID":")" + QByteArray::number(pid)
        + R"(","_UID":")" + QByteArray::number(uid) + R"(","SYSLOG_IDENTIFIER":")" + identifier + R"(","MESSAGE":")" + message + "\"}\n";
}

}

class JournalFilterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageForms_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArrayList>("expected"); // form, method, user, address, port, key type, fingerprint

        const QByteArray key = "ED25519 SHA256:QkWj/bLpxhGPScjKQlIiLYpqFzsAKfRriTsUqS5Bffg";
        QTest::newRow("publickey") << "Accepted publickey for amy from 127.0.0.1 port 45360 ssh2: "
                + key << QByteArrayList{"A", "publickey", "amy", "127.0.0.1", "45360", "ED25519", "SHA256:QkWj/bLpxhGPScjKQlIiLYpqFzsAKfRriTsUqS5Bffg"};
        QTest::newRow("password") << QByteArray("Accepted password for fztu from 119.137.62.142 port 49116 ssh2")
                                  << QByteArrayList{"A", "password", "fztu", "119.137.62.142", "49116", "", ""};
        QTest::newRow("keyboard-interactive over IPv6") << QByteArray("Accepted keyboard-interactive/pam for bob from ::1 port 33754 ssh2")
                                                        << QByteArrayList{"A", "keyboard-interactive/pam", "bob", "::1", "33754", "", ""};
        QTest::newRow("hostbased") << QByteArray(R"(Accepted hostbased for c from 10.0.0.9 port 22 ssh2: RSA SHA256:abc, client user "c", client host "h")")
                                   << QByteArrayList{"A", "hostbased", "c", "10.0.0.9", "22", "RSA", "SHA256:abc"};
        QTest::newRow("gssapi") << QByteArray("Accepted gssapi-with-mic for d@REALM from 2001:db8::7 port 5 ssh2")
                                << QByteArrayList{"A", "gssapi-with-mic", "d@REALM", "2001:db8::7", "5", "", ""};
        QTest::newRow("failed invalid user") << QByteArray("Failed password for invalid user admin from 5.188.10.180 port 49929 ssh2")
                                             << QByteArrayList{"F", "password", "admin", "5.188.10.180", "49929", "", ""};
        QTest::newRow("failed none, empty name") << QByteArray("Failed none for invalid user  from 10.1.1.1 port 2 ssh2")
                                                 << QByteArrayList{"F", "none", "", "10.1.1.1", "2", "", ""};
        QTest::newRow("client-chosen name cannot move the address")
            << QByteArray("Failed password for invalid user x from 6.6.6.6 port 1 ssh2 from 10.1.1.1 port 2 ssh2")
            << QByteArrayList{"F", "password", "x from 6.6.6.6 port 1 ssh2", "10.1.1.1", "2", "", ""};
        QTest::newRow("session closed") << QByteArray("pam_unix(sshd:session): session closed for user bob") << QByteArrayList{"E"};
        QTest::newRow("pam failures") << QByteArray("PAM 5 more authentication failures; logname= uid=0 euid=0 tty=ssh rhost=1.2.3.4") << QByteArrayList{"E"};
        QTest::newRow("not at the start") << QByteArray("x Accepted password for a from 1.1.1.1 port 1 ssh2") << QByteArrayList{"O"};
        QTest::newRow("other failure") << QByteArray("Failed to release session: Interrupted system call") << QByteArrayList{"O"};
        QTest::newRow("trailing text") << QByteArray("Accepted password for a from 1.1.1.1 port 1 ssh2 and more") << QByteArrayList{"O"};
    }
    void messageForms()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArrayList, expected);
        const Message read = readMessage(message);
        const char form = "OAFE"[int(read.form)];
        QCOMPARE(QByteArray(1, form), expected.first());
        if (expected.size() > 1) {
            QCOMPARE((QByteArrayList{read.method, read.user, read.address, QByteArray::number(read.port), read.keyType, read.fingerprint}), expected.mid(1));
            QCOMPARE(read.invalidUser, message.contains("invalid user"));
        }
    }

    void times_data()
    {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<qint64>("usec"); // -1: refused
        const qint64 base = Q_INT64_C(1709288130) * 1000000; // 2024-03-01T10:15:30Z
        QTest::newRow("systemd 252") << QByteArray("2024-03-01T10:15:30.123456+0000") << base + 123456;
        QTest::newRow("systemd 255") << QByteArray("2024-03-01T10:15:30.123456+00:00") << base + 123456;
        QTest::newRow("zone ahead") << QByteArray("2024-03-01T11:45:30.123456+01:30") << base + 123456;
        QTest::newRow("zone behind") << QByteArray("2024-03-01T05:15:30.1-0500") << base + 100000;
        QTest::newRow("Z, no fraction") << QByteArray("2024-03-01T10:15:30Z") << base;
        QTest::newRow("nanoseconds") << QByteArray("2024-03-01T10:15:30.123456789+00:00") << base + 123456;
        QTest::newRow("no zone") << QByteArray("2024-03-01T10:15:30.123456 host") << qint64(-1);
        QTest::newRow("month 13") << QByteArray("2024-13-01T10:15:30+0000") << qint64(-1);
    }
    void times()
    {
        QFETCH(QByteArray, time);
        QFETCH(qint64, usec);
        qint64 read = -1;
        int consumed = 0;
        if (!parseIsoTime(time.constData(), time.size(), &read, &consumed)) {
            read = -1;
        }
        QCOMPARE(read, usec);
    }

    void records_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QByteArray>("records");
        const QByteArray login = "L\t1709288130000001\t10\t2\tpassword\tbob\t192.0.2.5\t40000\t-\t-\n";
        const QByteArray failed = "Failed password for bob from 192.0.2.5 port 40000 ssh2";
        const QByteArray accepted = "Accepted password for bob from 192.0.2.5 port 40000 ssh2";
        QTest::newRow("json") << json(10, failed) + json(10, failed) + json(11, "Server listening on :: port 22.") + json(10, accepted) + "-- cursor: s=z\n"
                              << "sshdlog 1\n" + login + "A\t192.0.2.5\t2\t1709288130000001\t1709288130000001\tbob\nC\ts=z\n";
        QTest::newRow("not sshd's own") << json(10, accepted, 1000) + json(11, accepted, 0, "sshd-x") + json(12, accepted, 0, "sshd-session")
                                        << QByteArray("sshdlog 1\nL\t1709288130000001\t12\t0\tpassword\tbob\t192.0.2.5\t40000\t-\t-\nC\ts=j;i=12\n");
        QTest::newRow("failures carried, ends once") << text(7, failed) + text(8, failed)
                + text(8, "Received disconnect from 192.0.2.5 port 1:11: Bye [preauth]", 31)
                + text(8, "Disconnected from authenticating user bob 192.0.2.5 port 1 [preauth]", 32)
                                                     << QByteArray("sshdlog 1\nY\t8\nF\t7\t1\nA\t192.0.2.5\t2\t1709288130000001\t1709288130000001\tbob\n");
        QTest::newRow("tab in a name") << text(9, "Failed password for invalid user a\tb from ::1 port 3 ssh2")
                                       << QByteArray("sshdlog 1\nF\t9\t1\nA\t::1\t1\t1709288130000001\t1709288130000001\ta?b\n");
        QTest::newRow("notes and noise") << QByteArray("-- No entries --\ngarbage\n{\"MESSAGE\":\"Accepted \"}\n") << QByteArray("sshdlog 1\n");
    }
    void records()
    {
        QFETCH(QByteArray, journal);
        QFETCH(QByteArray, records);
        QCOMPARE(JournalFilter::reduce(journal), records);
        for (int size : {1, 7, 64}) { // any split into chunks gives the same
            JournalFilter filter;
            for (int i = 0; i < journal.size(); i += size) {
                filter.feed(journal.mid(i, size));
            }
            QCOMPARE(filter.finish(), records);
        }
    }

    void journalRequest_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QStringList base = journalArguments(QString());
        QTest::newRow("first read") << base << QString();
        QTest::newRow("later read") << journalArguments(QStringLiteral("s=ab;i=1f")) << QString();
        QTest::newRow("without _UID=0") << QStringList(base.mid(0, 3) + base.mid(4)) << "journal argument not allowed: --show-cursor";
        // journalctl flags beyond the reader's, and cursors that are none.
        const QString flags = QStringLiteral(
                                  "--vacuum-time=1s|-D|/var/log|--output-fields=MESSAGE|--directory=/tmp|--file=/etc/shadow|--rotate|--flush|-f|--follow|"
                                  "--merge|--no-pager|--output=json|--identifier=sshd|--root=/|--boot=-1|--cursor-file=/etc/shadow|--after-cursor=|"
                                  "--after-cursor=s;$(reboot)|--after-cursor=../../x|--after-cursor=x y|--after-cursor=")
            + QString(513, QLatin1Char('a'));
        for (const QString &flag : flags.split(QLatin1Char('|'))) {
            QTest::addRow("%s", qPrintable(flag.left(40)))
                << QStringList(base + QStringList{flag}) << QString(QStringLiteral("journal argument not allowed: ") + flag.left(64));
        }
        QTest::newRow("two cursors") << QStringList(journalArguments(QStringLiteral("a")) + QStringList{QStringLiteral("--after-cursor=b")})
                                     << "journal argument not allowed: --after-cursor=a";
        QTest::newRow("short") << QStringList(base.mid(0, 3)) << "journal argument missing: _UID=0";
    }
    void journalRequest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QString said;
        QCOMPARE(isJournalRequest(arguments, &said), error.isEmpty());
        QCOMPARE(said, error);
    }

    void bruteForceStaysBounded()
    {
        // A boot under brute force: a million failures, half of them from one address
        // with ever new names, half from 25000 addresses, then a login.
        QByteArray journal;
        journal.reserve(100 * 1000 * 1000);
        for (int i = 0; i < 1000000; ++i) {
            const QByteArray address =
                i % 2 ? QByteArray("10.0." + QByteArray::number(i % 50000 / 250) + '.' + QByteArray::number(i % 250)) : QByteArray("192.0.2.1");
            journal += text(1000 + i / 4, "Failed password for invalid user u" + QByteArray::number(i) + " from " + address + " port 4000 ssh2", i / 20000);
        }
        journal += text(99, "Accepted password for bob from 192.0.2.7 port 1 ssh2") + "-- cursor: s=9\n";
        const QByteArray records = JournalFilter::reduce(journal);
        QVERIFY(records.size() < JournalFilter::MaxOutputBytes);
        QVERIFY(records.endsWith("C\ts=9\n"));
        QVERIFY(records.count("\nA\t") > JournalFilter::MaxAddresses * 8 / 10 && records.count("\nA\t") <= JournalFilter::MaxAddresses);
        QCOMPARE(records.count("\nF\t"), JournalFilter::MaxPendingProcesses);

        Tracker tracker;
        int opened = 0;
        tracker.opened = [&opened](const Connection &) {
            ++opened;
        };
        QVERIFY(tracker.apply(records));
        QVERIFY(tracker.apply(records)); // a second read of as many: still bounded
        QCOMPARE(opened, 2);
        QCOMPARE(tracker.pendingCount(), Tracker::MaxPendingProcesses);
        QVERIFY(tracker.attempts().size() <= Tracker::MaxAddresses);
        const QList<AddressAttempts> attempts = tracker.attempts();
        const auto busiest = std::max_element(attempts.begin(), attempts.end(), [](const AddressAttempts &a, const AddressAttempts &b) {
            return a.failures < b.failures;
        });
        QCOMPARE(busiest->address, QStringLiteral("192.0.2.1"));
        QCOMPARE(busiest->failures, 1000000);
        QCOMPARE(busiest->users.size(), Tracker::MaxUsersPerAddress);
        QVERIFY(!tracker.apply("L\t1\t2\n")); // not records
    }

    // Records come from another process: their counts are never taken negative, and their sums stay within their type.
    void trackerCounts_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<int>("loginFailures"); // of the one login, -1: none
        QTest::addColumn<qint64>("addressFailures"); // of 192.0.2.5
        const QByteArray login = "\tpassword\tu\t192.0.2.5\t22\t-\t-\n";
        QTest::newRow("negative login count") << "L\t1\t7\t-5" + login << 0 << qint64(0);
        QTest::newRow("pending counts past int") << "F\t7\t2147483647\nF\t7\t2147483647\nL\t1\t7\t2147483647" + login << 2147483647 << qint64(0);
        QTest::newRow("negative address count") << QByteArray("A\t192.0.2.5\t-9\t1\t2\tu\n") << -1 << qint64(0);
        QTest::newRow("address count past int") << QByteArray("A\t192.0.2.5\t99999999999\t1\t2\tu\nA\t192.0.2.5\t3\t1\t2\tu\n") << -1 << qint64(2147483650);
    }
    void trackerCounts()
    {
        QFETCH(QByteArray, records);
        QFETCH(int, loginFailures);
        QFETCH(qint64, addressFailures);
        Tracker tracker;
        int failures = -1;
        tracker.opened = [&failures](const Connection &connection) {
            failures = connection.failures;
        };
        QVERIFY(tracker.apply("sshdlog 1\n" + records));
        QCOMPARE(failures, loginFailures);
        const QList<AddressAttempts> attempts = tracker.attempts();
        QCOMPARE(attempts.isEmpty() ? 0 : attempts.first().failures, addressFailures);
    }

    void evictionKeepsTheBusiest()
    {
        // Of addresses seen in the same second the quieter go first, whatever the hash order.
        struct Seen {
            qint64 last;
            qint64 failures;
        };
        for (int busiest = 0; busiest < 20; ++busiest) {
            QHash<int, Seen> table;
            for (int i = 0; i < 20; ++i) {
                table.insert(i, {7, i == busiest ? 1000 : 1});
            }
            dropLeastRecent(table);
            QCOMPARE(table.size(), 18);
            QVERIFY(table.contains(busiest));
        }
    }
};

QTEST_GUILESS_MAIN(JournalFilterTest)
#include "journalfiltertest.moc"
