// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "userfiles.h"

#include "atomicfile.h"
#include "authorizedkeys.h"
#include "configuration.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "usablekeys.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

using namespace OptionCatalog;

namespace
{
constexpr int MaxBannerBytes = 64 * 1024;
constexpr int MaxKeyLineBytes = 16 * 1024;
constexpr qint64 MaxKeyFileBytes = 4 * 1024 * 1024;

bool isPlainPath(const QString &path)
{
    return AtomicFile::isCleanAbsolutePath(path) && !hasControlCharacter(path);
}
}

UserFiles::UserFiles(const EnginePaths &paths, const Configuration &configuration)
    : m_paths(paths)
    , m_configuration(configuration)
{
}

Reply UserFiles::writeBanner(const QString &path, const QString &text) const
{
    if (!isPlainPath(path)) {
        return Reply::failure(QStringLiteral("banner path must be a plain absolute path"));
    }
    const QString root = QDir::cleanPath(m_paths.bannerRoot) + QLatin1Char('/');
    if (!path.startsWith(root)) {
        return Reply::failure(QStringLiteral("banner file must be below %1").arg(root));
    }
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > MaxBannerBytes) {
        return Reply::failure(QStringLiteral("banner text is larger than 64 KiB"));
    }
    for (const QChar c : text) {
        if (c != QLatin1Char('\n') && c != QLatin1Char('\t') && c != QLatin1Char('\r') && hasControlCharacter(QString(c))) {
            return Reply::failure(QStringLiteral("banner text contains a control character"));
        }
    }
    if (m_configuration.isProtected(path)) {
        return Reply::failure(QStringLiteral("banner: %1 is part of the SSH configuration or a key").arg(path));
    }
    const QFileInfo info(path);
    const PinnedFolder folder(info.absolutePath(), {});
    if (!folder.isValid()) {
        return Reply::failure(QStringLiteral("banner: %1").arg(folder.error()));
    }
    struct stat st {
    };
    if (folder.stat(info.fileName(), &st)) {
        const QStringList replaceable = {m_configuration.configuredBanner(), root + QLatin1String("issue.net"), root + QLatin1String("issue")};
        if (!S_ISREG(st.st_mode)) {
            return Reply::failure(QStringLiteral("banner: %1 is not a regular file").arg(path));
        }
        if (!replaceable.contains(path)) {
            return Reply::failure(QStringLiteral("banner: %1 exists and is not the configured banner; choose a new file").arg(path));
        }
    }
    QString error;
    if (!folder.write(info.fileName(), bytes, ::geteuid(), ::getegid(), 0644, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}

bool UserFiles::checkKeyLine(const QString &line, QString *error) const
{
    const QByteArray bytes = line.toUtf8();
    AuthorizedKeys::Line parsed;
    if (line.trimmed().isEmpty()) {
        *error = QStringLiteral("empty key line");
    } else if (bytes.size() > MaxKeyLineBytes) {
        *error = QStringLiteral("key line too long");
    } else if (hasControlCharacter(line)) {
        *error = QStringLiteral("key line contains a newline or control character");
    } else if (!AuthorizedKeys::parse(bytes, &parsed)) {
        *error = QStringLiteral("not a public key line");
    } else if (!parsed.options.isEmpty() && !AuthorizedKeys::checkOptions(parsed.options, error)) {
        return false;
    } else if (!runProgram(m_paths.sshKeygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("-")}, bytes + '\n').succeeded()) {
        *error = QStringLiteral("not a valid public key line");
    } else {
        return true;
    }
    return false;
}

bool UserFiles::isKeyFileOf(const UserAccount &account, const QString &path, QString *error) const
{
    const Reply read = m_configuration.read(ConfigType::Server, {QStringLiteral("AuthorizedKeysFile")});
    if (!read.ok) {
        *error = read.error;
        return false;
    }
    const QStringList patterns = read.data.value(QStringLiteral("authorizedkeysfile")).toStringList();
    for (const QString &pattern : patterns) {
        if (pattern != QLatin1String("none") && UsableKeys::expand(pattern, account) == path) {
            return true;
        }
    }
    *error = QStringLiteral("%1 is not an authorized_keys file of %2 (AuthorizedKeysFile %3)").arg(path, account.name, patterns.join(QLatin1Char(' ')));
    return false;
}

Reply UserFiles::editKeys(const QString &path, const QString &line, uid_t uid, bool add) const
{
    if (!isPlainPath(path)) {
        return Reply::failure(QStringLiteral("key file path must be a plain absolute path"));
    }
    QString error;
    if (!checkKeyLine(line, &error)) {
        return Reply::failure(error);
    }
    UserAccount account;
    if (!m_paths.lookupUser(uid, &account) || !isPlainPath(QDir::cleanPath(account.home))) {
        return Reply::failure(QStringLiteral("there is no account with the id %1").arg(uid));
    }
    if (!isKeyFileOf(account, path, &error)) {
        return Reply::failure(error);
    }
    const QFileInfo info(path);
    // A user without keys yet gets ~/.ssh, made for them.
    const PinnedFolder::Create create{account.uid, account.gid, 0700};
    const bool mayCreate = add && info.absolutePath() == QDir::cleanPath(account.home) + QLatin1String("/.ssh");
    const PinnedFolder folder(info.absolutePath(), {account.uid}, mayCreate ? &create : nullptr);
    if (!folder.isValid()) {
        return Reply::failure(QStringLiteral("key file: %1").arg(folder.error()));
    }
    struct stat st {
    };
    QByteArray contents;
    if (folder.stat(info.fileName(), &st)) {
        if (st.st_uid != account.uid && st.st_uid != 0 && st.st_uid != ::geteuid()) {
            return Reply::failure(QStringLiteral("key file: %1 is owned by another user").arg(path));
        }
        if (!folder.read(info.fileName(), &contents, MaxKeyFileBytes, &error)) {
            return Reply::failure(QStringLiteral("key file: %1").arg(error));
        }
    } else if (!add) {
        return Reply::failure(QStringLiteral("key file: %1 does not exist").arg(path));
    }
    const QByteArray edited = add ? AuthorizedKeys::withLineAdded(contents, line.toUtf8()) : AuthorizedKeys::withLineRemoved(contents, line.toUtf8());
    if (edited != contents && !folder.write(info.fileName(), edited, account.uid, account.gid, 0600, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}
