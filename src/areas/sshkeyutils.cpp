// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshkeyutils.h"
#include "areas_debug.h"

#include "authorizedkeys.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace
{
constexpr int s_processTimeout = 30000;
int s_startedProcesses = 0;
std::function<bool(const QString &)> s_writableCheck;

// Appended to every line handed to ssh-keygen in one stream. It ends up at the
// end of the comment that ssh-keygen prints, and its characters can never be
// taken for key data, so it cannot change whether a line is readable.
const QString s_lineMarker = QStringLiteral(" @@k");

QStringList splitFields(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void startProcess(QProcess &process, const QString &program, const QStringList &arguments)
{
    ++s_startedProcesses;
    process.start(program, arguments, QIODevice::ReadWrite);
}

QString decodeOutput(const QByteArray &output)
{
    // Up to the first NUL byte.
    return QString::fromUtf8(output.constData());
}

QString findProgram(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty()) {
        return found;
    }
    const QString fallback = QStringLiteral("/usr/bin/") + name;
    return QFileInfo(fallback).isExecutable() ? fallback : name;
}

bool canBeStreamed(const QString &line)
{
    return !line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')) && !line.contains(QChar(0));
}
}

QString SSHKeyUtils::sshProgram()
{
    return findProgram(QStringLiteral("ssh"));
}

QString SSHKeyUtils::sshKeygenProgram()
{
    return findProgram(QStringLiteral("ssh-keygen"));
}

QStringList SSHKeyUtils::systemSupportedKeyTypes()
{
    QProcess process;
    const QString program = sshProgram();
    startProcess(process, program, {QStringLiteral("-Q"), QStringLiteral("key")});
    process.waitForFinished(s_processTimeout);
    if (process.exitStatus() == QProcess::CrashExit) {
        qCWarning(SSHSETTINGS_AREAS).noquote() << QStringLiteral("The process %1 failed with error: %2").arg(program, process.errorString());
        return {};
    }
    return decodeOutput(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool SSHKeyUtils::isKeyLineValid(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty()) {
        return false;
    }
    const QStringList fields = splitFields(trimmed);
    if (fields.size() < 2) {
        return false;
    }
    if (!systemSupportedKeyTypes().contains(fields.at(0), Qt::CaseSensitive)) {
        return false;
    }
    return !QByteArray::fromBase64(fields.at(1).toUtf8()).isEmpty();
}

int SSHKeyUtils::calculateKeySize(const QString &line)
{
    static const QRegularExpression sizePattern(QStringLiteral("^(\\d+)"));

    QProcess process;
    startProcess(process, sshKeygenProgram(), {QStringLiteral("-lf"), QStringLiteral("-")});
    if (!process.waitForStarted(s_processTimeout)) {
        return 0;
    }
    process.write(line.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(s_processTimeout)) {
        return 0;
    }
    const QString output = decodeOutput(process.readAllStandardOutput()).trimmed();
    const QRegularExpressionMatch match = sizePattern.match(output);
    return match.hasMatch() ? match.captured(1).toInt(nullptr, 10) : 0;
}

QList<int> SSHKeyUtils::calculateKeySizes(const QStringList &lines)
{
    // ssh-keygen reads such a stream line by line exactly as it reads one line
    // on its own: it prints "<bits> <fingerprint> <comment> (<TYPE>)" for each
    // line it can read and skips the others. The marker at the end of each
    // line comes back at the end of the comment and names the input line.
    static const QRegularExpression outputPattern(QStringLiteral("^(\\d+)\\s.*@@k(\\d+) \\([^()]*\\)$"));

    QList<int> sizes;
    sizes.reserve(lines.size());
    QList<int> streamed;
    QByteArray input;
    for (int i = 0; i < lines.size(); ++i) {
        sizes.append(0);
        if (canBeStreamed(lines.at(i))) {
            streamed.append(i);
            input += lines.at(i).toUtf8() + s_lineMarker.toUtf8() + QByteArray::number(i) + '\n';
        }
    }

    auto askOneByOne = [&](const QList<int> &indexes) {
        for (const int i : indexes) {
            sizes[i] = calculateKeySize(lines.at(i));
        }
    };

    QList<int> single;
    for (int i = 0; i < lines.size(); ++i) {
        if (!canBeStreamed(lines.at(i))) {
            single.append(i);
        }
    }
    askOneByOne(single);
    if (streamed.isEmpty()) {
        return sizes;
    }
    if (streamed.size() == 1) {
        askOneByOne(streamed);
        return sizes;
    }

    QProcess process;
    startProcess(process, sshKeygenProgram(), {QStringLiteral("-lf"), QStringLiteral("-")});
    if (!process.waitForStarted(s_processTimeout)) {
        return sizes;
    }
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(s_processTimeout);
    if (!finished || process.exitStatus() != QProcess::NormalExit) {
        // No trustworthy answer for any line: ask about each one.
        process.kill();
        process.waitForFinished(s_processTimeout);
        askOneByOne(streamed);
        return sizes;
    }

    QSet<int> answered;
    const QStringList outputLines = decodeOutput(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &outputLine : outputLines) {
        const QRegularExpressionMatch match = outputPattern.match(outputLine);
        if (!match.hasMatch()) {
            continue;
        }
        bool ok = false;
        const int index = match.captured(2).toInt(&ok, 10);
        if (ok && index >= 0 && index < lines.size() && !answered.contains(index)) {
            sizes[index] = match.captured(1).toInt(nullptr, 10);
            answered.insert(index);
        }
    }

    // A non-zero exit either means that no line at all was readable (then it
    // says so and prints nothing) or that it stopped early; in the latter case
    // the lines it did not report are asked about one by one.
    if (process.exitCode() != 0) {
        const bool nothingReadable = answered.isEmpty() && process.readAllStandardError().contains("is not a public key file");
        if (!nothingReadable) {
            QList<int> unanswered;
            for (const int i : std::as_const(streamed)) {
                if (!answered.contains(i)) {
                    unanswered.append(i);
                }
            }
            askOneByOne(unanswered);
        }
    }
    return sizes;
}

QString SSHKeyUtils::fingerprintOfKeyData(const QString &keyData)
{
    const QByteArray blob = QByteArray::fromBase64(keyData.toUtf8());
    const QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") + QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

namespace
{
// Everything of a parsed line except its size; false for fewer than two fields.
bool parseFields(const QString &line, KeyInfo &info)
{
    const auto parts = SSHKeyUtils::splitOptions(line);
    info.options = parts.first;
    const QStringList fields = splitFields(parts.second);
    if (fields.size() < 2) {
        info.type = QStringLiteral("Invalid");
        return false;
    }
    info.type = fields.at(0);
    info.comment = fields.mid(2).join(QLatin1Char(' '));
    info.fingerprint = SSHKeyUtils::fingerprintOfKeyData(fields.at(1));
    return true;
}
}

QPair<QString, QString> SSHKeyUtils::splitOptions(const QString &line)
{
    QByteArray options;
    QByteArray rest;
    AuthorizedKeys::splitOptions(line.toUtf8(), &options, &rest);
    return {QString::fromUtf8(options), QString::fromUtf8(rest)};
}

KeyInfo SSHKeyUtils::parseKeyLine(const QString &line)
{
    KeyInfo info;
    if (parseFields(line, info)) {
        info.bits = calculateKeySize(line);
    }
    return info;
}

QList<KeyInfo> SSHKeyUtils::parseKeyLines(const QStringList &lines)
{
    QList<KeyInfo> infos;
    infos.reserve(lines.size());
    QStringList sizeLines;
    QList<int> sizeIndexes;
    for (int i = 0; i < lines.size(); ++i) {
        KeyInfo info;
        if (parseFields(lines.at(i), info)) {
            sizeLines.append(lines.at(i));
            sizeIndexes.append(i);
        }
        infos.append(info);
    }
    const QList<int> sizes = calculateKeySizes(sizeLines);
    for (int i = 0; i < sizeIndexes.size(); ++i) {
        infos[sizeIndexes.at(i)].bits = sizes.at(i);
    }
    return infos;
}

namespace
{
// Adds or removes the line with the routine the helper uses too, and replaces the file atomically:
// a temporary file beside it, with the old mode and owner (0600 for a new file), renamed over it.
bool editKeyFile(const QString &path, const QString &line, bool add, QString *reason)
{
    QString ignored;
    QString &why = reason ? *reason : ignored;
    const QByteArray name = QFile::encodeName(path);
    struct stat original {
    };
    const bool exists = ::stat(name.constData(), &original) == 0;
    QByteArray contents;
    if (exists || !add) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            why = file.errorString();
            return false;
        }
        contents = file.readAll();
    } else {
        const QString folder = QFileInfo(path).absolutePath();
        // The first key of a user without ~/.ssh: the folder is private.
        if (!QDir(folder).exists() && (!QDir().mkpath(folder) || !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))) {
            why = QStringLiteral("cannot create the folder %1").arg(folder);
            return false;
        }
    }
    const QByteArray edited = add ? AuthorizedKeys::withLineAdded(contents, line.toUtf8()) : AuthorizedKeys::withLineRemoved(contents, line.toUtf8());
    if (!add && edited == contents) {
        why = QStringLiteral("the key is no longer in %1").arg(path);
        return false;
    }

    // Only when the folder does not allow a temporary file is the file rewritten in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(SSHSETTINGS_AREAS) << "Cannot open file for writing:" << path;
        why = file.errorString();
        return false;
    }
    if (::fchmod(file.handle(), exists ? original.st_mode & 07777 : 0600) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return false;
    }
    if (exists && ::fchown(file.handle(), original.st_uid, original.st_gid) != 0) {
        // Only root can hand the file to another owner; anyone else already owns it.
    }
    if (file.write(edited) != edited.size() || !file.commit()) {
        qCWarning(SSHSETTINGS_AREAS) << "Cannot write file:" << path << file.errorString();
        why = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}
}

bool SSHKeyUtils::appendKeyToFile(const QString &path, const QString &line, QString *reason)
{
    return editKeyFile(path, line, true, reason);
}

bool SSHKeyUtils::removeKeyFromFile(const QString &path, const QString &line, QString *reason)
{
    return editKeyFile(path, line, false, reason);
}

bool SSHKeyUtils::isDirectlyWritable(const QString &path)
{
    if (s_writableCheck) {
        return s_writableCheck(path);
    }
    QFileInfo info(path);
    // A missing file (and folders) is created by whoever may write the nearest existing folder.
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath()) {
        info = QFileInfo(info.absolutePath());
    }
    return info.isWritable();
}

void SSHKeyUtils::setWritableCheckForTesting(const std::function<bool(const QString &)> &check)
{
    s_writableCheck = check;
}

int SSHKeyUtils::startedProcessCount()
{
    return s_startedProcesses;
}

void SSHKeyUtils::resetStartedProcessCount()
{
    s_startedProcesses = 0;
}

QString SSHKeyUtils::userName()
{
    const QString fromEnvironment = qEnvironmentVariable("USER");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    const passwd *pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

QString SSHKeyUtils::expandPath(const QString &pattern)
{
    const QString home = QDir::homePath();
    QString path = pattern.trimmed();
    if (path.startsWith(QLatin1Char('~'))) {
        path.replace(0, 1, home);
    }
    // The tokens sshd expands, in one pass so that "%%h" stays a percent sign and an h.
    QString expanded;
    for (int i = 0; i < path.size(); ++i) {
        const QChar token = path.at(i) == QLatin1Char('%') && i + 1 < path.size() ? path.at(i + 1) : QChar();
        if (token == QLatin1Char('h')) {
            expanded += home;
        } else if (token == QLatin1Char('u')) {
            expanded += userName();
        } else if (token == QLatin1Char('U')) {
            expanded += QString::number(getuid());
        } else if (token == QLatin1Char('%')) {
            expanded += QLatin1Char('%');
        } else {
            expanded += path.at(i);
            continue;
        }
        ++i;
    }
    if (QDir::isRelativePath(expanded)) {
        expanded = QDir(home).filePath(expanded);
    }
    return QFileInfo(expanded).absoluteFilePath();
}
