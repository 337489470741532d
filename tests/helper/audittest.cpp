// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "auditchecks.h"
#include "auditfindings.h"
#include "sshsettingsprotocol.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace Protocol = SSHSettings::Protocol;

namespace
{
// "keyword value;keyword value" as sshd -T prints them.
Lockout::Values values(const QString &text)
{
    Lockout::Values parsed;
    for (const QString &line : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        parsed[line.section(QLatin1Char(' '), 0, 0).toLatin1()] = {line.section(QLatin1Char(' '), 1).toUtf8()};
    }
    return parsed;
}

// A configuration every check passes.
const QString s_clean = QStringLiteral(
    "permitrootlogin no;passwordauthentication yes;permitemptypasswords no;maxauthtries 4;logingracetime 60;clientaliveinterval 15;"
    "clientalivecountmax 3;loglevel VERBOSE;x11forwarding no;allowtcpforwarding no;allowagentforwarding no;disableforwarding no;"
    "permituserenvironment no;maxstartups 10:30:60;maxsessions 10;ignorerhosts yes;hostbasedauthentication no;gssapiauthentication no;"
    "usepam yes;banner /etc/issue.net;allowgroups ssh;listenaddress 127.0.0.1:22;kexalgorithms sntrup761x25519-sha512,curve25519-sha256;"
    "ciphers chacha20-poly1305@openssh.com,aes256-gcm@openssh.com;macs hmac-sha2-256-etm@openssh.com;hostkeyalgorithms ssh-ed25519,rsa-sha2-512;"
    "pubkeyacceptedalgorithms ssh-ed25519,rsa-sha2-256;casignaturealgorithms ssh-ed25519");
}

class AuditTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void table()
    {
        QSet<QString> ids;
        for (const AuditChecks::Check &check : AuditChecks::checks()) {
            const QString id = QLatin1String(check.id);
            QVERIFY2(QRegularExpression(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$")).match(id).hasMatch(), check.id);
            QVERIFY2(!ids.contains(id), check.id);
            ids.insert(id);
            QCOMPARE(AuditChecks::reason(id), QLatin1String(check.reason));
            QVERIFY2(!AuditChecks::reason(id).isEmpty() && !AuditChecks::reason(id).contains(QLatin1Char('\n')), check.id);
        }
        QVERIFY(AuditChecks::reason(QStringLiteral("no-such-check")).isEmpty());
    }

    void checks_data()
    {
        QTest::addColumn<QString>("changed"); // sshd -T lines over the clean configuration
        QTest::addColumn<QString>("block"); // "criteria|Keyword value": a Match block setting one keyword
        QTest::addColumn<int>("mode"); // of the configuration's file
        QTest::addColumn<QString>("expected"); // id=severity[@criteria][>recommended, on every one or none] in the order of the reply
        const auto row = [](const char *name, const char *changed, const char *expected, const char *block = "", int mode = 0600) {
            QTest::newRow(name) << QString::fromLatin1(changed) << QString::fromLatin1(block) << mode << QString::fromLatin1(expected);
        };
        row("clean", "", "");
        row("root login", "permitrootlogin yes", "permit-root-login=fail");
        row("root with keys only", "permitrootlogin without-password", "permit-root-login=warn");
        row("root forced commands", "permitrootlogin forced-commands-only", "permit-root-login=warn");
        row("passwords beyond loopback", "listenaddress 0.0.0.0:22", "password-authentication=warn");
        row("passwords on IPv6 loopback", "listenaddress [::1]:22", "");
        row("passwords off beyond loopback", "listenaddress [::]:22;passwordauthentication no", "");
        row("empty passwords", "permitemptypasswords yes", "permit-empty-passwords=fail");
        row("auth tries", "maxauthtries 6", "max-auth-tries=warn");
        row("grace unlimited", "logingracetime 0", "login-grace-time=warn");
        row("grace long", "logingracetime 120", "login-grace-time=warn");
        row("no keep-alive", "clientaliveinterval 0", "client-alive-interval=warn");
        row("keep-alive count zero", "clientalivecountmax 0", "client-alive-count-max=warn");
        row("keep-alive count high", "clientalivecountmax 5", "client-alive-count-max=warn");
        row("log level debug", "loglevel DEBUG3", "log-level=warn");
        row("log level info", "loglevel INFO", "");
        row("forwarding",
            "x11forwarding yes;allowtcpforwarding local;allowagentforwarding yes",
            "x11-forwarding=warn tcp-forwarding=warn agent-forwarding=warn");
        row("forwarding off altogether", "x11forwarding yes;allowtcpforwarding yes;allowagentforwarding yes;disableforwarding yes", "");
        row("user environment", "permituserenvironment LANG,LC_*", "permit-user-environment=fail");
        row("startups of Debian", "maxstartups 10:30:100", "max-startups=warn");
        row("startups tighter", "maxstartups 5:50:20", "");
        row("startups one number", "maxstartups 20", "max-startups=warn>10:100:20");
        row("startups fixed without raising a limit", "maxstartups 20:30:40", "max-startups=warn>10:30:40");
        row("startups that do not read take the recommended value", "maxstartups 10:3lhxstartups 10:3lhost yes", "max-startups=warn>10:30:60");
        row("sessions", "maxsessions 11", "max-sessions=warn");
        row("sessions off", "maxsessions 0", "");
        row("rhosts", "ignorerhosts no;hostbasedauthentication yes", "ignore-rhosts=fail hostbased-authentication=fail");
        row("gssapi and pam", "gssapiauthentication yes;usepam no", "gssapi-authentication=warn use-pam=warn");
        row("no banner no list", "banner none;allowgroups", "banner=info access-list=info");
        row("deny list is a list", "allowgroups;denyusers guest", "");
        row("file readable", "", "sshd-config-mode=warn", "", 0644);
        row("weak key exchange", "kexalgorithms curve25519-sha256,diffie-hellman-group14-sha1,ecdh-sha2-nistp256", "kex-weak=fail");
        row("weak ciphers", "ciphers aes128-ctr,aes128-cbc,3des-cbc,arcfour256", "cipher-weak=fail");
        row("MAC classes",
            "macs hmac-sha2-256-etm@openssh.com,hmac-sha2-512,hmac-md5-96,umac-64@openssh.com,hmac-sha2-256-96",
            "mac-weak=fail mac-small-tag=warn mac-encrypt-and-mac=warn");
        row("SHA-1 and NIST host keys", "hostkeyalgorithms ssh-ed25519,ssh-rsa,ecdsa-sha2-nistp256-cert-v01@openssh.com", "hostkey-algorithm-weak=fail");
        row("NIST security keys over the web", "hostkeyalgorithms ssh-ed25519,webauthn-sk-ecdsa-sha2-nistp256@openssh.com", "hostkey-algorithm-weak=fail");
        row("DSA user keys",
            "pubkeyacceptedalgorithms ssh-dss,ssh-ed25519;casignaturealgorithms sk-ecdsa-sha2-nistp256@openssh.com,ssh-ed25519",
            "pubkey-algorithm-weak=fail ca-algorithm-weak=fail");
        row("block opens passwords",
            "passwordauthentication no;listenaddress 0.0.0.0:22",
            "password-authentication=warn@User alice",
            "User alice|PasswordAuthentication yes");
        // The global fix leaves the block's line: it is reported whether or not the global value fails as much.
        row("block as global", "maxauthtries 6", "max-auth-tries=warn max-auth-tries=warn@Group admins", "Group admins|MaxAuthTries 6");
        row("block looser, same severity",
            "maxauthtries 6",
            "max-auth-tries=warn>4 max-auth-tries=warn@Address 10.0.0.0/8>4",
            "Address 10.0.0.0/8|MaxAuthTries 10");
        row("block tightens", "x11forwarding yes", "x11-forwarding=warn", "User bob|X11Forwarding no");
        row("block root login", "", "permit-root-login=warn@Address 10.0.0.0/8", "Address 10.0.0.0/8|PermitRootLogin without-password");
        row("block interval", "", "client-alive-interval=warn@User carol", "User carol|ClientAliveInterval 0m");
        // Found by fuzz-sshdoutput: a list the keyword table would refuse is no fix ("!": a recommendation, not fixable).
        row("name no OpenSSH prints", "hostkeyalgorithms ssh-ed25519,ssh-rsa,sky sign", "hostkey-algorithm-weak=fail!");
    }

    void checks()
    {
        QFETCH(QString, changed);
        QFETCH(QString, block);
        QFETCH(int, mode);
        QFETCH(QString, expected);
        AuditFindings::Input input;
        input.values = values(s_clean);
        const Lockout::Values overrides = values(changed);
        for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
            input.values.insert(it.key(), it.value() == QList<QByteArray>{QByteArray()} ? QList<QByteArray>() : it.value());
        }
        if (!block.isEmpty()) {
            const QString line = block.section(QLatin1Char('|'), 1);
            input.blocks.append(
                QVariantMap{{Protocol::Reply::BlockEntryCriteria, block.section(QLatin1Char('|'), 0, 0)},
                            {Protocol::Reply::BlockEntryFile, QStringLiteral("/etc/ssh/sshd_config")},
                            {Protocol::Reply::BlockEntryLine, 40},
                            {Protocol::Reply::BlockEntryValues, QVariantMap{{line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1)}}}});
        }
        input.files = {{QStringLiteral("/etc/ssh/sshd_config"), mode_t(mode), 0}};
        QVariantList findings = AuditFindings::findings(input);
        AuditFindings::sort(&findings);
        QStringList found;
        // The recommended values where the row names them.
        const bool recommended = expected.contains(QLatin1Char('>'));
        for (const QVariant &entry : std::as_const(findings)) {
            const QVariantMap finding = entry.toMap();
            const QString inBlock = finding.value(Protocol::Reply::FindingBlock).toString();
            const bool fixable = finding.value(Protocol::Reply::FindingFixable).toBool();
            const bool recommends = !finding.value(Protocol::Reply::FindingRecommended).toString().isEmpty();
            found.append(finding.value(Protocol::Reply::FindingId).toString() + QLatin1Char('=') + finding.value(Protocol::Reply::FindingSeverity).toString()
                         + (inBlock.isEmpty() ? QString() : QString(QLatin1Char('@') + inBlock))
                         + (recommended ? QString(QLatin1Char('>') + finding.value(Protocol::Reply::FindingRecommended).toString()) : QString())
                         + (recommends && !fixable ? QStringLiteral("!") : QString()));
            // A fix is one keyword change, a block's in that block.
            QString keyword;
            QVariant value;
            QCOMPARE(AuditFindings::fix(finding, &keyword, &value), fixable && !found.last().startsWith(QLatin1String("sshd-config-mode=")));
            QVERIFY(!fixable || recommends);
        }
        QCOMPARE(found.join(QLatin1Char(' ')), expected);
    }

    // The classes per OpenSSH version: what a fix sets, from each version's default lists and `ssh -Q`.
    void recommended_data()
    {
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("supported");
        QTest::addColumn<QString>("expected");
        const QString kex84 = QStringLiteral(
            "curve25519-sha256,curve25519-sha256@libssh.org,ecdh-sha2-nistp256,ecdh-sha2-nistp384,ecdh-sha2-nistp521,"
            "diffie-hellman-group-exchange-sha256,diffie-hellman-group16-sha512,diffie-hellman-group18-sha512,diffie-hellman-group14-sha256");
        const QString kexSafe84 = QStringLiteral(
            "curve25519-sha256,curve25519-sha256@libssh.org,diffie-hellman-group-exchange-sha256,diffie-hellman-group16-sha512,"
            "diffie-hellman-group18-sha512,diffie-hellman-group14-sha256");
        const QString sntrup = QStringLiteral("sntrup761x25519-sha512@openssh.com,");
        const QString sntrup99 = QStringLiteral("sntrup761x25519-sha512,sntrup761x25519-sha512@openssh.com,");
        const QString mlkem = QStringLiteral("mlkem768x25519-sha256,");
        const QString legacy = QStringLiteral(",diffie-hellman-group1-sha1,diffie-hellman-group14-sha1,diffie-hellman-group-exchange-sha1");
        QTest::newRow("8.4 kex") << "kexalgorithms" << kex84 << QString(kex84 + legacy) << kexSafe84;
        QTest::newRow("9.2 kex") << "kexalgorithms" << QString(sntrup + kex84) << QString(sntrup + kex84 + legacy) << QString(sntrup + kexSafe84);
        QTest::newRow("9.9 kex") << "kexalgorithms" << QString(sntrup99 + mlkem + kex84) << QString(mlkem + sntrup99 + kex84 + legacy)
                                 << QString(mlkem + sntrup99 + kexSafe84);
        QTest::newRow("10.0 kex") << "kexalgorithms" << QString(mlkem + sntrup99 + kex84) << QString(mlkem + sntrup99 + kex84 + legacy)
                                  << QString(mlkem + sntrup99 + kexSafe84);
        QTest::newRow("custom list, post-quantum first")
            << "kexalgorithms"
            << "curve25519-sha256,ecdh-sha2-nistp256" << QString(mlkem + kex84) << "mlkem768x25519-sha256,curve25519-sha256";
        QTest::newRow("only weak offered") << "kexalgorithms"
                                           << "diffie-hellman-group14-sha1" << QString(kex84 + legacy) << kexSafe84;
        QTest::newRow("9.2 MACs") << "macs"
                                  << "umac-64-etm@openssh.com,umac-128-etm@openssh.com,hmac-sha2-256-etm@openssh.com,hmac-sha2-512-etm@openssh.com,"
                                     "hmac-sha1-etm@openssh.com,umac-64@openssh.com,umac-128@openssh.com,hmac-sha2-256,hmac-sha2-512,hmac-sha1"
                                  << ""
                                  << "umac-128-etm@openssh.com,hmac-sha2-256-etm@openssh.com,hmac-sha2-512-etm@openssh.com";
        QTest::newRow("8.4 ciphers with CBC") << "ciphers"
                                              << "chacha20-poly1305@openssh.com,aes128-ctr,aes128-cbc,3des-cbc,rijndael-cbc@lysator.liu.se"
                                              << ""
                                              << "chacha20-poly1305@openssh.com,aes128-ctr";
        QTest::newRow("RSA with SHA-2 only") << "pubkeyacceptedalgorithms"
                                             << "ssh-rsa,rsa-sha2-512,ssh-rsa-cert-v01@openssh.com,rsa-sha2-256-cert-v01@openssh.com"
                                             << ""
                                             << "rsa-sha2-512,rsa-sha2-256-cert-v01@openssh.com";
        QTest::newRow("9.2 host keys") << "hostkeyalgorithms"
                                       << "ssh-ed25519-cert-v01@openssh.com,ecdsa-sha2-nistp256-cert-v01@openssh.com,sk-ecdsa-sha2-nistp256@openssh.com,"
                                          "ssh-ed25519,ecdsa-sha2-nistp521,rsa-sha2-512,ssh-dss"
                                       << ""
                                       << "ssh-ed25519-cert-v01@openssh.com,ssh-ed25519,rsa-sha2-512";
    }

    void recommended()
    {
        QFETCH(QString, reads);
        QFETCH(QString, offered);
        QFETCH(QString, supported);
        QFETCH(QString, expected);
        const QStringList list =
            AuditChecks::recommendedAlgorithms(reads, offered.split(QLatin1Char(',')), supported.split(QLatin1Char(','), Qt::SkipEmptyParts));
        QCOMPARE(list.join(QLatin1Char(',')), expected);
        for (const QString &name : list) {
            QVERIFY2(AuditChecks::algorithmCheck(reads, name).isEmpty(), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(AuditTest)
#include "audittest.moc"
