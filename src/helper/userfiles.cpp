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
        return Reply::failure(Refusal::Code::BannerPathNotPlain);
    }
    const QString root = QDir::cleanPath(m_paths.bannerRoot) + QLatin1Char('/');
    if (!path.startsWith(root)) {
        return Reply::failure(Refusal::Code::BannerNotBelow, {root});
    }
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > MaxBannerBytes) {
        return Reply::failure(Refusal::Code::BannerTooLarge);
    }
    for (const QChar c : text) {
        if (c != QLatin1Char('\n') && c != QLatin1Char('\t') && c != QLatin1Char('\r') && hasControlCharacter(QString(c))) {
            return Reply::failure(Refusal::Code::BannerControl);
        }
    }
    if (m_configuration.isProtected(path)) {
        return Reply::failure(Refusal::Code::BannerProtected, {path});
    }
    const QFileInfo info(path);
    const PinnedFolder folder(info.absolutePath(), {});
    if (!folder.isValid()) {
        return Reply::failure(Refusal::Code::BannerFolder, {folder.error()});
    }
    struct stat st {
    };
    if (folder.stat(info.fileName(), &st)) {
        const QStringList replaceable = {m_configuration.configuredBanner(), root + QLatin1String("issue.net"), root + QLatin1String("issue")};
        if (!S_ISREG(st.st_mode)) {
            return Reply::failure(Refusal::Code::BannerNotRegular, {path});
        }
        if (!replaceable.contains(path)) {
            return Reply::failure(Refusal::Code::BannerExists, {path});
        }
    }
    QString error;
    if (!folder.write(info.fileName(), bytes, ::geteuid(), ::getegid(), 0644, &error)) {
        return Reply::failure(Refusal::Code::Failed, {error});
    }
    return Reply::success();
}

bool UserFiles::checkKeyLine(const QString &line, Refusal *error) const
{
    const QByteArray bytes = line.toUtf8();
    AuthorizedKeys::Line parsed;
    QString optionError;
    if (line.trimmed().isEmpty()) {
        *error = Refusal::Code::KeyLineEmpty;
    } else if (bytes.size() > MaxKeyLineBytes) {
        *error = Refusal::Code::KeyLineTooLong;
    } else if (hasControlCharacter(line)) {
        *error = Refusal::Code::KeyLineControl;
    } else if (!AuthorizedKeys::parse(bytes, &parsed)) {
        *error = Refusal::Code::NotKeyLine;
    } else if (!parsed.options.isEmpty() && !AuthorizedKeys::checkOptions(parsed.options, &optionError)) {
        *error = {Refusal::Code::Failed, {optionError}};
    } else if (!runProgram(m_paths.sshKeygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("-")}, bytes + '\n').succeeded()) {
        *error = Refusal::Code::InvalidKeyLine;
    } else {
        return true;
    }
    return false;
}

bool UserFiles::isKeyFileOf(const UserAccount &account, const QString &path, Refusal *error) const
{
    const Reply read = m_configuration.read(ConfigType::Server, {QStringLiteral("AuthorizedKeysFile")});
    if (!read.ok) {
        *error = read.refusal();
        return false;
    }
    const QStringList patterns = read.data.value(QStringLiteral("authorizedkeysfile")).toStringList();
    for (const QString &pattern : patterns) {
        if (pattern != QLatin1String("none") && UsableKeys::expand(pattern, account) == path) {
            return true;
        }
    }
    *error = {Refusal::Code::NotKeyFileOf, {path, account.name, patterns.join(QLatin1Char(' '))}};
    return false;
}

Reply UserFiles::editKeys(const QString &path, const QString &line, uid_t uid, bool add) const
{
    if (!isPlainPath(path)) {
        return Reply::failure(Refusal::Code::KeyPathNotPlain);
    }
    Refusal refusal;
    if (!checkKeyLine(line, &refusal)) {
        return Reply::failure(refusal);
    }
    UserAccount account;
    if (!m_paths.lookupUser(uid, &account) || !isPlainPath(QDir::cleanPath(account.home))) {
        return Reply::failure(Refusal::Code::NoAccount, {QString::number(uid)});
    }
    if (!isKeyFileOf(account, path, &refusal)) {
        return Reply::failure(refusal);
    }
    const QFileInfo info(path);
    // A user without keys yet gets ~/.ssh, made for them.
    const PinnedFolder::Create create{account.uid, account.gid, 0700};
    const bool mayCreate = add && info.absolutePath() == QDir::cleanPath(account.home) + QLatin1String("/.ssh");
    const PinnedFolder folder(info.absolutePath(), {account.uid}, mayCreate ? &create : nullptr);
    if (!folder.isValid()) {
        return Reply::failure(Refusal::Code::KeyFile, {folder.error()});
    }
    struct stat st {
    };
    QByteArray contents;
    QString error;
    if (folder.stat(info.fileName(), &st)) {
        if (st.st_uid != account.uid && st.st_uid != 0 && st.st_uid != ::geteuid()) {
            return Reply::failure(Refusal::Code::KeyFileOtherOwner, {path});
        }
        if (!folder.read(info.fileName(), &contents, MaxKeyFileBytes, &error)) {
            return Reply::failure(Refusal::Code::KeyFile, {error});
        }
    } else if (!add) {
        return Reply::failure(Refusal::Code::KeyFileMissing, {path});
    }
    const QByteArray edited = add ? AuthorizedKeys::withLineAdded(contents, line.toUtf8()) : AuthorizedKeys::withLineRemoved(contents, line.toUtf8());
    if (edited != contents && !folder.write(info.fileName(), edited, account.uid, account.gid, 0600, &error)) {
        return Reply::failure(Refusal::Code::Failed, {error});
    }
    return Reply::success();
}
