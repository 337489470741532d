// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// A block's criteria as the page sends them: a dry run of a new block, or of new criteria for the first one, with
// fuzzed criteria for either configuration. A header the helper writes is one printable line that it takes again,
// unchanged.
#include "configuration.h"
#include "fuzzcheck.h"
#include "sshsettingsprotocol.h"

#include <QFile>
#include <QTemporaryDir>

namespace Protocol = SSHSettings::Protocol;
using ConfigType = Configuration::ConfigType;

namespace
{
struct Sandbox {
    QTemporaryDir dir;
    EnginePaths paths;
    Sandbox()
    {
        paths.serverConfig = dir.filePath(QStringLiteral("sshd_config"));
        paths.clientConfig = dir.filePath(QStringLiteral("ssh_config"));
        paths.backupDir = dir.filePath(QStringLiteral("backups"));
        const QList<QPair<QString, QByteArray>> files = {
            {paths.serverConfig, "Port 22\nPasswordAuthentication no\n\nMatch User admin\n\tPasswordAuthentication yes\n"},
            {paths.clientConfig, "Host build\n\tUser ci\n\nHost *\n\tForwardAgent no\n"},
        };
        for (const auto &file : files) {
            QFile out(file.first);
            FUZZ_CHECK(out.open(QIODevice::WriteOnly) && out.write(file.second) == file.second.size(), "the sandbox is written");
        }
    }
};

// The Match (or Host) line a dry run adds, without its diff sign; null when it adds none.
QByteArray writtenHeader(const Reply &reply)
{
    for (const QByteArray &line : reply.data.value(Protocol::Reply::Diff).toByteArray().split('\n')) {
        if (line.startsWith("+Match ") || line.startsWith("+Host ")) {
            return line.mid(1);
        }
    }
    return QByteArray();
}

Reply dryRun(Configuration &configuration, ConfigType type, bool add, const QString &criteria)
{
    Configuration::Request request;
    request.dryRun = true;
    request.block.operation = add ? QStringLiteral("add") : QStringLiteral("criteria");
    request.block.index = add ? 0 : 1;
    request.block.criteria = criteria;
    return configuration.transaction(type, request);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Sandbox sandbox;
    static Configuration configuration(sandbox.paths);
    FuzzedDataProvider input(data, size);
    const ConfigType type = input.ConsumeBool() ? ConfigType::Client : ConfigType::Server;
    const bool add = input.ConsumeBool();
    const QString criteria = QString::fromUtf8(Fuzz::rest(input));

    const Reply reply = dryRun(configuration, type, add, criteria);
    if (!reply.ok) {
        FUZZ_CHECK(!reply.error.isEmpty(), "a refusal says why");
        return 0;
    }
    const QByteArray header = writtenHeader(reply);
    if (header.isEmpty()) {
        FUZZ_CHECK(!add && reply.data.value(Protocol::Reply::Diff).toByteArray().isEmpty(), "accepted criteria write a header, or are those there");
        return 0;
    }
    for (const char c : header) {
        FUZZ_CHECK((c >= 0x20 && c < 0x7f) || c == '\t', "a header is printable ASCII");
    }
    const QString again = QString::fromLatin1(type == ConfigType::Server ? header.mid(int(qstrlen("Match "))) : header);
    const Reply second = dryRun(configuration, type, add, again);
    FUZZ_CHECK(second.ok, "the helper takes the header it wrote");
    FUZZ_CHECK(writtenHeader(second) == header, "a header written again is the same");
    return 0;
}
