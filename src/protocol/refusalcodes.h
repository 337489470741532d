// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

/**
 * Why the helper refused a request, as a code and its arguments.
 *
 * A refusal's reply carries Protocol::Reply::RefusalCode and Reply::RefusalArguments; the
 * page words each code in its own language, the tool and the logs use the English template
 * here. A code marked as nesting ends with the reason it gives in turn: its arguments go
 * on with that reason's code and arguments (its last placeholder stands for that reason).
 * Where a reason is another program's output (sshd -t, systemctl) it is an argument.
 */
namespace SSHSettings::Refusals
{
// X(name, id, argument count, nests, English template)
#define SSHSETTINGS_REFUSALS(X)                                                                                                                                \
    X(Failed, "failed", 1, false, "%1")                                                                                                                        \
    X(Also, "also", 1, true, "%2; %1")                                                                                                                         \
    X(BadArgument, "bad_argument", 2, false, "argument \"%1\" must be %2")                                                                                     \
    X(KeywordCount, "keyword_count", 2, false, "%1 must name 1 to %2 keywords")                                                                                \
    X(ReadKeywordsArgument, "read_keywords_argument", 2, false, "argument \"%1\" must be 1 to %2 keywords, without a dry run")                                 \
    X(RevertAfterArgument, "revert_after_argument", 2, false, "argument \"%1\" must be 1 to %2 seconds")                                                       \
    X(EmptyRequest, "empty_request", 1, false, "an empty request to the %1 action")                                                                            \
    X(UnknownArgument, "unknown_argument", 1, false, "unknown argument \"%1\"")                                                                                \
    X(WrongAction, "wrong_action", 3, false, "argument \"%1\" belongs to the %2 action, not to the %3 action")                                                 \
    X(MixedRequest, "mixed_request", 2, false, "the arguments %1 mix requests of the %2 action")                                                               \
    X(LackingArgument, "lacking_argument", 2, false, "the %1 request lacks the argument \"%2\"")                                                               \
    X(UnknownCaller, "unknown_caller", 0, false, "the caller of the request is unknown")                                                                       \
    X(UnknownKeyword, "unknown_keyword", 1, false, "unknown keyword \"%1\"")                                                                                   \
    X(NoChange, "no_change", 0, false, "no change given")                                                                                                      \
    X(ChangedTwice, "changed_twice", 1, false, "%1 is changed twice")                                                                                          \
    X(NeedsVersion, "needs_version", 3, false, "%1: needs OpenSSH %2 or later, this is %3")                                                                    \
    X(RemovedAfter, "removed_after", 3, false, "%1: was removed after OpenSSH %2, this is %3")                                                                 \
    X(ExpectedString, "expected_string", 2, false, "%1: expected a string, got %2")                                                                            \
    X(ExpectedList, "expected_list", 2, false, "%1: expected a string list, got %2")                                                                           \
    X(ExpectedBoolean, "expected_boolean", 1, false, "%1: expected a boolean")                                                                                 \
    X(ValueTooLong, "value_too_long", 1, false, "%1: value too long")                                                                                          \
    X(ControlCharacter, "control_character", 1, false, "%1: value contains a control character")                                                               \
    X(TooManyEntries, "too_many_entries", 1, false, "%1: too many entries")                                                                                    \
    X(BadListEntry, "bad_list_entry", 1, false, "%1: list entry contains a control character or is too long")                                                  \
    X(TakesValue, "takes_value", 1, false, "%1: takes a value")                                                                                                \
    X(NotNumber, "not_number", 2, false, "%1: \"%2\" is not a number")                                                                                         \
    X(NotInterval, "not_interval", 2, false, "%1: \"%2\" is not a time such as 90, 30s or 1h30m")                                                              \
    X(OutOfRange, "out_of_range", 3, false, "%1: must be %2 to %3")                                                                                            \
    X(NotOneOf, "not_one_of", 2, false, "%1: must be one of %2")                                                                                               \
    X(NotAlgorithmName, "not_algorithm_name", 2, false, "%1: \"%2\" is not an algorithm name; +, - or ^ may only begin the list")                              \
    X(AlgorithmPattern, "algorithm_pattern", 2, false, "%1: \"%2\": only a list after - may hold patterns")                                                    \
    X(UnsupportedAlgorithm, "unsupported_algorithm", 3, false, "%1: \"%2\" is not supported by this OpenSSH (ssh -Q %3)")                                      \
    X(NotPattern, "not_pattern", 2, false, "%1: \"%2\" is not a single pattern")                                                                               \
    X(StandsAlone, "stands_alone", 2, false, "%1: \"%2\" stands alone")                                                                                        \
    X(NotHostPort, "not_host_port", 2, false, "%1: \"%2\" is not host:port")                                                                                   \
    X(NoPort, "no_port", 2, false, "%1: \"%2\" has no port 1..65535 or *")                                                                                     \
    X(NotPath, "not_path", 2, false, "%1: \"%2\" is not one path without blanks or quotes")                                                                    \
    X(NoTokens, "no_tokens", 1, false, "%1: takes no %-tokens")                                                                                                \
    X(TokenLetters, "token_letters", 2, false, "%1: a % must be followed by one of %2")                                                                        \
    X(UnbalancedQuote, "unbalanced_quote", 1, false, "%1: has an unbalanced quote")                                                                            \
    X(CommentWord, "comment_word", 1, false, "%1: a word may not begin with #")                                                                                \
    X(EqualsFirst, "equals_first", 1, false, "%1: a value may not begin with =")                                                                               \
    X(NotAscii, "not_ascii", 1, false, "%1: only printable ASCII characters are allowed")                                                                      \
    X(TripleCount, "triple_count", 2, false, "%1: takes one number or %2 separated by colons")                                                                 \
    X(TripleNumber, "triple_number", 3, false, "%1: \"%2\" is not a number 0..%3")                                                                             \
    X(TripleRate, "triple_rate", 1, false, "%1: needs a rate of 1 to 100 and a start not above full")                                                          \
    X(PenaltyWord, "penalty_word", 3, false, "%1: \"%2\" is not \"no\" or one of %3 with its value")                                                           \
    X(PenaltyInterval, "penalty_interval", 2, false, "%1: \"%2\" needs a time such as 30s")                                                                    \
    X(PenaltyNumber, "penalty_number", 2, false, "%1: \"%2\" needs a number")                                                                                  \
    X(PenaltyMode, "penalty_mode", 2, false, "%1: \"%2\" needs deny-all or permissive")                                                                        \
    X(NotPort, "not_port", 2, false, "%1: \"%2\" is not a port number 1..65535")                                                                               \
    X(PortRange, "port_range", 1, false, "%1: port must be 1..65535")                                                                                          \
    X(TooManyPorts, "too_many_ports", 2, false, "%1: at most %2 ports")                                                                                        \
    X(OnePort, "one_port", 1, false, "%1: takes one port")                                                                                                     \
    X(BannerValue, "banner_value", 1, false, "%1: must be \"none\" or an absolute path without blanks or \"..\"")                                              \
    X(NotListenAddress, "not_listen_address", 2, false, "%1: \"%2\" is not an IP address, alone or followed by :port")                                         \
    X(ListenPort, "listen_port", 2, false, "%1: \"%2\" has no valid port")                                                                                     \
    X(NotFilePattern, "not_file_pattern", 2, false, "%1: \"%2\" is not a single file pattern")                                                                 \
    X(NotAccessPattern, "not_access_pattern", 2, false, "%1: \"%2\" is not a user or group pattern")                                                           \
    X(GroupHost, "group_host", 2, false, "%1: \"%2\" names a host, but sshd matches groups by name only")                                                      \
    X(UnsupportedKeyword, "unsupported_keyword", 1, false, "%1: unsupported keyword")                                                                          \
    X(NotLocalAddress, "not_local_address", 1, false, "%1 is not an address of this computer: the SSH server could not listen on it")                          \
    X(BannerFile, "banner_file", 0, true, "Banner: %1")                                                                                                        \
    X(FileMissing, "file_missing", 1, false, "%1 does not exist")                                                                                              \
    X(NotRegularFile, "not_regular_file", 1, false, "%1 is not a regular file")                                                                                \
    X(NotOwnedByRoot, "not_owned_by_root", 1, false, "%1 is not owned by root")                                                                                \
    X(NotWorldReadable, "not_world_readable", 1, false, "%1 is not readable by everyone, sshd would show it to every client")                                  \
    X(ProtectedFile, "protected_file", 1, false, "%1 is part of the SSH configuration or a key")                                                               \
    X(PrivateKeyFile, "private_key_file", 1, false, "%1 holds a private key")                                                                                  \
    X(SetInBlock, "set_in_block", 4, false, "%1 stays in force for every connection from %2:%3, inside \"%4\", which a change leaves as it is")                \
    X(ChangedSinceReview, "changed_since_review", 0, false, "the configuration changed since it was reviewed")                                                 \
    X(InvalidConfiguration, "invalid_configuration", 1, false, "the configuration is invalid: %1")                                                             \
    X(WouldBeInvalid, "would_be_invalid", 1, false, "refused, the configuration would be invalid: %1")                                                         \
    X(CandidateWrite, "candidate_write", 2, false, "cannot write a candidate beside %1: %2")                                                                   \
    X(CannotReadBack, "cannot_read_back", 1, false, "refused, cannot read back the configuration: %1")                                                         \
    X(TooManySockets, "too_many_sockets", 2, false, "refused, sshd would not start: %1 listen sockets (addresses × ports), at most %2")                        \
    X(OtherSettingWins, "other_setting_wins", 1, true, "refused, another setting wins for %1: %2")                                                             \
    X(SftpStillConfigured, "sftp_still_configured", 0, false, "an sftp subsystem is still configured")                                                         \
    X(SftpMissing, "sftp_missing", 0, false, "the sftp subsystem is still missing")                                                                            \
    X(ListensOn, "listens_on", 1, false, "sshd listens on %1")                                                                                                 \
    X(EffectiveValue, "effective_value", 1, false, "the effective value is \"%1\"")                                                                            \
    X(CannotKeepWorking, "cannot_keep_working", 1, false, "refused, cannot keep the working configuration: %1")                                                \
    X(UnsafeFiles, "unsafe_files", 0, true, "refused: %1")                                                                                                     \
    X(NotConfigFile, "not_config_file", 2, false, "%1 is not a file of the %2 configuration")                                                                  \
    X(UnsafeMode, "unsafe_mode", 2, false, "%1 would get mode %2: setuid, setgid or sticky")                                                                   \
    X(UnsafeWrite, "unsafe_write", 2, false, "%1 cannot be written safely: %2")                                                                                \
    X(NothingRestored, "nothing_restored", 0, true, "refused, nothing was restored: %1")                                                                       \
    X(NoBackup, "no_backup", 1, true, "there is no backup: %2, nor %1")                                                                                        \
    X(NoBackupIn, "no_backup_in", 1, false, "there is no backup in %1")                                                                                        \
    X(BackupDamaged, "backup_damaged", 1, false, "the backup in %1 is damaged")                                                                                \
    X(BackupEmpty, "backup_empty", 1, false, "the backup in %1 is empty")                                                                                      \
    X(NoSystemDefault, "no_system_default", 1, false, "the system default %1 is not installed")                                                                \
    X(BackupNotOf, "backup_not_of", 1, false, "the backup is not one of %1")                                                                                   \
    X(RestoredInvalid, "restored_invalid", 1, false, "refused, the restored configuration would be invalid: %1")                                               \
    X(RevertAfterRange, "revert_after_range", 1, false, "the revert countdown must be 1 to %1 seconds")                                                        \
    X(NoServiceControl, "no_service_control", 0, false, "service commands act on the system's sshd; not with --root or --config")                              \
    X(UnknownSession, "unknown_session", 0, false, "the session is not \"client port local port\" of a known user")                                            \
    X(NotUserName, "not_user_name", 1, false, "\"%1\" is not a user name: letters, digits, '.', '_' and '-', at most 32")                                      \
    X(NotIpAddress, "not_ip_address", 2, false, "%1: \"%2\" is not an IP address")                                                                             \
    X(NotHostName, "not_host_name", 1, false, "\"%1\" is not a host name: letters, digits, '.', '_' and '-', at most 253")                                     \
    X(Busy, "busy", 1, false, "another change of the SSH configuration is in progress: %1")                                                                    \
    X(CannotArm, "cannot_arm", 1, false, "refused, the change could not be armed for a revert: %1")                                                            \
    X(PendingReverted, "pending_reverted", 0, true, "%1; the pending changes were reverted")                                                                   \
    X(PendingNotReverted, "pending_not_reverted", 1, true, "%2; the pending changes were reverted: %1")                                                        \
    X(EarlierBack, "earlier_back", 0, true, "%1; the earlier configuration is back")                                                                           \
    X(NotRevertToken, "not_revert_token", 0, false, "not a revert token")                                                                                      \
    X(NoPendingChange, "no_pending_change", 1, false, "no change is waiting under %1: it was kept or reverted already")                                        \
    X(TooLateReverted, "too_late_reverted", 0, false, "too late, the countdown ran out: the changes were reverted")                                            \
    X(TooLatePending, "too_late_pending", 0, true, "too late, the countdown ran out: the changes are to be reverted: %1")                                      \
    X(RevertedNoRestart, "reverted_no_restart", 0, true, "reverted, but sshd did not restart: %1")                                                             \
    X(UnknownServiceCommand, "unknown_service_command", 1, false, "unknown service command \"%1\"")                                                            \
    X(ServiceInvalid, "service_invalid", 2, false, "refused to %1 sshd, the configuration is invalid: %2")                                                     \
    X(ServiceFailed, "service_failed", 2, false, "%1 of sshd failed: %2")                                                                                      \
    X(JournalFailed, "journal_failed", 1, false, "journalctl failed: %1")                                                                                      \
    X(RefusedToEnd, "refused_to_end", 1, false, "refused to end process %1")                                                                                   \
    X(NoProcess, "no_process", 1, false, "no process %1")                                                                                                      \
    X(NotConnection, "not_connection", 1, false, "process %1 is not an sshd connection")                                                                       \
    X(ListeningSshd, "listening_sshd", 1, false, "process %1 is the listening sshd")                                                                           \
    X(CannotEnd, "cannot_end", 2, false, "cannot end process %1: %2")                                                                                          \
    X(BannerPathNotPlain, "banner_path_not_plain", 0, false, "banner path must be a plain absolute path")                                                      \
    X(BannerNotBelow, "banner_not_below", 1, false, "banner file must be below %1")                                                                            \
    X(BannerTooLarge, "banner_too_large", 0, false, "banner text is larger than 64 KiB")                                                                       \
    X(BannerControl, "banner_control", 0, false, "banner text contains a control character")                                                                   \
    X(BannerProtected, "banner_protected", 1, false, "banner: %1 is part of the SSH configuration or a key")                                                   \
    X(BannerFolder, "banner_folder", 1, false, "banner: %1")                                                                                                   \
    X(BannerNotRegular, "banner_not_regular", 1, false, "banner: %1 is not a regular file")                                                                    \
    X(BannerExists, "banner_exists", 1, false, "banner: %1 exists and is not the configured banner; choose a new file")                                        \
    X(KeyLineEmpty, "key_line_empty", 0, false, "empty key line")                                                                                              \
    X(KeyLineTooLong, "key_line_too_long", 0, false, "key line too long")                                                                                      \
    X(KeyLineControl, "key_line_control", 0, false, "key line contains a newline or control character")                                                        \
    X(NotKeyLine, "not_key_line", 0, false, "not a public key line")                                                                                           \
    X(InvalidKeyLine, "invalid_key_line", 0, false, "not a valid public key line")                                                                             \
    X(NotKeyFileOf, "not_key_file_of", 3, false, "%1 is not an authorized_keys file of %2 (AuthorizedKeysFile %3)")                                            \
    X(KeyPathNotPlain, "key_path_not_plain", 0, false, "key file path must be a plain absolute path")                                                          \
    X(NoAccount, "no_account", 1, false, "there is no account with the id %1")                                                                                 \
    X(KeyFile, "key_file", 1, false, "key file: %1")                                                                                                           \
    X(KeyFileOtherOwner, "key_file_other_owner", 1, false, "key file: %1 is owned by another user")                                                            \
    X(KeyFileMissing, "key_file_missing", 1, false, "key file: %1 does not exist")                                                                             \
    X(BadCriterion, "bad_criterion", 1, false, "\"%1\" is not a criterion a block may start with")                                                             \
    X(CriterionValue, "criterion_value", 2, false, "%1: \"%2\" is not a valid value")                                                                          \
    X(ExecCriterion, "exec_criterion", 0, false, "a block may not run a command (exec): ssh would run it for every connection")                                \
    X(NotInBlock, "not_in_block", 1, false, "%1 is not allowed inside a block")                                                                                \
    X(NoSuchBlock, "no_such_block", 2, false, "there is no block %1; there are %2")                                                                            \
    X(NoBlockAbove, "no_block_above", 1, false, "block %1 is the first of its file")                                                                           \
    X(NoBlockBelow, "no_block_below", 1, false, "block %1 is the last of its file")                                                                            \
    X(NotHostKey, "not_host_key", 1, false, "%1 is not a host key of the server")                                                                              \
    X(LastHostKey, "last_host_key", 1, false, "refused: %1 is the last usable host key; generate another one first")                                           \
    X(ModuliAllWeak, "moduli_all_weak", 2, false, "refused: every group of %1 is under %2 bits; the file would be empty")                                      \
    X(InsideBlock, "inside_block", 3, false, "%1 is read inside the block \"%2\" (%3): a block added to it would apply only where that one does")              \
    X(DeadValue, "dead_value", 2, false, "%1 in this block would never be used: %2 sets it first")

enum class Code {
#define SSHSETTINGS_REFUSAL_ENUM(name, id, count, nests, english) name,
    SSHSETTINGS_REFUSALS(SSHSETTINGS_REFUSAL_ENUM)
#undef SSHSETTINGS_REFUSAL_ENUM
};

struct Entry {
    Code code;
    const char *id;
    int arguments; ///< its own, before a nested reason
    bool nests; ///< its last placeholder is another refusal, given by the arguments after its own
    const char *english;
};

constexpr Entry Table[] = {
#define SSHSETTINGS_REFUSAL_ENTRY(name, id, count, nests, english) {Code::name, id, count, nests, english},
    SSHSETTINGS_REFUSALS(SSHSETTINGS_REFUSAL_ENTRY)
#undef SSHSETTINGS_REFUSAL_ENTRY
};

inline const Entry &entry(Code code)
{
    return Table[int(code)];
}

/// The entry of the code @p id; nullptr for a code this build does not know.
inline const Entry *find(const QString &id)
{
    for (const Entry &entry : Table) {
        if (id == QLatin1String(entry.id)) {
            return &entry;
        }
    }
    return nullptr;
}

/// @p pattern with each %1..%9 replaced by @p arguments in one pass, so an argument's own '%' stays as it is.
inline QString substitute(const QString &pattern, const QStringList &arguments)
{
    QString result;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar next = i + 1 < pattern.size() ? pattern.at(i + 1) : QChar();
        if (pattern.at(i) == QLatin1Char('%') && next >= QLatin1Char('1') && next <= QLatin1Char('9') && next.digitValue() <= arguments.size()) {
            result += arguments.at(next.digitValue() - 1);
            ++i;
        } else {
            result += pattern.at(i);
        }
    }
    return result;
}

/**
 * The refusal @p id with @p arguments in words: @p word(entry, arguments) gives the words of one code, its
 * arguments followed by its nested reason already in words. Empty when a code is unknown or the arguments
 * do not fit it.
 */
template<typename Word>
QString format(const QString &id, const QStringList &arguments, const Word &word)
{
    const Entry *found = find(id);
    if (!found || arguments.size() < found->arguments || (!found->nests && arguments.size() != found->arguments)) {
        return QString();
    }
    QStringList own = arguments.mid(0, found->arguments);
    if (found->nests) {
        const QString nested = format(arguments.value(found->arguments), arguments.mid(found->arguments + 1), word);
        if (nested.isEmpty()) {
            return QString();
        }
        own.append(nested);
    }
    return word(*found, own);
}

/// The English text of the refusal @p id with @p arguments, as the tool prints it and the logs keep it.
inline QString english(const QString &id, const QStringList &arguments)
{
    return format(id, arguments, [](const Entry &entry, const QStringList &words) {
        return substitute(QString::fromUtf8(entry.english), words);
    });
}

// KAuth hands a refusal to its caller without its data: the code and its arguments follow the
// description, after characters a description never holds (the helper replaces control characters).
constexpr QChar CodeMark(0x1e);
constexpr QChar ArgumentMark(0x1f);

/// The description of a refusal with its @p id and @p arguments after it.
inline QString withCode(const QString &description, const QString &id, const QStringList &arguments)
{
    if (id.isEmpty()) {
        return description;
    }
    QString text = description + CodeMark + id;
    for (const QString &argument : arguments) {
        text += ArgumentMark + argument;
    }
    return text;
}

/// Takes the code and its arguments off the end of a refusal's @p description into @p data; false when it has none.
inline bool take(QString *description, QVariantMap *data, const QLatin1String codeKey, const QLatin1String argumentsKey)
{
    const int mark = description->indexOf(CodeMark);
    if (mark < 0) {
        return false;
    }
    QStringList parts = description->mid(mark + 1).split(ArgumentMark);
    description->truncate(mark);
    data->insert(codeKey, parts.takeFirst());
    data->insert(argumentsKey, parts);
    return true;
}
}
