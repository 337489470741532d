// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configdocument.h"
#include "../common/testfiles.h"
#include "unifieddiff.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Lines = QList<QByteArray>;

class ConfigDocumentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edit_data()
    {
        QTest::addColumn<bool>("client");
        QTest::addColumn<QByteArray>("main");
        QTest::addColumn<QByteArray>("dropin");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<Lines>("values");
        QTest::addColumn<QByteArray>("expectedMain");
        QTest::addColumn<QByteArray>("expectedDropin");

        const QByteArray inc = "Include @DIR@/*.conf\n";
        const auto row = [](const char *name,
                            const QByteArray &main,
                            const QByteArray &dropin,
                            const char *operation,
                            const char *keyword,
                            const Lines &values,
                            const QByteArray &expectedMain,
                            const QByteArray &expectedDropin = {},
                            bool client = false) {
            QTest::newRow(name) << client << main << dropin << QString::fromLatin1(operation) << QString::fromLatin1(keyword) << values << expectedMain
                                << expectedDropin;
        };
        row("replace keeps indent, case and separator",
            "#c\n\tpOrT = 22\nUsePAM yes\n",
            {},
            "single",
            "Port",
            Lines{"2222"},
            "#c\n\tpOrT = 2222\nUsePAM yes\n");
        row("first occurrence wins, later one untouched", "Port 22\nPort 23\n", {}, "single", "Port", Lines{"24"}, "Port 24\nPort 23\n");
        row("insert after commented-out line",
            "# Port forwarding note\n#Port 22\n#AddressFamily any\n",
            {},
            "single",
            "Port",
            Lines{"2222"},
            "# Port forwarding note\n#Port 22\nPort 2222\n#AddressFamily any\n");
        row("insert before first Match, block untouched",
            "UsePAM yes\nMatch User bob\n  X11Forwarding no\n",
            {},
            "single",
            "X11Forwarding",
            Lines{"yes"},
            "UsePAM yes\nX11Forwarding yes\nMatch User bob\n  X11Forwarding no\n");
        row("commented line inside Match block is not used",
            "Match all\n#Banner none\n",
            {},
            "single",
            "Banner",
            Lines{"/etc/issue"},
            "Banner /etc/issue\nMatch all\n#Banner none\n");
        row("append to file without final newline", "UsePAM yes", {}, "single", "Port", Lines{"2"}, "UsePAM yes\nPort 2\n");
        row("crlf file keeps crlf", "UsePAM yes\r\n", {}, "single", "Port", Lines{"2"}, "UsePAM yes\r\nPort 2\r\n");
        row("occurrence in drop-in is changed there",
            inc + "PasswordAuthentication yes\n",
            "# local\nPasswordAuthentication no\n",
            "single",
            "PasswordAuthentication",
            Lines{"yes"},
            inc + "PasswordAuthentication yes\n",
            "# local\nPasswordAuthentication yes\n");
        row("Match in drop-in ends with its file",
            inc + "Port 22\n",
            "Match User x\n  Banner /a\n",
            "single",
            "Banner",
            Lines{"/b"},
            inc + "Port 22\nBanner /b\n",
            "Match User x\n  Banner /a\n");
        row("accumulating replaced in every file",
            inc + "ListenAddress 1.1.1.1\nUsePAM yes\nListenAddress 2.2.2.2\nMatch User a\n ListenAddress 9.9.9.9\n",
            "ListenAddress 3.3.3.3\n",
            "all",
            "ListenAddress",
            Lines{"[::1]:22", "127.0.0.1:22"},
            inc + "UsePAM yes\nMatch User a\n ListenAddress 9.9.9.9\n",
            "ListenAddress [::1]:22\nListenAddress 127.0.0.1:22\n");
        row("accumulating empty removes all", "AllowUsers a\nX11Forwarding no\nallowusers b c\n", {}, "all", "AllowUsers", Lines{}, "X11Forwarding no\n");
        row("sftp on keeps existing internal-sftp", "Subsystem\tsftp\tinternal-sftp\n", {}, "sftp-on", "", Lines{}, "Subsystem\tsftp\tinternal-sftp\n");
        row("sftp on inserts before Match",
            "Subsystem other /x\nMatch all\n",
            {},
            "sftp-on",
            "",
            Lines{},
            "Subsystem other /x\nSubsystem sftp /usr/lib/openssh/sftp-server\nMatch all\n");
        row("sftp off removes only sftp", "Subsystem other /x\nSubsystem sftp /y\n", {}, "sftp-off", "", Lines{}, "Subsystem other /x\n");
        row("client: Host starts a block",
            "#   Port 22\nHost *\n#Port 22\n    Port 2200\n",
            {},
            "single",
            "Port",
            Lines{"2222"},
            "#   Port 22\nPort 2222\nHost *\n#Port 22\n    Port 2200\n",
            {},
            true);
        row("server: Host is an ordinary word", "Host x\nPort 1\n", {}, "single", "Port", Lines{"2"}, "Host x\nPort 2\n");
        row("alias is the same keyword",
            "ChallengeResponseAuthentication yes\nKeepAlive yes\n",
            {},
            "single",
            "KbdInteractiveAuthentication",
            Lines{"no"},
            "ChallengeResponseAuthentication no\nKeepAlive yes\n");
        row("alias KeepAlive", "keepalive=yes\n", {}, "all", "TCPKeepAlive", Lines{"no"}, "keepalive=no\n");
        row("drop-in included twice is one document",
            inc + "Include @DIR@/10-local.conf\nPermitRootLogin no\n",
            "ListenAddress 1.1.1.1\nPermitRootLogin no\n",
            "all",
            "ListenAddress",
            Lines{"2.2.2.2"},
            inc + "Include @DIR@/10-local.conf\nPermitRootLogin no\n",
            "ListenAddress 2.2.2.2\nPermitRootLogin no\n");
        row("file including itself is read once", "Include config\nPort 1\n", {}, "single", "Port", Lines{"2"}, "Include config\nPort 2\n");
        row("keyword without arguments gets a blank", "Banner\n", {}, "single", "Banner", Lines{"none"}, "Banner none\n");
        // Blocks: "block-OP N" acts on block N (1-based, reading order); every other byte stays.
        const QByteArray two = "Port 22\n\n# backups\nMatch User backup\n  X11Forwarding no\n# sftp next\n\nMatch Group sftp\n\tPermitTTY no\n";
        row("block set replaces in its body only, indent kept",
            "X11Forwarding yes\n" + two,
            {},
            "block-set 1",
            "X11Forwarding",
            Lines{"yes"},
            "X11Forwarding yes\n" + QByteArray(two).replace("  X11Forwarding no", "  X11Forwarding yes"));
        row("block set adds after the body's last keyword, as indented",
            two,
            {},
            "block-set 1",
            "PermitTTY",
            Lines{"no"},
            QByteArray(two).replace("  X11Forwarding no\n", "  X11Forwarding no\n  PermitTTY no\n"));
        row("block unset removes only the body's lines",
            "PermitTTY yes\n" + two,
            {},
            "block-set 2",
            "PermitTTY",
            Lines{},
            "PermitTTY yes\n" + QByteArray(two).replace("\tPermitTTY no\n", ""));
        row("block add goes after everything, a blank line apart",
            two,
            {},
            "block-add",
            "Match Address 192.0.2.0/24",
            Lines{"PasswordAuthentication yes"},
            two + "\nMatch Address 192.0.2.0/24\n  PasswordAuthentication yes\n");
        row("block add after a last line without newline", "Port 22", {}, "block-add", "Match All", Lines{}, "Port 22\n\nMatch All\n");
        row("block criteria keep the indentation", " match user a\n", {}, "block-header 1", "Match User b,!c", Lines{}, " Match User b,!c\n");
        row("block remove keeps the comments after it",
            two,
            {},
            "block-remove 1",
            "",
            Lines{},
            "Port 22\n\n# backups\n# sftp next\n\nMatch Group sftp\n\tPermitTTY no\n");
        row("block remove undoes an add", two + "\nMatch All\n\tPermitTTY yes\n", {}, "block-remove 3", "", Lines{}, two);
        row("block up swaps with its neighbour, comments between stay",
            two,
            {},
            "block-up 2",
            "",
            Lines{},
            "Port 22\n\n# backups\nMatch Group sftp\n\tPermitTTY no\n# sftp next\n\nMatch User backup\n  X11Forwarding no\n");
        row("block down of the last has no neighbour", two, {}, "block-down 2", "", Lines{}, two);
        row("block in a drop-in is changed there",
            inc + "Port 22\nMatch User a\n\tBanner /a\n",
            "Match User x\n  Banner /x\n",
            "block-set 1",
            "Banner",
            Lines{"/y"},
            inc + "Port 22\nMatch User a\n\tBanner /a\n",
            "Match User x\n  Banner /y\n");
        row("block added to a drop-in stays there",
            inc + "Port 22\n",
            "PermitTTY no\n",
            "block-add-dropin",
            "Match User x",
            Lines{"Banner /x"},
            inc + "Port 22\n",
            "PermitTTY no\n\nMatch User x\n\tBanner /x\n");
        row("Match followed by Include: its body goes on after the Include line",
            "Match User a\n\tInclude @DIR@/*.conf\n# end\n",
            "Banner /a\n",
            "block-set 1",
            "PermitTTY",
            Lines{"no"},
            "Match User a\n\tInclude @DIR@/*.conf\n\tPermitTTY no\n# end\n",
            "Banner /a\n");
        row("client: Host and Match blocks",
            "Host a\n  Port 1\nMatch host b\n",
            {},
            "block-set 2",
            "Port",
            Lines{"2"},
            "Host a\n  Port 1\nMatch host b\n  Port 2\n",
            {},
            true);
    }

    void edit()
    {
        QFETCH(bool, client);
        QFETCH(QByteArray, main);
        QFETCH(QByteArray, dropin);
        QFETCH(QString, operation);
        QFETCH(QString, keyword);
        QFETCH(Lines, values);
        QFETCH(QByteArray, expectedMain);
        QFETCH(QByteArray, expectedDropin);

        QTemporaryDir dir;
        const QByteArray dropinDir = QFile::encodeName(dir.path() + QStringLiteral("/conf.d"));
        QDir().mkpath(QString::fromLocal8Bit(dropinDir));
        main.replace("@DIR@", dropinDir);
        expectedMain.replace("@DIR@", dropinDir);
        const QString mainPath = dir.path() + QStringLiteral("/config");
        const QString dropinPath = QString::fromLocal8Bit(dropinDir) + QStringLiteral("/10-local.conf");
        QVERIFY(TestFiles::write(mainPath, main));
        QVERIFY(dropin.isEmpty() || TestFiles::write(dropinPath, dropin));

        ConfigDocument document(client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
        QString error;
        QVERIFY2(document.load(mainPath, &error), qPrintable(error));
        if (operation == QLatin1String("single")) {
            document.setSingle(keyword, values.first());
        } else if (operation == QLatin1String("all")) {
            document.setAll(keyword, values);
        } else if (operation.startsWith(QLatin1String("block-add"))) {
            QList<QPair<QString, QByteArray>> body;
            for (const QByteArray &line : std::as_const(values)) {
                body.append({QString::fromLatin1(line.split(' ').first()), line.mid(line.indexOf(' ') + 1)});
            }
            const int file = operation.endsWith(QLatin1String("dropin")) ? document.filePaths().indexOf(dropinPath) : 0;
            const int added = document.addBlock(file, keyword.toLatin1(), body);
            QCOMPARE(document.blocks().value(added).file, file);
        } else if (operation.startsWith(QLatin1String("block-"))) {
            const int index = operation.section(QLatin1Char(' '), 1).toInt() - 1;
            const QString verb = operation.section(QLatin1Char(' '), 0, 0);
            if (verb == QLatin1String("block-set")) {
                document.setInBlock(index, keyword, values);
            } else if (verb == QLatin1String("block-header")) {
                document.setBlockHeader(index, keyword.toLatin1());
            } else if (verb == QLatin1String("block-remove")) {
                document.removeBlock(index);
            } else {
                // The block takes its neighbour's place, or stays where it is when there is none.
                const int moved = document.moveBlock(index, verb == QLatin1String("block-up"));
                QCOMPARE(moved < 0, expectedMain == main && expectedDropin == dropin);
            }
        } else {
            document.setSftpSubsystem(operation == QLatin1String("sftp-on"), "/usr/lib/openssh/sftp-server");
        }
        QCOMPARE(document.contents(0), expectedMain);
        if (!dropin.isEmpty()) {
            QCOMPARE(document.contents(document.filePaths().indexOf(dropinPath)), expectedDropin);
        }
        int changed = 0;
        changed += expectedMain != main;
        changed += !dropin.isEmpty() && expectedDropin != dropin;
        QCOMPARE(document.modifiedFiles().size(), changed);
    }

    // The review's diff of a long file: the lines left alone at both ends are not compared, and past a bound what lies
    // between is replaced whole, so neither time nor memory grows with the square of the file.
    void diffOfALongFile()
    {
        QByteArray before;
        for (int i = 0; i < 20000; ++i) {
            before += "Line " + QByteArray::number(i) + '\n';
        }
        QByteArray after = before;
        after.replace("Line 10000\n", "Changed\n");
        QCOMPARE(
            unifiedDiff(QStringLiteral("f"), before, after),
            QByteArray(
                "--- f\n+++ f\n@@ -9998,7 +9998,7 @@\n Line 9997\n Line 9998\n Line 9999\n-Line 10000\n+Changed\n Line 10001\n Line 10002\n Line 10003\n"));
        const QByteArray rewritten = QByteArray(before).replace("Line", "Row");
        const QByteArray whole = unifiedDiff(QStringLiteral("f"), before, rewritten);
        QVERIFY(whole.startsWith("--- f\n+++ f\n@@ -1,20000 +1,20000 @@\n-Line 0\n"));
        QCOMPARE(whole.count("\n-"), 20000);
        QCOMPARE(whole.count("\n+"), 20001); // and the header's "+++"
    }
};

QTEST_GUILESS_MAIN(ConfigDocumentTest)
#include "configdocumenttest.moc"
