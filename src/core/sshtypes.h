// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMetaType>

enum SSHConfigurationTypeId : int {
    Undefined = 0,
    Server = 1,
    Client = 2,
};

enum SSHCodeError : int {
    ServerNotRunning = 2,
    ClientLoadError = 3,
    ServerLoadError = 4,
    AuthorizationRefused = 6, ///< the password prompt was cancelled or authorisation denied
    ServerConfigurationInvalid = 7, ///< sshd -t rejects the server configuration
    ClientConfigurationInvalid = 8,
};

Q_DECLARE_METATYPE(SSHConfigurationTypeId)
Q_DECLARE_METATYPE(SSHCodeError)
