// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "hostkeys.h"
#include "requestdispatch.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"
#include "testsandbox.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace Arg = SSHSettings::Protocol::Arg;
namespace ReplyKey = SSHSettings::Protocol::Reply;

namespace
{
// A sandbox whose sshd_config names the keys of @p specs, each "[/]TYPE[:BITS][@MODE]" generated into its etc/ssh (with
// "/" its HostKey line reaches it through "etc/ssh//"), or "missing" (a HostKey line naming no file), or a line of its
// own ("Keyword value"); sshd gets no other key.
struct KeyTree {
    TestSandbox sandbox;
    explicit KeyTree(const QStringList &specs)
    {
        sandbox.paths.sshdExtraArguments.clear();
        QByteArray lines;
        for (const QString &wanted : specs) {
            if (wanted.contains(QLatin1Char(' '))) {
                lines += wanted.toUtf8() + '\n';
                continue;
            }
            const QString type = wanted.section(QLatin1Char('@'), 0, 0).section(QLatin1Char(':'), 0, 0).remove(QLatin1Char('/'));
            const QString file = sandbox.path(QStringLiteral("etc/ssh/ssh_host_%1_key").arg(type));
            lines += "HostKey "
                + QFile::encodeName(wanted.startsWith(QLatin1Char('/')) ? sandbox.path(QStringLiteral("etc/ssh//ssh_host_%1_key").arg(type)) : file) + '\n';
            if (type == QLatin1String("missing")) {
                continue;
            }
            QStringList arguments = {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(), QStringLiteral("-f"), file};
            if (wanted.contains(QLatin1Char(':'))) {
                arguments << QStringLiteral("-b") << wanted.section(QLatin1Char(':'), 1).section(QLatin1Char('@'), 0, 0);
            }
            runProgram(sandbox.paths.sshKeygen, arguments);
            if (wanted.contains(QLatin1Char('@'))) {
                ::chmod(QFile::encodeName(file).constData(), wanted.section(QLatin1Char('@'), 1).toUInt(nullptr, 8));
            }
        }
        sandbox.write(QStringLiteral("etc/ssh/sshd_config"), lines + sandbox.read(QStringLiteral("etc/ssh/sshd_config")));
    }
    // What sshd itself says it loads: the names of its hostkey lines.
    QStringList sshdKeys() const
    {
        QStringList names;
        const ProgramResult dump = runProgram(sandbox.paths.sshd, {QStringLiteral("-T"), QStringLiteral("-f"), sandbox.paths.serverConfig});
        for (const QByteArray &line : dump.standardOutput.split('\n')) {
            if (line.startsWith("hostkey ")) {
                names.append(QFileInfo(QString::fromUtf8(line.mid(8))).fileName());
            }
        }
        return names;
    }
    // sshd offers a signature algorithm for one of the keys it loads: clients can connect.
    bool serves() const
    {
        const ProgramResult dump = runProgram(sandbox.paths.sshd, {QStringLiteral("-T"), QStringLiteral("-f"), sandbox.paths.serverConfig});
        const QRegularExpression offered(QStringLiteral("^hostkeyalgorithms (.*)$"), QRegularExpression::MultilineOption);
        const QStringList algorithms = offered.match(QString::fromUtf8(dump.standardOutput)).captured(1).split(QLatin1Char(','));
        const QHash<QString, QString> signs = {{QStringLiteral("ed25519"), QStringLiteral("ssh-ed25519")},
                                               {QStringLiteral("rsa"), QStringLiteral("rsa-sha2-")},
                                               {QStringLiteral("ecdsa"), QStringLiteral("ecdsa-sha2-nistp256")}};
        const QStringList loaded = sshdKeys();
        return std::any_of(loaded.cbegin(), loaded.cend(), [&](const QString &name) {
            const QString prefix = signs.value(name.section(QLatin1Char('_'), 2, 2), QStringLiteral("?"));
            return std::any_of(algorithms.cbegin(), algorithms.cend(), [&prefix](const QString &algorithm) {
                return algorithm.startsWith(prefix) && !algorithm.contains(QLatin1String("-cert-"));
            });
        });
    }
};

QStringList ids(const QVariantList &findings)
{
    QStringList result;
    for (const QVariant &finding : findings) {
        const QVariantMap map = finding.toMap();
        result.append(map.value(ReplyKey::FindingId).toString() + QLatin1Char(':') + map.value(ReplyKey::FindingSeverity).toString());
    }
    return result;
}

QString mode(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? QString::number(status.st_mode & 07777, 8) : QStringLiteral("none");
}

const QByteArray s_group = "20220714110357 2 6 100 %1 2 E98F2A209BA9F4C8C1FFB02490E599A99FBE28F6A053E240A4BD5FEDE80B23FE\n";
QByteArray groups(const QList<int> &sizes)
{
    QByteArray text = "# Time Type Tests Tries Size Generator Modulus\n";
    for (int size : sizes) {
        text += QByteArray(s_group).replace("%1", QByteArray::number(size));
    }
    return text;
}
}

class HostKeysTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fingerprint_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("expected"); // "bits fingerprint type", empty: not a line of ssh-keygen -l
        QTest::newRow("ed25519") << QByteArray("256 SHA256:TYL0UBvgAZ3D2DrRTQ98iaXM+p7wTxwoSjlQS3dOoUY root@vm (ED25519)\n")
                                 << QStringLiteral("256 SHA256:TYL0UBvgAZ3D2DrRTQ98iaXM+p7wTxwoSjlQS3dOoUY ED25519");
        QTest::newRow("no comment") << QByteArray("3072 SHA256:dc/+g6XyRnhp no comment (RSA)") << QStringLiteral("3072 SHA256:dc/+g6XyRnhp RSA");
        QTest::newRow("comment with parentheses") << QByteArray("256 SHA256:Y+XN a (b) c (ECDSA-SK)\nmore\n") << QStringLiteral("256 SHA256:Y+XN ECDSA-SK");
        QTest::newRow("md5") << QByteArray("256 MD5:12:34 root@vm (ED25519)") << QString();
        QTest::newRow("no type") << QByteArray("256 SHA256:Y+XN root@vm") << QString();
        QTest::newRow("no bits") << QByteArray("x SHA256:Y+XN root@vm (RSA)") << QString();
        QTest::newRow("error") << QByteArray("/dev/stdin is not a public key file.\n") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("NUL after the type") << QByteArray("1024 SHA256:d2gh root (RSA)__").replace('_', '\0') << QString();
        QTest::newRow("NUL in the digest") << QByteArray("256 SHA256:d2_gh root (ED25519)").replace('_', '\0') << QString();
        QTest::newRow("NUL after the size") << QByteArray("256_ SHA256:d2gh root (ED25519)").replace('_', '\0') << QString();
    }
    void fingerprint()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, expected);
        HostKeys::Fingerprint print;
        const bool parsed = HostKeys::parseFingerprint(output, &print);
        QCOMPARE(parsed ? QStringLiteral("%1 %2 %3").arg(print.bits).arg(print.fingerprint, print.type) : QString(), expected);
    }

    // Keys made by ssh-keygen, named in HostKey lines, judged as sshd would load them.
    void keyFindings_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("rsa 1024") << QStringList{QStringLiteral("rsa:1024")} << QStringList{QStringLiteral("hostkey-rsa-size:fail")};
        QTest::newRow("rsa 2048") << QStringList{QStringLiteral("rsa:2048")} << QStringList{QStringLiteral("hostkey-rsa-size:warn")};
        QTest::newRow("rsa 3072") << QStringList{QStringLiteral("rsa:3072")} << QStringList();
        QTest::newRow("ed25519") << QStringList{QStringLiteral("ed25519")} << QStringList();
        QTest::newRow("ecdsa") << QStringList{QStringLiteral("ecdsa")} << QStringList{QStringLiteral("hostkey-ecdsa:fail")};
        QTest::newRow("private readable") << QStringList{QStringLiteral("ed25519@0640")} << QStringList{QStringLiteral("hostkey-permissions:fail")};
        QTest::newRow("missing") << QStringList{QStringLiteral("ed25519"), QStringLiteral("missing")} << QStringList{QStringLiteral("hostkey-missing:warn")};
        QTest::newRow("stricter than asked") << QStringList{QStringLiteral("ed25519@0400")} << QStringList();
        QTest::newRow("named through another path") << QStringList{QStringLiteral("/ed25519")} << QStringList();
    }
    void keyFindings()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, expected);
        KeyTree tree(keys);
        Engine engine(tree.sandbox.paths);
        QCOMPARE(ids(engine.hostKeyFindings()), expected);
        const Reply read = engine.readHostKeys();
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.data.value(ReplyKey::HostKeys).toList().size(), keys.filter(QRegularExpression(QStringLiteral("^\\S+$"))).size());
    }

    void moduli_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("weak");
        QTest::addColumn<QByteArray>("strong");
        const QByteArray junk = "# c\n\nnot a group\n";
        QTest::newRow("debian sizes") << groups({2047, 3071, 4095, 2047}) << 4 << 2 << groups({3071, 4095});
        QTest::newRow("3071 is 3072 bits") << groups({3071}) << 1 << 0 << groups({3071});
        QTest::newRow("3070 is under") << groups({3070}) << 1 << 1 << groups({});
        QTest::newRow("comments and junk stay") << junk + groups({1023}) << 1 << 1 << junk + groups({});
        QTest::newRow("kept lines keep their ends") << groups({8191, 2047}).chopped(1) << 2 << 1 << groups({8191});
        QTest::newRow("no newline after a kept line") << groups({2047, 8191}).chopped(1) << 2 << 1 << groups({8191}).chopped(1);
        QTest::newRow("malformed size") << groups({4095}) + QByteArray(s_group).replace("%1", "3071x") << 2 << 1 << groups({4095});
        QTest::newRow("modulus not hex") << groups({4095}) + QByteArray(s_group).replace("%1", "4095").replace("E98F", "Z98F") << 2 << 1 << groups({4095});
        QTest::newRow("NUL in the modulus") << groups({4095}).replace("E98F", QByteArray("E9_8F").replace('_', '\0')) << 1 << 1 << groups({});
        QTest::newRow("largest size") << groups({2147483647}) << 1 << 0 << groups({2147483647});
    }
    void moduli()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, total);
        QFETCH(int, weak);
        QFETCH(QByteArray, strong);
        const HostKeys::Moduli moduli = HostKeys::readModuli(contents);
        QCOMPARE(moduli.total, total);
        QCOMPARE(moduli.weak, weak);
        QCOMPARE(moduli.strong, strong);
        const HostKeys::Moduli again = HostKeys::readModuli(moduli.strong);
        QCOMPARE(again.total, total - weak);
        QCOMPARE(again.weak, 0);
    }
    void systemModuli()
    {
        QFile file(QStringLiteral("/etc/ssh/moduli"));
        if (!file.open(QIODevice::ReadOnly)) {
            QSKIP("no /etc/ssh/moduli");
        }
        const QByteArray contents = file.readAll();
        const HostKeys::Moduli moduli = HostKeys::readModuli(contents);
        qInfo("/etc/ssh/moduli: %d of %d groups under 3072 bits", moduli.weak, moduli.total);
        // Every group line gone is one OpenSSH wrote with a size field under 3071.
        int small = 0;
        for (const QByteArray &line : contents.split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            small += fields.size() == 7 && !line.startsWith('#') && fields.at(4).toInt() < 3071;
        }
        QCOMPARE(moduli.weak, small);
        QVERIFY(moduli.total > moduli.weak);
    }

    // Each operation over a tree, with what sshd -T then loads as the oracle.
    void operations_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("refusal"); // empty: done
        QTest::addColumn<QStringList>("loaded");
        const QString ed = QStringLiteral("ssh_host_ed25519_key");
        const QString rsa = QStringLiteral("ssh_host_rsa_key");
        const QString ecdsa = QStringLiteral("ssh_host_ecdsa_key");
        QTest::newRow("generate beside") << QStringList{QStringLiteral("ecdsa")} << QStringLiteral("generate ed25519") << QString() << QStringList{ecdsa, ed};
        QTest::newRow("generate beside its name") << QStringList{QStringLiteral("ed25519")} << QStringLiteral("generate ed25519") << QString()
                                                  << QStringList{ed, ed + QLatin1String("-2")};
        QTest::newRow("dry run") << QStringList{QStringLiteral("ecdsa")} << QStringLiteral("dry generate rsa") << QString() << QStringList{ecdsa};
        QTest::newRow("remove") << QStringList{QStringLiteral("ecdsa"), QStringLiteral("ed25519")} << QStringLiteral("remove ssh_host_ecdsa_key") << QString()
                                << QStringList{ed};
        QTest::newRow("remove the last") << QStringList{QStringLiteral("ed25519"), QStringLiteral("missing")} << QStringLiteral("remove ssh_host_ed25519_key")
                                         << QStringLiteral("last_host_key") << QStringList{ed, QStringLiteral("ssh_host_missing_key")};
        QTest::newRow("remove a stranger") << QStringList{QStringLiteral("ed25519")} << QStringLiteral("remove ../sshd_config")
                                           << QStringLiteral("bad_argument") << QStringList{ed};
        QTest::newRow("fix ecdsa") << QStringList{QStringLiteral("ecdsa"), QStringLiteral("ed25519")} << QStringLiteral("fix hostkey-ecdsa") << QString()
                                   << QStringList{ed};
        QTest::newRow("fix the only ecdsa") << QStringList{QStringLiteral("ecdsa")} << QStringLiteral("fix hostkey-ecdsa") << QString() << QStringList{ed};
        QTest::newRow("fix the only weak rsa") << QStringList{QStringLiteral("rsa:1024")} << QStringLiteral("fix hostkey-rsa-size") << QString()
                                               << QStringList{rsa + QLatin1String("-2")};
        QTest::newRow("fix weak rsa and missing") << QStringList{QStringLiteral("rsa:2048"), QStringLiteral("missing"), QStringLiteral("ecdsa")}
                                                  << QStringLiteral("fix hostkey-rsa-size hostkey-missing") << QString() << QStringList{ecdsa, ed};
        QTest::newRow("fix permissions") << QStringList{QStringLiteral("ed25519@0644")} << QStringLiteral("fix hostkey-permissions") << QString()
                                         << QStringList{ed};
        QTest::newRow("remove through another path") << QStringList{QStringLiteral("/ed25519")} << QStringLiteral("remove ssh_host_ed25519_key")
                                                     << QStringLiteral("last_host_key") << QStringList{ed};
        QTest::newRow("remove the only key signed with")
            << QStringList{QStringLiteral("ed25519"), QStringLiteral("rsa"), QStringLiteral("HostKeyAlgorithms ssh-ed25519")}
            << QStringLiteral("remove ssh_host_ed25519_key") << QStringLiteral("last_host_key") << QStringList{ed, rsa};
        QTest::newRow("algorithms fix, ecdsa alone") << QStringList{QStringLiteral("ecdsa")} << QStringLiteral("audit hostkey-algorithm-weak") << QString()
                                                     << QStringList{ecdsa, ed};
        QTest::newRow("fix reverted") << QStringList{QStringLiteral("ecdsa"), QStringLiteral("rsa:2048")}
                                      << QStringLiteral("revert hostkey-ecdsa hostkey-rsa-size") << QString() << QStringList{ecdsa, rsa};
    }
    void operations()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, operation);
        QFETCH(QString, refusal);
        QFETCH(QStringList, loaded);
        KeyTree tree(keys);
        // The countdown a revert row arms: a program that does nothing.
        tree.sandbox.paths.tool = QStringLiteral("/bin/true");
        Engine engine(tree.sandbox.paths);
        const QStringList words = operation.split(QLatin1Char(' '));
        const QString keyFolder = tree.sandbox.path(QStringLiteral("etc/ssh/"));
        const auto before = tree.sandbox.snapshot();
        Reply reply;
        if (words.first() == QLatin1String("fix") || words.first() == QLatin1String("revert")) {
            // "revert": with a countdown, then undone.
            Engine::Transaction options;
            options.revertAfter = words.first() == QLatin1String("revert") ? 60 : 0;
            reply = engine.fixHostKeyFindings(words.mid(1), options);
            QVERIFY2(reply.ok, qPrintable(reply.error));
            QCOMPARE(reply.data.value(ReplyKey::AuditFixed).toStringList(), words.mid(1));
            for (const QString &id : ids(engine.hostKeyFindings())) {
                QVERIFY2(!words.contains(id.section(QLatin1Char(':'), 0, 0)), qPrintable(id));
            }
            if (options.revertAfter > 0) {
                reply = engine.revertChange(reply.data.value(ReplyKey::Token).toString());
            }
        } else if (words.first() == QLatin1String("audit")) {
            reply = engine.auditFix(words.mid(1), false, {});
            QCOMPARE(reply.data.value(ReplyKey::AuditFixed).toStringList(), words.mid(1));
        } else {
            const bool dry = words.first() == QLatin1String("dry");
            QVariantMap request = {{Arg::TransactionType, int(SSHSettings::Protocol::Server)}, {Arg::HostKeyOperation, words.at(dry ? 1 : 0)}};
            request.insert(words.contains(QLatin1String("remove")) ? Arg::HostKeyFile : Arg::HostKeyType,
                           words.contains(QLatin1String("remove")) ? keyFolder + words.last() : words.last());
            if (dry) {
                request.insert(Arg::TransactionDryRun, true);
            }
            reply = RequestDispatch::dispatch(engine, RequestDispatch::Action::Configure, request, ::geteuid());
        }
        QCOMPARE(reply.data.value(ReplyKey::RefusalCode).toString(), refusal);
        QCOMPARE(tree.sshdKeys(), loaded);
        QVERIFY(tree.serves());
        if (!reply.ok || words.first() == QLatin1String("dry")) {
            QCOMPARE(tree.sandbox.snapshot(), before);
            QVERIFY(!reply.ok || reply.data.value(ReplyKey::Diff).toString().contains(reply.data.value(ReplyKey::NewHostKey).toString()));
            return;
        }
        // Every key sshd loads is protected; every key it no longer names lies among the backups.
        for (const QString &name : std::as_const(loaded)) {
            QCOMPARE(mode(keyFolder + name) + QLatin1Char(' ') + mode(keyFolder + name + QLatin1String(".pub")), QStringLiteral("600 644"));
        }
        const QStringList kept = QDir(tree.sandbox.paths.backupDir).entryList({QStringLiteral("hostkey-*")}, QDir::Dirs);
        for (const QString &wanted : keys.filter(QRegularExpression(QStringLiteral("^(?!missing)\\S+$")))) {
            const QString name =
                QStringLiteral("ssh_host_%1_key").arg(wanted.section(QLatin1Char('@'), 0, 0).section(QLatin1Char(':'), 0, 0).remove(QLatin1Char('/')));
            const bool gone = !loaded.contains(name);
            QCOMPARE(mode(keyFolder + name) == QLatin1String("none"), gone);
            QCOMPARE(!kept.filter(QLatin1String("hostkey-") + name + QLatin1String("-replaced-")).isEmpty(), gone);
        }
    }

    // The rewrite keeps owner, mode and a backup, and never leaves the file empty.
    void moduliFix_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("left");
        QTest::newRow("some weak") << QList<int>{2047, 3071, 1535} << 1;
        QTest::newRow("all weak") << QList<int>{2047, 1535} << 2;
    }
    void moduliFix()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, left);
        KeyTree tree({QStringLiteral("ed25519")});
        tree.sandbox.write(QStringLiteral("etc/ssh/moduli"), groups(sizes));
        ::chmod(QFile::encodeName(tree.sandbox.path(QStringLiteral("etc/ssh/moduli"))).constData(), 0640);
        Engine engine(tree.sandbox.paths);
        QCOMPARE(ids(engine.hostKeyFindings()), QStringList{QStringLiteral("moduli-weak:warn")});
        const Reply reply = engine.fixHostKeyFindings({QStringLiteral("moduli-weak")}, {});
        QVERIFY2(reply.ok, qPrintable(reply.error));
        const bool fixed = left < sizes.size();
        QCOMPARE(reply.data.value(ReplyKey::AuditFixed).toStringList().size(), fixed ? 1 : 0);
        QCOMPARE(reply.data.value(ReplyKey::AuditSkipped).toList().size(), fixed ? 0 : 1);
        const QByteArray now = tree.sandbox.read(QStringLiteral("etc/ssh/moduli"));
        QCOMPARE(HostKeys::readModuli(now).total, left);
        QCOMPARE(mode(tree.sandbox.path(QStringLiteral("etc/ssh/moduli"))), QStringLiteral("640"));
        QCOMPARE(QDir(tree.sandbox.paths.backupDir).entryList({QStringLiteral("moduli-replaced-*")}, QDir::Dirs).size(), fixed ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(HostKeysTest)
#include "hostkeystest.moc"
