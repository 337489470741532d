// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "atomicfile.h"
#include "configdocument.h"
#include "ipaddress.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"
#include "unifieddiff.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace OptionCatalog;
namespace Protocol = SSHSettings::Protocol;

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
    const QString canonical = IpAddress::canonical(address);
    return canonical.isEmpty() ? address.toLower() : canonical;
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

// Where a write of a configuration file lands: its folder, opened from / without following
// links, and its name there. A drop-in that is a link is written through its target; every folder
// on the way, the link's and the target's, must be root's, and the link's writable by root
// alone, so no user can redirect the write.
struct Place
{
    std::unique_ptr<PinnedFolder> folder;
    QString name;
};

bool pin(const QString &path, Place *place, QString *error)
{
    QString at = path;
    for (int depth = 0; depth < 8; ++depth) {
        const int slash = at.lastIndexOf(QLatin1Char('/'));
        if (!AtomicFile::isCleanAbsolutePath(at) || at.size() < 2) {
            *error = QStringLiteral("%1 is not a plain path").arg(at);
            return false;
        }
        place->folder = std::make_unique<PinnedFolder>(slash == 0 ? QStringLiteral("/") : at.left(slash), QList<uid_t>());
        place->name = at.mid(slash + 1);
        if (!place->folder->isValid()) {
            *error = place->folder->error();
            return false;
        }
        struct stat st
        {
        };
        if (!place->folder->stat(place->name, &st) || !S_ISLNK(st.st_mode)) {
            return true;
        }
        // A link is followed only where no one but its owner could have put it.
        if (!place->folder->stat(QStringLiteral("."), &st) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
            *error = QStringLiteral("%1 is a link in a folder others may write").arg(at);
            return false;
        }
        const QString target = place->folder->linkTarget(place->name);
        at = QDir::cleanPath(target.startsWith(QLatin1Char('/')) ? target : at.left(slash) + QLatin1Char('/') + target);
    }
    *error = QStringLiteral("%1 is a chain of too many links").arg(path);
    return false;
}

// Replaces a file of the configuration through pin(); an existing one keeps its owner and mode,
// a new one is root's with @p mode, never writable by group or others.
bool writeConfigFile(const QString &path, const QByteArray &contents, mode_t mode, QString *error)
{
    Place place;
    return pin(path, &place, error) && place.folder->write(place.name, contents, ::geteuid(), ::getegid(), mode & 0755, error);
}

// Puts files back as they were (removing those that did not exist); the reason names each one that could not be.
QString putBack(const QList<SavedFile> &files)
{
    QStringList failed;
    for (const SavedFile &file : files) {
        QString error;
        Place place;
        if (file.contents.isNull() ? !pin(file.path, &place, &error) || !place.folder->remove(place.name, &error)
                                   : !writeConfigFile(file.path, file.contents, file.mode, &error)) {
            failed.append(QStringLiteral("%1 could not be put back (%2)").arg(file.path, error));
        }
    }
    return failed.isEmpty() ? QString() : QStringLiteral("; ") + failed.join(QStringLiteral("; "));
}

/**
 * Why @p files may not be written as a whole, empty when they may: each must be a file of the
 * configuration now (with the main file gone, of the one the main file of @p files names), in
 * folders of root's reached without a link, with contents, and a mode without setuid, setgid or
 * sticky bits. The first of them is the main file.
 */
QString unsafeFiles(OptionCatalog::ConfigType type, const QString &mainPath, const QList<SavedFile> &files)
{
    ConfigDocument document(dialect(type));
    QString error;
    struct stat st
    {
    };
    const bool gone = ::lstat(QFile::encodeName(mainPath).constData(), &st) != 0 && errno == ENOENT;
    if (gone && !files.isEmpty() && files.constFirst().path == mainPath ? !document.loadFromContents(mainPath, files.constFirst().contents, &error)
                                                                        : !document.load(mainPath, &error)) {
        return error;
    }
    const QStringList paths = document.filePaths();
    for (const SavedFile &file : files) {
        Place place;
        if (!paths.contains(file.path) || file.contents.isNull()) {
            return QStringLiteral("%1 is not a file of the %2 configuration").arg(file.path, typeName(type));
        }
        if (file.mode & (S_ISUID | S_ISGID | S_ISVTX)) {
            return QStringLiteral("%1 would get mode %2: setuid, setgid or sticky").arg(file.path, QString::number(file.mode, 8));
        }
        if (!pin(file.path, &place, &error)) {
            return QStringLiteral("%1 cannot be written safely: %2").arg(file.path, error);
        }
    }
    return QString();
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

bool Configuration::effectiveValues(ConfigType type, const QString &path, Values *values, QString *error, const QString &connection) const
{
    ProgramResult result;
    if (type == ConfigType::Client) {
        result = runClient(m_paths, path);
    } else {
        ensurePrivilegeSeparationDir();
        QStringList arguments = {QStringLiteral("-T"), QStringLiteral("-f"), path};
        if (!connection.isEmpty()) {
            arguments << QStringLiteral("-C") << connection;
        }
        result = runProgram(m_paths.sshd, arguments + m_paths.sshdExtraArguments);
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
    ConfigDocument document(dialect(type));
    if (!document.load(path, error)) {
        return false;
    }
    documentValues(type, document, values);
    return true;
}

// The global values of a document as sshd or ssh would report them, without running either.
void Configuration::documentValues(ConfigType type, const ConfigDocument &document, Values *values) const
{
    values->clear();
    for (const Option &option : options(type)) {
        const QByteArray keyword = option.keyword.toLatin1().toLower();
        const QList<ConfigDocument::Occurrence> found = document.occurrences(keyword);
        QList<QByteArray> list;
        for (const ConfigDocument::Occurrence &occurrence : found) {
            if (option.kind == ValueKind::AccessPatterns) {
                list += occurrence.arguments;
            } else if (option.kind == ValueKind::ListenAddresses) {
                list.append(occurrence.arguments.value(0)); // not its "rdomain NAME"
            } else {
                QByteArray joined;
                for (const QByteArray &argument : occurrence.arguments) {
                    joined += (joined.isEmpty() ? "" : " ") + argument;
                }
                list.append(joined);
            }
            if (!option.accumulating) {
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
            splitListenAddress(QString::fromLatin1(entry), &address, &port);
            const QByteArray host = address.contains(QLatin1Char(':')) ? '[' + address.toLatin1() + ']' : address.toLatin1();
            // An address without a port of its own listens on every Port.
            for (const QByteArray &p : port.isEmpty() ? ports : QList<QByteArray> {port.toLatin1()}) {
                listen.append(host + ':' + p);
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
            // An address without a port of its own is given alone, so that it keeps following
            // Port when the list comes back; sshd's own form where the files name host names.
            QStringList list = writtenListenAddresses();
            if (list.isEmpty()) {
                for (const QByteArray &value : found) {
                    list.append(QString::fromUtf8(value));
                }
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
    data.insert(Protocol::Reply::Origins, origins(type, wanted));
    return Reply::success(data);
}

QVariantMap Configuration::origins(ConfigType type, const QList<const Option *> &options) const
{
    QVariantMap result;
    ConfigDocument document(dialect(type));
    QString error;
    if (!document.load(configPath(type), &error)) {
        return result;
    }
    const QStringList files = document.filePaths();
    const auto place = [&files](const ConfigDocument::Occurrence &occurrence) {
        return QVariantMap {{Protocol::Reply::OriginFile, files.value(occurrence.file)},
                            {Protocol::Reply::OriginLine, occurrence.line + 1},
                            {Protocol::Reply::OriginMainFile, occurrence.file == 0}};
    };
    for (const Option *option : options) {
        const QByteArray keyword = option->keyword.toLatin1().toLower();
        QVariantMap origin = {{Protocol::Reply::OriginFile, QString()}, {Protocol::Reply::OriginLine, 0}, {Protocol::Reply::OriginMainFile, false}};
        bool won = false;
        QByteArray block;
        QVariantList overrides;
        // In sshd's reading order: the first global line wins; a Match block sets the
        // keyword for the connections it matches. ssh takes the first value it obtains,
        // so for the client only blocks before the winning line override it.
        for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
            if (occurrence.keyword == "match" || (type == ConfigType::Client && occurrence.keyword == "host")) {
                block = occurrence.keyword == "host" ? "Host" : "Match";
                for (const QByteArray &argument : occurrence.arguments) {
                    block += ' ' + argument;
                }
                continue;
            }
            if (occurrence.keyword != keyword || (option->kind == ValueKind::Subsystem && occurrence.arguments.value(0) != "sftp")) {
                continue;
            }
            // For ssh, "Host *" and "Match all" blocks apply to every connection as a line outside any block would.
            const bool everyone = occurrence.global || (type == ConfigType::Client && (block == "Host *" || block == "Match all"));
            if (everyone && !won) {
                origin = place(occurrence);
                won = true;
            } else if (!everyone && (type == ConfigType::Server || !won)) {
                QVariantMap override = place(occurrence);
                override.insert(Protocol::Reply::OriginMatch, QString::fromUtf8(block));
                overrides.append(override);
            }
        }
        origin.insert(Protocol::Reply::OriginOverrides, overrides);
        result.insert(option->keyword.toLower(), origin);
    }
    return result;
}

// The server's ListenAddress lines, "address:port" or the address alone (IPv6 in brackets); empty
// when there is none, or one names a host rather than an address.
QStringList Configuration::writtenListenAddresses() const
{
    ConfigDocument document(ConfigDocument::Dialect::Server);
    QString error;
    if (!document.load(m_paths.serverConfig, &error)) {
        return {};
    }
    QStringList list;
    for (const ConfigDocument::Occurrence &occurrence : document.occurrences("listenaddress")) {
        QString address;
        QString port;
        QHostAddress host;
        if (!splitListenAddress(QString::fromLatin1(occurrence.arguments.value(0)), &address, &port) || !IpAddress::parse(address, &host)) {
            return {};
        }
        const QString text = host.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + host.toString() + QLatin1Char(']') : host.toString();
        list.append(port.isEmpty() ? text : text + QLatin1Char(':') + port);
    }
    return list;
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

bool Configuration::edit(ConfigType type, const QList<Change> &changes, ConfigDocument *document, QList<Checked> *checkedChanges, QString *error) const
{
    if (changes.isEmpty()) {
        *error = QStringLiteral("no change given");
        return false;
    }
    for (const Change &change : changes) {
        const Option *option = findOption(type, change.first);
        if (!option) {
            *error = QStringLiteral("unknown keyword \"%1\"").arg(change.first.left(64));
            return false;
        }
        for (const Checked &earlier : std::as_const(*checkedChanges)) {
            if (earlier.option == option) {
                *error = QStringLiteral("%1 is changed twice").arg(option->keyword);
                return false;
            }
        }
        CheckedValue checked;
        if (!checkValue(*option, change.second, &checked, error)) {
            return false;
        }
        for (const QString &address : std::as_const(checked.addresses)) {
            if (!isLocalAddress(address)) {
                *error = QStringLiteral("ListenAddress: %1 is not configured on any local interface").arg(address);
                return false;
            }
        }
        if (option->kind == ValueKind::Banner && checked.lines.value(0) != "none" && !checkBannerFile(QString::fromLatin1(checked.lines.value(0)), error)) {
            *error = QStringLiteral("Banner: %1").arg(*error);
            return false;
        }
        checkedChanges->append({option, checked});
    }
    if (!document->load(configPath(type), error)) {
        return false;
    }
    for (const Checked &change : std::as_const(*checkedChanges)) {
        const CheckedValue &checked = change.value;
        if (change.option->kind == ValueKind::Subsystem) {
            document->setSftpSubsystem(checked.enable, m_paths.sftpServer.toLatin1());
        } else if (change.option->accumulating || checked.lines.isEmpty()) {
            document->setAll(change.option->keyword, checked.lines);
        } else {
            document->setSingle(change.option->keyword, checked.lines.first());
        }
    }
    return true;
}

Reply Configuration::transaction(ConfigType type, const QList<Change> &changes, bool dryRun, QList<SavedFile> *before)
{
    QList<Checked> checkedChanges;
    QString error;
    const QString mainPath = configPath(type);
    ConfigDocument document(dialect(type));
    if (!edit(type, changes, &document, &checkedChanges, &error)) {
        return Reply::failure(error);
    }
    const QList<QPair<QString, QByteArray>> modified = document.modifiedFiles();
    const QStringList paths = document.filePaths();

    if (dryRun) {
        QByteArray diff;
        QVariantMap diffs;
        for (const auto &file : modified) {
            const QByteArray fileDiff = unifiedDiff(file.first, document.originalContents(paths.indexOf(file.first)), file.second);
            diffs.insert(file.first, fileDiff);
            diff += fileDiff;
        }
        return Reply::success({{Protocol::Reply::Diff, diff}, {Protocol::Reply::FileDiffs, diffs}});
    }
    if (modified.isEmpty()) {
        return Reply::success();
    }
    QString ignored;
    const bool workedBefore = check(type, mainPath, &ignored);
    QList<SavedFile> original;
    for (const QString &path : paths) {
        original.append(current(path));
    }

    // The usual change touches the main file alone: check the candidate beside it
    // before it replaces anything, so an invalid file never stands in its place.
    if (modified.size() == 1 && modified.constFirst().first == mainPath) {
        // A name of its own (O_EXCL): no other writer, nor anyone planting a file, shares it.
        QByteArray name = QFile::encodeName(writeTarget(mainPath) + QStringLiteral(".sshsettings-candidate-XXXXXX"));
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        QFile file;
        const QString candidate = QFile::decodeName(name);
        if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) || ::fchmod(fd, original.constFirst().mode) != 0 ||
            file.write(modified.constFirst().second) != modified.constFirst().second.size() || !file.flush()) {
            error =
                QStringLiteral("cannot write a candidate beside %1: %2").arg(mainPath, fd < 0 ? QString::fromLocal8Bit(strerror(errno)) : file.errorString());
            if (fd >= 0) {
                file.isOpen() ? file.close() : (void)::close(fd);
                ::unlink(name.constData());
            }
            return Reply::failure(error);
        }
        file.close();
        const bool valid = check(type, candidate, &error);
        ::unlink(name.constData());
        if (!valid) {
            return Reply::failure(QStringLiteral("refused, the configuration would be invalid: %1").arg(error.replace(candidate, mainPath)));
        }
    }

    QList<SavedFile> written;
    auto refuse = [&](const QString &reason) {
        return Reply::failure(reason + putBack(written));
    };
    for (const auto &file : modified) {
        written.append(original.at(paths.indexOf(file.first)));
        if (!writeConfigFile(file.first, file.second, 0644, &error)) {
            return refuse(error);
        }
    }
    if (!check(type, mainPath, &error)) {
        return refuse(QStringLiteral("refused, the configuration would be invalid: %1").arg(error));
    }
    const QString mismatch = verify(type, checkedChanges);
    if (!mismatch.isEmpty()) {
        return refuse(mismatch);
    }
    // Accepted: only now may the backup of the last working configuration be replaced.
    if (workedBefore) {
        if (!m_backups.save(typeName(type), original, &error) ||
            !AtomicFile::writeFile(backupPath(type), original.constFirst().contents, &error, original.constFirst().mode)) {
            return refuse(QStringLiteral("refused, cannot keep the working configuration: %1").arg(error));
        }
    }
    if (before) {
        *before = written;
    }
    return Reply::success();
}

Reply Configuration::review(const QList<Change> &changes, const Lockout::Session &session, const UserAccount &account)
{
    Reply reply = transaction(ConfigType::Server, changes, true);
    QList<Checked> checkedChanges;
    ConfigDocument document(ConfigDocument::Dialect::Server);
    QString error;
    Values before;
    Values global;
    // sshd's values for this very connection, its Match blocks applied.
    const QString connection =
        QStringLiteral("user=%1,host=%2,addr=%2,laddr=%3,lport=%4").arg(session.user, session.clientAddress, session.localAddress).arg(session.localPort);
    if (!reply.ok || !edit(ConfigType::Server, changes, &document, &checkedChanges, &error) ||
        !effectiveValues(ConfigType::Server, m_paths.serverConfig, &before, &error, connection) ||
        !effectiveValues(ConfigType::Server, m_paths.serverConfig, &global, &error)) {
        return reply;
    }
    // Afterwards: the changed keywords as the edited files give them, unless a Match block sets them for this connection.
    Values edited;
    documentValues(ConfigType::Server, document, &edited);
    Values after = before;
    for (const Checked &change : std::as_const(checkedChanges)) {
        QList<QByteArray> keywords = {change.option->keyword.toLatin1().toLower()};
        if (keywords.first() == "port" || keywords.first() == "addressfamily") {
            keywords.append("listenaddress");
        }
        for (const QByteArray &keyword : std::as_const(keywords)) {
            if (before.value(keyword) == global.value(keyword)) {
                after.insert(keyword, edited.value(keyword));
            }
        }
    }
    Lockout::Session user = session;
    user.home = account.home;
    user.uid = account.uid;
    user.password = m_paths.lookupPassword(account);
    user.keygen = m_paths.sshKeygen;
    QSet<int> already;
    for (const Lockout::Problem &problem : Lockout::problems(before, user)) {
        already.insert(int(problem.kind));
    }
    static const char *const kinds[] = {"access", "authentication", "listening"};
    QVariantList lockouts;
    for (const Lockout::Problem &problem : Lockout::problems(after, user)) {
        if (!already.contains(int(problem.kind))) {
            lockouts.append(
                QVariantMap {{Protocol::Reply::LockoutKind, QLatin1String(kinds[int(problem.kind)])}, {Protocol::Reply::LockoutDetail, problem.detail}});
        }
    }
    reply.data.insert(Protocol::Reply::Lockouts, lockouts);
    return reply;
}

QString Configuration::putBack(const QList<SavedFile> &files) const
{
    return ::putBack(files);
}

Reply Configuration::replaceFiles(ConfigType type, const QList<SavedFile> &files)
{
    QString error = unsafeFiles(type, configPath(type), files);
    if (!error.isEmpty()) {
        return Reply::failure(QStringLiteral("refused: %1").arg(error));
    }
    QList<SavedFile> written;
    for (const SavedFile &file : files) {
        written.append(current(file.path));
        if (!writeConfigFile(file.path, file.contents, file.mode, &error)) {
            return Reply::failure(error + ::putBack(written));
        }
    }
    if (!check(type, configPath(type), &error)) {
        return Reply::failure(QStringLiteral("refused, the configuration would be invalid: %1").arg(error) + ::putBack(written));
    }
    return Reply::success();
}

// What sshd or ssh now reports for the changed options, compared with what was asked; empty when it agrees.
QString Configuration::verify(ConfigType type, const QList<Checked> &changes) const
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
    for (const Checked &change : changes) {
        const QString found = mismatch(*change.option, change.value, values);
        if (!found.isEmpty()) {
            return QStringLiteral("refused, another setting wins for %1: %2").arg(change.option->keyword, found);
        }
    }
    return QString();
}

QString Configuration::mismatch(const Option &option, const CheckedValue &checked, const Values &values) const
{
    const QByteArray lower = option.keyword.toLatin1().toLower();
    const QList<QByteArray> now = values.value(lower);
    switch (option.kind) {
    case ValueKind::Subsystem: {
        bool sftp = false;
        for (const QByteArray &line : now) {
            sftp = sftp || line.split(' ').value(0) == "sftp";
        }
        if (sftp != checked.enable) {
            return sftp ? QStringLiteral("an sftp subsystem is still configured") : QStringLiteral("the sftp subsystem is still missing");
        }
        return QString();
    }
    case ValueKind::ListenAddresses: {
        if (checked.expected.isEmpty()) {
            return QString();
        }
        QSet<QString> reported;
        for (const QByteArray &entry : now) {
            reported.insert(QString::fromLatin1(entry).toLower());
        }
        QStringList expected;
        for (const QString &entry : checked.expected) {
            QString address;
            QString port;
            splitListenAddress(entry, &address, &port);
            // An address without a port of its own listens on every Port sshd reports.
            const QString host = address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
            for (const QByteArray &p : port.isEmpty() ? values.value("port") : QList<QByteArray> {port.toLatin1()}) {
                expected.append(host + QLatin1Char(':') + QString::fromLatin1(p));
            }
        }
        if (reported != lowerSet(expected)) {
            return QStringLiteral("sshd listens on %1").arg(QStringList(reported.values()).join(QLatin1Char(' ')));
        }
        return QString();
    }
    case ValueKind::Port:
        // sshd listens on every Port line: exactly the ports asked for, none left over.
        if (lowerSet(tokens(now)) != lowerSet(checked.expected)) {
            return QStringLiteral("the effective value is \"%1\"").arg(tokens(now).join(QLatin1Char(' ')));
        }
        return QString();
    case ValueKind::KeyFilePatterns:
    case ValueKind::AccessPatterns:
        if ((!checked.expected.isEmpty() || option.kind == ValueKind::AccessPatterns) && tokens(now) != checked.expected) {
            return QStringLiteral("the effective value is \"%1\"").arg(tokens(now).join(QLatin1Char(' ')));
        }
        return QString();
    default: {
        QString reported = QString::fromUtf8(now.value(0)).toLower();
        if (reported == QLatin1String("without-password")) {
            reported = QStringLiteral("prohibit-password"); // how `sshd -T` prints it
        }
        if (reported == checked.expected.value(0).toLower()) {
            return QString();
        }
        return QStringLiteral("the effective value is \"%1\"").arg(QString::fromUtf8(now.value(0)));
    }
    }
}

Reply Configuration::restore(ConfigType type, bool fromBackup)
{
    const QString target = configPath(type);
    QList<SavedFile> wanted;
    QString error;
    if (fromBackup) {
        QString setError;
        if (!m_backups.load(typeName(type), &wanted, &setError)) {
            if (m_backups.has(typeName(type))) {
                return Reply::failure(QStringLiteral("refused, nothing was restored: %1").arg(setError));
            }
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
    error = unsafeFiles(type, target, wanted);
    if (!error.isEmpty()) {
        return Reply::failure(QStringLiteral("refused, nothing was restored: %1").arg(error));
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
        if (!writeConfigFile(file.path, file.contents, file.mode, &error)) {
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
        data.insert(Protocol::Reply::Previous, kept);
    }
    return Reply::success(data);
}
