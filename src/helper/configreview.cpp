// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "configdocument.h"
#include "sshsettingsprotocol.h"

#include <QSet>

namespace Protocol = SSHSettings::Protocol;

Reply Configuration::review(const Request &request, const Lockout::Session &session, const UserAccount &account)
{
    QList<Checked> checkedChanges;
    ConfigDocument document(ConfigDocument::Dialect::Server);
    Reply reply = preview(ConfigType::Server, {request.changes, true, QString(), QStringList(), request.block, request.bodies}, &document, &checkedChanges);
    QString error;
    Values before;
    Values global;
    // sshd's values for this very connection, its Match blocks applied.
    const QString connection =
        QStringLiteral("user=%1,host=%2,addr=%2,laddr=%3,lport=%4").arg(session.user, session.clientAddress, session.localAddress).arg(session.localPort);
    if (!reply.ok || !effectiveValues(ConfigType::Server, m_paths.serverConfig, &before, &error, connection)
        || !effectiveValues(ConfigType::Server, m_paths.serverConfig, &global, &error)) {
        return reply;
    }
    Values after = before;
    if (!request.block.isSet()) {
        // Afterwards: the changed keywords as the edited files give them, unless a Match block sets them for this connection.
        Values edited;
        documentValues(ConfigType::Server, document, &edited);
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
    }
    if (request.block.isSet() || !request.bodies.isEmpty()) {
        // A block operation, or changes in blocks' bodies: what the blocks that apply to this connection give it, before
        // and after, for every keyword where they differ.
        const Asked asked{session.user, session.clientAddress, session.clientAddress, session.localAddress, session.localPort, session.groups};
        ConfigDocument original(ConfigDocument::Dialect::Server);
        Values was;
        Values will;
        if (original.load(m_paths.serverConfig, &error)) {
            documentValues(ConfigType::Server, original, &was, &asked);
            documentValues(ConfigType::Server, document, &will, &asked);
        }
        for (auto it = will.cbegin(); it != will.cend(); ++it) {
            if (it.value() != was.value(it.key())) {
                after.insert(it.key(), it.value());
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
    QVariantList lockouts;
    for (const Lockout::Problem &problem : Lockout::problems(after, user)) {
        if (!already.contains(int(problem.kind))) {
            lockouts.append(QVariantMap{{Protocol::Reply::LockoutKind, Lockout::kindWord(problem.kind)}, {Protocol::Reply::LockoutDetail, problem.detail}});
        }
    }
    reply.data.insert(Protocol::Reply::Lockouts, lockouts);
    return reply;
}
