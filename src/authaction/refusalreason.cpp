// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The helper's refusals in the page's words: each code of the helper's table through KI18n.
#include "privilegedaction.h"

#include "refusalcodes.h"
#include "sshsettingsprotocol.h"

#include <KAuth/ActionReply>
#include <KLocalizedString>

namespace SSHSettings
{
namespace
{
/// The page's words for the refusal @p code; the placeholders are those of its English template.
KLocalizedString refusalText(Refusals::Code code)
{
    using C = Refusals::Code;
    switch (code) {
    case C::Failed:
        return ki18nc("@info refusal: a reason in the words of the system or another program", "%1");
    case C::Also:
        return ki18nc("@info refusal: %2 is a reason, %1 what happened after it", "%2; %1");
    case C::BadArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be %2");
    case C::KeywordCount:
        return ki18nc("@info refusal of a change or request", "%1 must name 1 to %2 keywords");
    case C::ReadKeywordsArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be 1 to %2 keywords, without a dry run");
    case C::RevertAfterArgument:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" must be 1 to %2 seconds");
    case C::EmptyRequest:
        return ki18nc("@info refusal of a change or request", "an empty request to the %1 action");
    case C::UnknownArgument:
        return ki18nc("@info refusal of a change or request", "unknown argument \"%1\"");
    case C::WrongAction:
        return ki18nc("@info refusal of a change or request", "argument \"%1\" belongs to the %2 action, not to the %3 action");
    case C::MixedRequest:
        return ki18nc("@info refusal of a change or request", "the arguments %1 mix requests of the %2 action");
    case C::LackingArgument:
        return ki18nc("@info refusal of a change or request", "the %1 request lacks the argument \"%2\"");
    case C::UnknownCaller:
        return ki18nc("@info refusal of a change or request", "the caller of the request is unknown");
    case C::UnknownKeyword:
        return ki18nc("@info refusal of a change or request", "unknown keyword \"%1\"");
    case C::NoChange:
        return ki18nc("@info refusal of a change or request", "no change given");
    case C::ChangedTwice:
        return ki18nc("@info refusal of a change or request", "%1 is changed twice");
    case C::NeedsVersion:
        return ki18nc("@info refusal of a change or request", "%1: needs OpenSSH %2 or later, this is %3");
    case C::RemovedAfter:
        return ki18nc("@info refusal of a change or request", "%1: was removed after OpenSSH %2, this is %3");
    case C::ExpectedString:
        return ki18nc("@info refusal of a change or request", "%1: expected a string, got %2");
    case C::ExpectedList:
        return ki18nc("@info refusal of a change or request", "%1: expected a string list, got %2");
    case C::ExpectedBoolean:
        return ki18nc("@info refusal of a change or request", "%1: expected a boolean");
    case C::ValueTooLong:
        return ki18nc("@info refusal of a change or request", "%1: value too long");
    case C::ControlCharacter:
        return ki18nc("@info refusal of a change or request", "%1: value contains a control character");
    case C::TooManyEntries:
        return ki18nc("@info refusal of a change or request", "%1: too many entries");
    case C::BadListEntry:
        return ki18nc("@info refusal of a change or request", "%1: list entry contains a control character or is too long");
    case C::TakesValue:
        return ki18nc("@info refusal of a change or request", "%1: takes a value");
    case C::NotNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a number");
    case C::NotInterval:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a time such as 90, 30s or 1h30m");
    case C::OutOfRange:
        return ki18nc("@info refusal of a change or request", "%1: must be %2 to %3");
    case C::NotOneOf:
        return ki18nc("@info refusal of a change or request", "%1: must be one of %2");
    case C::NotAlgorithmName:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an algorithm name; +, - or ^ may only begin the list");
    case C::AlgorithmPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\": only a list after - may hold patterns");
    case C::UnsupportedAlgorithm:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not supported by this OpenSSH (ssh -Q %3)");
    case C::NotPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a single pattern");
    case C::StandsAlone:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" stands alone");
    case C::NotHostPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not host:port");
    case C::NoPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" has no port 1..65535 or *");
    case C::NotPath:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not one path without blanks or quotes");
    case C::NoTokens:
        return ki18nc("@info refusal of a change or request", "%1: takes no %-tokens");
    case C::TokenLetters:
        return ki18nc("@info refusal of a change or request", "%1: a % must be followed by one of %2");
    case C::UnbalancedQuote:
        return ki18nc("@info refusal of a change or request", "%1: has an unbalanced quote");
    case C::CommentWord:
        return ki18nc("@info refusal of a change or request", "%1: a word may not begin with #");
    case C::EqualsFirst:
        return ki18nc("@info refusal of a change or request", "%1: a value may not begin with =");
    case C::NotAscii:
        return ki18nc("@info refusal of a change or request", "%1: only printable ASCII characters are allowed");
    case C::TripleCount:
        return ki18nc("@info refusal of a change or request", "%1: takes one number or %2 separated by colons");
    case C::TripleNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a number 0..%3");
    case C::TripleRate:
        return ki18nc("@info refusal of a change or request", "%1: needs a rate of 1 to 100 and a start not above full");
    case C::PenaltyWord:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not \"no\" or one of %3 with its value");
    case C::PenaltyInterval:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs a time such as 30s");
    case C::PenaltyNumber:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs a number");
    case C::PenaltyMode:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" needs deny-all or permissive");
    case C::NotPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a port number 1..65535");
    case C::PortRange:
        return ki18nc("@info refusal of a change or request", "%1: port must be 1..65535");
    case C::TooManyPorts:
        return ki18nc("@info refusal of a change or request", "%1: at most %2 ports");
    case C::OnePort:
        return ki18nc("@info refusal of a change or request", "%1: takes one port");
    case C::BannerValue:
        return ki18nc("@info refusal of a change or request", "%1: must be \"none\" or an absolute path without blanks or \"..\"");
    case C::NotListenAddress:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an IP address, alone or followed by :port");
    case C::ListenPort:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" has no valid port");
    case C::NotFilePattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a single file pattern");
    case C::NotAccessPattern:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not a user or group pattern");
    case C::GroupHost:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" names a host, but sshd matches groups by name only");
    case C::UnsupportedKeyword:
        return ki18nc("@info refusal of a change or request", "%1: unsupported keyword");
    case C::NotLocalAddress:
        return ki18nc("@info refusal of a change or request", "%1 is not an address of this computer: the SSH server could not listen on it");
    case C::BannerFile:
        return ki18nc("@info refusal of a change or request", "Banner: %1");
    case C::FileMissing:
        return ki18nc("@info refusal of a change or request", "%1 does not exist");
    case C::NotRegularFile:
        return ki18nc("@info refusal of a change or request", "%1 is not a regular file");
    case C::NotOwnedByRoot:
        return ki18nc("@info refusal of a change or request", "%1 is not owned by root");
    case C::NotWorldReadable:
        return ki18nc("@info refusal of a change or request", "%1 is not readable by everyone, sshd would show it to every client");
    case C::ProtectedFile:
        return ki18nc("@info refusal of a change or request", "%1 is part of the SSH configuration or a key");
    case C::PrivateKeyFile:
        return ki18nc("@info refusal of a change or request", "%1 holds a private key");
    case C::SetInBlock:
        return ki18nc("@info refusal of a change or request",
                      "%1 stays in force for every connection from %2:%3, inside \"%4\", which a change leaves as it is");
    case C::ChangedSinceReview:
        return ki18nc("@info refusal of a change or request", "the configuration changed since it was reviewed");
    case C::InvalidConfiguration:
        return ki18nc("@info refusal of a change or request", "the configuration is invalid: %1");
    case C::WouldBeInvalid:
        return ki18nc("@info refusal of a change or request", "refused, the configuration would be invalid: %1");
    case C::CandidateWrite:
        return ki18nc("@info refusal of a change or request", "cannot write a candidate beside %1: %2");
    case C::CannotReadBack:
        return ki18nc("@info refusal of a change or request", "refused, cannot read back the configuration: %1");
    case C::TooManySockets:
        return ki18nc("@info refusal of a change or request", "refused, sshd would not start: %1 listen sockets (addresses × ports), at most %2");
    case C::OtherSettingWins:
        return ki18nc("@info refusal of a change or request", "refused, another setting wins for %1: %2");
    case C::SftpStillConfigured:
        return ki18nc("@info refusal of a change or request", "an sftp subsystem is still configured");
    case C::SftpMissing:
        return ki18nc("@info refusal of a change or request", "the sftp subsystem is still missing");
    case C::ListensOn:
        return ki18nc("@info refusal of a change or request", "sshd listens on %1");
    case C::EffectiveValue:
        return ki18nc("@info refusal of a change or request", "the effective value is \"%1\"");
    case C::CannotKeepWorking:
        return ki18nc("@info refusal of a change or request", "refused, cannot keep the working configuration: %1");
    case C::UnsafeFiles:
        return ki18nc("@info refusal of a change or request", "refused: %1");
    case C::NotConfigFile:
        return ki18nc("@info refusal: %2 is server or client", "%1 is not a file of the %2 configuration");
    case C::UnsafeMode:
        return ki18nc("@info refusal of a change or request", "%1 would get mode %2: setuid, setgid or sticky");
    case C::UnsafeWrite:
        return ki18nc("@info refusal of a change or request", "%1 cannot be written safely: %2");
    case C::NothingRestored:
        return ki18nc("@info refusal of a change or request", "refused, nothing was restored: %1");
    case C::NoBackup:
        return ki18nc("@info refusal of a change or request", "there is no backup: %2, nor %1");
    case C::NoBackupIn:
        return ki18nc("@info refusal of a change or request", "there is no backup in %1");
    case C::BackupDamaged:
        return ki18nc("@info refusal of a change or request", "the backup in %1 is damaged");
    case C::BackupEmpty:
        return ki18nc("@info refusal of a change or request", "the backup in %1 is empty");
    case C::NoSystemDefault:
        return ki18nc("@info refusal of a change or request", "the system default %1 is not installed");
    case C::BackupNotOf:
        return ki18nc("@info refusal of a change or request", "the backup is not one of %1");
    case C::RestoredInvalid:
        return ki18nc("@info refusal of a change or request", "refused, the restored configuration would be invalid: %1");
    case C::RevertAfterRange:
        return ki18nc("@info refusal of a change or request", "the revert countdown must be 1 to %1 seconds");
    case C::NoServiceControl:
        return ki18nc("@info refusal of a change or request", "service commands act on the system's sshd; not with --root or --config");
    case C::UnknownSession:
        return ki18nc("@info refusal of a change or request", "the session is not \"client port local port\" of a known user");
    case C::NotUserName:
        return ki18nc("@info refusal of a change or request", "\"%1\" is not a user name: letters, digits, '.', '_' and '-', at most 32");
    case C::NotIpAddress:
        return ki18nc("@info refusal of a change or request", "%1: \"%2\" is not an IP address");
    case C::NotHostName:
        return ki18nc("@info refusal of a change or request", "\"%1\" is not a host name: letters, digits, '.', '_' and '-', at most 253");
    case C::Busy:
        return ki18nc("@info refusal of a change or request", "another change of the SSH configuration is in progress: %1");
    case C::CannotArm:
        return ki18nc("@info refusal of a change or request", "refused, the change could not be armed for a revert: %1");
    case C::PendingReverted:
        return ki18nc("@info refusal of a change or request", "%1; the pending changes were reverted");
    case C::PendingNotReverted:
        return ki18nc("@info refusal of a change or request", "%2; the pending changes were reverted: %1");
    case C::EarlierBack:
        return ki18nc("@info refusal of a change or request", "%1; the earlier configuration is back");
    case C::NotRevertToken:
        return ki18nc("@info refusal of a change or request", "not a revert token");
    case C::NoPendingChange:
        return ki18nc("@info refusal of a change or request", "no change is waiting under %1: it was kept or reverted already");
    case C::TooLateReverted:
        return ki18nc("@info refusal of a change or request", "too late, the countdown ran out: the changes were reverted");
    case C::TooLatePending:
        return ki18nc("@info refusal of a change or request", "too late, the countdown ran out: the changes are to be reverted: %1");
    case C::RevertedNoRestart:
        return ki18nc("@info refusal of a change or request", "reverted, but sshd did not restart: %1");
    case C::UnknownServiceCommand:
        return ki18nc("@info refusal of a change or request", "unknown service command \"%1\"");
    case C::ServiceInvalid:
        return ki18nc("@info refusal of a change or request", "refused to %1 sshd, the configuration is invalid: %2");
    case C::ServiceFailed:
        return ki18nc("@info refusal of a change or request", "%1 of sshd failed: %2");
    case C::JournalFailed:
        return ki18nc("@info refusal of a change or request", "journalctl failed: %1");
    case C::RefusedToEnd:
        return ki18nc("@info refusal of a change or request", "refused to end process %1");
    case C::NoProcess:
        return ki18nc("@info refusal of a change or request", "no process %1");
    case C::NotConnection:
        return ki18nc("@info refusal of a change or request", "process %1 is not an sshd connection");
    case C::ListeningSshd:
        return ki18nc("@info refusal of a change or request", "process %1 is the listening sshd");
    case C::CannotEnd:
        return ki18nc("@info refusal of a change or request", "cannot end process %1: %2");
    case C::BannerPathNotPlain:
        return ki18nc("@info refusal of a change or request", "banner path must be a plain absolute path");
    case C::BannerNotBelow:
        return ki18nc("@info refusal of a change or request", "banner file must be below %1");
    case C::BannerTooLarge:
        return ki18nc("@info refusal of a change or request", "banner text is larger than 64 KiB");
    case C::BannerControl:
        return ki18nc("@info refusal of a change or request", "banner text contains a control character");
    case C::BannerProtected:
        return ki18nc("@info refusal of a change or request", "banner: %1 is part of the SSH configuration or a key");
    case C::BannerFolder:
        return ki18nc("@info refusal of a change or request", "banner: %1");
    case C::BannerNotRegular:
        return ki18nc("@info refusal of a change or request", "banner: %1 is not a regular file");
    case C::BannerExists:
        return ki18nc("@info refusal of a change or request", "banner: %1 exists and is not the configured banner; choose a new file");
    case C::KeyLineEmpty:
        return ki18nc("@info refusal of a change or request", "empty key line");
    case C::KeyLineTooLong:
        return ki18nc("@info refusal of a change or request", "key line too long");
    case C::KeyLineControl:
        return ki18nc("@info refusal of a change or request", "key line contains a newline or control character");
    case C::NotKeyLine:
        return ki18nc("@info refusal of a change or request", "not a public key line");
    case C::InvalidKeyLine:
        return ki18nc("@info refusal of a change or request", "not a valid public key line");
    case C::NotKeyFileOf:
        return ki18nc("@info refusal of a change or request", "%1 is not an authorized_keys file of %2 (AuthorizedKeysFile %3)");
    case C::KeyPathNotPlain:
        return ki18nc("@info refusal of a change or request", "key file path must be a plain absolute path");
    case C::NoAccount:
        return ki18nc("@info refusal of a change or request", "there is no account with the id %1");
    case C::KeyFile:
        return ki18nc("@info refusal of a change or request", "key file: %1");
    case C::KeyFileOtherOwner:
        return ki18nc("@info refusal of a change or request", "key file: %1 is owned by another user");
    case C::KeyFileMissing:
        return ki18nc("@info refusal of a change or request", "key file: %1 does not exist");
    case C::BadCriterion:
        return ki18nc("@info refusal of a block's criteria", "\"%1\" is not a criterion a block may start with");
    case C::CriterionValue:
        return ki18nc("@info refusal of a block's criteria: %1 is a criterion such as User", "%1: \"%2\" is not a valid value");
    case C::ExecCriterion:
        return ki18nc("@info refusal of a block's criteria", "a block may not run a command (exec): ssh would run it for every connection");
    case C::NotInBlock:
        return ki18nc("@info refusal of a change inside a block", "%1 is not allowed inside a block");
    case C::NoSuchBlock:
        return ki18nc("@info refusal of a block operation", "there is no block %1; there are %2");
    case C::NoBlockAbove:
        return ki18nc("@info refusal of moving a block up", "block %1 is the first of its file");
    case C::NoBlockBelow:
        return ki18nc("@info refusal of moving a block down", "block %1 is the last of its file");
    case C::NotHostKey:
        return ki18nc("@info refusal of a host key operation, %1 a file", "%1 is not a host key of the server");
    case C::LastHostKey:
        return ki18nc("@info refusal of removing a host key, %1 a file", "%1 is the last usable host key; generate another one first");
    case C::ModuliAllWeak:
        return ki18nc("@info refusal of rewriting the moduli file, %1 its path, %2 a number of bits",
                      "every group of %1 is under %2 bits; the file would be empty");
    case C::InsideBlock:
        return ki18nc("@info refusal of adding a block to a file: %2 is the criteria of the block whose body reads it, %3 its file:line",
                      "%1 is read inside the block \"%2\" (%3): a block added to it would apply only where that one does");
    case C::DeadValue:
        return ki18nc("@info refusal of a value in a block: %1 is a keyword, %2 the file:line of the line that wins",
                      "%1 in this block would never be used: %2 sets it first");
    }
    return KLocalizedString();
}

/// The refusal @p id with its @p arguments in the page's words; empty for a code this build does not know.
QString refusalReason(const QString &id, const QStringList &arguments)
{
    return Refusals::format(id, arguments, [](const Refusals::Entry &entry, const QStringList &words) {
        KLocalizedString text = refusalText(entry.code);
        for (const QString &word : words) {
            text = text.subs(word);
        }
        return text.toString();
    });
}
}

QString failureReason(const ActionResult &result)
{
    QString reason;
    // A helper older than this page, or a code it does not know: the helper's English description.
    const QString coded =
        refusalReason(result.data.value(Protocol::Reply::RefusalCode).toString(), result.data.value(Protocol::Reply::RefusalArguments).toStringList());
    if (authorizationRefused(result.errorCode)) {
        reason = i18n("the authorization was cancelled or denied");
    } else if (!coded.isEmpty()) {
        reason = coded;
    } else {
        reason = result.errorText.isEmpty() ? i18n("the helper gave no reason") : result.errorText;
    }
    if (result.timedOut) {
        return result.errorText;
    }
    if (result.outcomeUnknown) {
        return i18n("the answer that came back belongs to another request (%1), so whether this one was carried out is not known", reason);
    }
    return reason;
}

bool authorizationRefused(int errorCode)
{
    return errorCode == KAuth::ActionReply::AuthorizationDeniedError || errorCode == KAuth::ActionReply::UserCancelledError;
}
}
