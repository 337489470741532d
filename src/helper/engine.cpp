// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine.h"

#include "atomicfile.h"
#include "configdocument.h"
#include "helperprograms.h"
#include "journalfilter.h"
#include "runprogram.h"
#include "unifieddiff.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace OptionCatalog;

namespace
{
constexpr int MaxBannerBytes = 64 * 1024;
constexpr int MaxKeyLineBytes = 16 * 1024;
constexpr qint64 MaxKeyFileBytes = 4 * 1024 * 1024;
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
    const QByteArray latin = address.toLatin1();
    unsigned char buffer[16];
    char text[INET6_ADDRSTRLEN];
    if (inet_pton(AF_INET, latin.constData(), buffer) == 1 && inet_ntop(AF_INET, buffer, text, sizeof text)) {
        return QString::fromLatin1(text);
    }
    if (inet_pton(AF_INET6, latin.constData(), buffer) == 1 && inet_ntop(AF_INET6, buffer, text, sizeof text)) {
        return QString::fromLatin1(text);
    }
    return address.toLower();
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

QString fileMode(const QString &path, unsigned *mode)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return QString::fromLocal8Bit(strerror(errno));
    }
    *mode = st.st_mode & 07777;
    return QString();
}
}

EnginePaths EnginePaths::system()
{
    EnginePaths paths;
    paths.serverConfig = QStringLiteral("/etc/ssh/sshd_config");
    paths.clientConfig = QStringLiteral("/etc/ssh/ssh_config");
    paths.serverBackup = QStringLiteral("/etc/ssh/sshd_config.bak");
    paths.clientBackup = QStringLiteral("/etc/ssh/ssh_config.bak");
    paths.serverDefault = QStringLiteral("/usr/share/openssh/sshd_config");
    paths.clientDefault = QStringLiteral("/usr/share/openssh/ssh_config");
    paths.sshd = QStringLiteral(SSHSETTINGS_SSHD_PATH);
    paths.ssh = QStringLiteral(SSHSETTINGS_SSH_PATH);
    paths.sshKeygen = QStringLiteral(SSHSETTINGS_SSH_KEYGEN_PATH);
    paths.journalctl = QStringLiteral(SSHSETTINGS_JOURNALCTL_PATH);
    paths.systemctl = QStringLiteral(SSHSETTINGS_SYSTEMCTL_PATH);
    paths.initScript = QStringLiteral(SSHSETTINGS_INIT_SCRIPT_PATH);
    paths.privilegeSeparationDir = QStringLiteral("/run/sshd");
    paths.systemdRunDir = QStringLiteral("/run/systemd/system");
    paths.sshdPidFile = QStringLiteral("/run/sshd.pid");
    paths.procDir = QStringLiteral("/proc");
    paths.bannerRoot = QStringLiteral("/etc");
    paths.sftpServer = QStringLiteral("/usr/lib/openssh/sftp-server");
    return paths;
}

Reply Reply::success(const QVariantMap &data)
{
    Reply reply;
    reply.ok = true;
    reply.data = data;
    return reply;
}

Reply Reply::failure(const QString &error)
{
    Reply reply;
    // One line, whatever the caller put into the values quoted in it.
    reply.error = error;
    for (QChar &c : reply.error) {
        if (OptionCatalog::hasControlCharacter(QString(c))) {
            c = QLatin1Char('?');
        }
    }
    return reply;
}

Engine::Engine(EnginePaths paths) : m_paths(std::move(paths))
{
    if (!m_paths.localAddresses) {
        m_paths.localAddresses = &Engine::systemLocalAddresses;
    }
}

QString Engine::configPath(ConfigType type) const
{
    return type == ConfigType::Client ? m_paths.clientConfig : m_paths.serverConfig;
}

QString Engine::backupPath(ConfigType type) const
{
    return type == ConfigType::Client ? m_paths.clientBackup : m_paths.serverBackup;
}

void Engine::ensurePrivilegeSeparationDir() const
{
    if (m_paths.privilegeSeparationDir.isEmpty()) {
        return;
    }
    const QByteArray dir = QFile::encodeName(m_paths.privilegeSeparationDir);
    if (::mkdir(dir.constData(), 0755) == 0) {
        ::chmod(dir.constData(), 0755);
    }
}

bool Engine::checkConfig(ConfigType type, const QString &path, QString *error) const
{
    ProgramResult result;
    if (type == ConfigType::Client) {
        result = runProgram(m_paths.ssh, {QStringLiteral("-G"), QStringLiteral("-F"), path, s_anyHost});
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

bool Engine::effectiveValues(ConfigType type, const QString &path, QHash<QByteArray, QList<QByteArray>> *values, QString *error) const
{
    ProgramResult result;
    if (type == ConfigType::Client) {
        result = runProgram(m_paths.ssh, {QStringLiteral("-G"), QStringLiteral("-F"), path, s_anyHost});
    } else {
        ensurePrivilegeSeparationDir();
        result = runProgram(m_paths.sshd, QStringList {QStringLiteral("-T"), QStringLiteral("-f"), path} + m_paths.sshdExtraArguments);
    }
    if (!result.succeeded()) {
        *error = result.reason(type == ConfigType::Client ? m_paths.ssh : m_paths.sshd);
        return false;
    }
    *values = parseDump(result.standardOutput);
    return true;
}

bool Engine::fileValues(ConfigType type, const QString &path, QHash<QByteArray, QList<QByteArray>> *values, QString *error) const
{
    ConfigDocument document(type == ConfigType::Client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
    if (!document.load(path, error)) {
        return false;
    }
    values->clear();
    for (const Option &option : options(type)) {
        const QByteArray keyword = option.keyword.toLatin1().toLower();
        const QList<ConfigDocument::Occurrence> found = document.occurrences(keyword);
        QList<QByteArray> list;
        for (const ConfigDocument::Occurrence &occurrence : found) {
            if (option.kind == ValueKind::AccessPatterns || option.kind == ValueKind::ListenAddresses) {
                list += occurrence.arguments;
            } else {
                QByteArray joined;
                for (const QByteArray &argument : occurrence.arguments) {
                    joined += (joined.isEmpty() ? "" : " ") + argument;
                }
                list.append(joined);
            }
            if (!option.accumulating && !(type == ConfigType::Server && keyword == "port")) {
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
            if (entry.startsWith('[') || entry.count(':') == 1) {
                if (splitListenAddress(QString::fromLatin1(entry), &address, &port)) {
                    listen.append(entry);
                    continue;
                }
            }
            for (const QByteArray &p : ports) {
                listen.append((entry.contains(':') ? '[' + entry + ']' : entry) + ':' + p);
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
    return true;
}

Reply Engine::readOptions(ConfigType type, const QStringList &keywords)
{
    QList<const Option *> wanted;
    for (const QString &keyword : keywords) {
        const Option *option = findOption(type, keyword);
        if (!option) {
            return Reply::failure(QStringLiteral("unknown keyword \"%1\"").arg(keyword.left(64)));
        }
        wanted.append(option);
    }
    QHash<QByteArray, QList<QByteArray>> values;
    QString effectiveError;
    if (!effectiveValues(type, configPath(type), &values, &effectiveError)) {
        QString fileError;
        if (!fileValues(type, configPath(type), &values, &fileError)) {
            return Reply::failure(QStringLiteral("cannot read the configuration: %1; %2").arg(effectiveError, fileError));
        }
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
            QStringList list;
            for (const QByteArray &value : found) {
                list.append(QString::fromUtf8(value));
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
    return Reply::success(data);
}

bool Engine::isLocalAddress(const QString &address) const
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

QStringList Engine::systemLocalAddresses()
{
    QStringList addresses;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) {
        return addresses;
    }
    for (ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) {
            continue;
        }
        char text[INET6_ADDRSTRLEN];
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto *in = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
                addresses.append(QString::fromLatin1(text));
            }
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(entry->ifa_addr);
            if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text)) {
                addresses.append(QString::fromLatin1(text));
            }
        }
    }
    freeifaddrs(list);
    return addresses;
}

Reply Engine::changeOption(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun)
{
    const Option *option = findOption(type, keyword);
    if (!option) {
        return Reply::failure(QStringLiteral("unknown keyword \"%1\"").arg(keyword.left(64)));
    }
    CheckedValue checked;
    QString error;
    if (!checkValue(*option, value, &checked, &error)) {
        return Reply::failure(error);
    }
    for (const QString &address : std::as_const(checked.addresses)) {
        if (!isLocalAddress(address)) {
            return Reply::failure(QStringLiteral("ListenAddress: %1 is not configured on any local interface").arg(address));
        }
    }

    const QString mainPath = configPath(type);
    ConfigDocument document(type == ConfigType::Client ? ConfigDocument::Dialect::Client : ConfigDocument::Dialect::Server);
    if (!document.load(mainPath, &error)) {
        return Reply::failure(error);
    }
    if (option->kind == ValueKind::Subsystem) {
        document.setSftpSubsystem(checked.enable, m_paths.sftpServer.toLatin1());
    } else if (option->accumulating) {
        document.setAll(option->keyword, checked.lines);
    } else if (checked.lines.isEmpty()) {
        document.setAll(option->keyword, {});
    } else {
        document.setSingle(option->keyword, checked.lines.first());
    }
    const QList<QPair<QString, QByteArray>> modified = document.modifiedFiles();

    if (dryRun) {
        QByteArray diff;
        const QStringList paths = document.filePaths();
        for (const auto &file : modified) {
            diff += unifiedDiff(file.first, document.originalContents(paths.indexOf(file.first)), file.second);
        }
        return Reply::success({{QStringLiteral("diff"), diff}});
    }
    if (modified.isEmpty()) {
        return Reply::success();
    }

    QString validityError;
    if (checkConfig(type, mainPath, &validityError)) {
        QByteArray current;
        unsigned mode = 0644;
        fileMode(mainPath, &mode);
        if (!AtomicFile::readFile(mainPath, &current, &error) || !AtomicFile::writeFile(backupPath(type), current, &error, mode)) {
            return Reply::failure(QStringLiteral("cannot keep the working configuration: %1").arg(error));
        }
    }

    // The usual change touches the main file alone: check the candidate beside it
    // before it replaces anything, so an invalid file never stands in its place.
    if (modified.size() == 1 && modified.constFirst().first == mainPath) {
        const QString candidate = mainPath + QStringLiteral(".sshsettings-candidate");
        if (!AtomicFile::writeFile(candidate, modified.constFirst().second, &error)) {
            return Reply::failure(error);
        }
        const bool valid = checkConfig(type, candidate, &error);
        QFile::remove(candidate);
        if (!valid) {
            return Reply::failure(QStringLiteral("refused, the configuration would be invalid: %1").arg(error.replace(candidate, mainPath)));
        }
    }

    const QStringList paths = document.filePaths();
    QList<QPair<QString, QByteArray>> written;
    auto rollback = [&]() {
        QString ignored;
        for (const auto &file : std::as_const(written)) {
            AtomicFile::writeFile(file.first, document.originalContents(paths.indexOf(file.first)), &ignored);
        }
    };
    for (const auto &file : modified) {
        if (!AtomicFile::writeFile(file.first, file.second, &error)) {
            rollback();
            return Reply::failure(error);
        }
        written.append(file);
    }
    if (!checkConfig(type, mainPath, &error)) {
        rollback();
        return Reply::failure(QStringLiteral("refused, the configuration would be invalid: %1").arg(error));
    }

    QHash<QByteArray, QList<QByteArray>> values;
    if (!effectiveValues(type, mainPath, &values, &error)) {
        rollback();
        return Reply::failure(QStringLiteral("refused, cannot read back the configuration: %1").arg(error));
    }
    const QByteArray lower = option->keyword.toLatin1().toLower();
    const QList<QByteArray> now = values.value(lower);
    QString mismatch;
    switch (option->kind) {
    case ValueKind::Subsystem: {
        bool sftp = false;
        for (const QByteArray &line : now) {
            sftp = sftp || line.split(' ').value(0) == "sftp";
        }
        if (sftp != checked.enable) {
            mismatch = sftp ? QStringLiteral("an sftp subsystem is still configured") : QStringLiteral("the sftp subsystem is still missing");
        }
        break;
    }
    case ValueKind::ListenAddresses: {
        if (checked.expected.isEmpty()) {
            break;
        }
        QSet<QString> reported;
        for (const QByteArray &entry : now) {
            reported.insert(QString::fromLatin1(entry).toLower());
        }
        if (reported != lowerSet(checked.expected)) {
            mismatch = QStringLiteral("sshd listens on %1").arg(QStringList(reported.values()).join(QLatin1Char(' ')));
        }
        break;
    }
    case ValueKind::KeyFilePatterns:
    case ValueKind::AccessPatterns:
        if ((!checked.expected.isEmpty() || option->kind == ValueKind::AccessPatterns) && tokens(now) != checked.expected) {
            mismatch = QStringLiteral("the effective value is \"%1\"").arg(tokens(now).join(QLatin1Char(' ')));
        }
        break;
    default: {
        const QString wanted = checked.expected.value(0).toLower();
        bool found = false;
        for (int i = 0; i < now.size(); ++i) {
            // Several Port lines make sshd listen on all of them.
            if (QString::fromUtf8(now.at(i)).toLower() == wanted && (i == 0 || lower == "port")) {
                found = true;
            }
        }
        if (!found) {
            mismatch = QStringLiteral("the effective value is \"%1\"").arg(QString::fromUtf8(now.value(0)));
        }
        break;
    }
    }
    if (!mismatch.isEmpty()) {
        rollback();
        return Reply::failure(QStringLiteral("refused, another setting wins for %1: %2").arg(option->keyword, mismatch));
    }
    return Reply::success();
}

Reply Engine::restore(ConfigType type, bool fromLocalBackup)
{
    const QString source = fromLocalBackup ? backupPath(type) : (type == ConfigType::Client ? m_paths.clientDefault : m_paths.serverDefault);
    const QString target = configPath(type);
    QString error;
    if (!QFileInfo::exists(source)) {
        return Reply::failure(fromLocalBackup ? QStringLiteral("there is no local backup %1").arg(source)
                                              : QStringLiteral("the system default %1 is not installed").arg(source));
    }
    QByteArray contents;
    if (!AtomicFile::isPlainRegularFile(source, &error) || !AtomicFile::readFile(source, &contents, &error)) {
        return Reply::failure(error);
    }
    if (!checkConfig(type, source, &error)) {
        return Reply::failure(QStringLiteral("%1 is not a valid configuration: %2").arg(source, error));
    }
    QByteArray current;
    if (!AtomicFile::readFile(target, &current, &error)) {
        return Reply::failure(error);
    }
    if (current == contents) {
        return Reply::success();
    }
    unsigned mode = 0644;
    fileMode(target, &mode);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString keep = QStringLiteral("%1.%2").arg(target, stamp);
    for (int n = 1; QFileInfo::exists(keep); ++n) {
        keep = QStringLiteral("%1.%2-%3").arg(target, stamp).arg(n);
    }
    if (!AtomicFile::writeFile(keep, current, &error, mode)) {
        return Reply::failure(QStringLiteral("cannot keep a copy of the current configuration: %1").arg(error));
    }
    if (!AtomicFile::writeFile(target, contents, &error)) {
        return Reply::failure(error);
    }
    if (!checkConfig(type, target, &error)) {
        QString ignored;
        AtomicFile::writeFile(target, current, &ignored);
        return Reply::failure(QStringLiteral("refused, the restored configuration would be invalid: %1").arg(error));
    }
    return Reply::success({{QStringLiteral("previous"), keep}});
}

Reply Engine::serviceCommand(const QString &command)
{
    static const QStringList commands = {QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("restart")};
    if (!commands.contains(command)) {
        return Reply::failure(QStringLiteral("unknown service command \"%1\"").arg(command.left(32)));
    }
    QString error;
    if (command != QLatin1String("stop") && !checkConfig(ConfigType::Server, m_paths.serverConfig, &error)) {
        return Reply::failure(QStringLiteral("refused to %1 sshd, the configuration is invalid: %2").arg(command, error));
    }
    ProgramResult result;
    QString program;
    if (QFileInfo(m_paths.systemdRunDir).isDir()) {
        program = m_paths.systemctl;
        result = runProgram(program, {command, QStringLiteral("ssh.service")}, {}, 90000);
    } else {
        program = m_paths.initScript;
        result = runProgram(program, {command}, {}, 90000);
    }
    if (!result.succeeded()) {
        return Reply::failure(QStringLiteral("%1 of sshd failed: %2").arg(command, result.reason(program)));
    }
    return Reply::success();
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
        return Reply::failure(error);
    }
    JournalFilter filter;
    const ProgramResult result = runProgram(m_paths.journalctl, arguments, {}, 120000, [&filter](const QByteArray &chunk) {
        filter.feed(chunk);
    });
    const QByteArray output = filter.finish();
    if (!result.succeeded()) {
        return Reply::failure(QStringLiteral("journalctl failed: %1").arg(result.reason(m_paths.journalctl)));
    }
    return Reply::success({{QStringLiteral("output"), output}});
}

Reply Engine::killConnection(qint64 pid)
{
    if (pid <= 1 || pid > 4194304) {
        return Reply::failure(QStringLiteral("refused to end process %1").arg(pid));
    }
    // A pid file descriptor pins the process: the checks and the signal reach the same one.
    const int pidFd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (pidFd < 0) {
        return Reply::failure(QStringLiteral("no process %1").arg(pid));
    }
    auto fail = [pidFd](const QString &reason) {
        ::close(pidFd);
        return Reply::failure(reason);
    };
    const QString proc = QStringLiteral("%1/%2/").arg(m_paths.procDir).arg(pid);
    QByteArray comm;
    QByteArray stat;
    QByteArray cmdline;
    QString error;
    if (!AtomicFile::readFile(proc + QLatin1String("comm"), &comm, &error) || !AtomicFile::readFile(proc + QLatin1String("stat"), &stat, &error) ||
        !AtomicFile::readFile(proc + QLatin1String("cmdline"), &cmdline, &error)) {
        return fail(QStringLiteral("no process %1").arg(pid));
    }
    comm = comm.trimmed();
    if (comm != "sshd" && comm != "sshd-session") {
        return fail(QStringLiteral("process %1 is not an sshd connection").arg(pid));
    }
    QByteArray listening;
    if (QFileInfo::exists(m_paths.sshdPidFile) && AtomicFile::readFile(m_paths.sshdPidFile, &listening, &error, 64) &&
        listening.trimmed().toLongLong() == pid) {
        return fail(QStringLiteral("process %1 is the listening sshd").arg(pid));
    }
    // stat: "pid (comm) state ppid ..."; the command may hold blanks and parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.value(1).toLongLong() <= 1 || cmdline.contains("[listener]")) {
        return fail(QStringLiteral("process %1 is the listening sshd").arg(pid));
    }
    if (::syscall(SYS_pidfd_send_signal, pidFd, SIGTERM, nullptr, 0) != 0) {
        return fail(QStringLiteral("cannot end process %1: %2").arg(pid).arg(QString::fromLocal8Bit(strerror(errno))));
    }
    ::close(pidFd);
    return Reply::success();
}

Reply Engine::writeBanner(const QString &path, const QString &text)
{
    if (!AtomicFile::isCleanAbsolutePath(path) || hasControlCharacter(path)) {
        return Reply::failure(QStringLiteral("banner path must be a plain absolute path"));
    }
    const QString root = QDir::cleanPath(m_paths.bannerRoot) + QLatin1Char('/');
    const QString canonicalRoot = QFileInfo(m_paths.bannerRoot).canonicalFilePath() + QLatin1Char('/');
    const QString parent = QFileInfo(path).absolutePath();
    const QString canonicalParent = QFileInfo(parent).canonicalFilePath() + QLatin1Char('/');
    if (!path.startsWith(root) || !canonicalParent.startsWith(canonicalRoot)) {
        return Reply::failure(QStringLiteral("banner file must be below %1").arg(root));
    }
    QString error;
    if (!AtomicFile::isPlainRegularFile(path, &error)) {
        return Reply::failure(QStringLiteral("banner: %1").arg(error));
    }
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > MaxBannerBytes) {
        return Reply::failure(QStringLiteral("banner text is larger than 64 KiB"));
    }
    for (const QChar c : text) {
        if (c != QLatin1Char('\n') && c != QLatin1Char('\t') && c != QLatin1Char('\r') && hasControlCharacter(QString(c))) {
            return Reply::failure(QStringLiteral("banner text contains a control character"));
        }
    }
    if (!AtomicFile::writeFile(path, bytes, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}

bool Engine::checkKeyLine(const QString &line, QString *error) const
{
    if (line.trimmed().isEmpty()) {
        *error = QStringLiteral("empty key line");
        return false;
    }
    if (line.toUtf8().size() > MaxKeyLineBytes) {
        *error = QStringLiteral("key line too long");
        return false;
    }
    if (hasControlCharacter(line)) {
        *error = QStringLiteral("key line contains a newline or control character");
        return false;
    }
    const ProgramResult result = runProgram(m_paths.sshKeygen, {QStringLiteral("-l"), QStringLiteral("-f"), QStringLiteral("-")}, line.toUtf8() + '\n');
    if (!result.succeeded()) {
        *error = QStringLiteral("not a valid public key line");
        return false;
    }
    return true;
}

Reply Engine::checkKeyRequest(const QString &path, const QString &line, QByteArray *contents) const
{
    if (!AtomicFile::isCleanAbsolutePath(path) || hasControlCharacter(path)) {
        return Reply::failure(QStringLiteral("key file path must be a plain absolute path"));
    }
    QString error;
    if (!AtomicFile::isPlainRegularFile(path, &error) || !AtomicFile::readFile(path, contents, &error, MaxKeyFileBytes)) {
        return Reply::failure(QStringLiteral("key file: %1").arg(error));
    }
    if (!checkKeyLine(line, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}

Reply Engine::addAuthorizedKey(const QString &path, const QString &line)
{
    QByteArray contents;
    const Reply checked = checkKeyRequest(path, line, &contents);
    if (!checked.ok) {
        return checked;
    }
    QString error;
    if (!contents.isEmpty() && !contents.endsWith('\n')) {
        contents += '\n';
    }
    contents += line.toUtf8() + '\n';
    if (!AtomicFile::writeFile(path, contents, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}

Reply Engine::removeAuthorizedKey(const QString &path, const QString &line)
{
    QByteArray contents;
    const Reply checked = checkKeyRequest(path, line, &contents);
    if (!checked.ok) {
        return checked;
    }
    QString error;
    const QByteArray wanted = line.toUtf8().trimmed();
    QByteArray kept;
    int start = 0;
    while (start < contents.size()) {
        const int newline = contents.indexOf('\n', start);
        const int stop = newline < 0 ? contents.size() : newline + 1;
        const QByteArray current = contents.mid(start, stop - start);
        if (current.trimmed() != wanted) {
            kept += current;
        }
        start = stop;
    }
    if (kept != contents && !AtomicFile::writeFile(path, kept, &error)) {
        return Reply::failure(error);
    }
    return Reply::success();
}
