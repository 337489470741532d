// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogmessage.h"

#include <cstring>

namespace SshdLog
{
namespace
{
struct MessageForm {
    const char *prefix;
    Form form;
    int length;
};

template<int N>
constexpr MessageForm form(const char (&prefix)[N], Form form)
{
    return {prefix, form, N - 1};
}

// Every message the connections are built from, by the start sshd gives it
// (OpenSSH 9 "sshd" and OpenSSH 10 "sshd-session" alike).
const MessageForm s_forms[] = {
    form("Accepted ", Form::Accepted),
    form("Failed ", Form::Failed),
    form("pam_unix(sshd:session): session closed ", Form::Ended),
    form("Received disconnect from ", Form::Ended),
    form("error: Received disconnect from ", Form::Ended),
    form("Disconnected from ", Form::Ended),
    form("Disconnecting ", Form::Ended),
    form("Connection closed by ", Form::Ended),
    form("Connection reset by ", Form::Ended),
    form("error: maximum authentication attempts exceeded ", Form::Ended),
    form("Timeout before authentication ", Form::Ended),
    form("fatal: ", Form::Ended),
};

bool isMethod(const char *begin, const char *end)
{
    if (begin == end || end - begin > 64) {
        return false;
    }
    for (const char *c = begin; c != end; ++c) {
        if (!((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '-' || *c == '/' || *c == '@' || *c == '.')) {
            return false;
        }
    }
    return true;
}

const char *find(const char *begin, const char *end, const char *what, int length)
{
    const QByteArray haystack = QByteArray::fromRawData(begin, int(end - begin));
    const int at = haystack.indexOf(QByteArray::fromRawData(what, length));
    return at < 0 ? nullptr : begin + at;
}

// "ADDRESS port PORT[ ssh2[: INFO]]" from @p begin to @p end: true when it reads so.
// INFO may not hold " from ", so a client-chosen user or host name cannot make
// a later candidate look like the real one.
bool readOrigin(const char *begin, const char *end, Message *message)
{
    const char *space = static_cast<const char *>(std::memchr(begin, ' ', size_t(end - begin)));
    if (!space || space == begin || end - space < 7 || std::memcmp(space, " port ", 6) != 0) {
        return false;
    }
    const char *portEnd = space + 6;
    int port = 0;
    while (portEnd < end && *portEnd >= '0' && *portEnd <= '9' && portEnd - space < 12) {
        port = port * 10 + (*portEnd++ - '0');
    }
    if (portEnd == space + 6 || port > 65535) {
        return false;
    }
    const char *info = end;
    if (end - portEnd >= 7 && std::memcmp(portEnd, " ssh2: ", 7) == 0) {
        info = portEnd + 7;
    } else if (portEnd != end && !(end - portEnd == 5 && std::memcmp(portEnd, " ssh2", 5) == 0)) {
        return false;
    }
    if (find(info, end, " from ", 6)) {
        return false;
    }
    message->address = QByteArray(begin, int(space - begin));
    message->port = port;
    // "TYPE SHA256:…[, client user …]" or "TYPE SHA256:… ID …" for a certificate.
    const char *typeEnd = static_cast<const char *>(std::memchr(info, ' ', size_t(end - info)));
    if (typeEnd) {
        const char *print = typeEnd + 1;
        const char *printEnd = print;
        while (printEnd < end && *printEnd != ' ' && *printEnd != ',') {
            ++printEnd;
        }
        if (std::memchr(print, ':', size_t(printEnd - print))) {
            message->keyType = QByteArray(info, int(typeEnd - info));
            message->fingerprint = QByteArray(print, int(printEnd - print));
        }
    }
    return true;
}

Message readAuthentication(const QByteArray &text, int prefixLength, Form form)
{
    const char *begin = text.constData();
    const char *end = begin + text.size();
    const char *forAt = find(begin + prefixLength, end, " for ", 5);
    if (!forAt || !isMethod(begin + prefixLength, forAt)) {
        return {};
    }
    Message message;
    const char *user = forAt + 5;
    if (form == Form::Failed && end - user >= 13 && std::memcmp(user, "invalid user ", 13) == 0) {
        message.invalidUser = true;
        user += 13;
    }
    // The user name is the client's choice and may hold " from ": the last candidate wins.
    for (int from = text.lastIndexOf(" from "); from >= int(user - begin); from = from > 0 ? text.lastIndexOf(" from ", from - 1) : -1) {
        if (readOrigin(begin + from + 6, end, &message)) {
            message.method = QByteArray(begin + prefixLength, int(forAt - begin - prefixLength));
            message.user = QByteArray(user, int(begin + from - user));
            message.form = form;
            return message;
        }
    }
    return {};
}
}

Form formOf(const char *message, int size)
{
    if (size < 4) {
        return Form::Other;
    }
    for (const MessageForm &entry : s_forms) {
        // The first byte rules out most forms before any comparison.
        if (entry.prefix[0] == message[0] && size >= entry.length && std::memcmp(message, entry.prefix, size_t(entry.length)) == 0) {
            return entry.form;
        }
    }
    // "PAM 2 more authentication failures; …" closes a process that failed.
    if (std::memcmp(message, "PAM ", 4) == 0 && QByteArray::fromRawData(message, size).contains(" more authentication failure")) {
        return Form::Ended;
    }
    return Form::Other;
}

Message readMessage(const QByteArray &text)
{
    return readMessage(text, formOf(text.constData(), text.size()));
}

Message readMessage(const QByteArray &text, Form form)
{
    switch (form) {
    case Form::Accepted:
        return readAuthentication(text, 9, form);
    case Form::Failed:
        return readAuthentication(text, 7, form);
    case Form::Ended: {
        Message message;
        message.form = form;
        return message;
    }
    case Form::Other:
        break;
    }
    return {};
}
}
