// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "optioncatalog.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

/// Every file and program the engine touches. The helper uses system();
/// tests point the engine at temporary folders.
struct EnginePaths
{
    QString serverConfig;
    QString clientConfig;
    QString serverBackup;
    QString clientBackup;
    QString serverDefault;
    QString clientDefault;
    QString sshd;
    QString ssh;
    QString sshKeygen;
    QString journalctl;
    QString systemctl;
    QString initScript;
    QString privilegeSeparationDir; ///< created with mode 0755 before sshd runs
    QString systemdRunDir; ///< exists when systemd is the running init system
    QString sshdPidFile; ///< the listening daemon
    QString procDir;
    QString bannerRoot; ///< banner files must live below this folder
    QString sftpServer;
    /// Given to every `sshd -t`/`sshd -T` run (tests pass "-h <host key>").
    QStringList sshdExtraArguments;
    /// Addresses configured on the local interfaces; the system's when unset.
    std::function<QStringList()> localAddresses;

    static EnginePaths system();
};

struct Reply
{
    bool ok = false;
    QString error;
    QVariantMap data;

    static Reply success(const QVariantMap &data = {});
    static Reply failure(const QString &error);
};

class Engine
{
public:
    using ConfigType = OptionCatalog::ConfigType;

    explicit Engine(EnginePaths paths);

    const EnginePaths &paths() const { return m_paths; }

    /// "check_options": lower-case keyword → QString or QStringList.
    Reply readOptions(ConfigType type, const QStringList &keywords);
    /// "option_name" + "new_value". With @p dryRun nothing is written and
    /// data["diff"] holds the unified diff of the change.
    Reply changeOption(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun = false);
    Reply restore(ConfigType type, bool fromLocalBackup);
    Reply serviceCommand(const QString &command);
    Reply readJournal(const QStringList &arguments);
    Reply killConnection(qint64 pid);
    Reply writeBanner(const QString &path, const QString &text);
    Reply addAuthorizedKey(const QString &path, const QString &line);
    Reply removeAuthorizedKey(const QString &path, const QString &line);

    static bool checkJournalArguments(const QStringList &arguments, QString *error);
    static QStringList systemLocalAddresses();

private:
    QString configPath(ConfigType type) const;
    QString backupPath(ConfigType type) const;
    void ensurePrivilegeSeparationDir() const;
    /// `sshd -t -f path` or `ssh -G -F path`; the tool's first error line on failure.
    bool checkConfig(ConfigType type, const QString &path, QString *error) const;
    /// Keyword → values as `sshd -T` / `ssh -G` print them.
    bool effectiveValues(ConfigType type, const QString &path, QHash<QByteArray, QList<QByteArray>> *values, QString *error) const;
    bool fileValues(ConfigType type, const QString &path, QHash<QByteArray, QList<QByteArray>> *values, QString *error) const;
    bool isLocalAddress(const QString &address) const;
    bool checkKeyLine(const QString &line, QString *error) const;
    /// A plain key file, read into @p contents, and one valid key line.
    Reply checkKeyRequest(const QString &path, const QString &line, QByteArray *contents) const;

    EnginePaths m_paths;
};
