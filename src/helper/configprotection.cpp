// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "configdocument.h"
#include "configfiles.h"
#include "pinnedfolder.h"

#include <QFile>
#include <QFileInfo>

#include <fnmatch.h>
#include <sys/stat.h>

using namespace ConfigFiles;

QStringList Configuration::protectedPatterns() const
{
    QStringList patterns = {m_paths.serverConfig,
                            m_paths.clientConfig,
                            m_paths.serverBackup,
                            m_paths.clientBackup,
                            m_paths.backupDir,
                            m_paths.backupDir + QLatin1String("/*"),
                            QFileInfo(m_paths.serverConfig).absolutePath() + QLatin1String("/ssh_host_*")};
    for (const ConfigType type : {ConfigType::Server, ConfigType::Client}) {
        ConfigDocument document(dialect(type));
        QString ignored;
        if (!document.load(configPath(type), &ignored)) {
            continue;
        }
        patterns += document.includePatterns();
        const QStringList files = document.filePaths();
        for (const QString &file : files) {
            patterns += {file, writeTarget(file)};
        }
        // Every absolute path a line names (host keys, key files, certificates, …), but the banner itself.
        for (const ConfigDocument::Occurrence &occurrence : document.allOccurrences()) {
            if (occurrence.keyword == "banner") {
                continue;
            }
            for (const QByteArray &argument : occurrence.arguments) {
                if (argument.startsWith('/')) {
                    QString pattern = QFile::decodeName(argument);
                    // %u, %h, … stand for any text.
                    for (int i = pattern.indexOf(QLatin1Char('%')); i >= 0 && i + 1 < pattern.size(); i = pattern.indexOf(QLatin1Char('%'), i + 1)) {
                        pattern.replace(i, 2, QLatin1Char('*'));
                    }
                    patterns.append(pattern);
                }
            }
        }
    }
    return patterns;
}

bool Configuration::isProtected(const QString &path) const
{
    const QByteArray name = QFile::encodeName(path);
    const QStringList patterns = protectedPatterns();
    for (const QString &pattern : patterns) {
        if (::fnmatch(QFile::encodeName(pattern).constData(), name.constData(), FNM_PATHNAME) == 0) {
            return true;
        }
    }
    return false;
}

QString Configuration::configuredBanner() const
{
    Values values;
    QString ignored;
    if (!effectiveValues(ConfigType::Server, m_paths.serverConfig, &values, &ignored)
        && !fileValues(ConfigType::Server, m_paths.serverConfig, &values, &ignored)) {
        return QStringLiteral("none");
    }
    return QString::fromUtf8(values.value("banner").value(0, "none"));
}

bool Configuration::checkBannerFile(const QString &path, Refusal *error) const
{
    const QFileInfo info(path);
    const PinnedFolder folder(info.absolutePath(), {});
    struct stat st {
    };
    QByteArray head;
    QString readError;
    if (!folder.isValid()) {
        *error = {Refusal::Code::Failed, {folder.error()}};
    } else if (!folder.stat(info.fileName(), &st)) {
        *error = {Refusal::Code::FileMissing, {path}};
    } else if (!S_ISREG(st.st_mode)) {
        *error = {Refusal::Code::NotRegularFile, {path}};
    } else if (st.st_uid != 0) {
        *error = {Refusal::Code::NotOwnedByRoot, {path}};
    } else if (!(st.st_mode & S_IROTH)) {
        *error = {Refusal::Code::NotWorldReadable, {path}};
    } else if (isProtected(path)) {
        *error = {Refusal::Code::ProtectedFile, {path}};
    } else if (!folder.read(info.fileName(), &head, 1024 * 1024, &readError)) {
        *error = {Refusal::Code::Failed, {readError}};
    } else if (head.contains("PRIVATE KEY")) {
        *error = {Refusal::Code::PrivateKeyFile, {path}};
    } else {
        return true;
    }
    return false;
}
