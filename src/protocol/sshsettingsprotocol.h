// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLatin1String>
#include <QtGlobal>

/**
 * The requests the module sends to the root helper and the replies it gets.
 *
 * The module, the helper, ssh-settings-tool, the preview and the tests all
 * name arguments and reply fields through these constants, so a renamed key
 * breaks the build rather than a running system.
 */
namespace SSHSettings::Protocol
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
/**
 * Qt 5's QLatin1String, constructible from a string literal in a constant expression.
 *
 * Qt 5 measures a `const char *` with strlen(), which only GCC evaluates at compile time; this type measures the
 * literal's array instead, so `constexpr QLatin1String Name("…")` in this namespace compiles with every compiler
 * and stays a QLatin1String wherever it is used. Qt 6 measures literals at compile time itself.
 */
class QLatin1String : public ::QLatin1String
{
public:
    constexpr QLatin1String() noexcept = default;
    constexpr QLatin1String(::QLatin1String string) noexcept // NOLINT(google-explicit-constructor): the same string
        : ::QLatin1String(string)
    {
    }
    template<int N>
    constexpr explicit QLatin1String(const char (&literal)[N]) noexcept
        : ::QLatin1String(literal, lengthOf(literal, N))
    {
    }
    constexpr QLatin1String(const char *data, int size) noexcept
        : ::QLatin1String(data, size)
    {
    }

private:
    /// As strlen(), within the array.
    static constexpr int lengthOf(const char *literal, int capacity) noexcept
    {
        int length = 0;
        while (length < capacity && literal[length] != '\0') {
            ++length;
        }
        return length;
    }
};
#endif

/// The KAuth helper identifier; each action is "<id>.<actionWord()>".
constexpr QLatin1String HelperId("org.kde.kcontrol.kcmsshsettings");

/**
 * The helper's actions, one for each kind of request, so that polkit asks for
 * each in its own words and a site may allow one without the others (reading
 * without writing, say). A request is served only under its own action.
 */
enum class Action : int {
    Read, ///< read options, the journal
    Configure, ///< transaction (its dry run too), single option change, confirm, revert, banner text
    Service, ///< start, stop, restart sshd
    Restore, ///< put back the last working configuration or the distribution default
    UserFiles, ///< add or remove an authorized_keys line of the caller
    Sessions, ///< end a connection
};

constexpr Action Actions[] = {Action::Read, Action::Configure, Action::Service, Action::Restore, Action::UserFiles, Action::Sessions};

/// The last part of the action's name: "read", "configure", "service", "restore", "userfiles", "sessions".
constexpr QLatin1String actionWord(Action action)
{
    switch (action) {
    case Action::Read:
        return QLatin1String("read");
    case Action::Configure:
        return QLatin1String("configure");
    case Action::Service:
        return QLatin1String("service");
    case Action::Restore:
        return QLatin1String("restore");
    case Action::UserFiles:
        return QLatin1String("userfiles");
    case Action::Sessions:
        return QLatin1String("sessions");
    }
    return QLatin1String();
}

/**
 * The signal the helper sends on its bus name once it has let go of a request
 * and takes the next one. KAuth hands the reply to the caller while the helper
 * still counts the request as running: a request arriving in that moment is
 * answered "busy" in a way the caller never learns of, and would wait for ever.
 * The module therefore sends its next request only after this signal.
 */
constexpr QLatin1String HelperReadyPath("/org/kde/kcontrol/kcmsshsettings");
constexpr QLatin1String HelperReadyInterface("org.kde.kcontrol.kcmsshsettings.Helper");
constexpr QLatin1String HelperReadySignal("ready");

/// Which configuration a request is about.
enum ConfigType : int {
    Server = 1, ///< /etc/ssh/sshd_config and its drop-ins
    Client = 2, ///< /etc/ssh/ssh_config and its drop-ins
};

namespace Arg
{
// Read the effective values of some keywords (read action).
constexpr QLatin1String ReadType("type_id"); ///< ConfigType
constexpr QLatin1String ReadKeywords("check_options"); ///< QStringList of keywords

// Restore a configuration (restore action).
constexpr QLatin1String RestoreType("restore_configure"); ///< ConfigType
constexpr QLatin1String RestoreFromBackup("restore_local_backup"); ///< bool: backup, or the distribution default

// Start, stop or restart sshd (service action).
constexpr QLatin1String ServiceCommand("ssh_server_command"); ///< "start", "stop" or "restart"

// Read sshd's log (read action).
constexpr QLatin1String JournalArguments("system_logs_arguments"); ///< QStringList, checked by the helper

// Change one option (configure action).
constexpr QLatin1String ChangeType("config_type_id"); ///< ConfigType
constexpr QLatin1String ChangeKeyword("option_name"); ///< QString
constexpr QLatin1String ChangeValue("new_value"); ///< QString or QStringList

// End a connection (sessions action).
constexpr QLatin1String KillPid("kill_pid"); ///< int

// Write the banner text (configure action).
constexpr QLatin1String BannerPath("write_banner_path"); ///< QString
constexpr QLatin1String BannerText("write_banner_text"); ///< QString

// Edit an authorized_keys file of the calling user (userfiles action).
constexpr QLatin1String KeysFile("authorized_keys_file"); ///< QString
constexpr QLatin1String AddKeyLine("add_key_line"); ///< QString
constexpr QLatin1String RemoveKeyLine("remove_key_line"); ///< QString

// Change several options of one configuration together, all or nothing (configure action).
constexpr QLatin1String TransactionType("transaction_config_type"); ///< ConfigType
/// QVariantMap: keyword → value, as ChangeValue; an empty QStringList removes the keyword's lines, so its default applies.
constexpr QLatin1String TransactionChanges("transaction_changes");
// Optional with a transaction:
constexpr QLatin1String TransactionDryRun("transaction_dry_run"); ///< bool: write nothing, reply with the diffs
constexpr QLatin1String TransactionRestart("transaction_restart"); ///< bool: restart a running sshd after a server change
/// int seconds, 1 to MaxRevertAfter: undo the change then unless it is confirmed (implies restart).
constexpr QLatin1String TransactionRevertAfter("transaction_revert_after");
/// QString, with a dry run: $SSH_CONNECTION of the caller's session; the reply then lists Reply::Lockouts.
constexpr QLatin1String TransactionSession("transaction_session");
// Optional with a transaction that writes (not a dry run): QStringList of 1 to MaxReadKeywords keywords; the reply
// then also carries, as a read reply does, each keyword's lower-case name → its effective value, and Reply::Origins,
// taken from the configuration the transaction wrote and verified.
constexpr QLatin1String TransactionReadKeywords("transaction_read_keywords");
// Optional with a transaction that writes: the Reply::Base of the dry run the change was reviewed with; the change is
// refused, writing nothing, when the configuration's files are no longer those the dry run read.
constexpr QLatin1String TransactionBase("transaction_base");

// Keep or undo a change armed with TransactionRevertAfter (configure action).
constexpr QLatin1String ConfirmToken("confirm_revert_token"); ///< QString
constexpr QLatin1String RevertToken("revert_now_token"); ///< QString

/**
 * Optional with every request: QString of 32 random lower-case hexadecimal digits, echoed
 * by the helper as Reply::Nonce in the reply to this very request (its refusals included),
 * so that a caller can tell its own answer from one meant for another caller.
 */
constexpr QLatin1String Nonce("request_nonce");

// Blocks (Match; Host and Match for the client), each operation a transaction of the configure action, with
// TransactionType and, as every transaction, TransactionDryRun, TransactionRestart, TransactionRevertAfter, TransactionBase.
/// int, 1-based, blocks in reading order; with TransactionChanges the changes apply inside that block's body
/// (an empty QStringList removes the keyword's lines there). Keywords not allowed inside blocks are refused.
constexpr QLatin1String BlockIndex("block_index");
/// QString: "add" (BlockCriteria, optional TransactionChanges as the body, optional BlockFile), "criteria" (BlockIndex,
/// BlockCriteria), "remove", "up", "down" (BlockIndex).
constexpr QLatin1String BlockOperation("block_operation");
/// QString: the criteria after Match (server); "Host pattern…" or "Match criterion…" (client).
constexpr QLatin1String BlockCriteria("block_criteria");
/// QString, with "add": the file of the configuration the block goes into (a drop-in); default the main file.
constexpr QLatin1String BlockFile("block_file");
/// bool, with ReadType (read action): the reply holds Reply::Blocks.
constexpr QLatin1String ReadBlocks("read_blocks");
// Who gets what (read action, with ReadType Server): the values sshd gives one connection, the blocks that applied to it
// and whether its user could log in. Strings are checked: a user name, IP addresses, a host name.
constexpr QLatin1String EffectiveUser("effective_user"); ///< QString, required
constexpr QLatin1String EffectiveAddress("effective_address"); ///< QString, the client's IP address, required
constexpr QLatin1String EffectiveHost("effective_host"); ///< QString, optional: the client's host name; its address when not given
/// QString, optional: the address the client connects to; when not given, the first address sshd listens on for the
/// client's family (its loopback address for a wildcard or none)
constexpr QLatin1String EffectiveLocalAddress("effective_local_address");
/// int 1..65535, optional: the port the client connects to; when not given, that of the listen address, else the first Port
constexpr QLatin1String EffectiveLocalPort("effective_local_port");

// Security check (read action, with ReadType Server): the findings of every check on the configuration sshd uses, its
// host keys and its moduli.
constexpr QLatin1String Audit("audit"); ///< bool, true: the reply holds Reply::Findings
/// QStringList of check ids (configure action, a transaction with TransactionType Server and, as every transaction,
/// TransactionDryRun, TransactionRestart, TransactionRevertAfter, TransactionBase, TransactionSession): fix the findings
/// of these checks in one transaction; fixes the lockout review finds unsafe for the caller's session are skipped
constexpr QLatin1String AuditFix("audit_fix");
/// bool, true, instead of AuditFix: fix every finding that has a fix, skipping the unsafe ones
constexpr QLatin1String AuditFixAll("audit_fix_all");
/// bool, true (read action, with ReadType Server): the reply holds Reply::HostKeys
constexpr QLatin1String ReadHostKeys("read_host_keys");
// Host keys (configure action, a transaction with TransactionType Server and its optional keys as above):
/// QString: "generate" (HostKeyType, optional HostKeyBits) or "remove" (HostKeyFile)
constexpr QLatin1String HostKeyOperation("host_key_operation");
constexpr QLatin1String HostKeyType("host_key_type"); ///< QString: "ed25519" or "rsa"
constexpr QLatin1String HostKeyBits("host_key_bits"); ///< int, rsa only: 3072 to 16384
constexpr QLatin1String HostKeyFile("host_key_file"); ///< QString: the private key's path, as Reply::HostKeyEntryFile gives it
}

namespace Reply
{
constexpr QLatin1String Output("output"); ///< journal: the records of sshd's log (SshdLog::Reducer)
constexpr QLatin1String Diff("diff"); ///< dry run: the unified diff
constexpr QLatin1String Previous("previous"); ///< restore: where the replaced file is kept
constexpr QLatin1String Running("running"); ///< service status: bool, sshd (or its socket) is active
constexpr QLatin1String FileDiffs("file_diffs"); ///< transaction dry run: QVariantMap path → QByteArray unified diff
/// transaction dry run: QString, a digest of every configuration file the dry run read
constexpr QLatin1String Base("reviewed_base");
constexpr QLatin1String Restarts("restarts_sshd"); ///< transaction: bool, sshd is (dry run: would be) restarted
constexpr QLatin1String Token("revert_token"); ///< transaction with TransactionRevertAfter: QString
/// read: QVariantMap lower-case keyword → QVariantMap of OriginFile, OriginLine, OriginOverrides
constexpr QLatin1String Origins("origins");
constexpr QLatin1String OriginFile("file"); ///< QString, empty for the built-in default
constexpr QLatin1String OriginLine("line"); ///< int, 1-based; 0 for the built-in default
constexpr QLatin1String OriginMainFile("main_file"); ///< bool: OriginFile is the configuration's main file
/// QVariantList of QVariantMap {OriginFile, OriginLine, OriginMatch}: Match (or Host) blocks that set the keyword for some connections
constexpr QLatin1String OriginOverrides("overrides");
constexpr QLatin1String OriginMatch("match"); ///< QString: the criteria of the block, e.g. "User anoncvs"
/// read (and a transaction with TransactionReadKeywords): QVariantMap of the `ssh -Q` class ("cipher", "mac", "kex",
/// "key", "key-sig", "sig") → QStringList of the names this OpenSSH reports; empty unless an Algorithms keyword is read
constexpr QLatin1String Algorithms("algorithms");
/// Every refusal: QString, the code of its reason (src/protocol/refusalcodes.h), e.g. "unknown_keyword"
constexpr QLatin1String RefusalCode("refusal_code");
/// Every refusal: QStringList, the arguments of RefusalCode (with a nested reason's code and arguments after them)
constexpr QLatin1String RefusalArguments("refusal_arguments");
/// read: int, the installed sshd's (client: ssh's) version, major * 100 + minor; 0 when it does not say
constexpr QLatin1String Version("openssh_version");
/// dry run with TransactionSession: QVariantList of QVariantMap {LockoutKind, LockoutDetail}, what the change would
/// newly stop for that session
constexpr QLatin1String Lockouts("lockouts");
constexpr QLatin1String LockoutKind("kind"); ///< "access", "authentication" or "listening"
constexpr QLatin1String LockoutDetail("detail"); ///< QString: the rule, keyword or socket
/// Every reply to a request that carried Arg::Nonce: the same QString.
constexpr QLatin1String Nonce("request_nonce");
/// transaction that restarted sshd: QStringList of "address port" sockets of the new configuration that did not answer
/// with an SSH banner after the restart; empty when every one answered
constexpr QLatin1String Unanswered("unanswered_sockets");
/// transaction: bool, the change joined changes still waiting to be kept; the chain's countdown now runs from this change
constexpr QLatin1String JoinedPending("joined_pending");
/// transaction: QStringList, the files besides the configuration's that it wrote, moved among the backups or made
/// stricter (the moduli file, host keys, file modes); a dry run: that it would
constexpr QLatin1String FilesChanged("files_changed");

// Blocks
/// read with Arg::ReadBlocks: QVariantList of QVariantMap {BlockEntryIndex, BlockEntryCriteria, BlockEntryFile,
/// BlockEntryLine, BlockEntryValues, BlockEntryInside}, in reading order
constexpr QLatin1String Blocks("blocks");
constexpr QLatin1String BlockEntryIndex("index"); ///< int, 1-based, as Arg::BlockIndex counts
constexpr QLatin1String BlockEntryCriteria("criteria"); ///< QString, as Arg::BlockCriteria spells it
constexpr QLatin1String BlockEntryFile("file"); ///< QString, the file of its Match (or Host) line
constexpr QLatin1String BlockEntryLine("line"); ///< int, 1-based
/// QVariantMap keyword (the table's spelling) → QString, its arguments as written; repeated lines joined by "\n"
constexpr QLatin1String BlockEntryValues("values");
/// transaction "add": int, the new block's Arg::BlockIndex; in a finding with a FindingBlock, that block's
constexpr QLatin1String BlockIndex("block_index");
/// QString: for a block in a file an Include line of another block's body reads, that block's criteria (as
/// BlockEntryCriteria) and FILE:LINE, "User alice at /etc/ssh/sshd_config:12": the block applies only where that one does.
/// Empty for a block at the top.
constexpr QLatin1String BlockEntryInside("inside");
// Who gets what: besides lower-case keyword → value as a read gives them (every keyword this sshd knows) and Origins,
// where each origin is the line that sets the keyword for every connection, or the line of the block that sets it for
// this one, in the block's body or a file the body includes (with OriginMatch, the block's criteria).
/// QVariantList of QVariantMap {AppliedCriteria, OriginFile, OriginLine}: the Match blocks that apply, in reading order
constexpr QLatin1String AppliedBlocks("applied_blocks");
constexpr QLatin1String AppliedCriteria("criteria"); ///< QString, as written after Match
/// QString: the connection as sshd was asked about it, "user=…,addr=…,host=…,laddr=…,lport=…"
constexpr QLatin1String Connection("connection");
/// QStringList: the parts of Connection that were not given and were assumed ("host", "laddr", "lport")
constexpr QLatin1String Assumed("assumed");
/// QVariantMap {VerdictCanLogIn, VerdictMethods, VerdictReasons}: could the user log in over this connection
constexpr QLatin1String Verdict("verdict");
constexpr QLatin1String VerdictCanLogIn("can_log_in"); ///< bool
/// QStringList: "publickey", "password", "keyboard-interactive", or the AuthenticationMethods lists the user could complete
constexpr QLatin1String VerdictMethods("methods");
/// QStringList of "kind:detail", why not: the kinds of LockoutKind ("access:DenyUsers *@10.0.0.1"), or "account:NAME"
/// when there is no such account
constexpr QLatin1String VerdictReasons("reasons");

// Security check
/// read with Arg::Audit: QVariantList of QVariantMap {FindingId, FindingSeverity, FindingSubject, FindingCurrent,
/// FindingRecommended, FindingOrigin, FindingBlock, FindingFixable, and BlockIndex with a FindingBlock}, failures first,
/// then warnings, then notes
constexpr QLatin1String Findings("findings");
constexpr QLatin1String FindingId("id"); ///< QString: the check's id in the table of checks
constexpr QLatin1String FindingSeverity("severity"); ///< QString: "fail", "warn" or "info"
constexpr QLatin1String FindingSubject("subject"); ///< QString: the keyword, file or algorithm
constexpr QLatin1String FindingCurrent("current"); ///< QString: the value in force, as sshd -T spells it
constexpr QLatin1String FindingRecommended("recommended"); ///< QString
constexpr QLatin1String FindingOrigin("origin"); ///< QString: "file:line", or "default"
constexpr QLatin1String FindingBlock("block"); ///< QString: the criteria of the Match block it is about; empty for everyone
constexpr QLatin1String FindingFixable("fixable"); ///< bool: Arg::AuditFix can fix it
/// transaction with Arg::AuditFix or AuditFixAll: QStringList of the check ids fixed (dry run: that would be)
constexpr QLatin1String AuditFixed("audit_fixed");
/// transaction with Arg::AuditFix or AuditFixAll: QVariantList of QVariantMap {FindingId, SkippedReason, and FindingBlock
/// for a block's}, the fixes left out
constexpr QLatin1String AuditSkipped("audit_skipped");
constexpr QLatin1String SkippedReason("reason"); ///< QString, in English, e.g. "would stop password logins of alice"
/// read with Arg::ReadHostKeys: QVariantList of QVariantMap {HostKeyEntryFile, HostKeyEntryType, HostKeyEntryBits,
/// HostKeyEntryFingerprint, HostKeyEntryMode, HostKeyEntryOwner, HostKeyEntryConfigured, HostKeyEntryPresent}
constexpr QLatin1String HostKeys("host_keys");
constexpr QLatin1String HostKeyEntryFile("file"); ///< QString: the private key's path
constexpr QLatin1String HostKeyEntryType("type"); ///< QString: "ED25519", "RSA", "ECDSA", "DSA" as ssh-keygen -l says
constexpr QLatin1String HostKeyEntryBits("bits"); ///< int
constexpr QLatin1String HostKeyEntryFingerprint("fingerprint"); ///< QString: "SHA256:…"
constexpr QLatin1String HostKeyEntryMode("mode"); ///< int: the private key file's permission bits
constexpr QLatin1String HostKeyEntryOwner("owner"); ///< QString: the private key file's owner
constexpr QLatin1String HostKeyEntryConfigured("configured"); ///< bool: a HostKey line (or the default) names it
constexpr QLatin1String HostKeyEntryPresent("present"); ///< bool: the file exists
/// host key generation (and a fix that generates one): QString, the new key's path (dry run: the path it would get);
/// clients that know this server will see a host key new to them
constexpr QLatin1String NewHostKey("new_host_key");
}

/// The longest countdown before an unconfirmed change is undone.
constexpr int MaxRevertAfter = 24 * 60 * 60;

/**
 * A read refused because `sshd -t` rejects (Refusals::Code::InvalidConfiguration) the configuration says this in its
 * reason, followed by sshd's first error; only then does the page offer a restore.
 */
constexpr QLatin1String InvalidConfiguration("the configuration is invalid: ");

/// A transaction refused because its Arg::TransactionBase is no longer that of the configuration's files
/// (Refusals::Code::ChangedSinceReview) says this; nothing was written, and the change may be reviewed again.
constexpr QLatin1String ChangedSinceReview("the configuration changed since it was reviewed");

/// The most keywords one read may name.
constexpr int MaxReadKeywords = 256;

/// How long the module waits for one request. Longer than the helper's longest
/// step (a service restart, a journal read, a change with its sshd runs), so a
/// slow request is never reported as failed and then done.
constexpr int ActionTimeoutMs = 5 * 60 * 1000;
}
