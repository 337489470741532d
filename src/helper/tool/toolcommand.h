// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "engine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

/**
 * One subcommand of ssh-settings-tool. A file adds its subcommands by
 * returning them from one function listed in the table of main.cpp.
 */
struct ToolCommand
{
    QString name; ///< "get", "keys", …
    QString synopsis; ///< arguments after the name, for --help
    QString description; ///< one line
    QList<QCommandLineOption> options; ///< besides the common ones
    /// Runs with the parsed command line; @p arguments are the positional ones after the name.
    int (*run)(const QCommandLineParser &parser, const QStringList &arguments, Engine &engine);
};

namespace Tool
{
/// Prints "ssh-settings-tool: REASON" on standard error; returns the refusal exit code 1.
int refuse(const QString &reason);
/// Prints the command's usage on standard error; returns the usage exit code 2.
int usage(const ToolCommand &command);
/// The configuration type chosen with --client.
OptionCatalog::ConfigType configType(const QCommandLineParser &parser);
}

/// get, set, confirm, revert, pending, restore, banner, keys, service
QList<ToolCommand> engineCommands();
