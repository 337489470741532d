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

#include <algorithm>

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
    // Every byte counts: a NUL inside a word does not end it.
    const QString type = QString::fromLatin1(words.last().constData(), words.last().size());
    const QString fingerprint = QString::fromLatin1(words.at(1).constData(), words.at(1).size());
    static const QRegularExpression typeName(QStringLiteral("^\\([A-Z0-9-]+\\)$"));
    static const QRegularExpression digest(QStringLiteral("^SHA256:[A-Za-z0-9+/=]+$"));
    if (!ok || bits <= 0 || QByteArray::number(bits) != words.first() || !digest.match(fingerprint).hasMatch() || !typeName.match(type).hasMatch()) {
        return false;
    }
    *result = {bits, fingerprint, type.mid(1, type.size() - 2)};
    return true;
}

Moduli readModuli(const QByteArray &contents)
{
    Moduli moduli;
    // Each line with its own end: the lines kept stay byte for byte, the last one's end (or its lack) included.
    for (int start = 0; start < contents.size();) {
        const int newline = contents.indexOf('\n', start);
        const int stop = newline < 0 ? contents.size() : newline + 1;
        const QByteArray line = contents.mid(start, stop - start);
        start = stop;
        const QByteArray simplified = line.simplified();
        const QList<QByteArray> fields = simplified.split(' ');
        // Time Type Tests Tries Size Generator Modulus; anything else sshd skips, and so does the check. A group that is not
        // written in full is no strong group: sshd skips it as well.
        static const QRegularExpression group(QStringLiteral("^[0-9]+ [0-9]+ [0-9]+ [0-9]+ [0-9]+ [0-9]+ [0-9A-Fa-f]+$"));
        if (fields.size() == 7 && !fields.first().startsWith('#')) {
            ++moduli.total;
            bool ok = false;
            const int size = fields.at(4).toInt(&ok);
            if (!ok || size < RecommendedBits - 1 || !group.match(QString::fromLatin1(simplified.constData(), simplified.size())).hasMatch()) {
                ++moduli.weak;
                continue;
            }
        }
        moduli.strong += line;
    }
    return moduli;
}

bool Key::servedBy(const QStringList &algorithms) const
{
    // The signature algorithms of each type ssh-keygen -l names; an ECDSA key's curve is its size.
    const QString &type = print.type;
    QStringList signs = {type == QLatin1String("ECDSA") ? QStringLiteral("ecdsa-sha2-nistp%1").arg(print.bits) : QString()};
    if (type == QLatin1String("ED25519")) {
        signs = QStringList{QStringLiteral("ssh-ed25519")};
    } else if (type == QLatin1String("RSA")) {
        signs = QStringList{QStringLiteral("rsa-sha2-512"), QStringLiteral("rsa-sha2-256"), QStringLiteral("ssh-rsa")};
    } else if (type == QLatin1String("DSA")) {
        signs = QStringList{QStringLiteral("ssh-dss")};
    } else if (type == QLatin1String("ED25519-SK")) {
        signs = QStringList{QStringLiteral("sk-ssh-ed25519@openssh.com")};
    } else if (type == QLatin1String("ECDSA-SK")) {
        signs = QStringList{QStringLiteral("sk-ecdsa-sha2-nistp256@openssh.com")};
    }
    return algorithms.isEmpty() || std::any_of(signs.cbegin(), signs.cend(), [&algorithms](const QString &name) {
               return algorithms.contains(name);
           });
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
                                    QStringLiteral("private 0600, public 0644 or stricter, owner %1").arg(root),
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

using namespace HostKeys;

namespace
{
using ConfigType = OptionCatalog::ConfigType;

/// What a host key operation or fix changes.
struct Plan {
    QStringList remove; ///< keys whose HostKey lines go; their files are kept among the backups
    QStringList moveOnly; ///< keys sshd does not use whose files are kept among the backups
    QString generate; ///< type of a key to generate and add; empty: none
    int bits = 0;
    QList<Key> protect;
    bool moduli = false;
};

// Whether @p plan takes @p key away: by whatever path it names the key's file.
bool removes(const QList<Key> &keys, const Plan &plan, const Key &key)
{
    return std::any_of(keys.cbegin(), keys.cend(), [&](const Key &other) {
        return (plan.remove.contains(other.file) || plan.moveOnly.contains(other.file)) && other.sameFile(key);
    });
}

// The HostKeyAlgorithms in force once @p changes are made: a list they set, else the one sshd uses now.
QStringList algorithmsAfter(const Listing &listing, const QList<QPair<QString, QVariant>> &changes)
{
    for (const auto &[keyword, value] : changes) {
        const QString list = value.toString();
        if (keyword.compare(QLatin1String("HostKeyAlgorithms"), Qt::CaseInsensitive) == 0 && !list.isEmpty() && !QStringLiteral("+-^").contains(list.front())) {
            return list.split(QLatin1Char(','), Qt::SkipEmptyParts);
        }
    }
    return listing.algorithms;
}

// A key of @p type as ssh-keygen -t names it, as ssh-keygen -l would.
Key generated(const QString &type)
{
    Key key;
    key.print.type = type.toUpper();
    return key;
}

// The HostKey lines once @p plan is carried out: sshd's lines (or the default keys it finds) without the removed ones.
QStringList hostKeyLines(const QList<Key> &keys, bool fromLines, const Plan &plan, const QString &added)
{
    QStringList lines;
    for (const Key &key : keys) {
        if (key.configured && !removes(keys, plan, key) && (fromLines ? key.fromLine : key.present)) {
            lines.append(key.file);
        }
    }
    if (!added.isEmpty()) {
        lines.append(added);
    }
    return lines;
}

// sshd still has a key it loads and signs with, under the host key @p algorithms in force after the change.
bool leavesUsableKey(const QList<Key> &keys, const Plan &plan, const QStringList &algorithms)
{
    if (!plan.generate.isEmpty() && generated(plan.generate).servedBy(algorithms)) {
        return true;
    }
    return std::any_of(keys.cbegin(), keys.cend(), [&](const Key &key) {
        const bool protectedNow = std::any_of(plan.protect.cbegin(), plan.protect.cend(), [&key](const Key &other) {
            return other.sameFile(key);
        });
        return key.configured && (key.usable() || (key.known() && protectedNow)) && key.servedBy(algorithms) && !removes(keys, plan, key);
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
    // The moduli file without its weak groups, read again under the writers' lock before it is written; never left empty.
    QByteArray moduli;
    struct stat moduliStatus;
    HostKeys::Moduli strong;
    const auto readStrong = [&] {
        strong = plan.moduli && readModuliFile(paths, &moduli, &moduliStatus) ? HostKeys::readModuli(moduli) : HostKeys::Moduli();
        return strong.weak > 0 && strong.weak < strong.total;
    };
    Reply reply = Reply::success({{ReplyKey::Restarts, false}});
    // The files written besides the configuration, which its diff does not show.
    QStringList touched = (options.revertAfter > 0 ? QStringList() : plan.remove) + plan.moveOnly;
    for (const Key &key : plan.protect) {
        touched.append(key.file);
    }
    if (options.dryRun) {
        reply = options.hasChanges() ? engine.applyTransaction(ConfigType::Server, options) : reply;
        if (reply.ok && readStrong()) {
            touched.append(moduliPath(paths));
            const QByteArray diff = unifiedDiff(moduliPath(paths), moduli, strong.strong);
            QVariantMap diffs = reply.data.value(ReplyKey::FileDiffs).toMap();
            diffs.insert(moduliPath(paths), diff);
            reply.data.insert(ReplyKey::FileDiffs, diffs);
            reply.data.insert(ReplyKey::Diff, QByteArray(reply.data.value(ReplyKey::Diff).toByteArray() + diff));
        }
    } else {
        QString error;
        if (!newKey.isEmpty() && !installKey(paths, plan.generate, plan.bits, newKey, &error)) {
            return Reply::failure(Refusal::Code::Failed, {QStringLiteral("cannot generate a host key: %1").arg(error)});
        }
        if (options.hasChanges()) {
            reply = engine.applyTransaction(ConfigType::Server, options);
            if (!reply.ok) {
                if (!newKey.isEmpty()) {
                    removeKeyFiles(newKey);
                }
                return reply;
            }
        }
        // The files themselves, once sshd no longer names them. Under a countdown the keys the configuration named stay
        // where they are: undoing the change needs them.
        WriterLock lock(paths.backupDir, QStringLiteral("host keys"), paths.writerWaitMs);
        QStringList failed;
        for (const QString &file : (options.revertAfter > 0 ? QStringList() : plan.remove) + plan.moveOnly) {
            if (lock.isHeld() && !moveToBackups(paths, file, &error)) {
                failed.append(error);
            }
        }
        for (const Key &key : plan.protect) {
            if (lock.isHeld() && !protect(key, &error)) {
                failed.append(error);
            }
        }
        if (lock.isHeld() && readStrong()) {
            const PinnedFolder folder(paths.sshDir, {});
            QString kept;
            const SavedFile before = {moduliPath(paths), moduli, moduliStatus.st_mode & 07777, moduliStatus.st_uid, moduliStatus.st_gid};
            if (!ConfigBackups(paths.backupDir).keepReplaced(QStringLiteral("moduli"), {before}, &kept, &error)
                || !folder.write(QStringLiteral("moduli"), strong.strong, moduliStatus.st_uid, moduliStatus.st_gid, moduliStatus.st_mode & 07777, &error)) {
                failed.append(error);
            }
            touched.append(moduliPath(paths));
        }
        if (!lock.isHeld()) {
            failed.append(lock.error().text());
        }
        if (!failed.isEmpty()) {
            const QString done = options.hasChanges() ? QStringLiteral("the configuration was changed, but ") : QString();
            return Reply::failure(Refusal::Code::Failed, {done + failed.join(QLatin1String("; "))});
        }
    }
    if (reply.ok && !newKey.isEmpty()) {
        reply.data.insert(ReplyKey::NewHostKey, newKey);
    }
    if (reply.ok) {
        reply.data.insert(ReplyKey::FilesChanged, touched);
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
        findings += HostKeys::moduliFindings(HostKeys::readModuli(moduli), moduliPath(m_paths));
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
                skip(id, Refusal(Refusal::Code::ModuliAllWeak, {moduliPath(m_paths), QString::number(HostKeys::RecommendedBits)}).text());
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
    const QStringList algorithms = algorithmsAfter(listing, options.changes);
    const bool ed25519Left = usable([&](const Key &key) {
        return key.print.type == QLatin1String("ED25519") && key.servedBy(algorithms) && !removes(keys, plan, key);
    });
    // A weak RSA key gives way to a new key; no fix leaves sshd without a key it can load and sign with.
    if ((weakRsa && !ed25519Left) || !leavesUsableKey(keys, plan, algorithms)) {
        plan.generate = weakRsa && onlyRsa ? QStringLiteral("rsa") : QStringLiteral("ed25519");
        plan.bits = HostKeys::DefaultRsaBits;
        if (!generated(plan.generate).servedBy(algorithms)) {
            plan.generate = plan.generate == QLatin1String("rsa") ? QStringLiteral("ed25519") : QStringLiteral("rsa");
        }
        if (!leavesUsableKey(keys, plan, algorithms)) {
            return Reply::failure(Refusal::Code::LastHostKey, {plan.remove.value(0, m_paths.sshDir)});
        }
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
    // The key by its path, else by its file: another path may name it.
    Key named;
    named.file = arguments.value(Arg::HostKeyFile).toString();
    const QFileInfo info(named.file);
    struct stat status;
    if (PinnedFolder(info.path(), {}).stat(info.fileName(), &status)) {
        named.present = true;
        named.device = status.st_dev;
        named.inode = status.st_ino;
    }
    for (const Key &key : keys) {
        if (key.file == named.file || key.sameFile(named)) {
            (key.configured ? plan.remove : plan.moveOnly).append(key.file);
        }
    }
    if (operation != QLatin1String("remove") || (plan.remove.isEmpty() && plan.moveOnly.isEmpty())) {
        return Reply::failure(Refusal::Code::NotHostKey, {named.file.left(256)});
    }
    // Every removal is checked: the key left lying may be one sshd loads.
    if (!leavesUsableKey(keys, plan, algorithmsAfter(listing, options.changes))) {
        return Reply::failure(Refusal::Code::LastHostKey, {named.file});
    }
    return carryOut(*this, m_paths, listing, plan, options);
}
