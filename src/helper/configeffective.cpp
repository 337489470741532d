// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Who gets what: the values sshd gives one connection, the Match blocks that apply to it, and whether its user could log in.
#include "configuration.h"

#include "configdocument.h"
#include "ipaddress.h"
#include "sshdmatch.h"
#include "sshsettingsprotocol.h"

#include <algorithm>

using namespace OptionCatalog;
namespace Protocol = SSHSettings::Protocol;

namespace
{
// The words of a refused argument as a refusal shows them: short, printable.
QString shown(const QString &text)
{
    QString word = text.left(64);
    for (QChar &c : word) {
        if (!c.isPrint() || c.unicode() > 0x7e) {
            c = QLatin1Char('?');
        }
    }
    return word;
}

// Letters, digits, '.', '_' and '-' (not first), of at most @p longest; a user name may end with '$' (machine accounts).
bool isName(const QString &text, int longest, bool dollar)
{
    if (text.isEmpty() || text.size() > longest || text.startsWith(QLatin1Char('-'))) {
        return false;
    }
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i).unicode() < 0x80 ? char(text.at(i).unicode()) : '\0';
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain && !(dollar && c == '$' && i == text.size() - 1)) {
            return false;
        }
    }
    return true;
}

// Whether every criterion of a Match line holds for @p asked, as sshd decides when asked with -C. A criterion sshd is not
// told about (RDomain) does not hold; sshd -t refuses a line it cannot read, so none is malformed here.
bool criteriaHold(const QList<QByteArray> &criteria, const Configuration::Asked &asked)
{
    for (int i = 0; i < criteria.size(); ++i) {
        const QByteArray name = criteria.at(i).toLower();
        if (name.startsWith('#')) {
            break;
        }
        if (name == "all") {
            return true;
        }
        const QString list = QString::fromUtf8(criteria.value(++i));
        bool holds = false;
        if (name == "user") {
            holds = SshdMatch::patternList(asked.user, list, false) == 1;
        } else if (name == "group") {
            // One group matching is enough, unless a negation matches any of them.
            int found = 0;
            for (const QString &group : asked.groups) {
                const int result = SshdMatch::patternList(group, list, false);
                found = found < 0 || result < 0 ? -1 : std::max(found, result);
            }
            holds = found == 1;
        } else if (name == "host") {
            holds = SshdMatch::patternList(asked.host.toLower(), list, true) == 1;
        } else if (name == "address") {
            holds = SshdMatch::addressList(asked.address, list) == 1;
        } else if (name == "localaddress") {
            holds = SshdMatch::addressList(asked.localAddress, list) == 1;
        } else if (name == "localport") {
            holds = list.toInt() == asked.localPort;
        }
        if (!holds) {
            return false;
        }
    }
    return true;
}
}

bool Configuration::applies(const ConfigDocument &document, int index, const Asked &asked)
{
    for (int block = index; block >= 0; block = document.blocks().at(block).outer) {
        if (!criteriaHold(document.blocks().at(block).arguments, asked)) {
            return false;
        }
    }
    return true;
}

Reply Configuration::effective(const Lockout::Connection &connection) const
{
    QHostAddress client;
    QHostAddress local;
    if (!isName(connection.user, 32, true)) {
        return Reply::failure(Refusal::Code::NotUserName, {shown(connection.user)});
    }
    if (!IpAddress::parse(connection.address, &client)) {
        return Reply::failure(Refusal::Code::NotIpAddress, {Protocol::Arg::EffectiveAddress, shown(connection.address)});
    }
    QHostAddress ignored;
    if (!connection.host.isEmpty() && !isName(connection.host, 253, false) && !IpAddress::parse(connection.host, &ignored)) {
        return Reply::failure(Refusal::Code::NotHostName, {shown(connection.host)});
    }
    if (!connection.localAddress.isEmpty() && !IpAddress::parse(connection.localAddress, &local)) {
        return Reply::failure(Refusal::Code::NotIpAddress, {Protocol::Arg::EffectiveLocalAddress, shown(connection.localAddress)});
    }
    // The sockets, which no Match block changes. sshd -T refuses a configuration with a Match LocalPort unless it is told a port.
    Values global;
    QString error;
    const QString provisional =
        QStringLiteral("user=%1,addr=%2,lport=%3").arg(connection.user, connection.address).arg(connection.localPort > 0 ? connection.localPort : 22);
    if (!effectiveValues(ConfigType::Server, m_paths.serverConfig, &global, &error, provisional)) {
        return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
    }

    // What was not given, as a client of that family most likely meets sshd: at the first address it listens on.
    Asked asked;
    QStringList assumed;
    asked.user = connection.user;
    asked.address = IpAddress::canonical(SshdMatch::clientAddress(connection.address));
    SshdMatch::parseClientAddress(asked.address, &client);
    const bool v6 = client.protocol() == QAbstractSocket::IPv6Protocol;
    QString listenAddress;
    QString listenPort;
    for (const QByteArray &entry : global.value("listenaddress")) {
        QString address;
        QString port;
        QHostAddress bound;
        if (splitListenAddress(QString::fromLatin1(entry.split(' ').value(0)), &address, &port) && IpAddress::parse(address, &bound)
            && (bound.protocol() == QAbstractSocket::IPv6Protocol) == v6
            && (connection.localAddress.isEmpty() || bound.isEqual(local) || bound.isEqual(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4))) {
            listenAddress = bound.isEqual(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4) ? QString() : bound.toString();
            listenPort = port;
            break;
        }
    }
    asked.host = connection.host.isEmpty() ? asked.address : connection.host;
    asked.localAddress = !connection.localAddress.isEmpty() ? IpAddress::canonical(SshdMatch::clientAddress(connection.localAddress))
        : !listenAddress.isEmpty()                          ? listenAddress
        : v6                                                ? QStringLiteral("::1")
                                                            : QStringLiteral("127.0.0.1");
    asked.localPort = connection.localPort > 0 ? connection.localPort
        : listenPort.toInt() > 0               ? listenPort.toInt()
                                               : QString::fromLatin1(global.value("port").value(0)).toInt();
    for (const auto &[given, word] : {std::pair{!connection.host.isEmpty(), "host"},
                                      std::pair{!connection.localAddress.isEmpty(), "laddr"},
                                      std::pair{connection.localPort > 0, "lport"}}) {
        if (!given) {
            assumed.append(QLatin1String(word));
        }
    }
    const QString asKnown =
        QStringLiteral("user=%1,addr=%2,host=%3,laddr=%4,lport=%5").arg(asked.user, asked.address, asked.host, asked.localAddress).arg(asked.localPort);
    Values values;
    if (!effectiveValues(ConfigType::Server, m_paths.serverConfig, &values, &error, asKnown)) {
        return Reply::failure(Refusal::Code::InvalidConfiguration, {error});
    }
    UserAccount account;
    const bool known = m_paths.lookupUserName && m_paths.lookupUserName(asked.user, &account);
    if (known && m_paths.lookupGroups) {
        asked.groups = m_paths.lookupGroups(account);
    }

    // Every keyword this sshd knows, as a read gives it; what sshd prints beyond the table, as it prints it.
    const int version = installedVersion(ConfigType::Server);
    QStringList keywords;
    for (const Option &option : options(ConfigType::Server)) {
        if (knownIn(option, version)) {
            keywords.append(option.keyword);
        }
    }
    ConfigDocument document(ConfigDocument::Dialect::Server);
    const bool loaded = document.load(m_paths.serverConfig, &error);
    QVariantMap data = readData(ConfigType::Server, keywords, values, loaded ? &document : nullptr);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!findOption(ConfigType::Server, QString::fromLatin1(it.key()))) {
            QStringList lines;
            for (const QByteArray &line : it.value()) {
                lines.append(QString::fromUtf8(line));
            }
            data.insert(QString::fromLatin1(it.key()), lines.size() == 1 ? QVariant(lines.first()) : QVariant(lines));
        }
    }

    // The blocks in reading order, one in a file included from a block's body nested in that block; the lines of such a
    // file before a block of its own belong to the including block. The first line of a block that applies wins.
    const QStringList files = document.filePaths();
    QList<int> entry; // block → its place in applied; -1 when it does not apply
    QVariantList applied;
    for (int b = 0; b < document.blocks().size(); ++b) {
        const ConfigDocument::Block &block = document.blocks().at(b);
        const bool holds = (block.outer < 0 || entry.at(block.outer) >= 0) && criteriaHold(block.arguments, asked);
        entry.append(holds ? int(applied.size()) : -1);
        if (holds) {
            applied.append(QVariantMap{{Protocol::Reply::AppliedCriteria, QString::fromUtf8(QByteArrayList(block.arguments).join(' '))},
                                       {Protocol::Reply::OriginFile, files.value(block.file)},
                                       {Protocol::Reply::OriginLine, block.line + 1}});
        }
    }
    QHash<QString, QVariantMap> setBy;
    for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
        const QString keyword = QString::fromLatin1(occurrence.keyword);
        if (occurrence.block < 0 || entry.at(occurrence.block) < 0 || occurrence.keyword == "match" || occurrence.keyword == "include"
            || setBy.contains(keyword)) {
            continue;
        }
        // The line that sets it, in a file the block's body includes too, and the criteria of its block.
        setBy.insert(keyword,
                     QVariantMap{{Protocol::Reply::OriginFile, files.value(occurrence.file)},
                                 {Protocol::Reply::OriginLine, occurrence.line + 1},
                                 {Protocol::Reply::OriginMainFile, occurrence.file == 0},
                                 {Protocol::Reply::OriginMatch, applied.at(entry.at(occurrence.block)).toMap().value(Protocol::Reply::AppliedCriteria)}});
    }
    QVariantMap origins = data.value(Protocol::Reply::Origins).toMap();
    for (auto it = origins.begin(); it != origins.end(); ++it) {
        QVariantMap origin = setBy.value(it.key(), it.value().toMap());
        origin.remove(Protocol::Reply::OriginOverrides);
        it.value() = origin;
    }
    data.insert(Protocol::Reply::Origins, origins);
    data.insert(Protocol::Reply::AppliedBlocks, applied);
    data.insert(Protocol::Reply::Connection, asKnown);
    data.insert(Protocol::Reply::Assumed, assumed);

    // The lockout review's rules, for this user over this connection.
    QStringList reasons;
    QStringList methods;
    if (!known) {
        reasons.append(QString(QStringLiteral("account:") + asked.user));
    } else {
        Lockout::Session session;
        session.user = account.name;
        session.groups = asked.groups;
        session.isRoot = account.uid == 0;
        session.home = account.home;
        session.uid = account.uid;
        session.password = m_paths.lookupPassword ? m_paths.lookupPassword(account) : QByteArray("*");
        session.keygen = m_paths.sshKeygen;
        session.clientAddress = asked.address;
        session.localAddress = asked.localAddress;
        session.localPort = asked.localPort;
        for (const Lockout::Problem &problem : Lockout::problems(values, session)) {
            reasons.append(QString(Lockout::kindWord(problem.kind) + QLatin1Char(':') + problem.detail));
        }
        methods = Lockout::methods(values, session);
    }
    data.insert(Protocol::Reply::Verdict,
                QVariantMap{{Protocol::Reply::VerdictCanLogIn, reasons.isEmpty()},
                            {Protocol::Reply::VerdictMethods, methods},
                            {Protocol::Reply::VerdictReasons, reasons}});
    return Reply::success(data);
}
