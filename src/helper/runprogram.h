// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>

struct ProgramResult {
    bool started = false;
    bool finished = false; ///< ended on its own, within the time allowed
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const
    {
        return finished && exitCode == 0;
    }
    /// The first line of standard error, else a description of the failure.
    QString reason(const QString &program) const;
};

/**
 * Runs @p program, which must be an absolute path, with a minimal fixed
 * environment (no PATH lookups, C locale) and waits for it.
 * When @p onOutput is given, standard output is handed to it in chunks
 * instead of being collected.
 */
ProgramResult runProgram(const QString &program,
                         const QStringList &arguments,
                         const QByteArray &input = {},
                         int timeoutMs = 30000,
                         const std::function<void(const QByteArray &)> &onOutput = {});

/**
 * Runs @p program as @p uid / @p gid (no supplementary groups, no PATH) when
 * this process is root, so whatever the program runs on its own (`Match exec`)
 * has no more rights than that user. Otherwise like runProgram().
 */
ProgramResult runProgramAs(uid_t uid, gid_t gid, const QString &program, const QStringList &arguments, int timeoutMs = 30000);
