// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "usablekeys.h"

#include "authorizedkeys.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "sshdmatch.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>

#include <sys/stat.h>

namespace UsableKeys
{
namespace
{
constexpr qint64 MaxKeyFileBytes = 4 * 1024 * 1024;

QByteArray first(const Lockout::Values &values, const char *keyword)
{
    return values.value(keyword).value(0).toLower();
}

// expiry-time="YYYYMMDD[HHMM[SS]][Z]": local time unless it ends in Z; invalid when none of these.
QDateTime expiry(QByteArray text)
{
    const bool utc = text.endsWith('Z') || text.endsWith('z');
    if (utc) {
        text.chop(1);
    }
    if (text.size() != 8 && text.size() != 12 && text.size() != 14) {
        return {};
    }
    QDateTime time = QDateTime::fromString(QString::fromLatin1(text.leftJustified(14, '0')), QStringLiteral("yyyyMMddHHmmss"));
    if (utc && time.isValid()) {
        time = QDateTime(time.date(), time.time(), QTimeZone::utc());
    }
    return time;
}

// Whether @p list (sshd's, under its current or its former name) takes a key of @p type; RSA keys sign with SHA-2.
bool allowed(const QByteArray &type, const Lockout::Values &values, const char *keyword, const char *formerKeyword)
{
    const QByteArray list = values.value(keyword, values.value(formerKeyword)).value(0);
    if (list.isEmpty()) {
        return true;
    }
    const QList<QByteArray> names = list.split(',');
    QList<QByteArray> algorithms = {type};
    if (type == "ssh-rsa" || type == "ssh-rsa-cert-v01@openssh.com") {
        const QByteArray suffix = type.mid(7);
        algorithms += QList<QByteArray>{"rsa-sha2-256" + suffix, "rsa-sha2-512" + suffix};
    }
    return std::any_of(algorithms.cbegin(), algorithms.cend(), [&names](const QByteArray &algorithm) {
        return names.contains(algorithm);
    });
}

// StrictModes for a folder: owned by the user or root, writable by nobody else; looked at without following a link.
bool safeFolder(const QString &folder, uid_t uid)
{
    struct stat st {
    };
    if (folder == QLatin1String("/")) {
        return ::lstat("/", &st) == 0 && st.st_uid == 0 && (st.st_mode & 022) == 0;
    }
    const QFileInfo info(folder);
    const PinnedFolder parent(info.path(), {uid});
    return parent.stat(info.fileName(), &st) && S_ISDIR(st.st_mode) && (st.st_uid == 0 || st.st_uid == uid) && (st.st_mode & 022) == 0;
}

// The file as sshd would read it for the session's user; false when sshd would not, or it lies behind a link.
bool readKeyFile(const QString &path, const Lockout::Session &session, bool strictModes, QByteArray *contents)
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.path(), {session.uid});
    struct stat st {
    };
    if (!folder.stat(info.fileName(), &st) || !S_ISREG(st.st_mode)) {
        return false;
    }
    if (strictModes) {
        // The file, and each folder from it up to the home folder (or /), the home folder included.
        if ((st.st_uid != 0 && st.st_uid != session.uid) || (st.st_mode & 022) != 0) {
            return false;
        }
        const QString home = QDir::cleanPath(session.home);
        for (QString dir = info.path();; dir = QFileInfo(dir).path()) {
            if (!safeFolder(dir, session.uid)) {
                return false;
            }
            if (dir == home || dir == QLatin1String("/")) {
                break;
            }
        }
    }
    QString ignored;
    return folder.read(info.fileName(), contents, MaxKeyFileBytes, &ignored);
}
}

QString expand(const QString &pattern, const UserAccount &account)
{
    QString path;
    for (int i = 0; i < pattern.size(); ++i) {
        if (pattern.at(i) != QLatin1Char('%') || i + 1 == pattern.size()) {
            path += pattern.at(i);
            continue;
        }
        const QChar token = pattern.at(++i);
        if (token == QLatin1Char('%')) {
            path += QLatin1Char('%');
        } else if (token == QLatin1Char('h')) {
            path += account.home;
        } else if (token == QLatin1Char('u')) {
            path += account.name;
        } else if (token == QLatin1Char('U')) {
            path += QString::number(account.uid);
        } else {
            return QString(); // a token sshd would refuse
        }
    }
    return QDir::cleanPath(path.startsWith(QLatin1Char('/')) ? path : account.home + QLatin1Char('/') + path);
}

bool accepted(const QByteArray &line, const Lockout::Values &values, const Lockout::Session &session, const QDateTime &now, AuthorizedKeys::Line *parsedLine)
{
    AuthorizedKeys::Line &parsed = *parsedLine;
    QString ignored;
    QHash<QByteArray, QByteArray> given;
    if (!AuthorizedKeys::parse(line.endsWith('\r') ? line.chopped(1) : line, &parsed)
        || (!parsed.options.isEmpty() && !AuthorizedKeys::checkOptions(parsed.options, &ignored, &given))) {
        return false;
    }
    if (given.contains("expiry-time")) {
        const QDateTime until = expiry(given.value("expiry-time"));
        if (!until.isValid() || until < now) {
            return false;
        }
    }
    if (given.contains("from") && SshdMatch::hosts(session.clientAddress, QString::fromUtf8(given.value("from"))) != 1) {
        return false;
    }
    if (session.isRoot && first(values, "permitrootlogin") == "forced-commands-only" && !given.contains("command")) {
        return false;
    }
    if (given.contains("cert-authority")) {
        // The user shows a certificate that this key signed.
        const QByteArray accepted = values.value("pubkeyacceptedalgorithms", values.value("pubkeyacceptedkeytypes")).value(0);
        return allowed(parsed.type, values, "casignaturealgorithms", "casignaturealgorithms")
            && (accepted.isEmpty() || accepted.contains("-cert-v01@openssh.com"));
    }
    return !given.contains("principals") && allowed(parsed.type, values, "pubkeyacceptedalgorithms", "pubkeyacceptedkeytypes");
}

bool any(const Lockout::Values &values, const Lockout::Session &session)
{
    const bool strictModes = first(values, "strictmodes") != "no";
    const QDateTime now = QDateTime::currentDateTime();
    const UserAccount account{session.user, session.home, session.uid, 0};
    for (const QByteArray &entry : values.value("authorizedkeysfile")) {
        for (const QString &pattern : QString::fromUtf8(entry).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString path = pattern == QLatin1String("none") ? QString() : expand(pattern, account);
            QByteArray contents;
            if (path.isEmpty() || !readKeyFile(path, session, strictModes, &contents)) {
                continue;
            }
            for (const QByteArray &line : contents.split('\n')) {
                AuthorizedKeys::Line parsed;
                if (!accepted(line, values, session, now, &parsed)) {
                    continue;
                }
                // The blob itself as sshd decodes it.
                if (runProgram(session.keygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("-")}, parsed.type + ' ' + parsed.key + '\n')
                        .succeeded()) {
                    return true;
                }
            }
        }
    }
    return false;
}
}
