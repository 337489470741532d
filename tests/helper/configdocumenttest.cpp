// SPDX-License-Identifier: GPL-2.0-or-later
#include "configdocument.h"

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
        QTest::newRow("replace keeps indent, case and separator") << false << QByteArray("#c\n\tpOrT = 22\nUsePAM yes\n") << QByteArray() << "single"
                                                                  << "Port" << Lines {"2222"} << QByteArray("#c\n\tpOrT = 2222\nUsePAM yes\n") << QByteArray();
        QTest::newRow("first occurrence wins, later one untouched") << false << QByteArray("Port 22\nPort 23\n") << QByteArray() << "single"
                                                                    << "Port" << Lines {"24"} << QByteArray("Port 24\nPort 23\n") << QByteArray();
        QTest::newRow("insert after commented-out line")
            << false << QByteArray("# Port forwarding note\n#Port 22\n#AddressFamily any\n") << QByteArray() << "single"
            << "Port" << Lines {"2222"} << QByteArray("# Port forwarding note\n#Port 22\nPort 2222\n#AddressFamily any\n") << QByteArray();
        QTest::newRow("insert before first Match, block untouched")
            << false << QByteArray("UsePAM yes\nMatch User bob\n  X11Forwarding no\n") << QByteArray() << "single"
            << "X11Forwarding" << Lines {"yes"} << QByteArray("UsePAM yes\nX11Forwarding yes\nMatch User bob\n  X11Forwarding no\n") << QByteArray();
        QTest::newRow("commented line inside Match block is not used")
            << false << QByteArray("Match all\n#Banner none\n") << QByteArray() << "single"
            << "Banner" << Lines {"/etc/issue"} << QByteArray("Banner /etc/issue\nMatch all\n#Banner none\n") << QByteArray();
        QTest::newRow("append to file without final newline") << false << QByteArray("UsePAM yes") << QByteArray() << "single"
                                                              << "Port" << Lines {"2"} << QByteArray("UsePAM yes\nPort 2\n") << QByteArray();
        QTest::newRow("crlf file keeps crlf") << false << QByteArray("UsePAM yes\r\n") << QByteArray() << "single"
                                              << "Port" << Lines {"2"} << QByteArray("UsePAM yes\r\nPort 2\r\n") << QByteArray();
        QTest::newRow("occurrence in drop-in is changed there") << false << inc + "PasswordAuthentication yes\n"
                                                                << QByteArray("# local\nPasswordAuthentication no\n") << "single"
                                                                << "PasswordAuthentication" << Lines {"yes"} << inc + "PasswordAuthentication yes\n"
                                                                << QByteArray("# local\nPasswordAuthentication yes\n");
        QTest::newRow("Match in drop-in ends with its file") << false << inc + "Port 22\n"
                                                             << QByteArray("Match User x\n  Banner /a\n") << "single"
                                                             << "Banner" << Lines {"/b"} << inc + "Port 22\nBanner /b\n"
                                                             << QByteArray("Match User x\n  Banner /a\n");
        QTest::newRow("accumulating replaced in every file")
            << false << inc + "ListenAddress 1.1.1.1\nUsePAM yes\nListenAddress 2.2.2.2\nMatch User a\n ListenAddress 9.9.9.9\n"
            << QByteArray("ListenAddress 3.3.3.3\n") << "all"
            << "ListenAddress" << Lines {"[::1]:22", "127.0.0.1:22"} << inc + "UsePAM yes\nMatch User a\n ListenAddress 9.9.9.9\n"
            << QByteArray("ListenAddress [::1]:22\nListenAddress 127.0.0.1:22\n");
        QTest::newRow("accumulating empty removes all") << false << QByteArray("AllowUsers a\nX11Forwarding no\nallowusers b c\n") << QByteArray() << "all"
                                                        << "AllowUsers" << Lines {} << QByteArray("X11Forwarding no\n") << QByteArray();
        QTest::newRow("sftp on keeps existing internal-sftp") << false << QByteArray("Subsystem\tsftp\tinternal-sftp\n") << QByteArray() << "sftp-on"
                                                              << "" << Lines {} << QByteArray("Subsystem\tsftp\tinternal-sftp\n") << QByteArray();
        QTest::newRow("sftp on inserts before Match") << false << QByteArray("Subsystem other /x\nMatch all\n") << QByteArray() << "sftp-on"
                                                      << "" << Lines {}
                                                      << QByteArray("Subsystem other /x\nSubsystem sftp /usr/lib/openssh/sftp-server\nMatch all\n")
                                                      << QByteArray();
        QTest::newRow("sftp off removes only sftp") << false << QByteArray("Subsystem other /x\nSubsystem sftp /y\n") << QByteArray() << "sftp-off"
                                                    << "" << Lines {} << QByteArray("Subsystem other /x\n") << QByteArray();
        QTest::newRow("client: Host starts a block") << true << QByteArray("#   Port 22\nHost *\n#Port 22\n    Port 2200\n") << QByteArray() << "single"
                                                     << "Port" << Lines {"2222"} << QByteArray("#   Port 22\nPort 2222\nHost *\n#Port 22\n    Port 2200\n")
                                                     << QByteArray();
        QTest::newRow("server: Host is an ordinary word") << false << QByteArray("Host x\nPort 1\n") << QByteArray() << "single"
                                                          << "Port" << Lines {"2"} << QByteArray("Host x\nPort 2\n") << QByteArray();
        QTest::newRow("alias is the same keyword") << false << QByteArray("ChallengeResponseAuthentication yes\nKeepAlive yes\n") << QByteArray() << "single"
                                                   << "KbdInteractiveAuthentication" << Lines {"no"}
                                                   << QByteArray("ChallengeResponseAuthentication no\nKeepAlive yes\n") << QByteArray();
        QTest::newRow("alias KeepAlive") << false << QByteArray("keepalive=yes\n") << QByteArray() << "all"
                                         << "TCPKeepAlive" << Lines {"no"} << QByteArray("keepalive=no\n") << QByteArray();
        QTest::newRow("drop-in included twice is one document")
            << false << inc + "Include @DIR@/10-local.conf\nPermitRootLogin no\n"
            << QByteArray("ListenAddress 1.1.1.1\nPermitRootLogin no\n") << "all"
            << "ListenAddress" << Lines {"2.2.2.2"} << inc + "Include @DIR@/10-local.conf\nPermitRootLogin no\n"
            << QByteArray("ListenAddress 2.2.2.2\nPermitRootLogin no\n");
        QTest::newRow("file including itself is read once") << false << QByteArray("Include config\nPort 1\n") << QByteArray() << "single"
                                                            << "Port" << Lines {"2"} << QByteArray("Include config\nPort 2\n") << QByteArray();
        QTest::newRow("keyword without arguments gets a blank") << false << QByteArray("Banner\n") << QByteArray() << "single"
                                                                << "Banner" << Lines {"none"} << QByteArray("Banner none\n") << QByteArray();
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
        write(mainPath, main);
        if (!dropin.isEmpty()) {
            write(dropinPath, dropin);
        }

        ConfigDocument document(client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
        QString error;
        QVERIFY2(document.load(mainPath, &error), qPrintable(error));
        if (operation == QLatin1String("single")) {
            document.setSingle(keyword, values.first());
        } else if (operation == QLatin1String("all")) {
            document.setAll(keyword, values);
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

private:
    static void write(const QString &path, const QByteArray &contents)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
};

QTEST_GUILESS_MAIN(ConfigDocumentTest)
#include "configdocumenttest.moc"
