// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <sys/stat.h>
#include <sys/types.h>

class Configuration;

/**
 * The server's host keys and its moduli file, as the security check judges them: what
 * `ssh-keygen -l` says of each key, how its files are protected, whether sshd uses it,
 * and which lines of the moduli file are too small. The Engine's host key members
 * (engine.h) read and change them through these.
 */
namespace HostKeys
{
/// The smallest RSA key and the smallest group of the moduli file the check accepts without a warning.
constexpr int RecommendedBits = 3072;
/// RSA keys under this many bits fail the check.
constexpr int MinimumRsaBits = 2048;
/// The RSA size a generated key gets unless asked for another.
constexpr int DefaultRsaBits = 4096;
constexpr int MaxRsaBits = 16384;

/// One line of `ssh-keygen -l`: "256 SHA256:… comment (ED25519)".
struct Fingerprint {
    int bits = 0;
    QString fingerprint;
    QString type; ///< "ED25519", "RSA", "ECDSA", "DSA", …
};
/// The first line of @p output read as ssh-keygen -l prints it; false when it is not such a line.
bool parseFingerprint(const QByteArray &output, Fingerprint *result);

/// A host key: a file sshd is told to use (or uses by default), or one lying in the key folder.
struct Key {
    QString file; ///< the private key's path
    Fingerprint print; ///< empty type when the key could not be read
    bool configured = false;
    bool present = false; ///< the private file exists (of any kind)
    bool regular = false; ///< it is a regular file, no link
    int mode = -1; ///< permission bits of the private file
    uid_t owner = 0;
    int publicMode = -1; ///< of FILE.pub; -1 when there is none
    uid_t publicOwner = 0;
    QString origin; ///< "file:line" of its HostKey line, "default", or empty when sshd does not use it
    bool fromLine = false; ///< a HostKey line names it
    dev_t device = 0; ///< with the inode, which file it is whatever the path that names it
    ino_t inode = 0;

    /// The same file as @p other (the same path when either is missing).
    bool sameFile(const Key &other) const
    {
        return present && other.present ? device == other.device && inode == other.inode : file == other.file;
    }

    /// A regular file whose type ssh-keygen tells.
    bool known() const
    {
        return regular && !print.type.isEmpty();
    }
    /// sshd can load it: known, and no one else may read it.
    bool usable() const
    {
        return known() && (mode & 077) == 0;
    }
    /// Private 0600 and public 0644 or stricter, both owned by @p root.
    bool protectedAs(uid_t root) const
    {
        return !regular || ((mode & ~0600) == 0 && owner == root && (publicMode < 0 || ((publicMode & ~0644) == 0 && publicOwner == root)));
    }
    /// One of @p algorithms (HostKeyAlgorithms as sshd reads it; empty: any) signs with a key of its type.
    bool servedBy(const QStringList &algorithms) const;
};

/// What the check reads of a moduli file: its groups and those under RecommendedBits.
struct Moduli {
    int total = 0;
    int weak = 0;
    QByteArray strong; ///< the file without the weak groups (comments kept)
};
/// Each group line's fifth field is its size minus one, as OpenSSH writes it: 2047 is a 2048-bit group. A line of seven
/// fields that is not a group as OpenSSH writes it (numbers, a hexadecimal modulus) counts as weak.
Moduli readModuli(const QByteArray &contents);

/// A finding with the Reply::Finding* keys.
QVariantMap
finding(const QString &id, const QString &severity, const QString &subject, const QString &current, const QString &recommended, const QString &origin);
/// The findings of the hostkey-* checks on @p keys, a root-owned key expected to be owned by @p root.
QVariantList keyFindings(const QList<Key> &keys, uid_t root);
/// The moduli-weak finding of @p moduli at @p path; none when nothing is weak.
QVariantList moduliFindings(const Moduli &moduli, const QString &path);

// The files themselves (hostkeyfiles.cpp), reached through pinned folders without following links.

/// The server's keys, and whether HostKey lines name them (else sshd's defaults apply); a null error when read.
struct Listing {
    QList<Key> keys;
    bool fromLines = false;
    QStringList algorithms; ///< the HostKeyAlgorithms sshd offers; empty when sshd -T could not tell
    Refusal error;
};
/// Every key sshd uses (its HostKey lines, else its defaults) and every ssh_host_*_key lying in EnginePaths::sshDir.
Listing listKeys(const EnginePaths &paths, const Configuration &configuration);
/// The account name of @p uid, else the number.
QString ownerName(uid_t uid);
QString moduliPath(const EnginePaths &paths);
bool readModuliFile(const EnginePaths &paths, QByteArray *contents, struct stat *status);
/// A path in the key folder that no file and no key of @p keys has: ssh_host_TYPE_key, else ssh_host_TYPE_key-2, …
QString freshKeyPath(const EnginePaths &paths, const QString &type, const QList<Key> &keys);
/// ssh-keygen into a fresh folder only this user can enter, then the pair written to @p path (private 0600, public 0644).
bool installKey(const EnginePaths &paths, const QString &type, int bits, const QString &path, QString *error);
void removeKeyFiles(const QString &path);
/// The key's files kept among the backups ("hostkey-NAME-replaced-TIME"), then taken out of their folder.
bool moveToBackups(const EnginePaths &paths, const QString &path, QString *error);
/// Private 0600, public 0644 or stricter (bits are only taken away), both owned by the helper's user (root), through
/// descriptors that follow no link.
bool protect(const Key &key, QString *error);
}
