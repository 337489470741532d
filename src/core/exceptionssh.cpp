// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "exceptionssh.h"

ExceptionSSH::ExceptionSSH(SSHCodeError code, const QString &message) : m_code(code), m_message(message), m_utf8(message.toUtf8()) { }

const char *ExceptionSSH::what() const noexcept
{
    return m_utf8.constData();
}

SSHCodeError ExceptionSSH::code() const
{
    return m_code;
}

QString ExceptionSSH::message() const
{
    return m_message;
}
