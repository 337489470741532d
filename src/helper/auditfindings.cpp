// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "auditfindings.h"

#include "auditchecks.h"
#include "optioncatalog.h"
#include "sshsettingsprotocol.h"

#include <QHostAddress>

#include <algorithm>

namespace AuditFindings
{
namespace
{
namespace Protocol = SSHSettings::Protocol;
using AuditChecks::Check;
using AuditChecks::Group;
using AuditChecks::Severity;

const OptionCatalog::Option *serverOption(const QString &keyword)
{
    return OptionCatalog::findOption(OptionCatalog::ConfigType::Server, keyword);
}

QString first(const Lockout::Values &values, const QString &keyword)
{
    return QString::fromUtf8(values.value(keyword.toLatin1()).value(0));
}

QString place(const QVariantMap &where)
{
    const int line = where.value(Protocol::Reply::OriginLine).toInt();
    return line > 0 ? QStringLiteral("%1:%2").arg(where.value(Protocol::Reply::OriginFile).toString()).arg(line) : QStringLiteral("default");
}

// MaxStartups start:rate:full, or a number alone (then rate is 100 and full is start).
struct Startups {
    int start;
    int rate;
    int full;
    bool valid; ///< as sshd takes it: numbers only, 0 < start <= full, 0 < rate <= 100
};

Startups startups(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char(':'));
    bool okStart = false;
    bool okRate = parts.size() == 1;
    bool okFull = okRate;
    const int start = parts.value(0).toInt(&okStart);
    const Startups read =
        parts.size() == 3 ? Startups{start, parts.at(1).toInt(&okRate), parts.at(2).toInt(&okFull), false} : Startups{start, 100, start, false};
    const bool valid = okStart && okRate && okFull && parts.size() != 2 && read.start > 0 && read.full >= read.start && read.rate > 0 && read.rate <= 100;
    return {read.start, read.rate, read.full, valid};
}

// The value the fix of @p check sets over @p value: the recommended one, but MaxStartups keeps each part that is
// already tighter (a lower start or full, a higher rate), so that the fix never raises a limit. A value that does not
// read as sshd's takes the recommended one whole.
QString recommendation(const Check &check, const QString &value)
{
    if (QLatin1String(check.accepted) != QLatin1String("startups")) {
        return QLatin1String(check.recommended);
    }
    const Startups given = startups(value);
    const Startups wanted = startups(QLatin1String(check.recommended));
    if (!given.valid) {
        return QLatin1String(check.recommended);
    }
    const int start = qMin(given.start, wanted.start);
    return QStringLiteral("%1:%2:%3").arg(start).arg(qMax(given.rate, wanted.rate)).arg(qMax(start, qMin(given.full, wanted.full)));
}

// The severity @p check gives @p value; false when the value passes. @p values are the rest of the configuration.
bool judge(const Check &check, const QString &value, const Lockout::Values &values, Severity *severity)
{
    const QString accepted = QLatin1String(check.accepted);
    const QString unless = QLatin1String(check.unless);
    if (!unless.isEmpty() && first(values, unless.section(QLatin1Char('='), 0, 0)).toLower() == unless.section(QLatin1Char('='), 1)) {
        return false;
    }
    *severity = QString::fromLatin1(check.lesser).split(QLatin1Char('|')).contains(value.toLower()) ? Severity::Warn : check.severity;
    if (accepted == QLatin1String("set")) {
        return value.isEmpty() || value == QLatin1String("none");
    }
    if (accepted == QLatin1String("startups")) {
        // No looser than the recommended triple.
        const Startups given = startups(value);
        const Startups wanted = startups(QLatin1String(check.recommended));
        return !given.valid || given.start > wanted.start || given.rate < wanted.rate || given.full > wanted.full;
    }
    if (accepted.contains(QLatin1String(".."))) {
        const qint64 number = OptionCatalog::parseInterval(value);
        const QString high = accepted.section(QLatin1String(".."), 1);
        return number < accepted.section(QLatin1String(".."), 0, 0).toLongLong() || (!high.isEmpty() && number > high.toLongLong());
    }
    return !accepted.split(QLatin1Char('|')).contains(value, Qt::CaseInsensitive);
}

bool listensBeyondLoopback(const Lockout::Values &values)
{
    const QList<QByteArray> sockets = values.value("listenaddress");
    return std::any_of(sockets.cbegin(), sockets.cend(), [](const QByteArray &socket) {
        QString host = QString::fromLatin1(socket.left(socket.lastIndexOf(':')));
        if (host.startsWith(QLatin1Char('['))) {
            host = host.mid(1, host.size() - 2);
        }
        return !QHostAddress(host).isLoopback();
    });
}

QVariantMap finding(const Check &check, Severity severity, const QString &subject, const QString &current, const QString &recommended, const QString &origin)
{
    return {{Protocol::Reply::FindingId, QLatin1String(check.id)},
            {Protocol::Reply::FindingSeverity, AuditChecks::severityWord(severity)},
            {Protocol::Reply::FindingSubject, subject},
            {Protocol::Reply::FindingCurrent, current},
            {Protocol::Reply::FindingRecommended, recommended},
            {Protocol::Reply::FindingOrigin, origin},
            {Protocol::Reply::FindingBlock, QString()},
            {Protocol::Reply::FindingFixable, !QByteArray(check.recommended).isEmpty()}};
}

void algorithmFindings(const Input &input, QVariantList *found)
{
    for (const Check &check : AuditChecks::checks()) {
        if (check.group != Group::Algorithms) {
            continue;
        }
        const QString reads = QLatin1String(check.reads);
        const OptionCatalog::Option *option = serverOption(reads);
        const QString offered = first(input.values, reads);
        QStringList weak;
        for (const QString &name : offered.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (AuditChecks::algorithmCheck(reads, name) == QLatin1String(check.id)) {
                weak.append(name);
            }
        }
        if (!option || weak.isEmpty()) {
            continue;
        }
        const QStringList recommended =
            AuditChecks::recommendedAlgorithms(reads, offered.split(QLatin1Char(','), Qt::SkipEmptyParts), input.supported.value(option->values));
        QVariantMap entry = finding(check,
                                    check.severity,
                                    option->keyword,
                                    weak.join(QLatin1Char(',')),
                                    recommended.join(QLatin1Char(',')),
                                    place(input.origins.value(reads).toMap()));
        // An empty list would leave nothing to connect with; one the keyword table refuses (a name no OpenSSH prints) is
        // no fix either.
        OptionCatalog::Installed installed;
        installed.algorithms = input.supported;
        OptionCatalog::CheckedValue checked;
        Refusal refused;
        entry.insert(Protocol::Reply::FindingFixable,
                     !recommended.isEmpty() && OptionCatalog::checkValue(*option, recommended.join(QLatin1Char(',')), &checked, &refused, installed));
        found->append(entry);
    }
}

void optionFindings(const Input &input, QVariantList *found)
{
    for (const Check &check : AuditChecks::checks()) {
        const QString accepted = QLatin1String(check.accepted);
        if (check.group != Group::Options || accepted.isEmpty()) {
            continue;
        }
        const QString reads = QLatin1String(check.reads);
        Severity severity = check.severity;
        if (accepted == QLatin1String("mode")) {
            for (const FileState &file : input.files) {
                if ((file.mode & 07777) != 0600 || file.owner != input.owner) {
                    found->append(finding(check,
                                          severity,
                                          file.path,
                                          QStringLiteral("%1 uid %2").arg(file.mode & 07777, 4, 8, QLatin1Char('0')).arg(file.owner),
                                          QStringLiteral("0600 uid %1").arg(input.owner),
                                          file.path));
                }
            }
            continue;
        }
        if (accepted == QLatin1String("any")) {
            const QStringList keywords = reads.split(QLatin1Char(' '));
            if (std::none_of(keywords.cbegin(), keywords.cend(), [&input](const QString &keyword) {
                    return !first(input.values, keyword).isEmpty();
                })) {
                found->append(finding(check,
                                      severity,
                                      QStringLiteral("AllowUsers AllowGroups DenyUsers DenyGroups"),
                                      QStringLiteral("none"),
                                      QString(),
                                      QStringLiteral("default")));
            }
            continue;
        }
        // Password logins matter only where sshd listens beyond this machine.
        if (reads == QLatin1String("passwordauthentication") && !listensBeyondLoopback(input.values)) {
            continue;
        }
        const OptionCatalog::Option *option = serverOption(reads);
        const QString keyword = option ? option->keyword : reads;
        const QString value = first(input.values, reads);
        const QVariantMap origin = input.origins.value(reads).toMap();
        if (judge(check, value, input.values, &severity)) {
            found->append(finding(check, severity, keyword, value, recommendation(check, value), place(origin)));
        }
        // A Match block that sets the keyword to a value that fails: a finding of its own, also where the global value
        // fails as much, since the global fix leaves the block's line as it is.
        for (const QVariant &entry : input.blocks) {
            const QVariantMap block = entry.toMap();
            const QVariantMap set = block.value(Protocol::Reply::BlockEntryValues).toMap();
            if (!set.contains(keyword)) {
                continue;
            }
            const QString written = OptionCatalog::canonicalWord(set.value(keyword).toString().section(QLatin1Char('\n'), 0, 0));
            Severity inBlock = check.severity;
            Lockout::Values overlaid = input.values;
            overlaid[reads.toLatin1()] = {written.toUtf8()};
            if (!judge(check, written, overlaid, &inBlock)) {
                continue;
            }
            QVariantMap blockFinding = finding(check, inBlock, keyword, written, recommendation(check, written), place(block));
            blockFinding.insert(Protocol::Reply::FindingBlock, block.value(Protocol::Reply::BlockEntryCriteria));
            // Fixed in the block's own body.
            blockFinding.insert(Protocol::Reply::BlockIndex, block.value(Protocol::Reply::BlockEntryIndex));
            blockFinding.insert(Protocol::Reply::FindingFixable, blockFinding.value(Protocol::Reply::FindingFixable).toBool() && option && option->inBlock);
            found->append(blockFinding);
        }
    }
}
}

QStringList keywords()
{
    QStringList all;
    for (const Check &check : AuditChecks::checks()) {
        for (const QString &keyword : QString::fromLatin1(check.reads).split(QLatin1Char(' '))) {
            const OptionCatalog::Option *option = serverOption(keyword);
            if (option && !all.contains(option->keyword)) {
                all.append(option->keyword);
            }
        }
    }
    return all;
}

QVariantList findings(const Input &input)
{
    QVariantList found;
    algorithmFindings(input, &found);
    optionFindings(input, &found);
    return found;
}

void sort(QVariantList *findings)
{
    std::stable_sort(findings->begin(), findings->end(), [](const QVariant &a, const QVariant &b) {
        static const QStringList order = {QStringLiteral("fail"), QStringLiteral("warn"), QStringLiteral("info")};
        return order.indexOf(a.toMap().value(Protocol::Reply::FindingSeverity).toString())
            < order.indexOf(b.toMap().value(Protocol::Reply::FindingSeverity).toString());
    });
}

bool fix(const QVariantMap &finding, QString *keyword, QVariant *value)
{
    const Check *check = AuditChecks::find(finding.value(Protocol::Reply::FindingId).toString());
    const OptionCatalog::Option *option = check ? serverOption(finding.value(Protocol::Reply::FindingSubject).toString()) : nullptr;
    if (!option || !finding.value(Protocol::Reply::FindingFixable).toBool()) {
        return false;
    }
    *keyword = option->keyword;
    const QString recommended = finding.value(Protocol::Reply::FindingRecommended).toString();
    // Yes and no go as the booleans the module sends.
    *value = option->kind == OptionCatalog::ValueKind::Bool ? QVariant(recommended == QLatin1String("yes")) : QVariant(recommended);
    return true;
}
}
