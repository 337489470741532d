// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshkeyutils.h"
#include "keytestsupport.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
QString describe(const KeyInfo &info)
{
    return QStringLiteral("%1|%2|%3|%4").arg(info.type, info.comment, info.fingerprint).arg(info.bits);
}

QStringList describe(const QList<KeyInfo> &infos)
{
    QStringList texts;
    for (const KeyInfo &info : infos) {
        texts.append(describe(info));
    }
    return texts;
}
}

class SSHKeyUtilsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const struct
        {
            const char *label;
            const char *type;
            int bits;
        } kinds[] = {{"rsa", "rsa", 2048}, {"ecdsa256", "ecdsa", 256}, {"ecdsa384", "ecdsa", 384}, {"ecdsa521", "ecdsa", 521}, {"ed25519", "ed25519", 0}};
        QByteArray all;
        for (const auto &kind : kinds) {
            const QString label = QLatin1String(kind.label);
            const QString line = KeyTest::generateKey(m_dir.path(), QLatin1String(kind.type), kind.bits, QStringLiteral("tester %1 key").arg(label));
            QVERIFY2(!line.isEmpty(), kind.label);
            m_keys.insert(label, line);
            all += line.toUtf8() + '\n';
        }
        const QString path = m_dir.filePath(QStringLiteral("all.pub"));
        QVERIFY(TestFiles::write(path, all));
        const QStringList listing = KeyTest::keygenListing(path);
        QCOMPARE(listing.size(), m_keys.size());
        for (const QString &line : listing) {
            const QStringList fields = line.split(QLatin1Char(' '));
            m_keygen.insert(fields.at(3), fields);
        }
    }

    void parseKeyLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("fingerprint"); // "other": any SHA256 fingerprint but the key's own
        QTest::addColumn<int>("bits");

        // Every type ssh-keygen generates, against its own listing.
        for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
            const QStringList keygen = m_keygen.value(it.key());
            QTest::newRow(qPrintable(it.key())) << it.value() << it.value().section(QLatin1Char(' '), 0, 0) << QStringLiteral("tester %1 key").arg(it.key())
                                                << keygen.at(1) << keygen.at(0).toInt();
        }

        const QString ed = m_keys.value(QStringLiteral("ed25519"));
        const QString type = field("ed25519", 0);
        const QString data = field("ed25519", 1);
        const QString own = m_keygen.value(QStringLiteral("ed25519")).at(1);
        QTest::newRow("one field") << type << "Invalid" << QString() << QString() << 0;
        QTest::newRow("tabs only") << QString(ed).replace(QLatin1Char(' '), QLatin1Char('\t')) << "Invalid" << QString() << QString() << 0;
        QTest::newRow("no comment") << QStringLiteral("%1 %2").arg(type, data) << type << QString() << own << 256;
        QTest::newRow("extra spaces") << QStringLiteral("  %1   %2   my  laptop   key  ").arg(type, data) << type << "my laptop key" << own << 256;
        QTest::newRow("not base64") << QStringLiteral("%1 !!!! box").arg(type) << type << "box"
                                    << QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU") << 0;
        QTest::newRow("truncated data") << QStringLiteral("%1 %2 box").arg(type, data.left(data.size() - 8)) << type << "box" << QStringLiteral("other") << 0;
        // The options are no part of the key: the real type, fingerprint and comment show.
        QTest::newRow("options prefix") << QStringLiteral("from=\"10.0.0.1\",no-pty %1").arg(ed) << type << ed.section(QLatin1Char(' '), 2) << own << 256;
        QTest::newRow("quoted blank in options") << QStringLiteral("command=\"echo a b\",no-pty %1").arg(ed) << type << ed.section(QLatin1Char(' '), 2) << own
                                                 << 256;
        QTest::newRow("tab inside data field") << QStringLiteral("%1 %2\tlaptop y").arg(type, data) << type << "y" << QStringLiteral("other") << 256;
    }

    void parseKeyLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, type);
        QFETCH(QString, comment);
        QFETCH(QString, fingerprint);
        QFETCH(int, bits);

        SSHKeyUtils::resetStartedProcessCount();
        const KeyInfo info = SSHKeyUtils::parseKeyLine(line);
        QCOMPARE(SSHKeyUtils::startedProcessCount(), type == QLatin1String("Invalid") ? 0 : 1);
        if (fingerprint == QLatin1String("other")) {
            QVERIFY(info.fingerprint.startsWith(QLatin1String("SHA256:")));
            fingerprint = info.fingerprint;
            QVERIFY(fingerprint != m_keygen.value(QStringLiteral("ed25519")).at(1));
        }
        QCOMPARE(describe(info), describe(KeyInfo {type, fingerprint, comment, QString(), bits}));
        // Parsing a list gives exactly what parsing one line gives.
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines({line})), QStringList {describe(info)});
    }

    void batchMatchesOneByOne()
    {
        const QString ed = m_keys.value(QStringLiteral("ed25519"));
        const QString ec = m_keys.value(QStringLiteral("ecdsa384"));
        const QString edType = field("ed25519", 0);
        const QString edData = field("ed25519", 1);
        QStringList lines {
            m_keys.value(QStringLiteral("rsa")),
            QStringLiteral("garbage"),
            ed,
            QStringLiteral("ssh-rsa %1 type does not match the data").arg(edData),
            ed, // duplicate
            QStringLiteral("# %1").arg(ec),
            QString(),
            QStringLiteral("command=\"echo a b\",no-pty %1").arg(ec),
            QStringLiteral("%1 %2 fake marker @@k0 (RSA)").arg(edType, edData),
            QStringLiteral("%1 @@k3 (RSA)").arg(edType),
            QStringLiteral("%1 %2\r").arg(edType, edData),
            QStringLiteral("%1\n%2").arg(ec, ed), // cannot be streamed: asked on its own
            QString(ed).replace(QLatin1Char(' '), QLatin1Char('\t')),
            QStringLiteral("%1 %2").arg(edType, edData.left(edData.size() - 4)),
            ec,
        };
        QStringList keys;
        for (int i = 0; i < 30; ++i) {
            keys.append(m_keys.value(i % 2 ? QStringLiteral("ed25519") : QStringLiteral("ecdsa256")) + QStringLiteral(" #%1").arg(i));
        }
        lines += keys;
        QList<int> sizes;
        QStringList infos;
        for (const QString &line : std::as_const(lines)) {
            sizes.append(SSHKeyUtils::calculateKeySize(line));
            infos.append(describe(SSHKeyUtils::parseKeyLine(line)));
        }
        QCOMPARE(SSHKeyUtils::calculateKeySizes(lines), sizes);
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines(lines)), infos);
        // However many keys a file holds, they are sized by one ssh-keygen run.
        SSHKeyUtils::resetStartedProcessCount();
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines(keys)), infos.mid(lines.size() - keys.size()));
        QCOMPARE(SSHKeyUtils::startedProcessCount(), 1);
        // The list exercises both outcomes.
        QVERIFY(sizes.count(0) >= 5);
        QVERIFY(sizes.count(256) >= 30);
        QCOMPARE(SSHKeyUtils::calculateKeySizes({}), QList<int>());
    }

    void editFile_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QByteArray>("before"); // null: no such file
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("after"); // null: no such file

        const QString added = QStringLiteral("ssh-new KEY c");
        QTest::newRow("add: missing file") << true << QByteArray() << added << true << QByteArray("ssh-new KEY c\n");
        QTest::newRow("add: empty file") << true << QByteArray("") << added << true << QByteArray("ssh-new KEY c\n");
        QTest::newRow("add: no final line feed") << true << QByteArray("ssh-old A a") << added << true << QByteArray("ssh-old A a\nssh-new KEY c\n");
        QTest::newRow("add: crlf") << true << QByteArray("ssh-old A a\r\n") << added << true << QByteArray("ssh-old A a\r\nssh-new KEY c\n");
        QTest::newRow("add: ends in comment") << true << QByteArray("ssh-old A a\n# end") << added << true << QByteArray("ssh-old A a\n# end\nssh-new KEY c\n");

        const QString a = QStringLiteral("ssh-a A a");
        QTest::newRow("remove: duplicates") << false << QByteArray("ssh-a A a\nssh-b B b\nssh-a A a\n") << a << true << QByteArray("ssh-b B b\n");
        QTest::newRow("remove: target trimmed") << false << QByteArray("ssh-a A a\nssh-b B b\n") << "  ssh-b B b \n" << true << QByteArray("ssh-a A a\n");
        QTest::newRow("remove: absent") << false << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n") << "ssh-c C c" << false
                                        << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n");
        QTest::newRow("remove: case sensitive") << false << QByteArray("ssh-a A a\n") << "SSH-A A a" << false << QByteArray("ssh-a A a\n");
        QTest::newRow("remove: blank, indented and comment lines") << false << QByteArray("# mine\n\n  ssh-a A a  \n  # old\n\tssh-b B b\nssh-c C c\n\n")
                                                                   << "ssh-c C c" << true << QByteArray("# mine\n\n  ssh-a A a  \n  # old\n\tssh-b B b\n\n");
        QTest::newRow("remove: no final line feed") << false << QByteArray("ssh-a A a\nssh-b B b") << a << true << QByteArray("ssh-b B b");
        QTest::newRow("remove: crlf") << false << QByteArray("ssh-a A a\r\nssh-b B b\r\n") << "ssh-b B b" << true << QByteArray("ssh-a A a\r\n");
        QTest::newRow("remove: last key") << false << QByteArray("ssh-a A a\n") << a << true << QByteArray("");
        QTest::newRow("remove: missing file") << false << QByteArray() << a << false << QByteArray();
    }

    void editFile()
    {
        QFETCH(bool, add);
        QFETCH(QByteArray, before);
        QFETCH(QString, line);
        QFETCH(bool, result);
        QFETCH(QByteArray, after);
        const QString path = m_dir.filePath(QStringLiteral("edited"));
        const QByteArray name = QFile::encodeName(path);
        QFile::remove(path);
        struct stat old = {}, now = {};
        if (!before.isNull()) {
            QVERIFY(TestFiles::write(path, before) && ::chmod(name.constData(), 0640) == 0);
            QVERIFY(::geteuid() != 0 || ::chown(name.constData(), 65534, 65534) == 0);
            QVERIFY(::stat(name.constData(), &old) == 0);
        }
        QString reason;
        QCOMPARE(add ? SSHKeyUtils::appendKeyToFile(path, line, &reason) : SSHKeyUtils::removeKeyFromFile(path, line, &reason), result);
        QCOMPARE(reason.isEmpty(), result);
        QCOMPARE(QFile::exists(path), !after.isNull());
        QCOMPARE(TestFiles::read(path), after);
        // A new file renamed over the old one, which stays whole until then: its mode and owner kept (0600 when new), no temporary file left.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("edited*")}, QDir::Files | QDir::Hidden),
                 after.isNull() ? QStringList() : QStringList {QStringLiteral("edited")});
        if (result) {
            QVERIFY(::stat(name.constData(), &now) == 0);
            QCOMPARE(now.st_mode & 07777, before.isNull() ? 0600u : 0640u);
            QVERIFY(before.isNull() || (now.st_uid == old.st_uid && now.st_gid == old.st_gid && now.st_ino != old.st_ino));
        }
    }

    void folderIsNoKeyFile()
    {
        QString reason;
        QVERIFY(!SSHKeyUtils::appendKeyToFile(m_dir.path(), QStringLiteral("ssh-new KEY c"), &reason));
        QVERIFY(!reason.isEmpty());
    }

private:
    QString field(const char *label, int index) const { return m_keys.value(QLatin1String(label)).section(QLatin1Char(' '), index, index); }

    QTemporaryDir m_dir;
    QMap<QString, QString> m_keys; // label -> public line
    QMap<QString, QStringList> m_keygen; // label -> fields of ssh-keygen's "-lf" line for it
};

QTEST_GUILESS_MAIN(SSHKeyUtilsTest)

#include "sshkeyutilstest.moc"
