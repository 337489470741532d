// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "configbackups.h"
#include "engine.h"

#include <QHash>

class ConfigDocument;

/// Reads, changes and restores the server and client configurations, and keeps their backups.
class Configuration
{
public:
    using ConfigType = OptionCatalog::ConfigType;
    using Values = QHash<QByteArray, QList<QByteArray>>;

    /// sshd refuses to start with more listen sockets than this.
    static constexpr int MaxListenSockets = 16;

    explicit Configuration(const EnginePaths &paths);

    Reply read(ConfigType type, const QStringList &keywords) const;
    Reply change(ConfigType type, const QString &keyword, const QVariant &value, bool dryRun);
    Reply restore(ConfigType type, bool fromBackup);

    /// `sshd -t -f path` or `ssh -G -F path`; the tool's first error line on failure.
    bool check(ConfigType type, const QString &path, QString *error) const;
    /// Keyword → values as `sshd -T` / `ssh -G` print them.
    bool effectiveValues(ConfigType type, const QString &path, Values *values, QString *error) const;
    /**
     * Glob patterns of every file the configurations are made of or name:
     * the files themselves, Include patterns, host keys, key files, backups.
     * No banner may be written over such a file, nor any of them be a banner.
     */
    QStringList protectedPatterns() const;
    /// True when @p path matches one of protectedPatterns().
    bool isProtected(const QString &path) const;
    /// The Banner sshd uses now, "none" when there is none.
    QString configuredBanner() const;

private:
    QString configPath(ConfigType type) const;
    QString backupPath(ConfigType type) const;
    void ensurePrivilegeSeparationDir() const;
    bool fileValues(ConfigType type, const QString &path, Values *values, QString *error) const;
    bool isLocalAddress(const QString &address) const;
    bool checkBannerFile(const QString &path, QString *error) const;
    QString verify(ConfigType type, const OptionCatalog::Option &option, const OptionCatalog::CheckedValue &checked) const;

    const EnginePaths &m_paths;
    ConfigBackups m_backups;
};
