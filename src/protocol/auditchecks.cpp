// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "auditchecks.h"

#include <QStringList>

#include <algorithm>

namespace AuditChecks
{
namespace
{
using S = Severity;
using G = Group;

// Marks a reason for extraction (Messages.sh passes N_ to xgettext); the page translates it when it shows it.
#define N_(text) text

// One row a line, whatever its length. References: CIS Debian Linux 12 Benchmark rule ids of §5.1, then the class.
// PermitRootLogin prohibit-password (and forced-commands-only) is a warning, not a failure: root may log in with a key
// only, which no password guessing reaches; the benchmark asks for "no", so it is still reported.
// PasswordAuthentication has no rule of its own in the benchmark; it is judged only when sshd listens beyond loopback.
// clang-format off
const QList<Check> s_checks = {
    // Algorithms offered by the effective configuration, one check per class and keyword.
    {"kex-weak", S::Fail, G::Algorithms, "kexalgorithms", "", "", "", "", N_("Key exchanges with SHA-1 or small groups, or over NIST curves, that the server offers"), "5.1.12; broken: diffie-hellman-group1-sha1, diffie-hellman-group14-sha1, diffie-hellman-group-exchange-sha1; weak curves: ecdh-sha2-nistp*"},
    {"cipher-weak", S::Fail, G::Algorithms, "ciphers", "", "", "", "", N_("Ciphers in CBC mode or RC4 that the server offers"), "5.1.6; broken: 3des-cbc, *-cbc, arcfour*"},
    {"mac-weak", S::Fail, G::Algorithms, "macs", "", "", "", "", N_("Message authentication with MD5, SHA-1 or 64-bit tags that the server offers"), "5.1.15; broken: hmac-md5*, hmac-sha1*, umac-64*"},
    {"mac-small-tag", S::Warn, G::Algorithms, "macs", "", "", "", "", N_("Message authentication with truncated tags that the server offers"), "5.1.15; small tags: *-96"},
    {"mac-encrypt-and-mac", S::Warn, G::Algorithms, "macs", "", "", "", "", N_("Message authentication computed over the plain text (encrypt-and-MAC) rather than over the cipher text"), "5.1.15; encrypt-and-MAC: MACs without -etm"},
    {"hostkey-algorithm-weak", S::Fail, G::Algorithms, "hostkeyalgorithms", "", "", "", "", N_("Host key signatures with SHA-1, DSA or NIST curves that the server offers"), "broken: ssh-dss, ssh-rsa (SHA-1); weak curves: ecdsa-sha2-nistp*, their certificates"},
    {"pubkey-algorithm-weak", S::Fail, G::Algorithms, "pubkeyacceptedalgorithms", "", "", "", "", N_("User key signatures with SHA-1, DSA or NIST curves that the server accepts"), "broken: ssh-dss, ssh-rsa (SHA-1); weak curves: ecdsa-sha2-nistp*, their certificates"},
    {"ca-algorithm-weak", S::Fail, G::Algorithms, "casignaturealgorithms", "", "", "", "", N_("Certificate authority signatures with SHA-1, DSA or NIST curves that the server accepts"), "broken: ssh-dss, ssh-rsa (SHA-1); weak curves: ecdsa-sha2-nistp*"},
    // Host keys and moduli (judged by the host key part of the helper).
    {"hostkey-rsa-size", S::Fail, G::HostKeys, "hostkey", "", "", "", "", N_("An RSA host key shorter than 3072 bits (a failure below 2048)"), "5.1.2"},
    {"hostkey-dsa", S::Fail, G::HostKeys, "hostkey", "", "", "", "", N_("A DSA host key, which modern clients refuse"), "5.1.2; broken: ssh-dss"},
    {"hostkey-ecdsa", S::Fail, G::HostKeys, "hostkey", "", "", "", "", N_("An ECDSA host key, over NIST curves"), "5.1.2; weak curves: ecdsa-sha2-nistp*"},
    {"hostkey-permissions", S::Fail, G::HostKeys, "hostkey", "", "", "", "", N_("A host key file that is not root's with mode 0600 (0644 for the public key)"), "5.1.2, 5.1.3"},
    {"hostkey-missing", S::Warn, G::HostKeys, "hostkey", "", "", "", "", N_("A HostKey line names a file that does not exist"), ""},
    {"moduli-weak", S::Warn, G::Moduli, "/etc/ssh/moduli", "", "", "", "", N_("Diffie-Hellman groups shorter than 3072 bits in the moduli file"), "group exchange under 3072 bits"},
    // Options of the effective configuration.
    {"permit-root-login", S::Fail, G::Options, "permitrootlogin", "no", "without-password|prohibit-password|forced-commands-only", "", "no", N_("Root may log in directly, so no one has to log in as themselves first"), "5.1.20"},
    {"password-authentication", S::Warn, G::Options, "passwordauthentication", "no", "", "", "no", N_("Passwords may be guessed from the network: sshd listens beyond this machine"), ""},
    {"permit-empty-passwords", S::Fail, G::Options, "permitemptypasswords", "no", "", "", "no", N_("Accounts without a password may log in"), "5.1.19"},
    {"max-auth-tries", S::Warn, G::Options, "maxauthtries", "1..4", "", "", "4", N_("More attempts per connection make guessing cheaper"), "5.1.16"},
    {"login-grace-time", S::Warn, G::Options, "logingracetime", "1..60", "", "", "60", N_("Connections that do not log in hold a slot this long"), "5.1.13"},
    {"client-alive-interval", S::Warn, G::Options, "clientaliveinterval", "1..", "", "", "15", N_("Dead or abandoned connections are never noticed"), "5.1.7"},
    {"client-alive-count-max", S::Warn, G::Options, "clientalivecountmax", "1..3", "", "", "3", N_("Unanswered keep-alive messages allowed before a connection is dropped"), "5.1.7"},
    {"log-level", S::Warn, G::Options, "loglevel", "INFO|VERBOSE", "", "", "VERBOSE", N_("Logins must be logged, without the secrets debug levels write"), "5.1.14"},
    {"x11-forwarding", S::Warn, G::Options, "x11forwarding", "no", "", "disableforwarding=yes", "no", N_("Clients may forward X11, which exposes their display"), "5.1.8"},
    {"tcp-forwarding", S::Warn, G::Options, "allowtcpforwarding", "no", "", "disableforwarding=yes", "no", N_("Clients may tunnel connections through the server"), "5.1.8"},
    {"agent-forwarding", S::Warn, G::Options, "allowagentforwarding", "no", "", "disableforwarding=yes", "no", N_("Clients may forward their key agent, which root on the server can use"), "5.1.8"},
    {"permit-user-environment", S::Fail, G::Options, "permituserenvironment", "no", "", "", "no", N_("Users may set environment variables that bypass restrictions"), "5.1.21"},
    {"max-startups", S::Warn, G::Options, "maxstartups", "startups", "", "", "10:30:60", N_("Many unauthenticated connections may wait at once"), "5.1.18"},
    {"max-sessions", S::Warn, G::Options, "maxsessions", "0..10", "", "", "10", N_("Many sessions may share one connection"), "5.1.17"},
    {"ignore-rhosts", S::Fail, G::Options, "ignorerhosts", "yes", "", "", "yes", N_(".rhosts and .shosts files may grant logins"), "5.1.11"},
    {"hostbased-authentication", S::Fail, G::Options, "hostbasedauthentication", "no", "", "", "no", N_("Trust in other hosts may grant logins"), "5.1.10"},
    {"gssapi-authentication", S::Warn, G::Options, "gssapiauthentication", "no", "", "", "no", N_("Kerberos logins are on where no realm may be set up"), "5.1.9"},
    {"use-pam", S::Warn, G::Options, "usepam", "yes", "", "", "yes", N_("Account and session rules of PAM are not applied"), "5.1.22"},
    {"banner", S::Info, G::Options, "banner", "set", "", "", "", N_("No warning is shown before login; set one in the banner settings"), "5.1.5"},
    {"access-list", S::Info, G::Options, "allowusers allowgroups denyusers denygroups", "any", "", "", "", N_("Every account may log in; limit them in the access settings"), "5.1.4"},
    {"sshd-config-mode", S::Warn, G::Options, "sshd_config", "mode", "", "", "0600", N_("The server configuration may be read by others than root"), "5.1.1"},
};
// clang-format on

template<size_t N>
bool matches(const QString &name, const char *const (&patterns)[N])
{
    return std::any_of(patterns, patterns + N, [&name](const char *pattern) {
        const QString text = QLatin1String(pattern);
        return text.endsWith(QLatin1Char('*')) ? name.startsWith(text.chopped(1)) : name == text;
    });
}

// The post-quantum hybrid key exchanges, first in a recommended list where this OpenSSH supports them.
const QStringList s_postQuantum = {QStringLiteral("mlkem768x25519-sha256"),
                                   QStringLiteral("sntrup761x25519-sha512"),
                                   QStringLiteral("sntrup761x25519-sha512@openssh.com")};
}

const QList<Check> &checks()
{
    return s_checks;
}

const Check *find(const QString &id)
{
    const auto found = std::find_if(s_checks.cbegin(), s_checks.cend(), [&id](const Check &check) {
        return id == QLatin1String(check.id);
    });
    return found == s_checks.cend() ? nullptr : &*found;
}

QString reason(const QString &id)
{
    const Check *check = find(id);
    return check ? QString::fromLatin1(check->reason) : QString();
}

QString severityWord(Severity severity)
{
    static const char *const words[] = {"fail", "warn", "info"};
    return QLatin1String(words[int(severity)]);
}

QString algorithmCheck(const QString &reads, const QString &name)
{
    static const char *const kex[] = {"diffie-hellman-group1-sha1", "diffie-hellman-group14-sha1", "diffie-hellman-group-exchange-sha1", "ecdh-sha2-nistp*"};
    static const char *const keys[] =
        {"ssh-dss*", "ssh-rsa", "ssh-rsa-cert-v01@openssh.com", "ecdsa-sha2-nistp*", "sk-ecdsa-sha2-nistp*", "webauthn-sk-ecdsa-sha2-nistp*"};
    static const char *const macs[] = {"hmac-md5*", "hmac-sha1*", "umac-64*"};
    if (reads == QLatin1String("kexalgorithms")) {
        return matches(name, kex) ? QStringLiteral("kex-weak") : QString();
    }
    if (reads == QLatin1String("ciphers")) {
        const bool weak = name.contains(QLatin1String("-cbc")) || name.startsWith(QLatin1String("arcfour")) || name.startsWith(QLatin1String("rijndael"));
        return weak ? QStringLiteral("cipher-weak") : QString();
    }
    if (reads == QLatin1String("macs")) {
        if (matches(name, macs)) {
            return QStringLiteral("mac-weak");
        }
        if (name.section(QLatin1Char('@'), 0, 0).endsWith(QLatin1String("-96"))) {
            return QStringLiteral("mac-small-tag");
        }
        return name.contains(QLatin1String("-etm@")) ? QString() : QStringLiteral("mac-encrypt-and-mac");
    }
    for (const char *check : {"hostkey-algorithm-weak", "pubkey-algorithm-weak", "ca-algorithm-weak"}) {
        if (reads == QLatin1String(find(QLatin1String(check))->reads)) {
            return matches(name, keys) ? QLatin1String(check) : QString();
        }
    }
    return QString();
}

QStringList recommendedAlgorithms(const QString &reads, const QStringList &offered, const QStringList &supported)
{
    const auto passing = [&reads](const QStringList &names) {
        QStringList kept;
        std::copy_if(names.cbegin(), names.cend(), std::back_inserter(kept), [&reads](const QString &name) {
            return algorithmCheck(reads, name).isEmpty();
        });
        return kept;
    };
    QStringList list = passing(offered);
    if (list.isEmpty()) {
        list = passing(supported);
    }
    if (reads == QLatin1String("kexalgorithms")) {
        for (auto it = s_postQuantum.crbegin(); it != s_postQuantum.crend(); ++it) {
            if (supported.contains(*it) || list.contains(*it)) {
                list.removeAll(*it);
                list.prepend(*it);
            }
        }
    }
    return list;
}
}
