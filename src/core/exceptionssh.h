// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshtypes.h"

#include <QByteArray>
#include <QString>

#include <exception>

class ExceptionSSH : public std::exception
{
public:
    ExceptionSSH(SSHCodeError code, const QString &message);

    const char *what() const noexcept override;
    SSHCodeError code() const;
    QString message() const;

private:
    SSHCodeError m_code;
    QString m_message;
    QByteArray m_utf8;
};
