// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "sshsettingsprotocol.h"

#include "atomicfile.h"
#include "configdocument.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "unifieddiff.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fnmatch.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace OptionCatalog;

namespace
{
// Any host name: ssh -G then reports what applies to every host.
const QString s_anyHost = QStringLiteral("ssh-settings.invalid");

QHash<QByteArray, QList<QByteArray>> parseDump(const QByteArray &output)
{
    QHash<QByteArray, QList<QByteArray>> values;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            continue;
        }
        const int space = trimmed.indexOf(' ');
        const QByteArray keyword = (space < 0 ? trimmed : trimmed.left(space)).toLower();
        values[keyword].append(space < 0 ? QByteArray() : trimmed.mid(space + 1).trimmed());
    }
    return values;
}

QString canonicalAddress(const QString &address)
{
    const QByteArray latin = address.toLatin1();
    unsigned char buffer[16];
    char text[INET6_ADDRSTRLEN];
    if (inet_pton(AF_INET, latin.constData(), buffer) == 1 && inet_ntop(AF_INET, buffer, text, sizeof text)) {
        return QString::fromLatin1(text);
    }
    if (inet_pton(AF_INET6, latin.constData(), buffer) == 1 && inet_ntop(AF_INET6, buffer, text, sizeof text)) {
        return QString::fromLatin1(text);
    }
    return address.toLower();
}

QSet<QString> lowerSet(const QStringList &list)
{
    QSet<QString> set;
    for (const QString &item : list) {
        set.insert(item.toLower());
    }
    return set;
}

QStringList tokens(const QList<QByteArray> &values)
{
    QStringList all;
    for (const QByteArray &value : values) {
        all += QString::fromUtf8(value).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return all;
}

// `ssh -G` as the reader account: a `Match exec` line never runs as root.
ProgramResult runClient(const EnginePaths &paths, const QString &path)
{
    UserAccount reader;
    if (!paths.lookupUserName(paths.readerAccount, &reader)) {
        ProgramResult refused;
        refused.standardError = "no account " + paths.readerAccount.toLocal8Bit() + " to read the client configuration as";
        refused.started = refused.finished = true;
        return refused;
    }
    return runProgramAs(reader.uid, reader.gid, paths.ssh, {QStringLiteral("-G"), QStringLiteral("-F"), path, s_anyHost});
}

ConfigDocument::Dialect dialect(OptionCatalog::ConfigType type)
{
    return type == OptionCatalog::ConfigType::Client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server;
}

QString typeName(OptionCatalog::ConfigType type)
{
    return type == OptionCatalog::ConfigType::Client ? QStringLiteral("client") : QStringLiteral("server");
}

// A drop-in that is a symbolic link is edited through its target; the link stays.
QString writeTarget(const QString &path)
{
    // The target named by the link, even when it cannot be reached now: never the link itself.
    QString target = path;
    for (int depth = 0; depth < 8 && QFileInfo(target).isSymLink(); ++depth) {
        target = QFileInfo(target).symLinkTarget();
    }
    return target;
}

// The file as it is now; contents stay null when it does not exist.
SavedFile current(const QString &path)
{
    SavedFile file;
    file.path = path;
    struct stat st
    {
    };
    const QString target = writeTarget(path);
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        QString ignored;
        file.mode = st.st_mode & 07777;
        file.uid = st.st_uid;
        file.gid = st.st_gid;
        if (!AtomicFile::readFile(target, &file.contents, &ignored)) {
            file.contents = QByteArray();
        } else if (file.contents.isNull()) {
            file.contents = QByteArray("");
        }
    }
    return file;
}

// Puts files back as they were (removing those that did not exist); the reason names each one that could not be.
QString putBack(const QList<SavedFile> &files)
{
    QStringList failed;
    for (const SavedFile &file : files) {
        QString error;
        const QString target = writeTarget(file.path);
        if (file.contents.isNull() ? !QFile::remove(target) && QFileInfo::exists(target) : !AtomicFile::writeFile(target, file.contents, &error, file.mode)) {
            failed.append(QStringLiteral("%1 could not be put back (%2)").arg(file.path, error));
        }
    }
    return failed.isEmpty() ? QString() : QStringLiteral("; ") + failed.join(QStringLiteral("; "));
}
}

Configuration::Configuration(const EnginePaths &paths) : m_paths(paths), m_backups(paths.backupDir) { }

QString Configuration::configPath(ConfigType type) const
{
    return type == ConfigType::Client ? m_paths.clientConfig : m_paths.serverConfig;
}

QString Configuration::backupPath(ConfigType type) const
{
    return type == ConfigType::Client ? m_paths.clientBackup : m_paths.serverBackup;
}

void Configuration::ensurePrivilegeSeparationDir() const
{
    if (m_paths.privilegeSeparationDir.isEmpty()) {
        return;
    }
    const QByteArray dir = QFile::encodeName(m_paths.privilegeSeparationDir);
    if (::mkdir(dir.constData(), 0755) == 0) {
        ::chmod(dir.constData(), 0755);
    }
}

bool Configuration::check(ConfigType type, const QString &path, QString *error) const
{
    ProgramResult result;
    if (type == ConfigType::Client) {
        result = runClient(m_paths, path);
        if (!result.succeeded()) {
            *error = result.reason(m_paths.ssh);
            return false;
        }
        return true;
    }
    ensurePrivilegeSeparationDir();
    result = runProgram(m_paths.sshd, QStringList {QStringLiteral("-t"), QStringLiteral("-f"), path} + m_paths.sshdExtraArguments);
    if (!result.succeeded()) {
        *error = result.reason(m_paths.sshd);
        return false;
    }
    return true;
}

bool Configuration::effectiveValues(ConfigType type, const QString &path, Values *values, QString *error) const
{
    ProgramResult result;
    if (type == ConfigType::Client) {
        result = runClient(m_paths, path);
    } else {
        ensurePrivilegeSeparationDir();
        result = runProgram(m_paths.sshd, QStringList {QStringLiteral("-T"), QStringLiteral("-f"), path} + m_paths.sshdExtraArguments);
    }
    if (!result.succeeded()) {
        *error = result.reason(type == ConfigType::Client ? m_paths.ssh : m_paths.sshd);
        return false;
    }
    *values = parseDump(result.standardOutput);
    return true;
}

bool Configuration::fileValues(ConfigType type, const QString &path, Values *values, QString *error) const
{
    ConfigDocument document(type == ConfigType::Client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
    if (!document.load(path, error)) {
        return false;
    }
    values->clear();
    for (const Option &option : options(type)) {
        const QByteArray keyword = option.keyword.toLatin1().toLower();
        const QList<ConfigDocument::Occurrence> found = document.occurrences(keyword);
        QList<QByteArray> list;
        for (const ConfigDocument::Occurrence &occurrence : found) {
            if (option.kind == ValueKind::AccessPatterns || option.kind == ValueKind::ListenAddresses) {
                list += occurrence.arguments;
            } else {
                QByteArray joined;
                for (const QByteArray &argument : occurrence.arguments) {
                    joined += (joined.isEmpty() ? "" : " ") + argument;
                }
                list.append(joined);
            }
            if (!option.accumulating && !(type == ConfigType::Server && keyword == "port")) {
                break;
            }
        }
        if (list.isEmpty() && !option.defaultValue.isEmpty() && option.kind != ValueKind::Subsystem) {
            list.append(option.defaultValue.toLatin1());
        }
        (*values)[keyword] = list;
    }
    if (type == ConfigType::Server) {
        // Listen addresses as sshd prints them: with the port of each Port line.
        const QList<QByteArray> ports = values->value("port");
        const QByteArray family = values->value("addressfamily").value(0);
        QList<QByteArray> listen;
        const QList<QByteArray> configured = values->value("listenaddress");
        for (const QByteArray &entry : configured) {
            QString address;
            QString port;
            if (entry.startsWith('[') || entry.count(':') == 1) {
                if (splitListenAddress(QString::fromLatin1(entry), &address, &port)) {
                    listen.append(entry);
                    continue;
                }
            }
            for (const QByteArray &p : ports) {
                listen.append((entry.contains(':') ? '[' + entry + ']' : entry) + ':' + p);
            }
        }
        if (configured.isEmpty()) {
            for (const QByteArray &p : ports) {
                if (family != "inet") {
                    listen.append("[::]:" + p);
                }
                if (family != "inet6") {
                    listen.append("0.0.0.0:" + p);
                }
            }
        }
        (*values)["listenaddress"] = listen;
    }
    return true;
}

Reply Configuration::read(ConfigType type, const QStringList &keywords) const
{
    QList<const Option *> wanted;
    for (const QString &keyword : keywords) {
        const Option *option = findOption(type, keyword);
        if (!option) {
            return Reply::failure(QStringLiteral("unknown keyword \"%1\"").arg(keyword.left(64)));
        }
        wanted.append(option);
    }
    Values values;
    QString effectiveError;
    if (!effectiveValues(type, configPath(type), &values, &effectiveError)) {
        // Values taken from the files would not be what sshd runs with: say why instead.
        return Reply::failure(SSHSettings::Protocol::InvalidConfiguration + effectiveError);
    }
    QVariantMap data;
    for (int i = 0; i < wanted.size(); ++i) {
        const Option &option = *wanted.at(i);
        const QString key = keywords.at(i).toLower();
        const QList<QByteArray> found = values.value(option.keyword.toLatin1().toLower());
        switch (option.kind) {
        case ValueKind::Subsystem: {
            bool sftp = false;
            for (const QByteArray &value : found) {
                sftp = sftp || value.split(' ').value(0) == "sftp";
            }
            data.insert(key, sftp ? QStringLiteral("yes") : QStringLiteral("no"));
            break;
        }
        case ValueKind::ListenAddresses: {
            QStringList list;
            for (const QByteArray &value : found) {
                list.append(QString::fromUtf8(value));
            }
            data.insert(key, list);
            break;
        }
        case ValueKind::KeyFilePatterns:
        case ValueKind::AccessPatterns:
            data.insert(key, tokens(found));
            break;
        default:
            data.insert(key, found.isEmpty() ? option.defaultValue : QString::fromUtf8(found.first()));
            break;
        }
    }
    return Reply::success(data);
}

bool Configuration::isLocalAddress(const QString &address) const
{
    const QString canonical = canonicalAddress(address);
    if (canonical == QLatin1String("0.0.0.0") || canonical == QLatin1String("::")) {
        return true;
    }
    const QStringList local = m_paths.localAddresses();
    for (const QString &candidate : local) {
        if (canonicalAddress(candidate) == canonical) {
            return true;
        }
    }
    return false;
}

QStringList Configuration::protectedPatterns() const
{
    QStringList patterns = {m_paths.serverConfig,
                            m_paths.clientConfig,
                            m_paths.serverBackup,
                            m_paths.clientBackup,
                            m_paths.backupDir,
                            m_paths.backupDir + QLatin1String("/*"),
                            QFileInfo(m_paths.serverConfig).absolutePath() + QLatin1String("/ssh_host_*")};
    for (const ConfigType type : {ConfigType::Server, ConfigType::Client}) {
        ConfigDocument document(dialect(type));
        QString ignored;
        if (!document.load(configPath(type), &ignored)) {
            continue;
        }
        patterns += document.includePatterns();
        const QStringList files = document.filePaths();
        for (const QString &file : files) {
            patterns += {file, writeTarget(file)};
        }
        // Every absolute path a line names (host keys, key files, certificates, …), but the banner itself.
        for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
            if (occurrence.keyword == "banner") {
                continue;
            }
            for (const QByteArray &argument : occurrence.arguments) {
                if (argument.startsWith('/')) {
                    QString pattern = QFile::decodeName(argument);
                    // %u, %h, … stand for any text.
                    for (int i = pattern.indexOf(QLatin1Char('%')); i >= 0 && i + 1 < pattern.size(); i = pattern.indexOf(QLatin1Char('%'), i + 1)) {
                        pattern.replace(i, 2, QLatin1Char('*'));
                    }
                    patterns.append(pattern);
                }
            }
        }
    }
    return patterns;
}

bool Configuration::isProtected(const QString &path) const
{
    const QByteArray name = QFile::encodeName(path);
    const QStringList patterns = protectedPatterns();
    for (const QString &pattern : patterns) {
        if (::fnmatch(QFile::encodeName(pattern).constData(), name.constData(), FNM_PATHNAME) == 0) {
            return true;
        }
    }
    return false;
}

QString Configuration::configuredBanner() const
{
    Values values;
    QString ignored;
    if (!effectiveValues(ConfigType::Server, m_paths.serverConfig, &values, &ignored) &&
        !fileValues(ConfigType::Server, m_paths.serverConfig, &values, &ignored)) {
        return QStringLiteral("none");
    }
    return QString::fromUtf8(values.value("banner").value(0, "none"));
}

bool Configuration::checkBannerFile(const QString &path, QString *error) const
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.absolutePath(), {});
    struct stat st
    {
    };
    QByteArray head;
    if (!folder.isValid()) {
        *error = folder.error();
    } else if (!folder.stat(info.fileName(), &st)) {
        *error = QStringLiteral("%1 does not exist").arg(path);
    } else if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(path);
    } else if (st.st_uid != 0) {
        *error = QStringLiteral("%1 is not owned by root").arg(path);
    } else if (!(st.st_mode & S_IROTH)) {
        *error = QStringLiteral("%1 is not readable by everyone, sshd would show it to every client").arg(path);
    } else if (isProtected(path)) {
        *error = QStringLiteral("%1 is part of the SSH configuration or a key").arg(path);
    } else if (!folder.read(info.fileName(), &head, 1024 * 1024, error)) {
        return false;
    } else if (head.contains("PRIVATE KEY")) {
        *error = QStringLiteral("%1 holds a private key").arg(path);
    } else {
        return true;
    }
    return false;
}

Reply Configuration::change(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun)
{
    const Option *option = findOption(type, keyword);
    if (!option) {
        return Reply::failure(QStringLiteral("unknown keyword \"%1\"").arg(keyword.left(64)));
    }
    CheckedValue checked;
    QString error;
    if (!checkValue(*option, value, &checked, &error)) {
        return Reply::failure(error);
    }
    for (const QString &address : std::as_const(checked.addresses)) {
        if (!isLocalAddress(address)) {
            return Reply::failure(QStringLiteral("ListenAddress: %1 is not configured on any local interface").arg(address));
        }
    }
    if (option->kind == ValueKind::Banner && checked.lines.value(0) != "none" && !checkBannerFile(QString::fromLatin1(checked.lines.value(0)), &error)) {
        return Reply::failure(QStringLiteral("Banner: %1").arg(error));
    }

    const QString mainPath = configPath(type);
    ConfigDocument document(dialect(type));
    if (!document.load(mainPath, &error)) {
        return Reply::failure(error);
    }
    if (option->kind == ValueKind::Subsystem) {
        document.setSftpSubsystem(checked.enable, m_paths.sftpServer.toLatin1());
    } else if (option->accumulating) {
        document.setAll(option->keyword, checked.lines);
    } else if (checked.lines.isEmpty()) {
        document.setAll(option->keyword, {});
    } else {
        document.setSingle(option->keyword, checked.lines.first());
    }
    const QList<QPair<QString, QByteArray>> modified = document.modifiedFiles();
    const QStringList paths = document.filePaths();

    if (dryRun) {
        QByteArray diff;
        for (const auto &file : modified) {
            diff += unifiedDiff(file.first, document.originalContents(paths.indexOf(file.first)), file.second);
        }
        return Reply::success({{QStringLiteral("diff"), diff}});
    }
    if (modified.isEmpty()) {
        return Reply::success();
    }
    QString ignored;
    const bool workedBefore = check(type, mainPath, &ignored);
    QList<SavedFile> before;
    for (const QString &path : paths) {
        before.append(current(path));
    }

    // The usual change touches the main file alone: check the candidate beside it
    // before it replaces anything, so an invalid file never stands in its place.
    if (modified.size() == 1 && modified.constFirst().first == mainPath) {
        const QString candidate = writeTarget(mainPath) + QStringLiteral(".sshsettings-candidate");
        if (!AtomicFile::writeFile(candidate, modified.constFirst().second, &error, before.constFirst().mode)) {
            return Reply::failure(error);
        }
        const bool valid = check(type, candidate, &error);
        QFile::remove(candidate);
        if (!valid) {
            return Reply::failure(QStringLiteral("refused, the configuration would be invalid: %1").arg(error.replace(candidate, mainPath)));
        }
    }

    QList<SavedFile> written;
    auto refuse = [&](const QString &reason) {
        return Reply::failure(reason + putBack(written));
    };
    for (const auto &file : modified) {
        written.append(before.at(paths.indexOf(file.first)));
        if (!AtomicFile::writeFile(writeTarget(file.first), file.second, &error)) {
            return refuse(error);
        }
    }
    if (!check(type, mainPath, &error)) {
        return refuse(QStringLiteral("refused, the configuration would be invalid: %1").arg(error));
    }
    const QString mismatch = verify(type, *option, checked);
    if (!mismatch.isEmpty()) {
        return refuse(mismatch);
    }
    // Accepted: only now may the backup of the last working configuration be replaced.
    if (workedBefore) {
        if (!m_backups.save(typeName(type), before, &error) ||
            !AtomicFile::writeFile(backupPath(type), before.constFirst().contents, &error, before.constFirst().mode)) {
            return refuse(QStringLiteral("refused, cannot keep the working configuration: %1").arg(error));
        }
    }
    return Reply::success();
}

// What sshd or ssh now reports for the option, compared with what was asked; empty when it agrees.
QString Configuration::verify(ConfigType type, const Option &option, const CheckedValue &checked) const
{
    Values values;
    QString error;
    if (!effectiveValues(type, configPath(type), &values, &error)) {
        return QStringLiteral("refused, cannot read back the configuration: %1").arg(error);
    }
    const int sockets = values.value("listenaddress").size();
    if (type == ConfigType::Server && sockets > MaxListenSockets) {
        return QStringLiteral("refused, sshd would not start: %1 listen sockets (addresses × ports), at most %2").arg(sockets).arg(MaxListenSockets);
    }
    const QByteArray lower = option.keyword.toLatin1().toLower();
    const QList<QByteArray> now = values.value(lower);
    QString mismatch;
    switch (option.kind) {
    case ValueKind::Subsystem: {
        bool sftp = false;
        for (const QByteArray &line : now) {
            sftp = sftp || line.split(' ').value(0) == "sftp";
        }
        if (sftp != checked.enable) {
            mismatch = sftp ? QStringLiteral("an sftp subsystem is still configured") : QStringLiteral("the sftp subsystem is still missing");
        }
        break;
    }
    case ValueKind::ListenAddresses: {
        if (checked.expected.isEmpty()) {
            break;
        }
        QSet<QString> reported;
        for (const QByteArray &entry : now) {
            reported.insert(QString::fromLatin1(entry).toLower());
        }
        if (reported != lowerSet(checked.expected)) {
            mismatch = QStringLiteral("sshd listens on %1").arg(QStringList(reported.values()).join(QLatin1Char(' ')));
        }
        break;
    }
    case ValueKind::KeyFilePatterns:
    case ValueKind::AccessPatterns:
        if ((!checked.expected.isEmpty() || option.kind == ValueKind::AccessPatterns) && tokens(now) != checked.expected) {
            mismatch = QStringLiteral("the effective value is \"%1\"").arg(tokens(now).join(QLatin1Char(' ')));
        }
        break;
    default: {
        const QString wanted = checked.expected.value(0).toLower();
        bool found = false;
        for (int i = 0; i < now.size(); ++i) {
            // Several Port lines make sshd listen on all of them.
            QString reported = QString::fromUtf8(now.at(i)).toLower();
            if (reported == QLatin1String("without-password")) {
                reported = QStringLiteral("prohibit-password"); // how `sshd -T` prints it
            }
            if (reported == wanted && (i == 0 || lower == "port")) {
                found = true;
            }
        }
        if (!found) {
            mismatch = QStringLiteral("the effective value is \"%1\"").arg(QString::fromUtf8(now.value(0)));
        }
        break;
    }
    }
    return mismatch.isEmpty() ? QString() : QStringLiteral("refused, another setting wins for %1: %2").arg(option.keyword, mismatch);
}

Reply Configuration::restore(ConfigType type, bool fromBackup)
{
    const QString target = configPath(type);
    QList<SavedFile> wanted;
    QString error;
    if (fromBackup) {
        QString setError;
        if (!m_backups.load(typeName(type), &wanted, &setError)) {
            // A backup from before the sets existed: the main file alone.
            SavedFile main = current(backupPath(type));
            if (main.contents.isNull() || !AtomicFile::isPlainRegularFile(backupPath(type), &error)) {
                return Reply::failure(QStringLiteral("there is no backup: %1, nor %2").arg(setError, backupPath(type)));
            }
            main.path = target;
            wanted = {main};
        }
    } else {
        const QString source = type == ConfigType::Client ? m_paths.clientDefault : m_paths.serverDefault;
        SavedFile main = current(source);
        if (main.contents.isNull() || !AtomicFile::isPlainRegularFile(source, &error)) {
            return Reply::failure(QStringLiteral("the system default %1 is not installed").arg(source));
        }
        main.path = target;
        main.mode = 0644;
        wanted = {main};
    }
    if (wanted.constFirst().path != target) {
        return Reply::failure(QStringLiteral("the backup is not one of %1").arg(target));
    }

    QList<SavedFile> replaced;
    for (const SavedFile &file : std::as_const(wanted)) {
        const SavedFile now = current(file.path);
        if (now.contents != file.contents || now.contents.isNull()) {
            replaced.append(now);
        }
    }
    if (replaced.isEmpty()) {
        return Reply::success();
    }
    QList<SavedFile> written;
    for (const SavedFile &file : std::as_const(wanted)) {
        written.append(current(file.path));
        if (!AtomicFile::writeFile(writeTarget(file.path), file.contents, &error, file.mode)) {
            return Reply::failure(error + putBack(written));
        }
    }
    if (!check(type, target, &error)) {
        return Reply::failure(QStringLiteral("refused, the restored configuration would be invalid: %1").arg(error) + putBack(written));
    }
    QList<SavedFile> existing;
    for (const SavedFile &file : std::as_const(replaced)) {
        if (!file.contents.isNull()) {
            existing.append(file);
        }
    }
    QString kept;
    if (!existing.isEmpty() && !m_backups.keepReplaced(typeName(type), existing, &kept, &error)) {
        return Reply::failure(error + putBack(written));
    }
    QVariantMap data;
    if (!kept.isEmpty()) {
        data.insert(QStringLiteral("previous"), kept);
    }
    return Reply::success(data);
}
