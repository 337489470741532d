// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "atomicfile.h"
#include "configdocument.h"
#include "configfiles.h"
#include "ipaddress.h"
#include "sshsettingsprotocol.h"
#include "unifieddiff.h"

#include <QFile>
#include <QMap>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace OptionCatalog;
using namespace ConfigFiles;
namespace Protocol = SSHSettings::Protocol;

namespace
{
QString canonicalAddress(const QString &address)
{
    const QString canonical = IpAddress::canonical(address);
    return canonical.isEmpty() ? address.toLower() : canonical;
}

/**
 * What "this configuration passed the check" is recorded under: the files' base and the program that checked them,
 * since an upgraded sshd or ssh may refuse what the old one accepted. Empty (never trusted) when the program is missing.
 */
QString checkedRecord(const QString &base, const QString &program)
{
    struct stat status;
    if (base.isEmpty() || ::stat(QFile::encodeName(program).constData(), &status) != 0) {
        return QString();
    }
    return QStringLiteral("%1 %2:%3:%4:%5.%6")
        .arg(base)
        .arg(quint64(status.st_dev))
        .arg(quint64(status.st_ino))
        .arg(qint64(status.st_size))
        .arg(qint64(status.st_mtim.tv_sec))
        .arg(qint64(status.st_mtim.tv_nsec));
}

QSet<QString> lowerSet(const QStringList &list)
{
    QSet<QString> set;
    for (const QString &item : list) {
        set.insert(item.toLower());
    }
    return set;
}
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

bool Configuration::checkChanges(ConfigType type, const QList<Change> &changes, QList<Checked> *checkedChanges, Refusal *error) const
{
    Installed known;
    bool loaded = false;
    for (const Change &change : changes) {
        const Option *option = findOption(type, change.first);
        if (!option) {
            *error = {Refusal::Code::UnknownKeyword, {change.first.left(64)}};
            return false;
        }
        for (const Checked &earlier : std::as_const(*checkedChanges)) {
            if (earlier.option == option) {
                *error = {Refusal::Code::ChangedTwice, {option->keyword}};
                return false;
            }
        }
        // The installed OpenSSH is asked only when a keyword depends on its version or its algorithms.
        if (!loaded && (option->since > 0 || option->until > 0 || option->kind == ValueKind::Algorithms)) {
            known = installed(type);
            loaded = true;
        }
        CheckedValue checked;
        if (!checkValue(*option, change.second, &checked, error, known)) {
            return false;
        }
        for (const QString &address : std::as_const(checked.addresses)) {
            if (!isLocalAddress(address)) {
                *error = {Refusal::Code::NotLocalAddress, {address}};
                return false;
            }
        }
        if (option->kind == ValueKind::Banner && checked.lines.value(0) != "none" && !checkBannerFile(QString::fromLatin1(checked.lines.value(0)), error)) {
            *error = error->within(Refusal::Code::BannerFile);
            return false;
        }
        checkedChanges->append({option, checked});
    }
    return true;
}

bool Configuration::edit(ConfigType type,
                         const Request &request,
                         ConfigDocument *document,
                         QList<Checked> *checkedChanges,
                         QList<CheckedBody> *bodies,
                         Refusal *error) const
{
    const QList<Change> &changes = request.changes;
    if (changes.isEmpty() && request.bodies.isEmpty()) {
        *error = Refusal::Code::NoChange;
        return false;
    }
    if (!checkChanges(type, changes, checkedChanges, error)) {
        return false;
    }
    // The changes of one block together, so that a keyword changed twice there is refused.
    QMap<int, QList<Change>> byBlock;
    for (const BlockBody &body : request.bodies) {
        byBlock[body.index - 1] += body.changes;
    }
    for (auto it = byBlock.cbegin(); it != byBlock.cend(); ++it) {
        CheckedBody checked{it.key(), {}};
        if (!checkBodyChanges(type, it.value(), &checked.changes, error)) {
            return false;
        }
        bodies->append(checked);
    }
    QString loadError;
    if (!document->load(configPath(type), &loadError)) {
        *error = {Refusal::Code::Failed, {loadError}};
        return false;
    }
    for (const CheckedBody &body : std::as_const(*bodies)) {
        if (body.index < 0 || body.index >= document->blocks().size()) {
            *error = {Refusal::Code::NoSuchBlock, {QString::number(body.index + 1), QString::number(document->blocks().size())}};
            return false;
        }
    }
    for (const Checked &change : std::as_const(*checkedChanges)) {
        *error = heldInBlock(type, *change.option, change.value, *document);
        if (!error->isNull()) {
            return false;
        }
    }
    for (const Checked &change : std::as_const(*checkedChanges)) {
        const CheckedValue &checked = change.value;
        if (change.option->kind == ValueKind::Subsystem && checked.remove) {
            // Removed as every keyword is: every Subsystem line outside blocks, not only sftp's.
            document->setAll(change.option->keyword, {});
        } else if (change.option->kind == ValueKind::Subsystem) {
            document->setSftpSubsystem(checked.enable, m_paths.sftpServer.toLatin1());
        } else if (change.option->accumulating || checked.lines.isEmpty()) {
            document->setAll(change.option->keyword, checked.lines);
        } else {
            document->setSingle(change.option->keyword, checked.lines.first());
        }
    }
    // Block indexes stay as they are: a body's lines change, no block comes or goes.
    for (const CheckedBody &body : std::as_const(*bodies)) {
        for (const Checked &change : body.changes) {
            document->setInBlock(body.index, change.option->keyword, change.value.lines);
        }
    }
    return true;
}

Reply Configuration::preview(ConfigType type, const Request &request, ConfigDocument *document, QList<Checked> *checkedChanges) const
{
    Refusal error;
    QVariantMap data;
    if (!editRequest(type, request, document, checkedChanges, &error, &data)) {
        return Reply::failure(error);
    }
    insertDiffs(*document, &data);
    data.insert(Protocol::Reply::Base, base(*document));
    return Reply::success(data);
}

// Reply::Diff and Reply::FileDiffs of what the document changed: both empty when it changed nothing.
void Configuration::insertDiffs(const ConfigDocument &document, QVariantMap *data)
{
    const QStringList paths = document.filePaths();
    QByteArray diff;
    QVariantMap diffs;
    for (const auto &file : document.modifiedFiles()) {
        const QByteArray fileDiff = unifiedDiff(file.first, document.originalContents(paths.indexOf(file.first)), file.second);
        diffs.insert(file.first, fileDiff);
        diff += fileDiff;
    }
    data->insert(Protocol::Reply::Diff, diff);
    data->insert(Protocol::Reply::FileDiffs, diffs);
}

Reply Configuration::transaction(ConfigType type, const Request &request, Written *written)
{
    QList<Checked> checkedChanges;
    QList<const Option *> readOptions;
    Refusal refusal;
    QString error;
    const QString mainPath = configPath(type);
    ConfigDocument document(dialect(type));
    if (!findOptions(type, request.readKeywords, &readOptions, &refusal)) {
        return Reply::failure(refusal);
    }
    if (request.dryRun) {
        return preview(type, request, &document, &checkedChanges);
    }
    QVariantMap blockData;
    int block = -1;
    QList<CheckedBody> bodies;
    if (!editRequest(type, request, &document, &checkedChanges, &refusal, &blockData, &block, &bodies)) {
        return Reply::failure(refusal);
    }
    const QString before = base(document);
    if (!request.base.isEmpty() && request.base != before) {
        return Reply::failure(Refusal::Code::ChangedSinceReview);
    }
    const QList<QPair<QString, QByteArray>> modified = document.modifiedFiles();
    const QStringList paths = document.filePaths();
    Written done;
    const auto success = [&] {
        QVariantMap data = request.readKeywords.isEmpty() ? QVariantMap() : readData(type, request.readKeywords, done.values, &document, false);
        for (auto it = blockData.cbegin(); it != blockData.cend(); ++it) {
            data.insert(it.key(), it.value());
        }
        // What was written, as a dry run shows it: nothing when every value asked for was in force already.
        insertDiffs(document, &data);
        return Reply::success(data);
    };
    if (modified.isEmpty()) {
        if (!request.readKeywords.isEmpty() && !effectiveValues(type, mainPath, &done.values, &error)) {
            return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
        }
        return success();
    }
    QList<SavedFile> original;
    for (const QString &path : paths) {
        original.append(current(path));
    }

    // The usual change touches the main file alone: check the candidate beside it
    // before it replaces anything, so an invalid file never stands in its place.
    const bool mainFileOnly = modified.size() == 1 && modified.constFirst().first == mainPath;
    if (mainFileOnly) {
        // A name of its own (O_EXCL): no other writer, nor anyone planting a file, shares it.
        QByteArray name = QFile::encodeName(writeTarget(mainPath) + QStringLiteral(".sshsettings-candidate-XXXXXX"));
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        QFile file;
        const QString candidate = QFile::decodeName(name);
        if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) || ::fchmod(fd, original.constFirst().mode) != 0
            || file.write(modified.constFirst().second) != modified.constFirst().second.size() || !file.flush()) {
            error = fd < 0 ? QString::fromLocal8Bit(strerror(errno)) : file.errorString();
            if (fd >= 0) {
                file.isOpen() ? file.close() : (void)::close(fd);
                ::unlink(name.constData());
            }
            return Reply::failure(Refusal::Code::CandidateWrite, {mainPath, error});
        }
        file.close();
        const bool valid = check(type, candidate, &error);
        ::unlink(name.constData());
        if (!valid) {
            return Reply::failure(Refusal::Code::WouldBeInvalid, {error.replace(candidate, mainPath)});
        }
    }
    // The backup keeps the last configuration that worked: the one verified here last, else one sshd accepts as it is.
    QString ignored;
    const bool workedBefore =
        m_backups.isVerified(typeName(type), checkedRecord(before, type == ConfigType::Client ? m_paths.ssh : m_paths.sshd)) || check(type, mainPath, &ignored);

    auto refuse = [&](const Refusal &reason) {
        return Reply::failure(reason.also(putBack(done.before)));
    };
    for (const auto &file : modified) {
        done.before.append(original.at(paths.indexOf(file.first)));
        if (!writeConfigFile(file.first, file.second, 0644, &error)) {
            return refuse({Refusal::Code::Failed, {error}});
        }
    }
    // Drop-ins are checked where they are: the main file names them.
    if (!mainFileOnly && !check(type, mainPath, &error)) {
        return refuse({Refusal::Code::WouldBeInvalid, {error}});
    }
    // Values written into a block are in force only for the connections it matches: sshd is asked about one of them.
    const bool inBlock = request.block.isSet();
    const Refusal mismatch = verify(type, inBlock ? QList<Checked>() : checkedChanges, &done.values);
    if (!mismatch.isNull()) {
        return refuse(mismatch);
    }
    const Refusal unused = inBlock && block >= 0 && type == ConfigType::Server ? blockValuesInForce(document, block, checkedChanges) : Refusal();
    if (!unused.isNull()) {
        return refuse(unused);
    }
    for (const CheckedBody &body : std::as_const(bodies)) {
        const Refusal notTaken = type == ConfigType::Server ? blockValuesInForce(document, body.index, body.changes, true) : Refusal();
        if (!notTaken.isNull()) {
            return refuse(notTaken);
        }
    }
    // Accepted: only now may the backup of the last working configuration be replaced.
    if (workedBefore) {
        if (!m_backups.save(typeName(type), original, &error)
            || !AtomicFile::writeFile(backupPath(type), original.constFirst().contents, &error, original.constFirst().mode)) {
            return refuse({Refusal::Code::CannotKeepWorking, {error}});
        }
    }
    m_backups.setVerified(typeName(type), checkedRecord(base(document, true), type == ConfigType::Client ? m_paths.ssh : m_paths.sshd));
    const Reply reply = success();
    if (written) {
        *written = done;
    }
    return reply;
}

QString Configuration::putBack(const QList<SavedFile> &files) const
{
    return ConfigFiles::putBack(files);
}

Reply Configuration::replaceFiles(ConfigType type, const QList<SavedFile> &files)
{
    const Refusal unsafe = unsafeFiles(type, configPath(type), files);
    if (!unsafe.isNull()) {
        return Reply::failure(unsafe.within(Refusal::Code::UnsafeFiles));
    }
    QString error;
    QList<SavedFile> written;
    for (const SavedFile &file : files) {
        written.append(current(file.path));
        if (!writeConfigFile(file.path, file.contents, file.mode, &error)) {
            return Reply::failure(Refusal(Refusal::Code::Failed, {error}).also(ConfigFiles::putBack(written)));
        }
    }
    if (!checkInPlace(type, &error)) {
        return Reply::failure(Refusal(Refusal::Code::WouldBeInvalid, {error}).also(ConfigFiles::putBack(written)));
    }
    return Reply::success();
}

bool Configuration::checkInPlace(ConfigType type, QString *error) const
{
    if (!check(type, configPath(type), error)) {
        return false;
    }
    ConfigDocument document(dialect(type));
    QString ignored;
    if (document.load(configPath(type), &ignored)) {
        m_backups.setVerified(typeName(type), checkedRecord(base(document), type == ConfigType::Client ? m_paths.ssh : m_paths.sshd));
    }
    return true;
}

// What sshd or ssh now reports for the changed options, compared with what was asked; empty when it agrees.
Refusal Configuration::verify(ConfigType type, const QList<Checked> &changes, Values *verified) const
{
    Values &values = *verified;
    QString error;
    if (!effectiveValues(type, configPath(type), &values, &error)) {
        return {Refusal::Code::CannotReadBack, {error}};
    }
    const int sockets = values.value("listenaddress").size();
    if (type == ConfigType::Server && sockets > MaxListenSockets) {
        return {Refusal::Code::TooManySockets, {QString::number(sockets), QString::number(MaxListenSockets)}};
    }
    for (const Checked &change : changes) {
        const Refusal found = mismatch(*change.option, change.value, values);
        if (!found.isNull()) {
            return found.within(Refusal::Code::OtherSettingWins, {change.option->keyword});
        }
    }
    return Refusal();
}

Refusal Configuration::heldInBlock(ConfigType type, const Option &option, const CheckedValue &checked, const ConfigDocument &document) const
{
    // A single value written outside blocks comes first in the file and wins; a removed one, or one of a keyword
    // whose every occurrence counts, leaves what the block says in force.
    if (type != ConfigType::Client || !(checked.lines.isEmpty() || option.accumulating)) {
        return Refusal();
    }
    const QByteArray keyword = option.keyword.toLatin1().toLower();
    QByteArray block;
    for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
        if (occurrence.keyword == "host" || occurrence.keyword == "match") {
            block = occurrence.keyword == "host" ? "Host" : "Match";
            for (const QByteArray &argument : occurrence.arguments) {
                block += ' ' + argument;
            }
        } else if (occurrence.keyword == keyword && !occurrence.global && (block == "Host *" || block == "Match all")) {
            return {Refusal::Code::SetInBlock,
                    {option.keyword, document.filePaths().value(occurrence.file), QString::number(occurrence.line + 1), QString::fromUtf8(block)}};
        }
    }
    return Refusal();
}

Refusal Configuration::mismatch(const Option &option, const CheckedValue &checked, const Values &values) const
{
    const QByteArray lower = option.keyword.toLatin1().toLower();
    const QList<QByteArray> now = values.value(lower);
    // A removed keyword takes the default of this build, which only sshd and ssh know.
    if (checked.lines.isEmpty() && option.kind != ValueKind::AccessPatterns && option.kind != ValueKind::Subsystem) {
        return Refusal();
    }
    switch (option.kind) {
    case ValueKind::Subsystem: {
        bool sftp = false;
        for (const QByteArray &line : now) {
            sftp = sftp || line.split(' ').value(0) == "sftp";
        }
        if (sftp != checked.enable) {
            return sftp ? Refusal::Code::SftpStillConfigured : Refusal::Code::SftpMissing;
        }
        return Refusal();
    }
    case ValueKind::ListenAddresses: {
        if (checked.expected.isEmpty()) {
            return Refusal();
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
            for (const QByteArray &p : port.isEmpty() ? values.value("port") : QList<QByteArray>{port.toLatin1()}) {
                expected.append(host + QLatin1Char(':') + QString::fromLatin1(p));
            }
        }
        if (reported != lowerSet(expected)) {
            return {Refusal::Code::ListensOn, {QStringList(reported.values()).join(QLatin1Char(' '))}};
        }
        return Refusal();
    }
    case ValueKind::Port:
        // sshd listens on every Port line: exactly the ports asked for, none left over.
        if (lowerSet(tokens(now)) != lowerSet(checked.expected)) {
            return {Refusal::Code::EffectiveValue, {tokens(now).join(QLatin1Char(' '))}};
        }
        return Refusal();
    case ValueKind::KeyFilePatterns:
    case ValueKind::AccessPatterns:
        if ((!checked.expected.isEmpty() || option.kind == ValueKind::AccessPatterns) && tokens(now) != checked.expected) {
            return {Refusal::Code::EffectiveValue, {tokens(now).join(QLatin1Char(' '))}};
        }
        return Refusal();
    default: {
        // Some keywords sshd -T does not print (DebianBanner, KerberosGetAFSToken on Debian 12): sshd -t judged them.
        // Others sshd -T and ssh -G print in words of their own ("true" for yes).
        if (checked.expected.isEmpty() || now.isEmpty() || canonicalWord(QString::fromUtf8(now.value(0))) == canonicalWord(checked.expected.value(0))) {
            return Refusal();
        }
        return {Refusal::Code::EffectiveValue, {QString::fromUtf8(now.value(0))}};
    }
    }
}
