// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The files of host keys and of the moduli, read and written through pinned folders, no link followed.
#include "hostkeys.h"

#include "configbackups.h"
#include "configdocument.h"
#include "configuration.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace
{
constexpr qint64 MaxKeyFileSize = 1024 * 1024;
constexpr qint64 MaxModuliSize = 16 * 1024 * 1024;
// Generating a large RSA key takes a while; the module waits longer (SSHSettings::Protocol::ActionTimeoutMs).
constexpr int KeygenTimeoutMs = 240000;
static_assert(SSHSettings::Protocol::ActionTimeoutMs > KeygenTimeoutMs + 30000);

// The key's files as they are, no link followed, and what ssh-keygen -l says of its public half.
void inspect(const EnginePaths &paths, HostKeys::Key *key)
{
    const QFileInfo info(key->file);
    const PinnedFolder folder(info.path(), {});
    struct stat status;
    if (!folder.isValid() || !folder.stat(info.fileName(), &status)) {
        return;
    }
    key->present = true;
    key->regular = S_ISREG(status.st_mode);
    key->mode = int(status.st_mode & 07777);
    key->owner = status.st_uid;
    key->device = status.st_dev;
    key->inode = status.st_ino;
    if (!key->regular) {
        return;
    }
    QByteArray publicKey;
    QString error;
    const QString publicName = info.fileName() + QLatin1String(".pub");
    if (folder.stat(publicName, &status)) {
        key->publicMode = int(status.st_mode & 07777);
        key->publicOwner = status.st_uid;
        folder.read(publicName, &publicKey, MaxKeyFileSize, &error);
    }
    QByteArray privateKey;
    if (publicKey.isEmpty() && folder.read(info.fileName(), &privateKey, MaxKeyFileSize, &error)) {
        // An empty passphrase: a protected key fails at once instead of prompting on a terminal.
        publicKey =
            runProgram(paths.sshKeygen, {QStringLiteral("-y"), QStringLiteral("-P"), QString(), QStringLiteral("-f"), QStringLiteral("/dev/stdin")}, privateKey)
                .standardOutput;
    }
    if (!publicKey.isEmpty()) {
        const ProgramResult listed = runProgram(paths.sshKeygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("/dev/stdin")}, publicKey);
        if (listed.succeeded()) {
            HostKeys::parseFingerprint(listed.standardOutput, &key->print);
        }
    }
}
}

namespace HostKeys
{
QString ownerName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

Listing listKeys(const EnginePaths &paths, const Configuration &configuration)
{
    Listing listing;
    QList<Key> *keys = &listing.keys;
    QString reason;
    ConfigDocument document(ConfigDocument::Dialect::Server);
    if (!document.load(paths.serverConfig, &reason)) {
        listing.error = {Refusal::Code::Failed, {reason}};
        return listing;
    }
    QHash<QString, QString> lines;
    QList<QByteArray> used;
    const QList<ConfigDocument::Occurrence> found = document.occurrences("hostkey");
    for (const ConfigDocument::Occurrence &occurrence : found) {
        const QString path = QString::fromUtf8(occurrence.arguments.value(0));
        if (!lines.contains(path)) {
            lines.insert(path, QStringLiteral("%1:%2").arg(document.filePaths().value(occurrence.file)).arg(occurrence.line + 1));
            used.append(occurrence.arguments.value(0));
        }
    }
    listing.fromLines = !lines.isEmpty();
    // Without HostKey lines sshd loads the keys its build knows; sshd -T fails when it can load none of them.
    Configuration::Values values;
    const bool effective = configuration.effectiveValues(OptionCatalog::ConfigType::Server, paths.serverConfig, &values, &reason);
    if (!listing.fromLines) {
        used = effective ? values.value("hostkey")
                         : QList<QByteArray>{"/etc/ssh/ssh_host_rsa_key", "/etc/ssh/ssh_host_ecdsa_key", "/etc/ssh/ssh_host_ed25519_key"};
    }
    listing.algorithms = QString::fromUtf8(values.value("hostkeyalgorithms").value(0)).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const auto known = [keys](const QString &file) {
        return std::any_of(keys->cbegin(), keys->cend(), [&file](const Key &key) {
            return key.file == file;
        });
    };
    const QString systemFolder = QStringLiteral("/etc/ssh/");
    for (const QByteArray &value : std::as_const(used)) {
        Key key;
        key.file = QString::fromUtf8(value);
        key.configured = true;
        key.fromLine = lines.contains(key.file);
        key.origin = key.fromLine ? lines.value(key.file) : QStringLiteral("default");
        // sshd's built-in defaults name the system's folder; a tree has its own.
        if (!key.fromLine && key.file.startsWith(systemFolder)) {
            key.file = paths.sshDir + QLatin1Char('/') + key.file.mid(systemFolder.size());
        }
        if (!known(key.file)) {
            keys->append(key);
        }
    }
    static const QRegularExpression keyName(QStringLiteral("^ssh_host_[a-z0-9]+_key(-[0-9]+)?$"));
    const QStringList names = QDir(paths.sshDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString file = paths.sshDir + QLatin1Char('/') + name;
        if (keyName.match(name).hasMatch() && !known(file)) {
            Key key;
            key.file = file;
            keys->append(key);
        }
    }
    for (Key &key : *keys) {
        inspect(paths, &key);
    }
    // A key of the folder that a HostKey line names by another path is that key.
    keys->erase(std::remove_if(keys->begin(),
                               keys->end(),
                               [keys](const Key &key) {
                                   return !key.configured && std::any_of(keys->cbegin(), keys->cend(), [&key](const Key &other) {
                                       return other.configured && other.sameFile(key);
                                   });
                               }),
                keys->end());
    return listing;
}

QString moduliPath(const EnginePaths &paths)
{
    return paths.sshDir + QLatin1String("/moduli");
}

bool readModuliFile(const EnginePaths &paths, QByteArray *contents, struct stat *status)
{
    const PinnedFolder folder(paths.sshDir, {});
    QString error;
    return folder.stat(QStringLiteral("moduli"), status) && folder.read(QStringLiteral("moduli"), contents, MaxModuliSize, &error);
}

QString freshKeyPath(const EnginePaths &paths, const QString &type, const QList<Key> &keys)
{
    const PinnedFolder folder(paths.sshDir, {});
    for (int n = 1; folder.isValid() && n < 100; ++n) {
        const QString name = QStringLiteral("ssh_host_%1_key").arg(type) + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        const QString path = paths.sshDir + QLatin1Char('/') + name;
        struct stat status;
        const bool named = std::any_of(keys.cbegin(), keys.cend(), [&path](const Key &key) {
            return key.file == path;
        });
        if (!named && !folder.stat(name, &status) && !folder.stat(name + QLatin1String(".pub"), &status)) {
            return path;
        }
    }
    return QString();
}

bool installKey(const EnginePaths &paths, const QString &type, int bits, const QString &path, QString *error)
{
    QTemporaryDir temporary;
    if (!temporary.isValid()) {
        *error = temporary.errorString();
        return false;
    }
    QStringList arguments = {QStringLiteral("-q"), QStringLiteral("-t"), type};
    if (type == QLatin1String("rsa")) {
        arguments << QStringLiteral("-b") << QString::number(bits);
    }
    arguments << QStringLiteral("-N") << QString() << QStringLiteral("-C") << QString() << QStringLiteral("-f") << temporary.filePath(QStringLiteral("key"));
    const ProgramResult made = runProgram(paths.sshKeygen, arguments, {}, KeygenTimeoutMs);
    if (!made.succeeded()) {
        *error = made.reason(paths.sshKeygen);
        return false;
    }
    const PinnedFolder source(temporary.path(), {});
    const PinnedFolder target(paths.sshDir, {});
    const QString name = QFileInfo(path).fileName();
    QByteArray privateKey;
    QByteArray publicKey;
    if (!source.read(QStringLiteral("key"), &privateKey, MaxKeyFileSize, error) || !source.read(QStringLiteral("key.pub"), &publicKey, MaxKeyFileSize, error)) {
        return false;
    }
    if (!target.isValid()) {
        *error = target.error();
        return false;
    }
    if (!target.write(name, privateKey, ::geteuid(), ::getegid(), 0600, error)
        || !target.write(name + QLatin1String(".pub"), publicKey, ::geteuid(), ::getegid(), 0644, error)) {
        QString ignored;
        target.remove(name, &ignored);
        return false;
    }
    return true;
}

void removeKeyFiles(const QString &path)
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.path(), {});
    QString ignored;
    folder.remove(info.fileName(), &ignored);
    folder.remove(info.fileName() + QLatin1String(".pub"), &ignored);
}

bool moveToBackups(const EnginePaths &paths, const QString &path, QString *error)
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.path(), {});
    QList<SavedFile> saved;
    for (const QString &name : {info.fileName(), QString(info.fileName() + QLatin1String(".pub"))}) {
        struct stat status;
        if (!folder.stat(name, &status)) {
            continue;
        }
        SavedFile file;
        file.path = info.path() + QLatin1Char('/') + name;
        file.mode = status.st_mode & 07777;
        file.uid = status.st_uid;
        file.gid = status.st_gid;
        if (!folder.read(name, &file.contents, MaxKeyFileSize, error)) {
            return false;
        }
        saved.append(file);
    }
    QString kept;
    if (saved.isEmpty() || !ConfigBackups(paths.backupDir).keepReplaced(QLatin1String("hostkey-") + info.fileName(), saved, &kept, error)) {
        return saved.isEmpty();
    }
    for (const SavedFile &file : std::as_const(saved)) {
        if (!folder.remove(QFileInfo(file.path).fileName(), error)) {
            return false;
        }
    }
    return true;
}

bool protect(const Key &key, QString *error)
{
    const QFileInfo info(key.file);
    const PinnedFolder folder(info.path(), {});
    for (const auto &[name, allowed] : {std::pair{info.fileName(), mode_t(0600)}, std::pair{QString(info.fileName() + QLatin1String(".pub")), mode_t(0644)}}) {
        const int fd = ::openat(folder.descriptor(), QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT && allowed == 0644) {
            continue;
        }
        struct stat status;
        const bool done = fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fchown(fd, ::geteuid(), ::getegid()) == 0
            && ::fchmod(fd, status.st_mode & allowed) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!done) {
            *error = QStringLiteral("cannot protect %1/%2").arg(info.path(), name);
            return false;
        }
    }
    return true;
}
}
