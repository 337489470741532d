// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "configuration.h"

#include "atomicfile.h"
#include "configfiles.h"
#include "sshsettingsprotocol.h"

using namespace ConfigFiles;
namespace Protocol = SSHSettings::Protocol;

Reply Configuration::restore(ConfigType type, bool fromBackup)
{
    const QString target = configPath(type);
    QList<SavedFile> wanted;
    QString error;
    if (fromBackup) {
        Refusal setError;
        if (!m_backups.load(typeName(type), &wanted, &setError)) {
            if (m_backups.has(typeName(type))) {
                return Reply::failure(setError.within(Refusal::Code::NothingRestored));
            }
            // A backup from before the sets existed: the main file alone.
            SavedFile main = current(backupPath(type));
            if (main.contents.isNull() || !AtomicFile::isPlainRegularFile(backupPath(type), &error)) {
                return Reply::failure(setError.within(Refusal::Code::NoBackup, {backupPath(type)}));
            }
            main.path = target;
            wanted = {main};
        }
    } else {
        const QString source = type == ConfigType::Client ? m_paths.clientDefault : m_paths.serverDefault;
        SavedFile main = current(source);
        if (main.contents.isNull() || !AtomicFile::isPlainRegularFile(source, &error)) {
            return Reply::failure(Refusal::Code::NoSystemDefault, {source});
        }
        main.path = target;
        main.mode = 0644;
        wanted = {main};
    }
    if (wanted.constFirst().path != target) {
        return Reply::failure(Refusal::Code::BackupNotOf, {target});
    }
    const Refusal unsafe = unsafeFiles(type, target, wanted);
    if (!unsafe.isNull()) {
        return Reply::failure(unsafe.within(Refusal::Code::NothingRestored));
    }

    QList<SavedFile> replaced;
    for (const SavedFile &file : std::as_const(wanted)) {
        const SavedFile now = current(file.path);
        if (now.contents != file.contents || now.contents.isNull()) {
            replaced.append(now);
        }
    }
    if (replaced.isEmpty()) {
        return Reply::success();
    }
    QList<SavedFile> written;
    for (const SavedFile &file : std::as_const(wanted)) {
        written.append(current(file.path));
        if (!writeConfigFile(file.path, file.contents, file.mode, &error)) {
            return Reply::failure(Refusal(Refusal::Code::Failed, {error}).also(putBack(written)));
        }
    }
    if (!checkInPlace(type, &error)) {
        return Reply::failure(Refusal(Refusal::Code::RestoredInvalid, {error}).also(putBack(written)));
    }
    QList<SavedFile> existing;
    for (const SavedFile &file : std::as_const(replaced)) {
        if (!file.contents.isNull()) {
            existing.append(file);
        }
    }
    QString kept;
    if (!existing.isEmpty() && !m_backups.keepReplaced(typeName(type), existing, &kept, &error)) {
        return Reply::failure(Refusal(Refusal::Code::Failed, {error}).also(putBack(written)));
    }
    QVariantMap data;
    if (!kept.isEmpty()) {
        data.insert(Protocol::Reply::Previous, kept);
    }
    return Reply::success(data);
}
