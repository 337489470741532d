// SPDX-License-Identifier: GPL-2.0-or-later
#include "journalfilter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class JournalFilterTest : public QObject
{
    Q_OBJECT

    static QByteArray entry(int pid, const QByteArray &message, int n = 0)
    {
        return QByteArray("2024-03-01T10:15:30.") + QByteArray::number(100000 + n) + "+0000 host sshd[" + QByteArray::number(pid) + "]: " + message;
    }

private Q_SLOTS:
    void labCorpus()
    {
        QFile file(QStringLiteral(CORPUS_DIR "/journal-lab-server-2k.txt"));
        if (!file.open(QIODevice::ReadOnly)) {
            QSKIP("shared corpus not available");
        }
        const QByteArray out = JournalFilter::filterSshdJournal(file.readAll());
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QByteArray("2016-12-10T09:32:20.000955+0000 LabSZ sshd[24680]: Accepted password for fztu from 119.137.62.142 port 49116 ssh2"));
        QVERIFY(lines.at(1).endsWith("sshd[24680]: pam_unix(sshd:session): session opened for user fztu by (uid=0)"));
        QVERIFY(lines.at(2).endsWith("sshd[24680]: pam_unix(sshd:session): session closed for user fztu"));
        QVERIFY(lines.at(3).startsWith("-- cursor: s=0f1e2d3c"));
    }

    void filter_data()
    {
        QTest::addColumn<QList<QByteArray>>("input");
        QTest::addColumn<QList<QByteArray>>("expected");

        const QByteArray f1 = entry(10, "Failed password for bob from 192.168.1.5 port 40000 ssh2", 1);
        const QByteArray f2 = entry(10, "Failed password for bob from 192.168.1.5 port 40000 ssh2", 2);
        const QByteArray other = entry(11, "Failed password for root from 10.1.1.1 port 2 ssh2", 3);
        const QByteArray ok = entry(10, "Accepted password for bob from 192.168.1.5 port 40000 ssh2", 4);
        const QByteArray open = entry(10, "pam_unix(sshd:session): session opened for user bob by (uid=0)", 5);
        const QByteArray close = entry(10, "pam_unix(sshd:session): session closed for user bob", 6);
        const QByteArray cursor = "-- cursor: s=1;i=2";

        QTest::newRow("failed lines follow their process's login")
            << QList<QByteArray> {f1, other, f2, ok, open, close, cursor} << QList<QByteArray> {f1, f2, ok, open, close, cursor};
        QTest::newRow("failures without login vanish") << QList<QByteArray> {f1, other, cursor} << QList<QByteArray> {cursor};
        QTest::newRow("key login sessions are dropped") << QList<QByteArray> {entry(20, "Accepted publickey for amy from 10.0.0.2 port 5 ssh2"),
                                                                              entry(20, "pam_unix(sshd:session): session opened for user amy by (uid=0)"),
                                                                              entry(20, "pam_unix(sshd:session): session closed for user amy")}
                                                        << QList<QByteArray> {};
        QTest::newRow("session of a login read earlier is kept") << QList<QByteArray> {open, close} << QList<QByteArray> {open, close};
        QTest::newRow("journalctl notes are kept") << QList<QByteArray> {"-- No entries --"} << QList<QByteArray> {"-- No entries --"};
        QTest::newRow("noise is dropped") << QList<QByteArray> {entry(30, "Invalid user x from 1.2.3.4"), "garbage", entry(30, "Connection closed by 1.2.3.4")}
                                          << QList<QByteArray> {};
        QTest::newRow("pid reused after close starts afresh")
            << QList<QByteArray> {f1, ok, open, close, entry(10, "Accepted publickey for eve from 10.0.0.3 port 7 ssh2"), open}
            << QList<QByteArray> {f1, ok, open, close};
        QTest::newRow("prefix must start the message")
            << QList<QByteArray> {entry(40, "x Accepted password for a from 1.1.1.1 port 1 ssh2")} << QList<QByteArray> {};
    }

    void filter()
    {
        QFETCH(QList<QByteArray>, input);
        QFETCH(QList<QByteArray>, expected);
        QByteArray joined;
        for (const QByteArray &line : std::as_const(input)) {
            joined += line + '\n';
        }
        QByteArray wanted;
        for (const QByteArray &line : std::as_const(expected)) {
            wanted += line + '\n';
        }
        QCOMPARE(JournalFilter::filterSshdJournal(joined), wanted);

        // Any split into chunks gives the same result.
        for (int size : {1, 7, 64}) {
            JournalFilter filter;
            for (int i = 0; i < joined.size(); i += size) {
                filter.feed(joined.mid(i, size));
            }
            QCOMPARE(filter.finish(), wanted);
        }
    }

    void lastLineWithoutNewline() { QCOMPARE(JournalFilter::filterSshdJournal("-- cursor: abc"), QByteArray("-- cursor: abc\n")); }

    void millionLinesStaySmall()
    {
        // A boot under brute force: a million sshd lines, one real login at the end.
        QByteArray journal;
        journal.reserve(110 * 1000 * 1000);
        for (int i = 0; i < 1000000; ++i) {
            journal += entry(1000 + i / 4, "Failed password for root from 203.0.113.9 port 4000 ssh2", i);
            journal += '\n';
        }
        journal += entry(99, "Accepted password for bob from 192.0.2.7 port 1 ssh2") + '\n';
        journal += "-- cursor: s=9\n";
        QElapsedTimer timer;
        timer.start();
        const QByteArray out = JournalFilter::filterSshdJournal(journal);
        qInfo("filtered %d MB in %lld ms to %d bytes", int(journal.size() / 1000000), timer.elapsed(), int(out.size()));
        QCOMPARE(out.count('\n'), 2);
        QVERIFY(out.size() < JournalFilter::MaxOutputBytes);
    }

    void outputIsCappedButKeepsCursor()
    {
        QByteArray journal;
        for (int i = 0; i < 300000; ++i) {
            journal += entry(5000 + i, "Accepted password for someone-with-a-long-name from 192.0.2.7 port 1 ssh2", i) + '\n';
        }
        journal += "-- cursor: s=end\n";
        const QByteArray out = JournalFilter::filterSshdJournal(journal);
        QVERIFY(out.size() <= JournalFilter::MaxOutputBytes + 100);
        QVERIFY(out.endsWith("-- cursor: s=end\n"));
    }
};

QTEST_GUILESS_MAIN(JournalFilterTest)
#include "journalfiltertest.moc"
