// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "configbackups.h"
#include "enginetypes.h"
#include "lockout.h"
#include "optioncatalog.h"

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

    /// One change of a transaction: the keyword and the value as the module sends it.
    using Change = QPair<QString, QVariant>;
    /// What a transaction is asked to do.
    struct Request {
        QList<Change> changes;
        bool dryRun = false; ///< nothing written; the reply holds the diffs and the Reply::Base of the files read
        /// Reply::Base of the dry run the change was reviewed with; when the files differ now the change is refused,
        /// nothing written. Empty: not compared.
        QString base;
        /// Keywords whose values and Reply::Origins the reply carries, as read() gives them, from the configuration
        /// written and verified.
        QStringList readKeywords;
        /// When set, an operation on a block; the changes, if any, are its body's.
        BlockEdit block;
        /// Without block: changes in the bodies of existing blocks, made with the global ones in the same edit of the
        /// files. Each is written in force for the connections its block matches, whatever earlier blocks say.
        QList<BlockBody> bodies;
    };
    /// A connection as `sshd -T -C` is told of it, and the groups of its user, to decide which blocks apply to it.
    struct Asked {
        QString user;
        QString address;
        QString host;
        QString localAddress;
        int localPort = 0;
        QStringList groups;
    };
    /// What a transaction that wrote leaves for its caller.
    struct Written {
        QList<SavedFile> before; ///< the written files as they were, for an armed revert
        Values values; ///< `sshd -T` / `ssh -G` of the configuration written and verified
    };

    /// Values of @p keywords, and under Reply::Origins where each one comes from.
    Reply read(ConfigType type, const QStringList &keywords) const;
    /// Like read(), but the values as the files set them, without running sshd or ssh on the configuration: for a
    /// reader without administrator rights, who can read the files but not the host keys `sshd -T` needs. It writes nothing.
    /// With @p mainContents, the main file read as if it held them (what a restore would write there), its Include lines
    /// resolved where the main file's are.
    Reply readFiles(ConfigType type, const QStringList &keywords, const QByteArray &mainContents = QByteArray()) const;
    /// Reply::Blocks: every block of the configuration with its criteria, place and body.
    Reply readBlocks(ConfigType type) const;
    /**
     * Applies the changes of @p request together: one document edited, one check of the candidate, one
     * write set, one read-back of the whole configuration that verifies every changed keyword; on any
     * refusal every file stays (or is put back) as it was. A dry run writes nothing and replies with the
     * diff of each file (Reply::FileDiffs, Reply::Diff) and Reply::Base; a change replies with the diffs of what it
     * wrote, empty when every value was in force already and nothing was written. @p written gets what was written.
     */
    Reply transaction(ConfigType type, const Request &request, Written *written = nullptr);
    /// A dry run of @p request that also lists (Reply::Lockouts) what it would newly stop for @p session of @p account.
    Reply review(const Request &request, const Lockout::Session &session, const UserAccount &account);
    /**
     * Who gets what for @p connection, its arguments checked: every keyword's value for it (`sshd -T -C`) as read() gives
     * them, its origin (a block's Match line when a block sets it), the blocks that apply, and the lockout verdict.
     */
    Reply effective(const Lockout::Connection &connection) const;
    /// Puts @p files back as they were; empty, else names each one that could not be.
    QString putBack(const QList<SavedFile> &files) const;
    /**
     * Writes @p files, each of which must be a file of the configuration now,
     * and checks the result; an invalid result is undone and refused.
     */
    Reply replaceFiles(ConfigType type, const QList<SavedFile> &files);
    Reply restore(ConfigType type, bool fromBackup);

    /// `sshd -t -f path` or `ssh -G -F path`; the tool's first error line on failure.
    bool check(ConfigType type, const QString &path, QString *error) const;
    /// The version of the installed sshd (or ssh for the client); 0 when it does not say.
    int installedVersion(ConfigType type) const;
    /// The installed version and the algorithms `ssh -Q` lists.
    OptionCatalog::Installed installed(ConfigType type) const;
    /// Keyword (lower case) → values, one per line, of `sshd -T` / `ssh -G` output.
    static Values parseDump(const QByteArray &output);
    /// Keyword → values as `sshd -T` / `ssh -G` print them.
    /// With @p connection ("user=…,addr=…"), the values for that connection, Match blocks applied.
    bool effectiveValues(ConfigType type, const QString &path, Values *values, QString *error, const QString &connection = QString()) const;
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
    struct Checked {
        const OptionCatalog::Option *option;
        OptionCatalog::CheckedValue value;
    };
    /// The changes of a Request::bodies entry checked; index 0-based.
    struct CheckedBody {
        int index;
        QList<Checked> changes;
    };
    /// The words of @p values, split at spaces.
    static QStringList tokens(const QList<QByteArray> &values);
    static bool findOptions(ConfigType type, const QStringList &keywords, QList<const OptionCatalog::Option *> *found, Refusal *error);
    QString configPath(ConfigType type) const;
    QString backupPath(ConfigType type) const;
    void ensurePrivilegeSeparationDir() const;
    /// check() of the configuration in place; when it passes, its base is recorded as verified.
    bool checkInPlace(ConfigType type, QString *error) const;
    /// A local port no Match LocalPort block of the configuration at @p path names.
    int portNoBlockNames(const QString &path) const;
    bool fileValues(ConfigType type, const QString &path, Values *values, QString *error) const;
    /// The values of @p document as sshd or ssh would report them, without running either: the global ones, or with
    /// @p asked those for that connection, the first line of a block that applies to it winning.
    void documentValues(ConfigType type, const ConfigDocument &document, Values *values, const Asked *asked = nullptr) const;
    /// Whether block @p index of @p document applies to @p asked: its criteria hold, and those of every block it is nested in.
    static bool applies(const ConfigDocument &document, int index, const Asked &asked);
    /// Each change checked as the table and the installed OpenSSH want it.
    bool checkChanges(ConfigType type, const QList<Change> &changes, QList<Checked> *checkedChanges, Refusal *error) const;
    /// checkChanges() of changes for a block's body, which refuses keywords sshd takes only outside blocks.
    bool checkBodyChanges(ConfigType type, const QList<Change> &changes, QList<Checked> *body, Refusal *error) const;
    /// The global changes of @p request, then its bodies' in their blocks; @p bodies gets those checked.
    bool
    edit(ConfigType type, const Request &request, ConfigDocument *document, QList<Checked> *checkedChanges, QList<CheckedBody> *bodies, Refusal *error) const;
    /// The block operation of @p request on @p document; @p data gets what the reply tells of it (Reply::BlockIndex), @p body
    /// the changes written into the block's body and @p block the block's index afterwards.
    bool
    editBlock(ConfigType type, const Request &request, ConfigDocument *document, QList<Checked> *body, int *block, Refusal *error, QVariantMap *data) const;
    /// edit() or editBlock(), as @p request asks; @p block gets the index of the block a block operation leaves changed,
    /// @p bodies the checked changes of Request::bodies.
    bool editRequest(ConfigType type,
                     const Request &request,
                     ConfigDocument *document,
                     QList<Checked> *checkedChanges,
                     Refusal *error,
                     QVariantMap *data,
                     int *block = nullptr,
                     QList<CheckedBody> *bodies = nullptr) const
    {
        int ignored = -1;
        QList<CheckedBody> unused;
        return request.block.isSet() ? editBlock(type, request, document, checkedChanges, block ? block : &ignored, error, data)
                                     : edit(type, request, document, checkedChanges, bodies ? bodies : &unused, error);
    }
    /// A value of @p body, written into block @p index, that an earlier line keeps from ever being used (ssh: a line every
    /// host reads first; sshd: a block that applies wherever this one does); null when none is certain to be.
    Refusal deadValue(ConfigType type, const ConfigDocument &document, int index, const QList<Checked> &body) const;
    /// Of the connections built from each plain entry of the lists of block @p index (and of the blocks it is nested in)
    /// that it applies to, in @p chosen one for which no line of another block comes before the values of @p body, the fewest
    /// other blocks applying to it; DeadValue when there are such connections but another block wins for each. @p chosen
    /// has no user when no connection can be built (a negated criterion, RDomain, wildcards only).
    Refusal blockConnection(const ConfigDocument &document, int index, const QList<Checked> &body, Asked *chosen) const;
    /// After @p body was written into block @p index: sshd asked (`sshd -T -C`) about the connection blockConnection()
    /// chooses gives each value; null when it does, or when no such connection can be built. With @p shadowed, values
    /// other blocks keep from every connection of this one are no refusal.
    Refusal blockValuesInForce(const ConfigDocument &document, int index, const QList<Checked> &body, bool shadowed = false) const;
    /// The dry run of @p request: @p document edited, the diffs and the base of the files read.
    Reply preview(ConfigType type, const Request &request, ConfigDocument *document, QList<Checked> *checkedChanges) const;
    /// Reply::Diff and Reply::FileDiffs of the files @p document changed into @p data (empty when it changed none).
    static void insertDiffs(const ConfigDocument &document, QVariantMap *data);
    /// Keyword → value and Reply::Origins as a read replies, from `sshd -T` @p values and the @p document they come from;
    /// with @p algorithms, Reply::Algorithms when an algorithm list is among the keywords.
    QVariantMap readData(ConfigType type, const QStringList &keywords, const Values &values, const ConfigDocument *document, bool algorithms = true) const;
    bool isLocalAddress(const QString &address) const;
    QStringList writtenListenAddresses(const ConfigDocument *document) const;
    bool checkBannerFile(const QString &path, Refusal *error) const;
    Refusal verify(ConfigType type, const QList<Checked> &changes, Values *values) const;
    Refusal mismatch(const OptionCatalog::Option &option, const OptionCatalog::CheckedValue &checked, const Values &values) const;
    /// For the client, a line of a `Host *` or `Match all` block that keeps @p option in force for every connection whatever
    /// the lines outside blocks say; null when there is none.
    Refusal heldInBlock(ConfigType type, const OptionCatalog::Option &option, const OptionCatalog::CheckedValue &checked, const ConfigDocument &document) const;
    QVariantMap origins(ConfigType type, const QList<const OptionCatalog::Option *> &options, const ConfigDocument &document) const;

    const EnginePaths &m_paths;
    ConfigBackups m_backups;
};
