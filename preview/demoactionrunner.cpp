// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "demoactionrunner.h"
#include "journalfilter.h"

#include "requestdispatch.h"
#include "sshsettingsprotocol.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <tuple>

#include <unistd.h>

namespace
{
bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool generateKey(const QString &keygen, const QString &path, const QString &type, const QString &bits, const QString &comment)
{
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-N"), QString(), QStringLiteral("-t"), type, QStringLiteral("-C"), comment};
    if (!bits.isEmpty()) {
        arguments << QStringLiteral("-b") << bits;
    }
    arguments << QStringLiteral("-f") << path;
    return QProcess::execute(keygen, arguments) == 0;
}

// What the security check finds in Debian 12's configuration as installed: weak curves and MACs offered, an ECDSA host
// key, short moduli and lenient defaults.
QVariantList debian12Findings()
{
    namespace Reply = SSHSettings::Protocol::Reply;
    const QString hostKeys = QStringLiteral(
        "ssh-ed25519-cert-v01@openssh.com,rsa-sha2-512-cert-v01@openssh.com,rsa-sha2-256-cert-v01@openssh.com,"
        "ssh-ed25519,rsa-sha2-512,rsa-sha2-256");
    const QString macs = QStringLiteral("umac-128-etm@openssh.com,hmac-sha2-256-etm@openssh.com,hmac-sha2-512-etm@openssh.com");
    const QList<QStringList> rows{
        {QStringLiteral("kex-weak"),
         QStringLiteral("fail"),
         QStringLiteral("KexAlgorithms"),
         QStringLiteral("ecdh-sha2-nistp256,ecdh-sha2-nistp384,ecdh-sha2-nistp521"),
         QStringLiteral("sntrup761x25519-sha512@openssh.com,curve25519-sha256,curve25519-sha256@libssh.org,diffie-hellman-group-exchange-sha256,"
                        "diffie-hellman-group16-sha512,diffie-hellman-group18-sha512,diffie-hellman-group14-sha256")},
        {QStringLiteral("mac-weak"),
         QStringLiteral("fail"),
         QStringLiteral("MACs"),
         QStringLiteral("umac-64-etm@openssh.com,hmac-sha1-etm@openssh.com,umac-64@openssh.com,hmac-sha1"),
         macs},
        {QStringLiteral("hostkey-algorithm-weak"),
         QStringLiteral("fail"),
         QStringLiteral("HostKeyAlgorithms"),
         QStringLiteral("ecdsa-sha2-nistp256-cert-v01@openssh.com,ecdsa-sha2-nistp384-cert-v01@openssh.com,ecdsa-sha2-nistp521-cert-v01@openssh.com,"
                        "ecdsa-sha2-nistp256,ecdsa-sha2-nistp384,ecdsa-sha2-nistp521"),
         hostKeys},
        {QStringLiteral("pubkey-algorithm-weak"),
         QStringLiteral("fail"),
         QStringLiteral("PubkeyAcceptedAlgorithms"),
         QStringLiteral("ecdsa-sha2-nistp256,ecdsa-sha2-nistp384,ecdsa-sha2-nistp521"),
         hostKeys},
        {QStringLiteral("hostkey-ecdsa"),
         QStringLiteral("fail"),
         QStringLiteral("/etc/ssh/ssh_host_ecdsa_key"),
         QStringLiteral("ECDSA 256 bits"),
         QStringLiteral("not used")},
        {QStringLiteral("permit-root-login"),
         QStringLiteral("warn"),
         QStringLiteral("PermitRootLogin"),
         QStringLiteral("without-password"),
         QStringLiteral("no")},
        {QStringLiteral("password-authentication"),
         QStringLiteral("warn"),
         QStringLiteral("PasswordAuthentication"),
         QStringLiteral("yes"),
         QStringLiteral("no")},
        {QStringLiteral("max-auth-tries"), QStringLiteral("warn"), QStringLiteral("MaxAuthTries"), QStringLiteral("6"), QStringLiteral("4")},
        {QStringLiteral("login-grace-time"), QStringLiteral("warn"), QStringLiteral("LoginGraceTime"), QStringLiteral("120"), QStringLiteral("60")},
        {QStringLiteral("client-alive-interval"), QStringLiteral("warn"), QStringLiteral("ClientAliveInterval"), QStringLiteral("0"), QStringLiteral("15")},
        {QStringLiteral("x11-forwarding"), QStringLiteral("warn"), QStringLiteral("X11Forwarding"), QStringLiteral("yes"), QStringLiteral("no")},
        {QStringLiteral("tcp-forwarding"), QStringLiteral("warn"), QStringLiteral("AllowTcpForwarding"), QStringLiteral("yes"), QStringLiteral("no")},
        {QStringLiteral("agent-forwarding"), QStringLiteral("warn"), QStringLiteral("AllowAgentForwarding"), QStringLiteral("yes"), QStringLiteral("no")},
        {QStringLiteral("max-startups"), QStringLiteral("warn"), QStringLiteral("MaxStartups"), QStringLiteral("10:30:100"), QStringLiteral("10:30:60")},
        {QStringLiteral("mac-encrypt-and-mac"),
         QStringLiteral("warn"),
         QStringLiteral("MACs"),
         QStringLiteral("umac-128@openssh.com,hmac-sha2-256,hmac-sha2-512"),
         macs},
        {QStringLiteral("moduli-weak"),
         QStringLiteral("warn"),
         QStringLiteral("/etc/ssh/moduli"),
         QStringLiteral("60 of 423 under 3072 bits"),
         QStringLiteral("none under 3072 bits")},
        {QStringLiteral("sshd-config-mode"),
         QStringLiteral("warn"),
         QStringLiteral("/etc/ssh/sshd_config"),
         QStringLiteral("0644 uid 0"),
         QStringLiteral("0600 uid 0")},
        {QStringLiteral("banner"), QStringLiteral("info"), QStringLiteral("Banner"), QStringLiteral("none"), QString()},
        {QStringLiteral("access-list"),
         QStringLiteral("info"),
         QStringLiteral("AllowUsers AllowGroups DenyUsers DenyGroups"),
         QStringLiteral("none"),
         QString()},
    };
    QVariantList findings;
    for (const QStringList &row : rows) {
        // Debian's own file sets X11Forwarding; the moduli and files are where they are; the rest is built in.
        QString origin = row.at(2).startsWith(QLatin1Char('/')) ? row.at(2) : QStringLiteral("default");
        if (row.at(0) == QLatin1String("x11-forwarding")) {
            origin = QStringLiteral("/etc/ssh/sshd_config:94");
        }
        findings.append(QVariantMap{{Reply::FindingId, row.at(0)},
                                    {Reply::FindingSeverity, row.at(1)},
                                    {Reply::FindingSubject, row.at(2)},
                                    {Reply::FindingCurrent, row.at(3)},
                                    {Reply::FindingRecommended, row.at(4)},
                                    {Reply::FindingOrigin, origin},
                                    {Reply::FindingBlock, QString()},
                                    {Reply::FindingFixable, !row.at(4).isEmpty()}});
    }
    return findings;
}

// Debian 12's three host keys, as its installation makes them.
QVariantList debian12HostKeys()
{
    namespace Reply = SSHSettings::Protocol::Reply;
    const QList<std::tuple<const char *, const char *, int, const char *>> keys{
        {"ecdsa", "ECDSA", 256, "SHA256:0rVf4qRw7bJd3mYvS1kXnT9cPzLh2uGe8aNo5iWxQyE"},
        {"ed25519", "ED25519", 256, "SHA256:Jm6tYc2pQe9ZrV1nLw8kXs4hBf7uDa3gTo5iEyN0qRc"},
        {"rsa", "RSA", 3072, "SHA256:uH3xKq7vWm1pZs9cRt5yLb2nGe8fDj4aVo6iXwN0kTe"},
    };
    QVariantList result;
    for (const auto &[name, type, bits, fingerprint] : keys) {
        result.append(QVariantMap{{Reply::HostKeyEntryFile, QStringLiteral("/etc/ssh/ssh_host_%1_key").arg(QLatin1String(name))},
                                  {Reply::HostKeyEntryType, QLatin1String(type)},
                                  {Reply::HostKeyEntryBits, bits},
                                  {Reply::HostKeyEntryFingerprint, QLatin1String(fingerprint)},
                                  {Reply::HostKeyEntryMode, 0600},
                                  {Reply::HostKeyEntryOwner, QStringLiteral("root")},
                                  {Reply::HostKeyEntryConfigured, true},
                                  {Reply::HostKeyEntryPresent, true}});
    }
    return result;
}
}

DemoActionRunner::DemoActionRunner()
{
    if (!prepare() && m_error.isEmpty()) {
        m_error = QStringLiteral("cannot prepare the demonstration configuration in %1").arg(m_dir.path());
    }
}

bool DemoActionRunner::isValid() const
{
    return m_engine != nullptr;
}

QString DemoActionRunner::root() const
{
    return m_dir.path();
}

QString DemoActionRunner::errorString() const
{
    return m_error;
}

bool DemoActionRunner::prepare()
{
    if (!m_dir.isValid()) {
        return false;
    }
    EnginePaths paths = EnginePaths::system();
    const QString dir = m_dir.path();
    // The files lie under the folder as they do under / (the page is shown them without it: shown()).
    const QString etc = dir + QStringLiteral("/etc");
    const QString ssh = etc + QStringLiteral("/ssh");
    if (!QDir().mkpath(ssh + QStringLiteral("/sshd_config.d"))) {
        return false;
    }
    // ssh -G reads the client configuration as an unprivileged account.
    for (const QString &folder : {dir, etc, ssh}) {
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                  | QFileDevice::ReadOther | QFileDevice::ExeOther);
    }
    paths.serverConfig = ssh + QStringLiteral("/sshd_config");
    paths.clientConfig = ssh + QStringLiteral("/ssh_config");
    paths.serverBackup = ssh + QStringLiteral("/sshd_config.bak");
    paths.clientBackup = ssh + QStringLiteral("/ssh_config.bak");
    paths.backupDir = dir + QStringLiteral("/var/backups/ssh-settings");
    paths.bannerRoot = etc;
    // sshd "runs" and restarts at once; the countdown of an unkept change is the page's alone.
    paths.initScript = QStringLiteral("/bin/true");
    paths.systemdRunDir = dir + QStringLiteral("/no-systemd");
    paths.tool = QStringLiteral("/bin/true");
    paths.localAddresses = [] {
        return QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("::1"), QStringLiteral("192.0.2.5")};
    };

    const QString hostKey = dir + QStringLiteral("/ssh_host_ed25519_key");
    if (!generateKey(paths.sshKeygen, hostKey, QStringLiteral("ed25519"), {}, QStringLiteral("host"))) {
        m_error = QStringLiteral("ssh-keygen could not make a host key");
        return false;
    }
    paths.sshdExtraArguments = QStringList{QStringLiteral("-h"), hostKey};

    QByteArray keys;
    const QList<QStringList> demoKeys{
        {QStringLiteral("ed25519"), QString(), QStringLiteral("alice@workstation")},
        {QStringLiteral("ecdsa"), QStringLiteral("384"), QStringLiteral("backup@nas")},
        {QStringLiteral("rsa"), QStringLiteral("3072"), QStringLiteral("deploy@ci")},
    };
    for (int i = 0; i < demoKeys.size(); ++i) {
        const QString path = dir + QStringLiteral("/user_key_%1").arg(i);
        const QStringList &key = demoKeys.at(i);
        if (!generateKey(paths.sshKeygen, path, key.at(0), key.at(1), key.at(2))) {
            m_error = QStringLiteral("ssh-keygen could not make a %1 key").arg(key.at(0));
            return false;
        }
        QFile publicKey(path + QStringLiteral(".pub"));
        if (!publicKey.open(QIODevice::ReadOnly)) {
            return false;
        }
        keys += publicKey.readAll();
    }
    const QString keysFile = ssh + QStringLiteral("/authorized_keys");
    const QString banner = etc + QStringLiteral("/issue.net");
    // A cloud image's drop-in and a Match block: values that come from elsewhere than the main file.
    if (!writeFile(ssh + QStringLiteral("/sshd_config.d/50-cloud-init.conf"), "PasswordAuthentication no\n")) {
        return false;
    }
    const QByteArray server = QByteArrayLiteral("# Demonstration server configuration\n") + "Include " + ssh.toUtf8() +
        "/sshd_config.d/*.conf\n"
        "Port 2222\n"
        "ListenAddress 127.0.0.1:2222\n"
        "ListenAddress [::1]:2222\n"
        "ListenAddress 192.0.2.5:22\n"
        "PermitRootLogin prohibit-password\n"
        "PasswordAuthentication yes\n"
        "KbdInteractiveAuthentication no\n"
        "UsePAM yes\n"
        "X11Forwarding yes\n"
        "PrintMotd no\n"
        "MaxSessions 4\n"
        "LoginGraceTime 60\n"
        "AuthorizedKeysFile " +
        keysFile.toUtf8() + " .ssh/authorized_keys\n" + "Banner " + banner.toUtf8() +
        "\n"
        "AllowUsers alice bob@192.0.2.7 carol@198.51.100.*\n"
        "DenyUsers *@203.0.113.9 mallory\n"
        "AllowGroups admins\n"
        "DenyGroups guests\n"
        "Subsystem sftp /usr/lib/openssh/sftp-server\n"
        "Match User anoncvs\n"
        "    X11Forwarding no\n";
    const QByteArray client = QByteArrayLiteral("Host *\n    ServerAliveInterval 30\n    ServerAliveCountMax 4\n");
    if (!writeFile(paths.serverConfig, server) || !writeFile(paths.clientConfig, client) || !writeFile(keysFile, keys)
        || !writeFile(banner, "Authorised access only.\nAll connections are logged.\n")) {
        return false;
    }
    // The client configuration is read without privileges: its folder and file are readable by all, like /etc/ssh.
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (!QFile::setPermissions(paths.clientConfig, readable)) {
        return false;
    }
    m_engine = std::make_unique<Engine>(paths);
    return true;
}

QByteArray DemoActionRunner::demoJournal() const
{
    // What sshd logs for a key login, a password login after two typos, a
    // keyboard-interactive login since closed and a few attackers, as the
    // helper's filter reduces it.
    const QDateTime opened = QDateTime::currentDateTimeUtc().addSecs(-754);
    QByteArray journal;
    const auto line = [&](int offsetSeconds, int pid, const QByteArray &message) {
        journal += opened.addSecs(offsetSeconds).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz000+00:00")).toUtf8() + " demo sshd-session["
            + QByteArray::number(pid) + "]: " + message + '\n';
    };
    const QList<QPair<QByteArray, QByteArray>> attackers = {{"203.0.113.9", "root"}, {"198.51.100.23", "admin"}, {"192.0.2.200", "oracle"}};
    for (int i = 0; i < 60; ++i) {
        const auto &attacker = attackers.at(i % 7 == 0 ? 2 : i % 3 == 0 ? 1 : 0);
        line(-3600 + i * 40,
             5000 + i / 3,
             "Failed password for invalid user " + attacker.second + QByteArray::number(i % 5) + " from " + attacker.first + " port "
                 + QByteArray::number(40000 + i) + " ssh2");
    }
    line(-900, 4100, "Accepted keyboard-interactive/pam for carol from 198.51.100.70 port 52011 ssh2");
    line(-300, 4100, "pam_unix(sshd:session): session closed for user carol");
    line(-6, 4242, "Failed password for bob from 2001:db8::17 port 50122 ssh2");
    line(-3, 4242, "Failed password for bob from 2001:db8::17 port 50122 ssh2");
    line(0, 4242, "Accepted password for bob from 2001:db8::17 port 50122 ssh2");
    line(20, 4300, "Accepted publickey for alice from 192.0.2.44 port 41000 ssh2: ED25519 SHA256:8Kq2v1m0b5JtE0x3yq6c4VwQeP1lYF7n2d9sR4hGZk");
    journal += "-- cursor: s=demo;i=5\n";
    return JournalFilter::reduce(journal);
}

void DemoActionRunner::start(const QString &actionName,
                             const SSHSettings::ActionArguments &arguments,
                             SSHSettings::ActionDone answered,
                             std::function<void()> released)
{
    QVariantMap map;
    for (const auto &argument : arguments) {
        map.insert(argument.first, argument.second);
    }
    // Answered on the next turn of the event loop, as the helper does; the nonce is echoed and never passed on to the dispatch.
    QTimer::singleShot(0, [this, actionName, map, answered, released]() mutable {
        const QVariant nonce = map.take(SSHSettings::Protocol::Arg::Nonce);
        SSHSettings::ActionResult result = answer(actionName, real(map).toMap());
        result.data = shown(result.data).toMap();
        result.errorText = shown(result.errorText).toString();
        result.data.insert(SSHSettings::Protocol::Reply::Nonce, nonce);
        answered(result);
        released();
    });
}

SSHSettings::ActionResult DemoActionRunner::answer(const QString &actionName, const QVariantMap &map)
{
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::ActionResult result;
    if (map.contains(Arg::ServiceCommand) || map.contains(Arg::KillPid)) {
        result.ok = true;
        return result;
    }
    // The security check shows what it finds in Debian 12's configuration as installed, not in the demonstration's.
    if (map.value(Arg::Audit).toBool() || map.value(Arg::ReadHostKeys).toBool()) {
        result.ok = true;
        namespace Reply = SSHSettings::Protocol::Reply;
        map.value(Arg::Audit).toBool() ? result.data.insert(Reply::Findings, debian12Findings()) : result.data.insert(Reply::HostKeys, debian12HostKeys());
        return result;
    }
    if (map.contains(Arg::JournalArguments)) {
        result.ok = true;
        result.data.insert(SSHSettings::Protocol::Reply::Output, m_journalSent ? JournalFilter::reduce("-- No entries --\n") : demoJournal());
        m_journalSent = true;
        return result;
    }
    const auto &actions = SSHSettings::Protocol::Actions;
    const auto action = std::find_if(std::begin(actions), std::end(actions), [&actionName](RequestDispatch::Action kind) {
        return SSHSettings::actionName(kind) == actionName;
    });
    if (action == std::end(actions)) {
        result.errorText = QStringLiteral("no action %1").arg(actionName);
        result.errorCode = -1;
        return result;
    }
    const Reply reply = RequestDispatch::dispatch(*m_engine, *action, map, ::geteuid());
    result.ok = reply.ok;
    result.errorText = reply.error;
    result.errorCode = reply.ok ? 0 : -1; // a refusal of the helper, as KAuth reports it
    result.data = reply.data;
    return result;
}

QVariant DemoActionRunner::shown(const QVariant &value) const
{
    const QString dir = m_dir.path();
    switch (value.userType()) {
    case QMetaType::QString:
        return QString(value.toString()).replace(dir, QString());
    case QMetaType::QByteArray:
        return QByteArray(value.toByteArray()).replace(dir.toUtf8(), QByteArray());
    case QMetaType::QStringList: {
        QStringList list = value.toStringList();
        list.replaceInStrings(dir, QString());
        return list;
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        const QVariantList values = value.toList();
        for (const QVariant &each : values) {
            list.append(shown(each));
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap values = value.toMap();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            map.insert(QString(it.key()).replace(dir, QString()), shown(it.value()));
        }
        return map;
    }
    default:
        return value;
    }
}

QVariant DemoActionRunner::real(const QVariant &value) const
{
    // A path the page names ("/etc/ssh/sshd_config") is the one under the folder when the folder has its first part.
    const auto path = [this](const QString &text) {
        const QString first = text.section(QLatin1Char('/'), 1, 1);
        return text.startsWith(QLatin1Char('/')) && !first.isEmpty() && QFileInfo::exists(m_dir.filePath(first)) ? m_dir.path() + text : text;
    };
    switch (value.userType()) {
    case QMetaType::QString:
        return path(value.toString());
    case QMetaType::QStringList: {
        QStringList list;
        const QStringList values = value.toStringList();
        for (const QString &each : values) {
            list.append(path(each));
        }
        return list;
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        const QVariantList values = value.toList();
        for (const QVariant &each : values) {
            list.append(real(each));
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap values = value.toMap();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            map.insert(path(it.key()), real(it.value()));
        }
        return map;
    }
    default:
        return value;
    }
}

bool DemoActionRunner::isEnabled() const
{
    return true;
}

bool DemoActionRunner::isActive() const
{
    return true;
}
