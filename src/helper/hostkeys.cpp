// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "hostkeys.h"

#include "configbackups.h"
#include "configdocument.h"
#include "configuration.h"
#include "engine.h"
#include "pinnedfolder.h"
#include "runprogram.h"
#include "sshsettingsprotocol.h"
#include "unifieddiff.h"
#include "writerlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Protocol = SSHSettings::Protocol;
namespace ReplyKey = SSHSettings::Protocol::Reply;

namespace HostKeys
{
bool parseFingerprint(const QByteArray &output, Fingerprint *result)
{
    const int end = output.indexOf('\n');
    const QList<QByteArray> words = output.left(end < 0 ? output.size() : end).simplified().split(' ');
    if (words.size() < 3) {
        return false;
    }
    bool ok = false;
    const int bits = words.first().toInt(&ok);
    const QByteArray &type = words.last();
    static const QRegularExpression typeName(QStringLiteral("^\\([A-Z0-9-]+\\)$"));
    if (!ok || bits <= 0 || !words.at(1).startsWith("SHA256:") || words.at(1).size() < 8 || !typeName.match(QString::fromLatin1(type)).hasMatch()) {
        return false;
    }
    *result = {bits, QString::fromLatin1(words.at(1)), QString::fromLatin1(type.mid(1, type.size() - 2))};
    return true;
}

Moduli readModuli(const QByteArray &contents)
{
    Moduli moduli;
    QList<QByteArray> kept;
    const QList<QByteArray> lines = contents.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // Time Type Tests Tries Size Generator Modulus; anything else sshd skips, and so does the check.
        if (fields.size() == 7 && !fields.first().startsWith('#')) {
            ++moduli.total;
            bool ok = false;
            const int size = fields.at(4).toInt(&ok);
            if (ok && size + 1 < RecommendedBits) {
                ++moduli.weak;
                continue;
            }
        }
        kept.append(line);
    }
    moduli.strong = kept.join('\n');
    return moduli;
}

QVariantMap
finding(const QString &id, const QString &severity, const QString &subject, const QString &current, const QString &recommended, const QString &origin)
{
    return {{ReplyKey::FindingId, id},
            {ReplyKey::FindingSeverity, severity},
            {ReplyKey::FindingSubject, subject},
            {ReplyKey::FindingCurrent, current},
            {ReplyKey::FindingRecommended, recommended},
            {ReplyKey::FindingOrigin, origin},
            {ReplyKey::FindingBlock, QString()},
            {ReplyKey::FindingFixable, true}};
}

QVariantList keyFindings(const QList<Key> &keys, uid_t root)
{
    QVariantList findings;
    const QString fail = QStringLiteral("fail");
    for (const Key &key : keys) {
        const QString origin = key.fromLine ? key.origin : QStringLiteral("default");
        const QString size = QStringLiteral("%1 %2 bits").arg(key.print.type).arg(key.print.bits);
        if (key.configured && key.fromLine && !key.present) {
            findings.append(finding(QStringLiteral("hostkey-missing"),
                                    QStringLiteral("warn"),
                                    key.file,
                                    QStringLiteral("missing"),
                                    QStringLiteral("no HostKey line"),
                                    origin));
        }
        if (key.configured && key.known() && key.print.type == QLatin1String("RSA") && key.print.bits < RecommendedBits) {
            findings.append(finding(QStringLiteral("hostkey-rsa-size"),
                                    key.print.bits < MinimumRsaBits ? fail : QStringLiteral("warn"),
                                    key.file,
                                    size,
                                    QStringLiteral("ED25519, or RSA %1 bits or more").arg(RecommendedBits),
                                    origin));
        }
        for (const auto &[type, id] : {std::pair{"DSA", "hostkey-dsa"}, std::pair{"ECDSA", "hostkey-ecdsa"}}) {
            if (key.configured && key.known() && key.print.type == QLatin1String(type)) {
                findings.append(finding(QLatin1String(id), fail, key.file, size, QStringLiteral("not used"), origin));
            }
        }
        if (key.present && !key.protectedAs(root)) {
            QString current = QStringLiteral("private %1 owner %2").arg(key.mode, 4, 8, QLatin1Char('0')).arg(key.owner);
            if (key.publicMode >= 0) {
                current += QStringLiteral(", public %1 owner %2").arg(key.publicMode, 4, 8, QLatin1Char('0')).arg(key.publicOwner);
            }
            findings.append(finding(QStringLiteral("hostkey-permissions"),
                                    fail,
                                    key.file,
                                    current,
                                    QStringLiteral("private 0600, public 0644, owner %1").arg(root),
                                    origin));
        }
    }
    return findings;
}

QVariantList moduliFindings(const Moduli &moduli, const QString &path)
{
    if (moduli.weak == 0) {
        return {};
    }
    return {finding(QStringLiteral("moduli-weak"),
                    QStringLiteral("warn"),
                    path,
                    QStringLiteral("%1 of %2 under %3 bits").arg(moduli.weak).arg(moduli.total).arg(RecommendedBits),
                    QStringLiteral("none under %1 bits").arg(RecommendedBits),
                    path)};
}
}

namespace
{
using HostKeys::Key;
using ConfigType = OptionCatalog::ConfigType;

constexpr qint64 MaxKeyFileSize = 1024 * 1024;
constexpr qint64 MaxModuliSize = 16 * 1024 * 1024;
// Generating a large RSA key takes a while; the module waits longer (Protocol::ActionTimeoutMs).
constexpr int KeygenTimeoutMs = 240000;
static_assert(Protocol::ActionTimeoutMs > KeygenTimeoutMs + 30000);

QString ownerName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// The key's files as they are, no link followed, and what ssh-keygen -l says of its public half.
void inspect(const EnginePaths &paths, Key *key)
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
        publicKey = runProgram(paths.sshKeygen, {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("/dev/stdin")}, privateKey).standardOutput;
    }
    if (!publicKey.isEmpty()) {
        const ProgramResult listed = runProgram(paths.sshKeygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("/dev/stdin")}, publicKey);
        if (listed.succeeded()) {
            HostKeys::parseFingerprint(listed.standardOutput, &key->print);
        }
    }
}

/// The server's keys, and whether HostKey lines name them (else sshd's defaults apply); a null error when read.
struct Listing {
    QList<Key> keys;
    bool fromLines = false;
    Refusal error;
};

// Every key sshd uses (its HostKey lines, else its defaults) and every one lying in the key folder.
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
    if (!listing.fromLines) {
        used = configuration.effectiveValues(ConfigType::Server, paths.serverConfig, &values, &reason)
            ? values.value("hostkey")
            : QList<QByteArray>{"/etc/ssh/ssh_host_rsa_key", "/etc/ssh/ssh_host_ecdsa_key", "/etc/ssh/ssh_host_ed25519_key"};
    }
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
    return listing;
}

QString modulePath(const EnginePaths &paths)
{
    return paths.sshDir + QLatin1String("/moduli");
}

bool readModuliFile(const EnginePaths &paths, QByteArray *contents, struct stat *status)
{
    const PinnedFolder folder(paths.sshDir, {});
    QString error;
    return folder.stat(QStringLiteral("moduli"), status) && folder.read(QStringLiteral("moduli"), contents, MaxModuliSize, &error);
}

// A name in the key folder that no file and no HostKey line has: ssh_host_TYPE_key, else ssh_host_TYPE_key-2, …
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

// ssh-keygen into a fresh folder only this user can enter, then the pair written into the key folder.
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

// The key's files kept among the backups ("hostkey-NAME-replaced-TIME"), then taken out of the key folder.
bool moveToBackups(const EnginePaths &paths, const QString &path, QString *error)
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.path(), {});
    QList<SavedFile> saved;
    for (const QString &name : {info.fileName(), info.fileName() + QLatin1String(".pub")}) {
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

// Private 0600, public 0644, both owned by the helper's user (root), through descriptors that follow no link.
bool protect(const Key &key, QString *error)
{
    const QFileInfo info(key.file);
    const PinnedFolder folder(info.path(), {});
    for (const auto &[name, mode] : {std::pair{info.fileName(), mode_t(0600)}, std::pair{info.fileName() + QLatin1String(".pub"), mode_t(0644)}}) {
        const int fd = ::openat(folder.descriptor(), QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT && mode == 0644) {
            continue;
        }
        struct stat status;
        const bool done =
            fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fchown(fd, ::geteuid(), ::getegid()) == 0 && ::fchmod(fd, mode) == 0;
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

/// What a host key operation or fix changes.
struct Plan {
    QStringList remove; ///< keys whose HostKey lines go; their files are kept among the backups
    QStringList moveOnly; ///< keys sshd does not use whose files are kept among the backups
    QString generate; ///< type of a key to generate and add; empty: none
    int bits = 0;
    QList<Key> protect;
    bool moduli = false;
};

// The HostKey lines once @p plan is carried out: sshd's lines (or the default keys it finds) without the removed ones.
QStringList hostKeyLines(const QList<Key> &keys, bool fromLines, const Plan &plan, const QString &added)
{
    QStringList lines;
    for (const Key &key : keys) {
        if (key.configured && !plan.remove.contains(key.file) && (fromLines ? key.fromLine : key.present)) {
            lines.append(key.file);
        }
    }
    if (!added.isEmpty()) {
        lines.append(added);
    }
    return lines;
}

bool leavesUsableKey(const QList<Key> &keys, const Plan &plan)
{
    return !plan.generate.isEmpty() || std::any_of(keys.cbegin(), keys.cend(), [&plan](const Key &key) {
        const bool protectedNow = std::any_of(plan.protect.cbegin(), plan.protect.cend(), [&key](const Key &other) {
            return other.file == key.file;
        });
        return key.configured && (key.usable() || (key.known() && protectedNow)) && !plan.remove.contains(key.file);
    });
}

Reply carryOut(Engine &engine, const EnginePaths &paths, const Listing &listing, const Plan &plan, Engine::Transaction options)
{
    const QList<Key> &keys = listing.keys;
    QString newKey;
    if (!plan.generate.isEmpty()) {
        newKey = freshKeyPath(paths, plan.generate, keys);
        if (newKey.isEmpty()) {
            return Reply::failure(Refusal::Code::Failed, {QStringLiteral("no free name for a new host key in %1").arg(paths.sshDir)});
        }
    }
    if (!plan.remove.isEmpty() || !newKey.isEmpty()) {
        const QStringList lines = hostKeyLines(keys, listing.fromLines, plan, newKey);
        if (lines.isEmpty()) {
            return Reply::failure(Refusal::Code::LastHostKey, {plan.remove.value(0)});
        }
        options.changes.append({QStringLiteral("HostKey"), lines});
    }
    QByteArray moduli;
    struct stat moduliStatus;
    HostKeys::Moduli strong;
    if (plan.moduli && readModuliFile(paths, &moduli, &moduliStatus)) {
        strong = HostKeys::readModuli(moduli);
    }
    Reply reply = Reply::success({{ReplyKey::Restarts, false}});
    if (options.dryRun) {
        reply = options.changes.isEmpty() ? reply : engine.applyTransaction(ConfigType::Server, options);
        if (reply.ok && strong.weak > 0) {
            const QByteArray diff = unifiedDiff(modulePath(paths), moduli, strong.strong);
            QVariantMap diffs = reply.data.value(ReplyKey::FileDiffs).toMap();
            diffs.insert(modulePath(paths), diff);
            reply.data.insert(ReplyKey::FileDiffs, diffs);
            reply.data.insert(ReplyKey::Diff, reply.data.value(ReplyKey::Diff).toByteArray() + diff);
        }
    } else {
        QString error;
        if (!newKey.isEmpty() && !installKey(paths, plan.generate, plan.bits, newKey, &error)) {
            return Reply::failure(Refusal::Code::Failed, {QStringLiteral("cannot generate a host key: %1").arg(error)});
        }
        if (!options.changes.isEmpty()) {
            reply = engine.applyTransaction(ConfigType::Server, options);
            if (!reply.ok) {
                if (!newKey.isEmpty()) {
                    removeKeyFiles(newKey);
                }
                return reply;
            }
        }
        // The files themselves, once sshd no longer names them.
        WriterLock lock(paths.backupDir, QStringLiteral("host keys"), paths.writerWaitMs);
        QStringList failed;
        for (const QString &file : plan.remove + plan.moveOnly) {
            if (lock.isHeld() && !moveToBackups(paths, file, &error)) {
                failed.append(error);
            }
        }
        for (const Key &key : plan.protect) {
            if (lock.isHeld() && !protect(key, &error)) {
                failed.append(error);
            }
        }
        if (lock.isHeld() && strong.weak > 0) {
            const PinnedFolder folder(paths.sshDir, {});
            QString kept;
            const SavedFile before = {modulePath(paths), moduli, moduliStatus.st_mode & 07777, moduliStatus.st_uid, moduliStatus.st_gid};
            if (!ConfigBackups(paths.backupDir).keepReplaced(QStringLiteral("moduli"), {before}, &kept, &error)
                || !folder.write(QStringLiteral("moduli"), strong.strong, moduliStatus.st_uid, moduliStatus.st_gid, moduliStatus.st_mode & 07777, &error)) {
                failed.append(error);
            }
        }
        if (!lock.isHeld()) {
            failed.append(lock.error().text());
        }
        if (!failed.isEmpty()) {
            const QString done = options.changes.isEmpty() ? QString() : QStringLiteral("the configuration was changed, but ");
            return Reply::failure(Refusal::Code::Failed, {done + failed.join(QLatin1String("; "))});
        }
    }
    if (reply.ok && !newKey.isEmpty()) {
        reply.data.insert(ReplyKey::NewHostKey, newKey);
    }
    return reply;
}
}

Reply Engine::readHostKeys()
{
    const Listing listing = listKeys(m_paths, *m_configuration);
    if (!listing.error.isNull()) {
        return Reply::failure(listing.error);
    }
    const QList<Key> &keys = listing.keys;
    QVariantList entries;
    for (const Key &key : std::as_const(keys)) {
        entries.append(QVariantMap{{ReplyKey::HostKeyEntryFile, key.file},
                                   {ReplyKey::HostKeyEntryType, key.print.type},
                                   {ReplyKey::HostKeyEntryBits, key.print.bits},
                                   {ReplyKey::HostKeyEntryFingerprint, key.print.fingerprint},
                                   {ReplyKey::HostKeyEntryMode, key.mode},
                                   {ReplyKey::HostKeyEntryOwner, key.present ? ownerName(key.owner) : QString()},
                                   {ReplyKey::HostKeyEntryConfigured, key.configured},
                                   {ReplyKey::HostKeyEntryPresent, key.present}});
    }
    return Reply::success({{ReplyKey::HostKeys, entries}});
}

QVariantList Engine::hostKeyFindings()
{
    const Listing listing = listKeys(m_paths, *m_configuration);
    QVariantList findings = HostKeys::keyFindings(listing.keys, ::geteuid());
    QByteArray moduli;
    struct stat status;
    if (readModuliFile(m_paths, &moduli, &status)) {
        findings += HostKeys::moduliFindings(HostKeys::readModuli(moduli), modulePath(m_paths));
    }
    return findings;
}

Reply Engine::fixHostKeyFindings(const QStringList &ids, const Transaction &options)
{
    const Listing listing = listKeys(m_paths, *m_configuration);
    if (!listing.error.isNull()) {
        return Reply::failure(listing.error);
    }
    const QList<Key> &keys = listing.keys;
    QSet<QString> found;
    const QVariantList findings = HostKeys::keyFindings(keys, ::geteuid());
    for (const QVariant &entry : findings) {
        found.insert(entry.toMap().value(ReplyKey::FindingId).toString());
    }
    QByteArray contents;
    struct stat status;
    const HostKeys::Moduli moduli = readModuliFile(m_paths, &contents, &status) ? HostKeys::readModuli(contents) : HostKeys::Moduli();
    Plan plan;
    QStringList fixed;
    QVariantList skipped;
    const auto skip = [&skipped](const QString &id, const QString &reason) {
        skipped.append(QVariantMap{{ReplyKey::FindingId, id}, {ReplyKey::SkippedReason, reason}});
    };
    bool weakRsa = false;
    for (const QString &id : ids) {
        if (fixed.contains(id)) {
            continue;
        }
        if (id == QLatin1String("moduli-weak")) {
            if (moduli.weak == 0) {
                skip(id, QStringLiteral("nothing to fix"));
            } else if (moduli.weak == moduli.total) {
                skip(id, Refusal(Refusal::Code::ModuliAllWeak, {modulePath(m_paths), QString::number(HostKeys::RecommendedBits)}).text());
            } else {
                plan.moduli = true;
                fixed.append(id);
            }
            continue;
        }
        if (!id.startsWith(QLatin1String("hostkey-")) || !found.contains(id)) {
            skip(id, id.startsWith(QLatin1String("hostkey-")) ? QStringLiteral("nothing to fix") : QStringLiteral("not a check of host keys or moduli"));
            continue;
        }
        for (const Key &key : std::as_const(keys)) {
            const QString &type = key.print.type;
            const bool weak = (id == QLatin1String("hostkey-dsa") && type == QLatin1String("DSA"))
                || (id == QLatin1String("hostkey-ecdsa") && type == QLatin1String("ECDSA"))
                || (id == QLatin1String("hostkey-rsa-size") && type == QLatin1String("RSA") && key.print.bits < HostKeys::RecommendedBits);
            if ((key.configured && key.known() && weak) || (id == QLatin1String("hostkey-missing") && key.fromLine && !key.present)) {
                plan.remove.append(key.file);
                weakRsa = weakRsa || id == QLatin1String("hostkey-rsa-size");
            }
            if (id == QLatin1String("hostkey-permissions") && key.present && !key.protectedAs(::geteuid())) {
                plan.protect.append(key);
            }
        }
        fixed.append(id);
    }
    const auto usable = [&keys](const auto &accept) {
        return std::count_if(keys.cbegin(), keys.cend(), [&accept](const Key &key) {
            return key.configured && key.usable() && accept(key);
        });
    };
    const bool onlyRsa =
        usable([](const Key &) {
            return true;
        }) == 1
        && usable([](const Key &key) {
               return key.print.type == QLatin1String("RSA");
           })
            == 1;
    const bool ed25519Left = usable([&plan](const Key &key) {
        return key.print.type == QLatin1String("ED25519") && !plan.remove.contains(key.file);
    });
    // A weak RSA key gives way to a new key; no fix leaves sshd without a key it can load.
    if ((weakRsa && !ed25519Left) || !leavesUsableKey(keys, plan)) {
        plan.generate = weakRsa && onlyRsa ? QStringLiteral("rsa") : QStringLiteral("ed25519");
        plan.bits = HostKeys::DefaultRsaBits;
    }
    Reply reply = carryOut(*this, m_paths, listing, plan, options);
    if (reply.ok) {
        reply.data.insert(ReplyKey::AuditFixed, fixed);
        reply.data.insert(ReplyKey::AuditSkipped, skipped);
    }
    return reply;
}

Reply Engine::hostKeyOperation(const QString &operation, const QVariantMap &arguments, const Transaction &options)
{
    namespace Arg = Protocol::Arg;
    const Listing listing = listKeys(m_paths, *m_configuration);
    if (!listing.error.isNull()) {
        return Reply::failure(listing.error);
    }
    const QList<Key> &keys = listing.keys;
    Plan plan;
    if (operation == QLatin1String("generate")) {
        plan.generate = arguments.value(Arg::HostKeyType).toString();
        plan.bits = arguments.value(Arg::HostKeyBits, HostKeys::DefaultRsaBits).toInt();
        return carryOut(*this, m_paths, listing, plan, options);
    }
    const QString file = arguments.value(Arg::HostKeyFile).toString();
    const auto key = std::find_if(keys.cbegin(), keys.cend(), [&file](const Key &key) {
        return key.file == file;
    });
    if (operation != QLatin1String("remove") || key == keys.cend()) {
        return Reply::failure(Refusal::Code::NotHostKey, {file.left(256)});
    }
    (key->configured ? plan.remove : plan.moveOnly).append(file);
    if (key->configured && !leavesUsableKey(keys, plan)) {
        return Reply::failure(Refusal::Code::LastHostKey, {file});
    }
    return carryOut(*this, m_paths, listing, plan, options);
}
