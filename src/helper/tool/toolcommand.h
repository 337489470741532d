// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"
#include "requestdispatch.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>

/// The engine as a subcommand reaches it: through the dispatch of the subcommand's action, as a KAuth request does.
struct ToolEngine {
    Engine &engine;
    RequestDispatch::Action action;
    /// Served as the helper serves the same arguments under the same action, refused where it would refuse them.
    Reply request(const QVariantMap &arguments, uid_t caller) const
    {
        return RequestDispatch::dispatch(engine, action, arguments, caller);
    }
};

/**
 * One subcommand of ssh-settings-tool, tied to the helper action whose
 * requests it makes. A file adds its subcommands by returning them from one
 * function listed in the table of main.cpp.
 */
struct ToolCommand {
    QString name; ///< "get", "keys", …
    RequestDispatch::Action action;
    QString synopsis; ///< arguments after the name, for --help
    QString description; ///< one line
    QList<QCommandLineOption> options; ///< besides the common ones
    /// Runs with the parsed command line; @p arguments are the positional ones after the name.
    int (*run)(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper);
};

namespace Tool
{
/**
 * Prints "ssh-settings-tool: REASON" on standard error; returns the refusal exit code 1. With --json, unless the
 * command printed its document already, standard output gets {"error": REASON, "code": CODE} too (CODE null when the
 * tool refused before asking the engine).
 */
int refuse(const QString &reason, const QString &code = QString());
/// The refusal of @p reply, with its code.
int refuse(const Reply &reply);
/// After a restart: the sockets where sshd did not answer make the command fail (printed, exit code 1); 0 when all answered.
int unanswered(const Reply &reply);
/// Prints the command's usage on standard error; returns the usage exit code 2.
int usage(const ToolCommand &command);
/// --json: the command prints one JSON document on standard output instead of its lines.
QCommandLineOption jsonOption();
/// Whether --json was given.
bool json();
/// Prints @p document, the command's one JSON document, on standard output.
void print(const QJsonObject &document);
/// The configuration type chosen with --client.
OptionCatalog::ConfigType configType(const QCommandLineParser &parser);
/// --no-session-review: the audit's fixes go ahead in an SSH login whose connection is not known (else refused).
QCommandLineOption noSessionReview();
/// --dry-run, --restart, --revert-after: the options of every command that changes the configuration.
QList<QCommandLineOption> changeOptions();
/**
 * Sends the transaction @p request (type, changes or a block operation) with the options of changeOptions() given on
 * the command line and prints its outcome (the diff, the revert token); @p data gets the reply's data. The exit code.
 * With --json every change prints the same document: changed, diff (path → unified diff), restarted, warnings, the
 * token when armed, and what the request adds (block_index, audit_fixed, audit_skipped, new_host_key).
 */
int transaction(const QCommandLineParser &parser, QVariantMap request, const ToolEngine &helper, QVariantMap *data = nullptr);
/// The changes of `set`'s KEYWORD VALUE... [KEYWORD VALUE...] into @p changes; 0, else the exit code.
int setChanges(OptionCatalog::ConfigType type, const QStringList &arguments, QVariantMap *changes);
/// The changes of `unset`'s KEYWORD... into @p changes; 0, else the exit code.
int unsetChanges(OptionCatalog::ConfigType type, const QStringList &arguments, QVariantMap *changes);
}

/// match list, add, criteria, set, unset, remove, move
QList<ToolCommand> matchCommands();

/// get, set, unset, keywords, confirm, revert, pending, restore, banner, keys, service, kill
QList<ToolCommand> engineCommands();
/// effective
QList<ToolCommand> effectiveCommands();
/// audit
QList<ToolCommand> auditCommands();
/// hostkeys list, generate, remove
QList<ToolCommand> hostKeysCommands();
