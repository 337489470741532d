// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshdlogmessage.h"

#include <QList>

#include <cstring>

namespace SshdLog
{
namespace
{
struct MessageForm
{
    const char *prefix;
    Form form;
};

// Every message the connections are built from, by the start sshd gives it
// (OpenSSH 9 "sshd" and OpenSSH 10 "sshd-session" alike).
const MessageForm s_forms[] = {
    {"Accepted ", Form::Accepted},
    {"Failed ", Form::Failed},
    {"pam_unix(sshd:session): session closed ", Form::Ended},
    {"Received disconnect from ", Form::Ended},
    {"error: Received disconnect from ", Form::Ended},
    {"Disconnected from ", Form::Ended},
    {"Disconnecting ", Form::Ended},
    {"Connection closed by ", Form::Ended},
    {"Connection reset by ", Form::Ended},
    {"error: maximum authentication attempts exceeded ", Form::Ended},
    {"Timeout before authentication ", Form::Ended},
    {"fatal: ", Form::Ended},
};

bool startsWith(const char *data, int size, const char *prefix)
{
    const size_t length = std::strlen(prefix);
    return size_t(size) >= length && std::memcmp(data, prefix, length) == 0;
}

bool isDigits(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 5) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool isMethod(const QByteArray &method)
{
    if (method.isEmpty() || method.size() > 64) {
        return false;
    }
    for (const char c : method) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '/' || c == '@' || c == '.')) {
            return false;
        }
    }
    return true;
}

// "ADDRESS port PORT ssh2[: INFO]" after a " from ": true when @p rest reads so.
// INFO may not hold " from ", so a client-chosen user or host name cannot make
// a later candidate look like the real one.
bool readOrigin(const QByteArray &rest, Message *message)
{
    const int space = rest.indexOf(' ');
    if (space <= 0 || !rest.mid(space).startsWith(" port ")) {
        return false;
    }
    const int portStart = space + 6;
    int portEnd = rest.indexOf(' ', portStart);
    if (portEnd < 0) {
        portEnd = rest.size();
    }
    const QByteArray port = rest.mid(portStart, portEnd - portStart);
    if (!isDigits(port)) {
        return false;
    }
    const QByteArray tail = rest.mid(portEnd);
    QByteArray info;
    if (tail.startsWith(" ssh2: ")) {
        info = tail.mid(7);
    } else if (!tail.isEmpty() && tail != " ssh2") {
        return false;
    }
    if (info.contains(" from ")) {
        return false;
    }
    message->address = rest.left(space);
    message->port = port.toInt();
    const QList<QByteArray> words = info.split(' ');
    if (words.size() >= 2 && words.at(1).contains(':')) {
        message->keyType = words.at(0);
        message->fingerprint = words.at(1);
        if (message->fingerprint.endsWith(',')) {
            message->fingerprint.chop(1);
        }
    }
    return true;
}

Message readAuthentication(const QByteArray &text, int prefixLength, Form form)
{
    Message message;
    const int forAt = text.indexOf(" for ", prefixLength);
    if (forAt < 0) {
        return message;
    }
    message.method = text.mid(prefixLength, forAt - prefixLength);
    if (!isMethod(message.method)) {
        return {};
    }
    int userStart = forAt + 5;
    if (form == Form::Failed && text.mid(userStart).startsWith("invalid user ")) {
        message.invalidUser = true;
        userStart += 13;
    }
    // The user name is the client's choice and may hold " from ": the last candidate wins.
    for (int from = text.lastIndexOf(" from "); from >= userStart; from = from > 0 ? text.lastIndexOf(" from ", from - 1) : -1) {
        if (readOrigin(text.mid(from + 6), &message)) {
            message.user = text.mid(userStart, from - userStart);
            message.form = form;
            return message;
        }
    }
    return {};
}
}

Form formOf(const char *message, int size)
{
    for (const MessageForm &entry : s_forms) {
        if (startsWith(message, size, entry.prefix)) {
            return entry.form;
        }
    }
    // "PAM 2 more authentication failures; …" closes a process that failed.
    if (startsWith(message, size, "PAM ") && QByteArray::fromRawData(message, size).contains(" more authentication failure")) {
        return Form::Ended;
    }
    return Form::Other;
}

Message readMessage(const QByteArray &text)
{
    const Form form = formOf(text.constData(), text.size());
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
