// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshkeyutils.h"
#include "keytestsupport.h"

#include <QHostInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class SSHKeyUtilsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void parseGeneratedKeys_data();
    void parseGeneratedKeys();
    void parseMalformedLines_data();
    void parseMalformedLines();
    void batchSizesEqualOneByOne();
    void batchStartsOneProcess();

    void defaultComment();
    void supportedTypesAndValidity();

    void appendKeyToFile_data();
    void appendKeyToFile();
    void appendFailsWhenFileCannotBeOpened();
    void removeKeyFromFile_data();
    void removeKeyFromFile();
    void removeKeepsModeAndOwnerAndReplacesAtomically();
    void removeFailsOnMissingFile();
    void writableCheckSeam();

private:
    QString keyPath(const QString &name) const;

    QTemporaryDir m_dir;
    // type label -> generated public line
    QMap<QString, QString> m_keys;
};

void SSHKeyUtilsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const struct
    {
        const char *label;
        const char *type;
        int bits;
    } kinds[] = {
        {"rsa", "rsa", 2048}, {"ecdsa256", "ecdsa", 256}, {"ecdsa384", "ecdsa", 384}, {"ecdsa521", "ecdsa", 521}, {"ed25519", "ed25519", 0}, {"dsa", "dsa", 0},
    };
    for (const auto &kind : kinds) {
        const QString line =
            KeyTest::generateKey(m_dir.path(), QLatin1String(kind.type), kind.bits, QStringLiteral("tester %1 key").arg(QLatin1String(kind.label)));
        if (!line.isEmpty()) {
            m_keys.insert(QLatin1String(kind.label), line);
        }
    }
    // Everything but DSA must be available from any current OpenSSH.
    QCOMPARE(m_keys.contains(QStringLiteral("ed25519")) + m_keys.contains(QStringLiteral("rsa")) + m_keys.contains(QStringLiteral("ecdsa521")), 3);
}

void SSHKeyUtilsTest::cleanup()
{
    SSHKeyUtils::setWritableCheckForTesting({});
}

QString SSHKeyUtilsTest::keyPath(const QString &name) const
{
    return m_dir.filePath(name);
}

void SSHKeyUtilsTest::parseGeneratedKeys_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("expectedBits");
    QTest::newRow("rsa 2048") << "rsa" << 2048;
    QTest::newRow("ecdsa 256") << "ecdsa256" << 256;
    QTest::newRow("ecdsa 384") << "ecdsa384" << 384;
    QTest::newRow("ecdsa 521") << "ecdsa521" << 521;
    QTest::newRow("ed25519") << "ed25519" << 256;
    QTest::newRow("dsa") << "dsa" << 1024;
}

void SSHKeyUtilsTest::parseGeneratedKeys()
{
    QFETCH(QString, label);
    QFETCH(int, expectedBits);
    if (!m_keys.contains(label)) {
        QSKIP("ssh-keygen cannot generate this key type here");
    }
    const QString line = m_keys.value(label);
    const QString path = keyPath(label + QStringLiteral(".line"));
    QVERIFY(KeyTest::writeFile(path, line.toUtf8() + '\n'));
    const QStringList listing = KeyTest::keygenListing(path);
    QCOMPARE(listing.size(), 1);
    const QStringList keygenFields = listing.first().split(QLatin1Char(' '));

    const KeyInfo info = SSHKeyUtils::parseKeyLine(line);
    QCOMPARE(info.type, line.section(QLatin1Char(' '), 0, 0));
    QCOMPARE(info.comment, QStringLiteral("tester %1 key").arg(label));
    QCOMPARE(info.fingerprint, keygenFields.at(1));
    QCOMPARE(info.bits, keygenFields.at(0).toInt());
    QCOMPARE(info.bits, expectedBits);

    const QList<KeyInfo> batch = SSHKeyUtils::parseKeyLines({line});
    QCOMPARE(batch.size(), 1);
    QCOMPARE(batch.first().fingerprint, info.fingerprint);
    QCOMPARE(batch.first().bits, info.bits);
}

void SSHKeyUtilsTest::parseMalformedLines_data()
{
    const QString ed = m_keys.value(QStringLiteral("ed25519"));
    const QString edType = ed.section(QLatin1Char(' '), 0, 0);
    const QString edData = ed.section(QLatin1Char(' '), 1, 1);
    const QString emptyDigest = QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU");

    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("fingerprint"); // "real" = ssh-keygen's fingerprint of the key, "other" = any other non-empty one
    QTest::addColumn<int>("bits");

    QTest::newRow("one field") << edType << "Invalid"
                               << "" << QString() << 0;
    QTest::newRow("no comment") << QStringLiteral("%1 %2").arg(edType, edData) << edType << ""
                                << "real" << 256;
    QTest::newRow("extra spaces") << QStringLiteral("  %1   %2   my  laptop   key  ").arg(edType, edData) << edType << "my laptop key"
                                  << "real" << 256;
    QTest::newRow("not base64") << QStringLiteral("%1 !!!! box").arg(edType) << edType << "box" << emptyDigest << 0;
    QTest::newRow("truncated data") << QStringLiteral("%1 %2 box").arg(edType, edData.left(edData.size() - 8)) << edType << "box"
                                    << "other" << 0;
    QTest::newRow("options prefix") << QStringLiteral("from=\"10.0.0.1\",no-pty %1").arg(ed) << "from=\"10.0.0.1\",no-pty" << ed.section(QLatin1Char(' '), 1)
                                    << "other" << 256;
    QTest::newRow("tabs only") << QString(ed).replace(QLatin1Char(' '), QLatin1Char('\t')) << "Invalid"
                               << "" << QString() << 0;
    QTest::newRow("tab inside data field") << QStringLiteral("%1 %2\tlaptop y").arg(edType, edData) << edType << "y"
                                           << "other" << 256;
}

void SSHKeyUtilsTest::parseMalformedLines()
{
    QFETCH(QString, line);
    QFETCH(QString, type);
    QFETCH(QString, comment);
    QFETCH(QString, fingerprint);
    QFETCH(int, bits);

    SSHKeyUtils::resetStartedProcessCount();
    const KeyInfo info = SSHKeyUtils::parseKeyLine(line);
    QCOMPARE(info.type, type);
    QCOMPARE(info.comment, comment);
    QCOMPARE(info.bits, bits);
    QCOMPARE(SSHKeyUtils::startedProcessCount(), type == QLatin1String("Invalid") ? 0 : 1);

    const QString path = keyPath(QStringLiteral("real.line"));
    QVERIFY(KeyTest::writeFile(path, m_keys.value(QStringLiteral("ed25519")).toUtf8()));
    const QString real = KeyTest::keygenListing(path).first().section(QLatin1Char(' '), 1, 1);
    if (fingerprint == QLatin1String("real")) {
        QCOMPARE(info.fingerprint, real);
    } else if (fingerprint == QLatin1String("other")) {
        QVERIFY(info.fingerprint.startsWith(QLatin1String("SHA256:")));
        QVERIFY(info.fingerprint != real);
    } else {
        QCOMPARE(info.fingerprint, fingerprint);
    }

    // Parsing a list gives exactly what parsing one line gives.
    const KeyInfo listed = SSHKeyUtils::parseKeyLines({line}).first();
    QCOMPARE(listed.type, info.type);
    QCOMPARE(listed.comment, info.comment);
    QCOMPARE(listed.fingerprint, info.fingerprint);
    QCOMPARE(listed.bits, info.bits);
}

void SSHKeyUtilsTest::batchSizesEqualOneByOne()
{
    const QString ed = m_keys.value(QStringLiteral("ed25519"));
    const QString rsa = m_keys.value(QStringLiteral("rsa"));
    const QString ec = m_keys.value(QStringLiteral("ecdsa384"));
    const QString edType = ed.section(QLatin1Char(' '), 0, 0);
    const QString edData = ed.section(QLatin1Char(' '), 1, 1);
    const QStringList lines {
        rsa,
        QStringLiteral("garbage"),
        ed,
        QStringLiteral("ssh-rsa %1 type does not match the data").arg(edData),
        ed, // duplicate
        QStringLiteral("# %1").arg(ec),
        QString(),
        QStringLiteral("   "),
        QStringLiteral("command=\"echo a b\",no-pty %1").arg(ec),
        QStringLiteral("%1 %2 fake marker @@k0 (RSA)").arg(edType, edData),
        QStringLiteral("%1 @@k3 (RSA)").arg(edType),
        QStringLiteral("%1 %2\r").arg(edType, edData),
        QStringLiteral("%1\n%2").arg(ec, ed), // cannot be streamed: asked on its own
        QString(ed).replace(QLatin1Char(' '), QLatin1Char('\t')),
        QStringLiteral("%1 %2").arg(edType, edData.left(edData.size() - 4)),
        ec,
    };
    QList<int> oneByOne;
    for (const QString &line : lines) {
        oneByOne.append(SSHKeyUtils::calculateKeySize(line));
    }
    QCOMPARE(SSHKeyUtils::calculateKeySizes(lines), oneByOne);
    // Make sure the list above exercises both outcomes.
    QVERIFY(oneByOne.count(0) >= 5);
    QVERIFY(oneByOne.count(256) >= 3);
    QCOMPARE(oneByOne.first(), 2048);
    QCOMPARE(oneByOne.last(), 384);
    QCOMPARE(SSHKeyUtils::calculateKeySizes({}), QList<int>());
    QCOMPARE(SSHKeyUtils::calculateKeySizes({QStringLiteral("x"), QStringLiteral("y z")}), QList<int>({0, 0}));
}

void SSHKeyUtilsTest::batchStartsOneProcess()
{
    QStringList lines;
    for (int i = 0; i < 30; ++i) {
        lines.append(m_keys.value(i % 2 ? QStringLiteral("ed25519") : QStringLiteral("ecdsa256")) + QStringLiteral(" #%1").arg(i));
    }
    lines.append(QStringLiteral("only-one-field"));
    SSHKeyUtils::resetStartedProcessCount();
    const QList<KeyInfo> infos = SSHKeyUtils::parseKeyLines(lines);
    QCOMPARE(SSHKeyUtils::startedProcessCount(), 1);
    QCOMPARE(infos.size(), 31);
    for (int i = 0; i < 30; ++i) {
        QCOMPARE(infos.at(i).bits, 256);
        QCOMPARE(infos.at(i).comment, QStringLiteral("tester %1 key #%2").arg(i % 2 ? QStringLiteral("ed25519") : QStringLiteral("ecdsa256")).arg(i));
    }
    QCOMPARE(infos.last().type, QStringLiteral("Invalid"));
}

void SSHKeyUtilsTest::defaultComment()
{
    const QByteArray savedUser = qgetenv("USER");
    qputenv("USER", "alice");
    QCOMPARE(SSHKeyUtils::defaultComment(), QStringLiteral("alice@") + QHostInfo::localHostName());
    qunsetenv("USER");
    QCOMPARE(SSHKeyUtils::defaultComment(), QStringLiteral("@") + QHostInfo::localHostName());
    qputenv("USER", savedUser);
}

void SSHKeyUtilsTest::supportedTypesAndValidity()
{
    const QStringList types = SSHKeyUtils::systemSupportedKeyTypes();
    QVERIFY(types.contains(QStringLiteral("ssh-ed25519")));
    QVERIFY(types.contains(QStringLiteral("ssh-rsa")));
    QVERIFY(!types.contains(QString()));

    const QString ed = m_keys.value(QStringLiteral("ed25519"));
    QVERIFY(SSHKeyUtils::isKeyLineValid(ed));
    QVERIFY(SSHKeyUtils::isKeyLineValid(QStringLiteral("  ") + ed + QStringLiteral("  ")));
    QVERIFY(!SSHKeyUtils::isKeyLineValid(QString()));
    QVERIFY(!SSHKeyUtils::isKeyLineValid(QStringLiteral("ssh-ed25519")));
    QVERIFY(!SSHKeyUtils::isKeyLineValid(QStringLiteral("ssh-ed25519 !!!!")));
    QVERIFY(!SSHKeyUtils::isKeyLineValid(QStringLiteral("SSH-ED25519 ") + ed.section(QLatin1Char(' '), 1)));
    QVERIFY(!SSHKeyUtils::isKeyLineValid(QStringLiteral("ssh-unknown ") + ed.section(QLatin1Char(' '), 1)));
}

void SSHKeyUtilsTest::appendKeyToFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("missing file") << false << QByteArray() << QByteArray("ssh-new KEY c\n");
    QTest::newRow("empty file") << true << QByteArray() << QByteArray("ssh-new KEY c\n");
    QTest::newRow("final line feed") << true << QByteArray("ssh-old A a\n") << QByteArray("ssh-old A a\nssh-new KEY c\n");
    QTest::newRow("no final line feed") << true << QByteArray("ssh-old A a") << QByteArray("ssh-old A a\nssh-new KEY c\n");
    QTest::newRow("crlf") << true << QByteArray("ssh-old A a\r\n") << QByteArray("ssh-old A a\r\nssh-new KEY c\n");
    QTest::newRow("ends in comment") << true << QByteArray("ssh-old A a\n# end") << QByteArray("ssh-old A a\n# end\nssh-new KEY c\n");
}

void SSHKeyUtilsTest::appendKeyToFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QString path = keyPath(QStringLiteral("append_") + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
    QFile::remove(path);
    if (exists) {
        QVERIFY(KeyTest::writeFile(path, before));
    }
    QVERIFY(SSHKeyUtils::appendKeyToFile(path, QStringLiteral("ssh-new KEY c")));
    QCOMPARE(KeyTest::readFile(path), after);
}

void SSHKeyUtilsTest::appendFailsWhenFileCannotBeOpened()
{
    QVERIFY(!SSHKeyUtils::appendKeyToFile(keyPath(QStringLiteral("no/such/folder/authorized_keys")), QStringLiteral("ssh-new KEY c")));
    QVERIFY(!SSHKeyUtils::appendKeyToFile(m_dir.path(), QStringLiteral("ssh-new KEY c")));
}

void SSHKeyUtilsTest::removeKeyFromFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("single") << QByteArray("ssh-a A a\nssh-b B b\n") << "ssh-a A a" << true << QByteArray("ssh-b B b\n");
    QTest::newRow("duplicates") << QByteArray("ssh-a A a\nssh-b B b\nssh-a A a\n") << "ssh-a A a" << true << QByteArray("ssh-b B b\n");
    QTest::newRow("target trimmed") << QByteArray("ssh-a A a\nssh-b B b\n") << "  ssh-b B b \n" << true << QByteArray("ssh-a A a\n");
    QTest::newRow("absent") << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n") << "ssh-c C c" << false << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n");
    QTest::newRow("blank and indented lines") << QByteArray("\n  ssh-a A a  \n\n\tssh-b B b\nssh-c C c\n\n") << "ssh-c C c" << true
                                              << QByteArray("ssh-a A a\nssh-b B b\n");
    QTest::newRow("comments kept") << QByteArray("# mine\nssh-a A a\n  # old\nssh-b B b\n") << "ssh-a A a" << true << QByteArray("# mine\n# old\nssh-b B b\n");
    QTest::newRow("no final line feed") << QByteArray("ssh-a A a\nssh-b B b") << "ssh-a A a" << true << QByteArray("ssh-b B b\n");
    QTest::newRow("crlf") << QByteArray("ssh-a A a\r\nssh-b B b\r\n") << "ssh-b B b" << true << QByteArray("ssh-a A a\n");
    QTest::newRow("case sensitive") << QByteArray("ssh-a A a\n") << "SSH-A A a" << false << QByteArray("ssh-a A a\n");
    QTest::newRow("last key") << QByteArray("ssh-a A a\n") << "ssh-a A a" << true << QByteArray();
}

void SSHKeyUtilsTest::removeKeyFromFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, line);
    QFETCH(bool, result);
    QFETCH(QByteArray, after);
    const QString path = keyPath(QStringLiteral("remove"));
    QVERIFY(KeyTest::writeFile(path, before));
    QCOMPARE(SSHKeyUtils::removeKeyFromFile(path, line), result);
    QCOMPARE(KeyTest::readFile(path), after);
}

void SSHKeyUtilsTest::removeKeepsModeAndOwnerAndReplacesAtomically()
{
    const QString path = keyPath(QStringLiteral("remove_mode"));
    QVERIFY(KeyTest::writeFile(path, "ssh-a A a\nssh-b B b\n"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    }
    struct stat before
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);

    QVERIFY(SSHKeyUtils::removeKeyFromFile(path, QStringLiteral("ssh-a A a")));
    QCOMPARE(KeyTest::readFile(path), QByteArray("ssh-b B b\n"));

    struct stat after
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_mode & 07777, 0640u);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    // A new file was renamed over the old one: the old content stayed intact until then.
    QVERIFY(after.st_ino != before.st_ino);
    // No temporary files are left behind.
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("remove_mode*")}, QDir::Files | QDir::Hidden), QStringList {QStringLiteral("remove_mode")});
}

void SSHKeyUtilsTest::removeFailsOnMissingFile()
{
    QVERIFY(!SSHKeyUtils::removeKeyFromFile(keyPath(QStringLiteral("missing")), QStringLiteral("ssh-a A a")));
    QVERIFY(!QFile::exists(keyPath(QStringLiteral("missing"))));
}

void SSHKeyUtilsTest::writableCheckSeam()
{
    const QString path = keyPath(QStringLiteral("seam"));
    QVERIFY(KeyTest::writeFile(path, "x\n"));
    QVERIFY(SSHKeyUtils::isDirectlyWritable(path));
    QVERIFY(!SSHKeyUtils::isDirectlyWritable(keyPath(QStringLiteral("no/such/file"))));
    SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
        return false;
    });
    QVERIFY(!SSHKeyUtils::isDirectlyWritable(path));
    SSHKeyUtils::setWritableCheckForTesting({});
    QVERIFY(SSHKeyUtils::isDirectlyWritable(path));
}

QTEST_GUILESS_MAIN(SSHKeyUtilsTest)

#include "sshkeyutilstest.moc"
