// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Whether the values written into a block are ever used: the lines that win first, and sshd asked about connections the block matches.
#include "configuration.h"

#include "configdocument.h"
#include "configfiles.h"
#include "sshdmatch.h"

#include <QFile>

#include <algorithm>
#include <grp.h>
#include <pwd.h>

using namespace OptionCatalog;

namespace
{
/// Connections tried for a block's lists, at most.
constexpr int MaxConnections = 64;

using Condition = QPair<QByteArray, QByteArray>; ///< a criterion, lower case ("!host" negated), and its value as written

// The conditions of block @p index and of every block it is nested in; All, and a "*" that any name or address matches, add none.
QList<Condition> conditions(const ConfigDocument &document, int index)
{
    QList<Condition> found;
    for (int b = index; b >= 0; b = document.blocks().at(b).outer) {
        const ConfigDocument::Block &block = document.blocks().at(b);
        QList<Condition> own;
        if (block.keyword == "host") {
            own.append({"host", block.arguments.join(' ')});
        }
        for (int i = 0; block.keyword == "match" && i < block.arguments.size(); ++i) {
            const QByteArray name = block.arguments.at(i).toLower();
            if (name.startsWith('#')) {
                break;
            }
            if (name == "canonical" || name == "final") {
                own.append({name, QByteArray()});
            } else if (name != "all") {
                own.append({name, block.arguments.value(++i)});
            }
        }
        for (const Condition &condition : std::as_const(own)) {
            const bool anything =
                condition.second == "*" && QByteArrayList{"user", "host", "address", "localaddress", "originalhost", "localuser"}.contains(condition.first);
            if (!anything) {
                found.append(condition);
            }
        }
    }
    return found;
}

// The plain entries (positive, without wildcards; of a network, its address) of every condition named @p name.
QStringList simpleEntries(const QList<Condition> &conditions, const QByteArray &name)
{
    const bool address = name == "address" || name == "localaddress";
    QStringList entries;
    for (const Condition &condition : conditions) {
        for (const QByteArray &entry : condition.first == name ? condition.second.split(',') : QByteArrayList()) {
            const QString plain = QString::fromUtf8(address ? entry.split('/').first() : entry);
            if (!entry.isEmpty() && !entry.startsWith('!') && !entry.contains('*') && !entry.contains('?') && !entries.contains(plain)) {
                entries.append(plain);
            }
        }
    }
    return entries;
}

// Up to @p most accounts in group @p group: those it names as members, then those whose primary group it is.
QStringList groupMembers(const QString &group, int most)
{
    const struct group *found = ::getgrnam(QFile::encodeName(group).constData());
    if (!found) {
        return {};
    }
    QStringList members;
    for (char **member = found->gr_mem; member && *member && members.size() < most; ++member) {
        members.append(QString::fromLocal8Bit(*member));
    }
    const gid_t gid = found->gr_gid;
    ::setpwent();
    for (const struct passwd *account = ::getpwent(); account && members.size() < most; account = ::getpwent()) {
        const QString name = QString::fromLocal8Bit(account->pw_name);
        if (account->pw_gid == gid && !members.contains(name)) {
            members.append(name);
        }
    }
    ::endpwent();
    return members;
}
}

Refusal Configuration::deadValue(ConfigType type, const ConfigDocument &document, int index, const QList<Checked> &body) const
{
    // ssh takes the first value it reads; sshd the first of the blocks that apply, whatever the lines outside them say.
    QSet<QByteArray> written;
    for (const Checked &change : body) {
        if (!change.value.lines.isEmpty() && !change.option->accumulating) {
            written.insert(change.option->keyword.toLatin1().toLower());
        }
    }
    const QList<Condition> own = conditions(document, index);
    QHash<int, bool> wherever; // earlier block → it applies wherever this one does
    for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
        if (occurrence.block == index) {
            break; // its own Match (or Host) line
        }
        if (!written.contains(occurrence.keyword) || (occurrence.block < 0 && type == ConfigType::Server)) {
            continue;
        }
        if (occurrence.block >= 0 && !wherever.contains(occurrence.block)) {
            const QList<Condition> earlier = conditions(document, occurrence.block);
            wherever.insert(occurrence.block, std::all_of(earlier.cbegin(), earlier.cend(), [&own](const Condition &condition) {
                                return own.contains(condition);
                            }));
        }
        if (occurrence.block < 0 || wherever.value(occurrence.block)) {
            const Option *option = findOption(type, QString::fromLatin1(occurrence.keyword));
            return {Refusal::Code::DeadValue,
                    {option ? option->keyword : QString::fromLatin1(occurrence.keyword),
                     QStringLiteral("%1:%2").arg(document.filePaths().value(occurrence.file)).arg(occurrence.line + 1)}};
        }
    }
    return Refusal();
}

Refusal Configuration::blockConnection(const ConfigDocument &document, int index, const QList<Checked> &body, Asked *chosen) const
{
    *chosen = Asked();
    // The connections the block's conditions, and those of the blocks it is nested in, name: each plain entry of each list.
    const QList<Condition> own = conditions(document, index);
    for (const Condition &condition : own) {
        if (!QByteArrayList{"user", "group", "address", "host", "localaddress", "localport"}.contains(condition.first)) {
            return Refusal(); // a negated criterion, RDomain: no plain connection to ask about
        }
    }
    const auto named = [&own](const QByteArray &name) {
        return std::any_of(own.cbegin(), own.cend(), [&name](const Condition &condition) {
            return condition.first == name;
        });
    };
    QStringList users = simpleEntries(own, "user");
    if (!named("user")) {
        for (const QString &group : simpleEntries(own, "group")) {
            users += groupMembers(group, MaxConnections + 1);
        }
        if (!named("group")) {
            users.append(QStringLiteral("sshsettings-check"));
        }
        users.removeDuplicates();
    }
    // Where the block leaves the addresses open, ones as few other blocks as possible apply to.
    const QList<QStringList> axes = {
        users,
        named("address") ? simpleEntries(own, "address")
                         : QStringList{QStringLiteral("203.0.113.254"), QStringLiteral("198.51.100.254"), QStringLiteral("192.0.2.254")},
        named("localaddress") ? simpleEntries(own, "localaddress") : QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("203.0.113.253")},
        named("host") ? simpleEntries(own, "host") : QStringList{QString()},
        named("localport") ? simpleEntries(own, "localport") : QStringList{QString::number(portNoBlockNames(configPath(ConfigType::Server)))},
    };
    int count = 1;
    for (const QStringList &axis : axes) {
        count = std::min(count * int(axis.size()), MaxConnections + 1);
    }
    // sshd takes the first line of the blocks that apply: a value of this block is in force for a connection when no line
    // of another block that applies to it comes first.
    QSet<QByteArray> written;
    for (const Checked &change : body) {
        if (!change.value.lines.isEmpty() && !change.option->accumulating) {
            written.insert(change.option->keyword.toLatin1().toLower());
        }
    }
    QHash<QString, QStringList> groups;
    Refusal dead;
    int fewest = -1;
    for (int n = 0; n < std::min(count, MaxConnections) && fewest != 0; ++n) {
        QStringList picked;
        for (int rest = n, i = 0; i < axes.size(); rest /= int(axes.at(i).size()), ++i) {
            picked.append(axes.at(i).at(rest % axes.at(i).size()));
        }
        Asked candidate{picked.at(0), picked.at(1), picked.at(3).isEmpty() ? picked.at(1) : picked.at(3), picked.at(2), picked.at(4).toInt(), {}};
        if (!groups.contains(candidate.user)) {
            UserAccount account;
            const bool known = m_paths.lookupUserName && m_paths.lookupGroups && m_paths.lookupUserName(candidate.user, &account);
            groups.insert(candidate.user, known ? m_paths.lookupGroups(account) : QStringList());
        }
        candidate.groups = groups.value(candidate.user);
        if (!applies(document, index, candidate)) {
            continue;
        }
        QVector<int> holds(document.blocks().size(), -1);
        const auto holdsFor = [&](int block) {
            if (holds.at(block) < 0) {
                holds[block] = applies(document, block, candidate) ? 1 : 0;
            }
            return holds.at(block) == 1;
        };
        const ConfigDocument::Occurrence *first = nullptr;
        QSet<QByteArray> decided;
        for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
            if (occurrence.block < 0 || !written.contains(occurrence.keyword) || decided.contains(occurrence.keyword) || !holdsFor(occurrence.block)) {
                continue;
            }
            decided.insert(occurrence.keyword);
            if (occurrence.block != index) {
                first = &occurrence;
                break;
            }
        }
        if (first) {
            if (dead.isNull()) {
                const Option *option = findOption(ConfigType::Server, QString::fromLatin1(first->keyword));
                dead = {Refusal::Code::DeadValue,
                        {option ? option->keyword : QString::fromLatin1(first->keyword),
                         QStringLiteral("%1:%2").arg(document.filePaths().value(first->file)).arg(first->line + 1)}};
            }
            continue;
        }
        int others = 0;
        for (int b = 0; b < document.blocks().size(); ++b) {
            others += b != index && holdsFor(b) ? 1 : 0;
        }
        if (fewest < 0 || others < fewest) {
            fewest = others;
            *chosen = candidate;
        }
    }
    // Refused only when every connection was tried.
    return fewest >= 0 || count > MaxConnections ? Refusal() : dead;
}

Refusal Configuration::blockValuesInForce(const ConfigDocument &document, int index, const QList<Checked> &body, bool shadowed) const
{
    Asked asked;
    const Refusal dead = blockConnection(document, index, body, &asked);
    if (shadowed && dead.is(Refusal::Code::DeadValue)) {
        return Refusal();
    }
    if (!dead.isNull() || asked.user.isEmpty()) {
        return dead;
    }
    const QString connection =
        QStringLiteral("user=%1,addr=%2,host=%3,laddr=%4,lport=%5").arg(asked.user, asked.address, asked.host, asked.localAddress).arg(asked.localPort);
    Values values;
    QString error;
    if (!effectiveValues(ConfigType::Server, configPath(ConfigType::Server), &values, &error, connection)) {
        return {Refusal::Code::CannotReadBack, {error}};
    }
    for (const Checked &change : body) {
        const Refusal found = change.value.lines.isEmpty() ? Refusal() : mismatch(*change.option, change.value, values);
        if (!found.isNull()) {
            return found.within(Refusal::Code::OtherSettingWins, {change.option->keyword + QLatin1String(" (") + connection + QLatin1Char(')')});
        }
    }
    return Refusal();
}
