// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "enginetypes.h"

class Configuration;

/// The files the helper writes for people rather than for sshd: the banner text and authorized_keys.
class UserFiles
{
public:
    UserFiles(const EnginePaths &paths, const Configuration &configuration);

    Reply writeBanner(const QString &path, const QString &text) const;
    Reply editKeys(const QString &path, const QString &line, uid_t uid, bool add) const;

private:
    bool checkKeyLine(const QString &line, Refusal *error) const;
    bool isKeyFileOf(const UserAccount &account, const QString &path, Refusal *error) const;

    const EnginePaths &m_paths;
    const Configuration &m_configuration;
};
