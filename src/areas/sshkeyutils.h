// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

/// One parsed line of an authorized_keys file.
struct KeyInfo {
    QString type;
    QString fingerprint;
    QString comment;
    QString options; ///< the options before the key type ("from=...,no-pty"), empty without
    int bits = 0;
};

/**
 * Functions on single public-key lines and on authorized_keys files that the
 * current user may write directly. Stateless apart from a counter of the
 * child processes started, which tests and benchmarks read.
 */
class SSHKeyUtils
{
public:
    /// The key types that "ssh -Q key" lists; empty on failure.
    static QStringList systemSupportedKeyTypes();
    /// The absolute path a configured AuthorizedKeysFile pattern names for the user running the module.
    static QString expandPath(const QString &pattern);
    /// The name %u stands for: the user running the module.
    static QString userName();
    static bool isKeyLineValid(const QString &line);
    /// The key size as "ssh-keygen -lf -" reports it for this one line; 0 when it cannot read it.
    static int calculateKeySize(const QString &line);
    /// Splits a line and computes its fingerprint and size; runs ssh-keygen once for a line of two or more fields.
    static KeyInfo parseKeyLine(const QString &line);

    /**
     * The same as calling calculateKeySize() for every line, but with one
     * ssh-keygen run for the whole list. Lines that cannot be handed over in
     * one stream (embedded line breaks or NUL) are asked about one by one.
     */
    static QList<int> calculateKeySizes(const QStringList &lines);
    /// The same as calling parseKeyLine() for every line, with the sizes from calculateKeySizes().
    static QList<KeyInfo> parseKeyLines(const QStringList &lines);

    /// "SHA256:" + unpadded base64 of the SHA-256 of the (leniently) decoded key data.
    static QString fingerprintOfKeyData(const QString &keyData);

    /// Splits an authorized_keys line into its options (quoted commas and blanks kept) and the key part.
    static QPair<QString, QString> splitOptions(const QString &line);

    /// Appends the line, starting on a new line when the file does not end with a line feed. A missing
    /// file is created with mode 0600, a missing folder with 0700. On failure @p reason says why.
    /// Both edits are the helper's own (AuthorizedKeys) and replace the file atomically, keeping
    /// its mode and owner, and every other line as it was (blank, comment and CRLF lines too).
    static bool appendKeyToFile(const QString &path, const QString &line, QString *reason = nullptr);
    /// Removes every copy of the line; false when there is none.
    static bool removeKeyFromFile(const QString &path, const QString &line, QString *reason = nullptr);

    /// Whether the current user may write the file directly (otherwise the privileged helper is used);
    /// for a missing file, whether the user may create it (and its folder).
    static bool isDirectlyWritable(const QString &path);
    /// Replaces the check of isDirectlyWritable(); an empty function restores the file-system check.
    static void setWritableCheckForTesting(const std::function<bool(const QString &)> &check);

    /// The number of child processes started since the last reset.
    static int startedProcessCount();
    static void resetStartedProcessCount();

    /// The programs run; found on the search path, else in /usr/bin.
    static QString sshProgram();
    static QString sshKeygenProgram();
};
