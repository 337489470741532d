// SPDX-License-Identifier: GPL-2.0-or-later
#include "testsandbox.h"

#include "runprogram.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>

TestSandbox::TestSandbox()
{
    paths = EnginePaths::system();
    paths.serverConfig = path(QStringLiteral("sshd_config"));
    paths.clientConfig = path(QStringLiteral("ssh_config"));
    paths.serverBackup = path(QStringLiteral("sshd_config.bak"));
    paths.clientBackup = path(QStringLiteral("ssh_config.bak"));
    paths.serverDefault = path(QStringLiteral("default/sshd_config"));
    paths.clientDefault = path(QStringLiteral("default/ssh_config"));
    paths.sshdPidFile = path(QStringLiteral("run/sshd.pid"));
    paths.systemdRunDir = path(QStringLiteral("run/systemd/system"));
    paths.bannerRoot = path(QStringLiteral("etc"));
    paths.sshdExtraArguments = QStringList {QStringLiteral("-h"), path(QStringLiteral("keys/host_ed25519_key"))};
    paths.localAddresses = [] {
        return QStringList {QStringLiteral("127.0.0.1"), QStringLiteral("::1"), QStringLiteral("192.0.2.2")};
    };
    QDir root(m_dir.path());
    for (const char *folder : {"sshd_config.d", "ssh_config.d", "default", "run", "etc/banners", "keys", "home"}) {
        root.mkpath(QLatin1String(folder));
    }
    const ProgramResult key = runProgram(paths.sshKeygen,
                                         {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                                          QStringLiteral("-f"), path(QStringLiteral("keys/host_ed25519_key"))});
    const QByteArray server = "Include @DROPIN@/*.conf\n\n#Port 22\n#ListenAddress 0.0.0.0\nKbdInteractiveAuthentication no\nUsePAM yes\n"
                              "X11Forwarding yes\nPrintMotd no\nAcceptEnv LANG LC_*\nSubsystem\tsftp\t/usr/lib/openssh/sftp-server\n"
                              "# Example of overriding settings on a per-user basis\nMatch User anoncvs\n\tX11Forwarding no\n\tPermitTTY no\n";
    write(QStringLiteral("sshd_config"), withDropinDir(server));
    write(QStringLiteral("default/sshd_config"), withDropinDir(server));
    write(QStringLiteral("ssh_config"),
          "Include " + QFile::encodeName(path(QStringLiteral("ssh_config.d"))) + "/*.conf\n\nHost *\n#   Port 22\n    SendEnv LANG LC_*\n");
    write(QStringLiteral("etc/banners/issue"), "Welcome\n");
    write(QStringLiteral("home/authorized_keys"), "");
    m_valid = m_dir.isValid() && key.succeeded();
}

QString TestSandbox::path(const QString &relative) const
{
    return m_dir.path() + QLatin1Char('/') + relative;
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

QByteArray TestSandbox::withDropinDir(QByteArray text) const
{
    return text.replace("@DROPIN@", QFile::encodeName(path(QStringLiteral("sshd_config.d"))));
}

QHash<QString, QByteArray> TestSandbox::snapshot() const
{
    QHash<QString, QByteArray> files;
    QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        struct stat st
        {
        };
        ::lstat(QFile::encodeName(name).constData(), &st);
        QByteArray state = QByteArray::number(st.st_mode) + ':' + QByteArray::number(st.st_uid) + ':';
        if (S_ISREG(st.st_mode)) {
            QFile file(name);
            if (file.open(QIODevice::ReadOnly)) {
                state += file.readAll();
            }
        }
        files.insert(name, state);
    }
    return files;
}
