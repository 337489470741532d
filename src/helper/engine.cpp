// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine.h"

#include "configuration.h"
#include "journalfilter.h"
#include "pendingchanges.h"
#include "runprogram.h"
#include "servicecontrol.h"
#include "sessions.h"
#include "sshsettingsprotocol.h"
#include "userfiles.h"
#include "writerlock.h"

#include <QDateTime>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSet>

#include <grp.h>
#include <pwd.h>
#include <shadow.h>

// The module waits longer than any one step of the helper takes.
static_assert(SSHSettings::Protocol::ActionTimeoutMs > 2 * ServiceControl::CommandTimeoutMs);
static_assert(SSHSettings::Protocol::ActionTimeoutMs > 2 * Engine::JournalTimeoutMs);

namespace
{
bool fromPasswd(const passwd *entry, UserAccount *account)
{
    if (!entry) {
        return false;
    }
    account->name = QString::fromLocal8Bit(entry->pw_name);
    account->home = QString::fromLocal8Bit(entry->pw_dir);
    account->uid = entry->pw_uid;
    account->gid = entry->pw_gid;
    return true;
}
}

Engine::Engine(EnginePaths paths)
    : m_paths(std::move(paths))
{
    if (!m_paths.localAddresses) {
        m_paths.localAddresses = &Engine::systemLocalAddresses;
    }
    if (!m_paths.lookupUser) {
        m_paths.lookupUser = [](uid_t uid, UserAccount *account) {
            return fromPasswd(::getpwuid(uid), account);
        };
    }
    if (!m_paths.lookupUserName) {
        m_paths.lookupUserName = [](const QString &name, UserAccount *account) {
            return fromPasswd(::getpwnam(name.toLocal8Bit().constData()), account);
        };
    }
    if (!m_paths.lookupPassword) {
        m_paths.lookupPassword = [](const UserAccount &account) {
            const QByteArray name = account.name.toLocal8Bit();
            const spwd *shadow = ::getspnam(name.constData());
            const passwd *entry = shadow ? nullptr : ::getpwnam(name.constData());
            return QByteArray(shadow ? shadow->sp_pwdp : entry && qstrcmp(entry->pw_passwd, "x") != 0 ? entry->pw_passwd : "*");
        };
    }
    if (!m_paths.lookupGroups) {
        m_paths.lookupGroups = [](const UserAccount &account) {
            QStringList names;
            int count = 64;
            QVector<gid_t> groups(count);
            const QByteArray name = account.name.toLocal8Bit();
            if (::getgrouplist(name.constData(), account.gid, groups.data(), &count) < 0) {
                groups.resize(count);
                ::getgrouplist(name.constData(), account.gid, groups.data(), &count);
            }
            for (int i = 0; i < count && i < groups.size(); ++i) {
                if (const group *entry = ::getgrgid(groups.at(i))) {
                    names.append(QString::fromLocal8Bit(entry->gr_name));
                }
            }
            return names;
        };
    }
    if (!m_paths.clock) {
        m_paths.clock = [] {
            return QDateTime::currentMSecsSinceEpoch();
        };
    }
    m_configuration = std::make_unique<Configuration>(m_paths);
    m_service = std::make_unique<ServiceControl>(m_paths, *m_configuration);
    m_sessions = std::make_unique<Sessions>(m_paths);
    m_userFiles = std::make_unique<UserFiles>(m_paths, *m_configuration);
    m_pending = std::make_unique<PendingChanges>(m_paths, *m_configuration, *m_service);
}

Engine::~Engine() = default;

Reply Engine::readOptions(ConfigType type, const QStringList &keywords)
{
    return m_configuration->read(type, keywords);
}

Reply Engine::readBlocks(ConfigType type)
{
    return m_configuration->readBlocks(type);
}

Reply Engine::effective(const Lockout::Connection &connection)
{
    return m_configuration->effective(connection);
}

Reply Engine::changeOption(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun)
{
    Transaction transaction;
    transaction.changes = {{keyword, value}};
    transaction.dryRun = dryRun;
    return applyTransaction(type, transaction);
}

void Engine::revertDue()
{
    QStringList done;
    m_pending->revertExpired(&done);
}

Reply Engine::applyTransaction(ConfigType type, const Transaction &transaction)
{
    namespace Protocol = SSHSettings::Protocol;
    if (transaction.revertAfter < 0 || transaction.revertAfter > Protocol::MaxRevertAfter) {
        return Reply::failure(Refusal::Code::RevertAfterRange, {QString::number(Protocol::MaxRevertAfter)});
    }
    if (transaction.restart && !m_paths.serviceControl) {
        return Reply::failure(Refusal::Code::NoServiceControl);
    }
    // An armed change restarts sshd to be in force; a tree or a file of its own has no sshd to restart.
    const bool restart = type == ConfigType::Server && (transaction.restart || (transaction.revertAfter > 0 && m_paths.serviceControl));
    const auto running = [this] {
        return m_service->status().data.value(Protocol::Reply::Running).toBool();
    };
    if (transaction.dryRun) {
        Lockout::Session session;
        UserAccount account;
        const bool inSession = type == ConfigType::Server && !transaction.session.isEmpty();
        if (inSession && (!Lockout::parseConnection(transaction.session, &session) || !m_paths.lookupUser(transaction.caller, &account))) {
            return Reply::failure(Refusal::Code::UnknownSession);
        }
        session.user = account.name;
        session.isRoot = account.uid == 0;
        session.groups = inSession ? m_paths.lookupGroups(account) : QStringList();
        const Configuration::Request request = {transaction.changes, true, QString(), QStringList(), transaction.block, transaction.bodies};
        Reply reply = inSession ? m_configuration->review(request, session, account) : m_configuration->transaction(type, request);
        if (reply.ok) {
            reply.data.insert(Protocol::Reply::Restarts, restart && !reply.data.value(Protocol::Reply::FileDiffs).toMap().isEmpty() && running());
        }
        return reply;
    }
    QStringList keywords;
    for (const auto &change : transaction.changes) {
        const OptionCatalog::Option *option = OptionCatalog::findOption(type, change.first);
        keywords.append(option ? option->keyword : change.first);
    }
    for (const BlockBody &body : transaction.bodies) {
        for (const auto &change : body.changes) {
            const OptionCatalog::Option *option = OptionCatalog::findOption(type, change.first);
            keywords.append(QStringLiteral("match %1 %2").arg(body.index).arg(option ? option->keyword : change.first));
        }
    }
    if (transaction.block.isSet()) {
        keywords.prepend(QStringLiteral("match %1").arg(transaction.block.operation.isEmpty() ? QStringLiteral("set") : transaction.block.operation));
    }
    WriterLock lock(m_paths.backupDir, QStringLiteral("set %1").arg(keywords.join(QLatin1Char(' '))), m_paths.writerWaitMs);
    if (!lock.isHeld()) {
        return Reply::failure(lock.error());
    }
    revertDue();
    Configuration::Written written;
    Reply reply = m_configuration->transaction(type,
                                               {transaction.changes, false, transaction.base, transaction.readKeywords, transaction.block, transaction.bodies},
                                               &written);
    const QList<SavedFile> &before = written.before;
    if (!reply.ok || before.isEmpty()) {
        reply.data.insert(Protocol::Reply::Restarts, false);
        return reply;
    }
    // An armed change starts a chain or joins it; any other change joins a pending one.
    QString token;
    QString error;
    bool joined = false;
    const bool chained = transaction.revertAfter > 0 || m_pending->isPending(type);
    if (chained && !m_pending->add(type, before, keywords, transaction.revertAfter, &token, &joined, &error)) {
        return Reply::failure(Refusal(Refusal::Code::CannotArm, {error}).also(m_configuration->putBack(before)));
    }
    const bool restarts = restart && running();
    if (restarts) {
        const QList<QByteArray> listening = written.values.value("listenaddress");
        const Reply restarted = m_service->run(QStringLiteral("restart"), &listening);
        if (!restarted.ok) {
            // sshd did not come back with the change: the earlier files, and sshd with them.
            if (chained) {
                const Reply reverted = m_pending->revert(token);
                return Reply::failure(reverted.ok ? restarted.refusal().within(Refusal::Code::PendingReverted)
                                                  : restarted.refusal().within(Refusal::Code::PendingNotReverted, {reverted.error}));
            }
            const QString failed = m_configuration->putBack(before);
            const Reply again = m_service->run(QStringLiteral("restart"));
            return Reply::failure(restarted.refusal().within(Refusal::Code::EarlierBack).also(failed).also(again.ok ? QString() : again.error));
        }
        reply.data.insert(Protocol::Reply::Unanswered, restarted.data.value(Protocol::Reply::Unanswered));
    }
    reply.data.insert(Protocol::Reply::Restarts, restarts);
    if (joined) {
        reply.data.insert(Protocol::Reply::JoinedPending, true);
    }
    if (transaction.revertAfter > 0) {
        reply.data.insert(Protocol::Reply::Token, token);
    }
    return reply;
}

Reply Engine::confirmChange(const QString &token)
{
    WriterLock lock(m_paths.backupDir, QStringLiteral("confirm %1").arg(token.left(PendingChanges::TokenLength)), m_paths.writerWaitMs);
    return lock.isHeld() ? m_pending->confirm(token) : Reply::failure(lock.error());
}

Reply Engine::revertChange(const QString &token)
{
    WriterLock lock(m_paths.backupDir, QStringLiteral("revert %1").arg(token.left(PendingChanges::TokenLength)), m_paths.writerWaitMs);
    return lock.isHeld() ? m_pending->revert(token) : Reply::failure(lock.error());
}

Reply Engine::revertExpired(QStringList *done)
{
    // A countdown that gave up would leave the chain in force: it outwaits two slow restarts of another writer.
    WriterLock lock(m_paths.backupDir, QStringLiteral("revert --expired"), 10 * m_paths.writerWaitMs);
    return lock.isHeld() ? m_pending->revertExpired(done) : Reply::failure(lock.error());
}

Reply Engine::pendingChanges(ConfigType type, QList<PendingChange> *changes) const
{
    return m_pending->list(type, changes);
}

Reply Engine::restore(ConfigType type, bool fromLocalBackup)
{
    WriterLock lock(m_paths.backupDir, QStringLiteral("restore"), m_paths.writerWaitMs);
    if (!lock.isHeld()) {
        return Reply::failure(lock.error());
    }
    revertDue();
    return m_configuration->restore(type, fromLocalBackup);
}

Reply Engine::serviceCommand(const QString &command)
{
    WriterLock lock(m_paths.backupDir, QStringLiteral("service %1").arg(command.left(16)), m_paths.writerWaitMs);
    if (!lock.isHeld()) {
        return Reply::failure(lock.error());
    }
    revertDue();
    return m_service->run(command);
}

Reply Engine::serviceStatus()
{
    return m_service->status();
}

Reply Engine::killConnection(qint64 pid)
{
    return m_sessions->kill(pid);
}

Reply Engine::writeBanner(const QString &path, const QString &text)
{
    return m_userFiles->writeBanner(path, text);
}

Reply Engine::addAuthorizedKey(const QString &path, const QString &line, uid_t uid)
{
    return m_userFiles->editKeys(path, line, uid, true);
}

Reply Engine::removeAuthorizedKey(const QString &path, const QString &line, uid_t uid)
{
    return m_userFiles->editKeys(path, line, uid, false);
}

QStringList Engine::systemLocalAddresses()
{
    QStringList addresses;
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (QHostAddress address : all) {
        address.setScopeId(QString()); // a ListenAddress names no interface
        addresses.append(address.toString());
    }
    return addresses;
}

bool Engine::checkJournalArguments(const QStringList &arguments, QString *error)
{
    // Exactly the request the module sends: this boot, sshd's own entries (_UID=0), JSON.
    return SshdLog::isJournalRequest(arguments, error);
}

Reply Engine::readJournal(const QStringList &arguments)
{
    QString error;
    if (!checkJournalArguments(arguments, &error)) {
        return Reply::failure(Refusal::Code::Failed, {error});
    }
    JournalFilter filter;
    const ProgramResult result = runProgram(m_paths.journalctl, arguments, {}, JournalTimeoutMs, [&filter](const QByteArray &chunk) {
        filter.feed(chunk);
    });
    const QByteArray output = filter.finish();
    if (!result.succeeded()) {
        return Reply::failure(Refusal::Code::JournalFailed, {result.reason(m_paths.journalctl)});
    }
    return Reply::success({{SSHSettings::Protocol::Reply::Output, output}});
}
