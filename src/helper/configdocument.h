// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

/**
 * An OpenSSH configuration as sshd or ssh reads it: the main file with its
 * `Include`d files read in place (glob results in lexical order), split into
 * occurrences of keywords. An occurrence is global when it is outside every
 * block (`Match`, and `Host` for the client); a block lasts until the next
 * block start or the end of its file.
 *
 * Edits change lines in memory and keep every other byte as it was; the
 * caller writes back the files of modifiedFiles().
 */
class ConfigDocument
{
public:
    enum class Dialect {
        Server,
        Client,
    };

    struct Occurrence {
        int file = 0;
        int line = 0;
        QByteArray keyword; ///< lower case
        QList<QByteArray> arguments;
        bool global = true;
        int block = -1; ///< the index in blocks() of the block in force here (its own Match line included); -1 for none
    };

    /// A block: its Match (or Host) line and its body, the lines up to the next block start or the end of its file, and
    /// the lines of the files its body includes up to their own first block.
    struct Block {
        int file = 0;
        int line = 0; ///< of the Match or Host line
        int end = 0; ///< the first line after the body
        QByteArray keyword; ///< "match" or "host", lower case
        QList<QByteArray> arguments; ///< the criteria
        /// The block whose body includes this block's file: this block applies only where that one does too (sshd and
        /// ssh read a block in an included file as nested in the block of the Include line); -1 for a block at the top.
        int outer = -1;
        QList<int> body; ///< indexes in allOccurrences() of its body's lines, in reading order
    };

    explicit ConfigDocument(Dialect dialect);

    /// Reads the main file and everything it includes.
    bool load(const QString &mainPath, QString *error);
    /// Same, with the main file's contents given (used for dry runs and tests).
    bool loadFromContents(const QString &mainPath, const QByteArray &contents, QString *error);

    /// Occurrences of @p keyword or any of its aliases; Occurrence::keyword is the canonical name.
    QList<Occurrence> occurrences(const QByteArray &keyword, bool globalOnly = true) const;
    /// Every occurrence of every keyword, in the order sshd reads them.
    const QList<Occurrence> &allOccurrences() const
    {
        return m_occurrences;
    }
    /// The absolute glob pattern of every Include argument.
    QStringList includePatterns() const
    {
        return m_includePatterns;
    }

    /// Every block in the order sshd (or ssh) reads them.
    const QList<Block> &blocks() const
    {
        return m_blocks;
    }
    /// The occurrences in the body of block @p index of blocks(), those of the files it includes among them.
    QList<Occurrence> blockOccurrences(int index) const;
    /// The block (index in blocks()) in whose body an Include line reads @p file; -1 when none does.
    int includedInBlock(int file) const
    {
        return m_files.at(file).includedIn;
    }
    /// Replaces the lines of @p keyword in the body of block @p index by one line per entry; none removes them.
    void setInBlock(int index, const QString &keyword, const QList<QByteArray> &lines);
    /// Adds the block @p header ("Match …" or "Host …") with @p body (keyword, arguments) at the end of @p file,
    /// after its last global line and its blocks; returns the new block's index.
    int addBlock(int file, const QByteArray &header, const QList<QPair<QString, QByteArray>> &body);
    /// Replaces the Match (or Host) line of block @p index by @p header, its indentation kept.
    void setBlockHeader(int index, const QByteArray &header);
    /// Removes the Match (or Host) line of block @p index and its body up to its last keyword; comments after it stay.
    void removeBlock(int index);
    /// Swaps block @p index with its neighbour of the same file above (@p up) or below; the index of the
    /// neighbour, which the block now has, or -1 when its file has no block there.
    int moveBlock(int index, bool up);

    /// Sets a keyword whose first value wins.
    void setSingle(const QString &keyword, const QByteArray &arguments);
    /// Replaces every global occurrence of a keyword by one line per entry.
    void setAll(const QString &keyword, const QList<QByteArray> &lines);
    /// Makes sure an sftp subsystem line exists, or removes every one.
    void setSftpSubsystem(bool enable, const QByteArray &server);

    QStringList filePaths() const;
    QByteArray contents(int file) const;
    QByteArray originalContents(int file) const;
    /// Paths and new contents of the files changed by the edits.
    QList<QPair<QString, QByteArray>> modifiedFiles() const;

private:
    struct File {
        QString path;
        QByteArray original;
        QList<QByteArray> lines; ///< each with its own line ending, if any
        int includedIn = -1; ///< see includedInBlock()
    };
    bool loadFile(const QString &path, const QByteArray *contents, QString *error);
    /// Reads the lines of @p file, which an Include line in the body of block @p enclosing (-1: outside blocks) names.
    bool walk(int file, int enclosing, int depth, QString *error);
    void reindex();
    void removeLines(QList<Occurrence> found);
    void replaceLine(const Occurrence &occurrence, const QByteArray &arguments);
    QPair<int, int> insertionPoint(const QByteArray &keyword) const;
    void insertLine(QPair<int, int> where, const QByteArray &text);
    bool isBlockStart(const QByteArray &keyword) const;
    /// The last line of block @p index that is not blank or a comment (at least its Match line).
    int lastBlockLine(int index) const;
    /// How the bodies of blocks are indented: as the first body line of a block in @p file, else of any block; a tab
    /// when no block has a body.
    QByteArray bodyIndent(int file) const;
    /// The line ending the file @p file uses.
    QByteArray fileEnding(int file) const;

    Dialect m_dialect;
    QString m_baseDir;
    QList<File> m_files;
    QList<Occurrence> m_occurrences;
    QList<Block> m_blocks;
    QSet<QPair<int, int>> m_seen; ///< (file, line) already recorded
    QStringList m_includePatterns;
    QString m_error;
};
