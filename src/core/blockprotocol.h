// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshsettingsprotocol.h"

/**
 * The requests about Match (server) and Host/Match (client) blocks, and about the values a
 * connection gets, as the page sends them.
 */
namespace SSHSettings::Protocol
{
namespace Arg
{
// Blocks (configure action, a transaction): with TransactionChanges alone, the changes apply inside the block's body.
constexpr QLatin1String BlockIndex("block_index"); ///< int, 1-based, blocks in reading order
constexpr QLatin1String BlockOperation("block_operation"); ///< "add", "criteria", "remove", "up" or "down"
/// QString: the criteria as written after Match (server), or "Host pattern..." / "Match ..." (client)
constexpr QLatin1String BlockCriteria("block_criteria");
// Blocks (read action, with ReadType): the reply carries Reply::Blocks.
constexpr QLatin1String ReadBlocks("read_blocks"); ///< bool
// Who gets what (read action, with ReadType Server).
constexpr QLatin1String EffectiveUser("effective_user"); ///< QString
constexpr QLatin1String EffectiveAddress("effective_address"); ///< QString
constexpr QLatin1String EffectiveHost("effective_host"); ///< QString, optional
}

namespace Reply
{
/// QVariantList of QVariantMap {BlockIndex, BlockCriteria, BlockFile, BlockLine, BlockValues}
constexpr QLatin1String Blocks("blocks");
constexpr QLatin1String BlockIndex("index"); ///< int
constexpr QLatin1String BlockCriteria("criteria"); ///< QString
constexpr QLatin1String BlockFile("file"); ///< QString
constexpr QLatin1String BlockLine("line"); ///< int
constexpr QLatin1String BlockValues("values"); ///< QVariantMap keyword → QString as written
/// Who gets what: QVariantList of {BlockCriteria, BlockFile, BlockLine} of the blocks that matched
constexpr QLatin1String AppliedBlocks("applied_blocks");
/// Who gets what: QVariantMap {VerdictCanLogIn, VerdictMethods, VerdictReasons}
constexpr QLatin1String Verdict("verdict");
constexpr QLatin1String VerdictCanLogIn("can_log_in"); ///< bool
constexpr QLatin1String VerdictMethods("methods"); ///< QStringList
constexpr QLatin1String VerdictReasons("reasons"); ///< QStringList
}
}
