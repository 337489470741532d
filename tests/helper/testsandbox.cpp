// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testsandbox.h"

#include "runprogram.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

TestSandbox::TestSandbox()
{
    // The reader account of `ssh -G` must be able to read the client configuration.
    ::chmod(QFile::encodeName(root()).constData(), 0755);
    paths = EnginePaths::system().filesUnder(root());
    // The service stand-ins live in the tree too.
    paths.initScript = root() + paths.initScript;
    paths.systemdRunDir = root() + paths.systemdRunDir;
    paths.sshdExtraArguments = QStringList{QStringLiteral("-h"), path(QStringLiteral("keys/host_ed25519_key"))};
    // No sshd listens here: each socket is tried once after a restart, not for seconds.
    paths.probeTotalMs = 0;
    paths.probeAttemptMs = 500;
    paths.localAddresses = [] {
        return QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("::1"), QStringLiteral("192.0.2.2")};
    };
    const QString home = path(QStringLiteral("home"));
    paths.lookupUser = [home](uid_t uid, UserAccount *account) {
        if (uid == ::geteuid()) {
            *account = {QStringLiteral("tester"), home + QLatin1String("/tester"), uid, ::getegid()};
        } else if (uid == OtherUid) {
            *account = {QStringLiteral("other"), home + QLatin1String("/other"), uid, gid_t(OtherUid)};
        } else {
            return false;
        }
        return true;
    };
    QDir tree(root());
    for (const char *folder :
         {"etc/ssh/sshd_config.d", "etc/ssh/ssh_config.d", "etc/banners", "usr/share/openssh", "run", "keys", "home/tester/.ssh", "home/other/.ssh"}) {
        tree.mkpath(QLatin1String(folder));
    }
    // The root-only backup folder where the writers' lock lives, as after the first change.
    tree.mkpath(paths.backupDir);
    ::chmod(QFile::encodeName(paths.backupDir).constData(), 0700);
    // One host key for every sandbox of the process.
    static const QByteArray privateKey = [] {
        QTemporaryDir dir;
        const QString file = dir.path() + QLatin1String("/key");
        runProgram(EnginePaths::system().sshKeygen,
                   {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(), QStringLiteral("-f"), file});
        QFile key(file);
        return key.open(QIODevice::ReadOnly) ? key.readAll() : QByteArray();
    }();
    static const QByteArray publicKey =
        runProgram(EnginePaths::system().sshKeygen, {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("/dev/stdin")}, privateKey).standardOutput;
    // Debian's sshd_config, shortened.
    const QByteArray server = "Include " + QFile::encodeName(path(QStringLiteral("etc/ssh/sshd_config.d"))) +
        "/*.conf\n\n#Port 22\n#ListenAddress 0.0.0.0\nKbdInteractiveAuthentication no\nUsePAM yes\n"
        "X11Forwarding yes\nPrintMotd no\nAcceptEnv LANG LC_*\nSubsystem\tsftp\t/usr/lib/openssh/sftp-server\n"
        "# Example of overriding settings on a per-user basis\nMatch User anoncvs\n\tX11Forwarding no\n\tPermitTTY no\n";
    write(QStringLiteral("etc/ssh/sshd_config"), server);
    write(QStringLiteral("usr/share/openssh/sshd_config"), server);
    write(QStringLiteral("etc/ssh/ssh_config"),
          "Include " + QFile::encodeName(path(QStringLiteral("etc/ssh/ssh_config.d")))
              + "/*.conf\n\nHost *\n#   Port 22\n    SendEnv LANG LC_*\n    GSSAPIAuthentication yes\n");
    write(QStringLiteral("etc/issue.net"), "Debian GNU/Linux\n");
    write(QStringLiteral("etc/banners/issue"), "Welcome\n");
    write(QStringLiteral("home/tester/.ssh/authorized_keys"), "# no keys yet\n");
    write(QStringLiteral("keys/host_ed25519_key"), privateKey);
    write(QStringLiteral("keys/host_ed25519_key.pub"), publicKey);
    ::chmod(QFile::encodeName(path(QStringLiteral("keys/host_ed25519_key"))).constData(), 0600);
    m_valid = m_dir.isValid() && !privateKey.isEmpty() && publicKey.startsWith("ssh-ed25519 ");
}

QString TestSandbox::path(const QString &relative) const
{
    return root() + QLatin1Char('/') + relative;
}

void TestSandbox::write(const QString &relative, const QByteArray &contents) const
{
    QFile file(path(relative));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(contents);
    }
}

QByteArray TestSandbox::read(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString TestSandbox::publicKey() const
{
    return QString::fromLatin1(read(QStringLiteral("keys/host_ed25519_key.pub"))).trimmed();
}

QHash<QString, QByteArray> TestSandbox::snapshot() const
{
    QHash<QString, QByteArray> files;
    QDirIterator it(root(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        // The writers' lock file, made by the first writer, holds no configuration.
        if (name == paths.backupDir + QLatin1String("/lock")) {
            continue;
        }
        struct stat st {
        };
        ::lstat(QFile::encodeName(name).constData(), &st);
        QByteArray state = QByteArray::number(st.st_mode, 8) + ':' + QByteArray::number(st.st_uid) + ':';
        if (S_ISREG(st.st_mode)) {
            QFile file(name);
            if (file.open(QIODevice::ReadOnly)) {
                state += file.readAll();
            }
        } else if (S_ISLNK(st.st_mode)) {
            state += QFile::encodeName(QFile::symLinkTarget(name));
        }
        files.insert(name.mid(root().size()), state);
    }
    return files;
}
