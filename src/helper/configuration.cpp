// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "configdocument.h"
#include "configfiles.h"
#include "ipaddress.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QSet>

#include <sys/stat.h>

using namespace OptionCatalog;
using namespace ConfigFiles;
namespace Protocol = SSHSettings::Protocol;

namespace
{
// Any host name: ssh -G then reports what applies to every host.
const QString s_anyHost = QStringLiteral("ssh-settings.invalid");

/**
 * The answer of an installed program about itself (its version, the algorithms it knows): it changes only with the
 * program's file, so it is asked once per helper process and file, known by its device, inode, size and modification
 * time. An answer cut short (not started, or ended at the time limit) is not kept, and a file that cannot be stat()ed
 * is asked each time.
 */
ProgramResult askedOnce(const QString &program, const QStringList &arguments)
{
    static QMutex mutex;
    static QHash<QString, std::pair<QByteArray, ProgramResult>> answers;
    QByteArray identity;
    struct stat status;
    if (stat(QFile::encodeName(program).constData(), &status) == 0) {
        identity = QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino)) + ':'
            + QByteArray::number(qint64(status.st_size)) + ':' + QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qint64(status.st_mtim.tv_nsec));
    }
    const QString key = program + QLatin1Char('\n') + arguments.join(QLatin1Char('\n'));
    {
        const QMutexLocker locker(&mutex);
        const auto known = answers.constFind(key);
        if (!identity.isEmpty() && known != answers.constEnd() && known->first == identity) {
            return known->second;
        }
    }
    const ProgramResult result = runProgram(program, arguments);
    if (!identity.isEmpty() && result.finished) {
        const QMutexLocker locker(&mutex);
        answers.insert(key, {identity, result});
    }
    return result;
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
}

QStringList Configuration::tokens(const QList<QByteArray> &values)
{
    QStringList all;
    for (const QByteArray &value : values) {
        all += QString::fromUtf8(value).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return all;
}

Configuration::Values Configuration::parseDump(const QByteArray &output)
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

Configuration::Configuration(const EnginePaths &paths)
    : m_paths(paths)
    , m_backups(paths.backupDir)
{
}

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
    result = runProgram(m_paths.sshd, QStringList{QStringLiteral("-t"), QStringLiteral("-f"), path} + m_paths.sshdExtraArguments);
    if (!result.succeeded()) {
        *error = result.reason(m_paths.sshd);
        return false;
    }
    return true;
}

int Configuration::installedVersion(ConfigType type) const
{
    // Versions before 9.0 have no -V for sshd but name themselves in the usage text it prints.
    const ProgramResult result = askedOnce(type == ConfigType::Client ? m_paths.ssh : m_paths.sshd, {QStringLiteral("-V")});
    return parseVersion(result.standardError + result.standardOutput);
}

Installed Configuration::installed(ConfigType type) const
{
    Installed known;
    known.version = installedVersion(type);
    const QStringList queries = algorithmQueries();
    for (const QString &query : queries) {
        const ProgramResult result = askedOnce(m_paths.ssh, {QStringLiteral("-Q"), query});
        if (result.succeeded()) {
            known.algorithms.insert(query, QString::fromLatin1(result.standardOutput).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
        }
    }
    return known;
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
        // sshd -T refuses a configuration with a Match LocalPort block unless it is told a port: the values for every
        // connection are those of a port no such block names.
        if (connection.isEmpty() && !result.succeeded() && result.standardError.contains("'lport' not in connection test")) {
            arguments << QStringLiteral("-C") << QStringLiteral("lport=%1").arg(portNoBlockNames(path));
            result = runProgram(m_paths.sshd, arguments + m_paths.sshdExtraArguments);
        }
    }
    if (!result.succeeded()) {
        *error = result.reason(type == ConfigType::Client ? m_paths.ssh : m_paths.sshd);
        return false;
    }
    *values = parseDump(result.standardOutput);
    return true;
}

int Configuration::portNoBlockNames(const QString &path) const
{
    QSet<int> named;
    ConfigDocument document(ConfigDocument::Dialect::Server);
    QString ignored;
    if (document.load(path, &ignored)) {
        for (const ConfigDocument::Block &block : document.blocks()) {
            // "LocalPort 2222" or "LocalPort=2222", a list of ports after it.
            const QByteArray criteria = block.arguments.join(' ').toLower().replace('=', ' ');
            const QList<QByteArray> words = criteria.split(' ');
            for (int i = 0; i + 1 < words.size(); ++i) {
                if (words.at(i) == "localport") {
                    for (const QByteArray &port : words.at(i + 1).split(',')) {
                        named.insert(port.toInt());
                    }
                }
            }
        }
    }
    int port = 65535;
    while (named.contains(port) && port > 1) {
        --port;
    }
    return port;
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

void Configuration::documentValues(ConfigType type, const ConfigDocument &document, Values *values, const Asked *asked) const
{
    values->clear();
    // For a connection, the lines of the blocks that apply to it, before the global ones.
    QHash<QByteArray, QList<ConfigDocument::Occurrence>> inBlocks;
    QHash<int, bool> holds;
    for (const ConfigDocument::Occurrence &occurrence : asked ? document.allOccurrences() : QList<ConfigDocument::Occurrence>()) {
        if (occurrence.block >= 0 && occurrence.keyword != "match" && occurrence.keyword != "include") {
            if (!holds.contains(occurrence.block)) {
                holds.insert(occurrence.block, applies(document, occurrence.block, *asked));
            }
            if (holds.value(occurrence.block)) {
                inBlocks[occurrence.keyword].append(occurrence);
            }
        }
    }
    for (const Option &option : options(type)) {
        const QByteArray keyword = option.keyword.toLatin1().toLower();
        const QList<ConfigDocument::Occurrence> found = inBlocks.contains(keyword) ? inBlocks.value(keyword) : document.occurrences(keyword);
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
            for (const QByteArray &p : port.isEmpty() ? ports : QList<QByteArray>{port.toLatin1()}) {
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

bool Configuration::findOptions(ConfigType type, const QStringList &keywords, QList<const Option *> *found, Refusal *error)
{
    for (const QString &keyword : keywords) {
        const Option *option = findOption(type, keyword);
        if (!option) {
            *error = {Refusal::Code::UnknownKeyword, {keyword.left(64)}};
            return false;
        }
        found->append(option);
    }
    return true;
}

Reply Configuration::read(ConfigType type, const QStringList &keywords) const
{
    QList<const Option *> wanted;
    Refusal refusal;
    if (!findOptions(type, keywords, &wanted, &refusal)) {
        return Reply::failure(refusal);
    }
    Values values;
    QString error;
    if (!effectiveValues(type, configPath(type), &values, &error)) {
        // Values taken from the files would not be what sshd runs with: say why instead.
        return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
    }
    ConfigDocument document(dialect(type));
    QVariantMap data = readData(type, keywords, values, document.load(configPath(type), &error) ? &document : nullptr);
    return Reply::success(data);
}

Reply Configuration::readFiles(ConfigType type, const QStringList &keywords, const QByteArray &mainContents) const
{
    QList<const Option *> wanted;
    Refusal refusal;
    if (!findOptions(type, keywords, &wanted, &refusal)) {
        return Reply::failure(refusal);
    }
    ConfigDocument document(dialect(type));
    QString error;
    if (!document.loadFromContents(configPath(type), mainContents, &error)) {
        return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
    }
    Values values;
    documentValues(type, document, &values);
    return Reply::success(readData(type, keywords, values, &document, false));
}

QVariantMap Configuration::readData(ConfigType type, const QStringList &keywords, const Values &values, const ConfigDocument *document, bool algorithms) const
{
    QList<const Option *> wanted;
    Refusal ignored;
    findOptions(type, keywords, &wanted, &ignored);
    // Keywords sshd -T does not print (DebianBanner, KerberosGetAFSToken on Debian 12) as the files set them.
    Values written;
    if (document) {
        documentValues(type, *document, &written);
    }
    QVariantMap data;
    for (int i = 0; i < wanted.size(); ++i) {
        const Option &option = *wanted.at(i);
        const QString key = keywords.at(i).toLower();
        const QByteArray lower = option.keyword.toLatin1().toLower();
        const QList<QByteArray> found = values.contains(lower) || !written.contains(lower) ? values.value(lower) : written.value(lower);
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
            QStringList list = writtenListenAddresses(document);
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
        case ValueKind::Port:
            // sshd listens on each Port line: blank-separated, as a change takes them.
            data.insert(key, found.isEmpty() ? option.defaultValue : QString::fromUtf8(found.join(' ')));
            break;
        default:
            if (option.accumulating) {
                QStringList list;
                for (const QByteArray &value : found) {
                    list.append(QString::fromUtf8(value));
                }
                data.insert(key, list);
            } else {
                data.insert(key, found.isEmpty() ? option.defaultValue : QString::fromUtf8(found.first()));
            }
            break;
        }
    }
    data.insert(Protocol::Reply::Origins, document ? origins(type, wanted, *document) : QVariantMap());
    // What the editors of the page offer: the version gates keywords, `ssh -Q` names what an algorithm list may hold.
    // The six queries cost more than the rest of a read: they run only for a read of an algorithm list (the page reads
    // those when it shows them), once per helper process, and not for the answer to a change, as what this OpenSSH
    // supports does not change with its configuration.
    const bool lists = algorithms && std::any_of(wanted.cbegin(), wanted.cend(), [](const Option *option) {
                           return option->kind == ValueKind::Algorithms;
                       });
    Installed known;
    if (lists) {
        known = installed(type);
    } else {
        known.version = installedVersion(type);
    }
    QVariantMap supported;
    for (auto it = known.algorithms.cbegin(); it != known.algorithms.cend(); ++it) {
        supported.insert(it.key(), it.value());
    }
    data.insert(Protocol::Reply::Version, known.version);
    data.insert(Protocol::Reply::Algorithms, supported);
    return data;
}

QVariantMap Configuration::origins(ConfigType type, const QList<const Option *> &options, const ConfigDocument &document) const
{
    QVariantMap result;
    const QStringList files = document.filePaths();
    const auto place = [&files](const ConfigDocument::Occurrence &occurrence) {
        return QVariantMap{{Protocol::Reply::OriginFile, files.value(occurrence.file)},
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

// The ListenAddress lines of the server's @p document, "address:port" or the address alone (IPv6 in
// brackets); empty when there is none or no document, or one names a host rather than an address.
QStringList Configuration::writtenListenAddresses(const ConfigDocument *document) const
{
    if (!document) {
        return {};
    }
    QStringList list;
    for (const ConfigDocument::Occurrence &occurrence : document->occurrences("listenaddress")) {
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
