// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// audit: the security check of the server configuration, and its fixes as one transaction.

#include "toolcommand.h"

#include "sshsettingsprotocol.h"

#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
namespace ReplyKey = SSHSettings::Protocol::Reply;

const QCommandLineOption s_fix(QStringLiteral("fix"), QStringLiteral("audit: fix the findings of the check ids given, in one transaction."));
const QCommandLineOption s_fixAll(QStringLiteral("fix-all"), QStringLiteral("audit: fix every finding that is safe for this session, in one transaction."));

// A tab or a line break in a value would break the columns.
QString field(const QVariantMap &finding, QLatin1String key)
{
    QString text = finding.value(key).toString();
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

int fix(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    if (parser.isSet(s_fix) == arguments.isEmpty()) {
        return 2;
    }
    QVariantMap request = {{Arg::TransactionType, int(OptionCatalog::ConfigType::Server)}};
    if (parser.isSet(s_fixAll)) {
        request.insert(Arg::AuditFixAll, true);
    } else {
        request.insert(Arg::AuditFix, arguments);
    }
    // Fixes are changes: the configure action's request, with the change options of set and unset.
    QVariantMap data;
    const int code = Tool::transaction(parser, request, {helper.engine, RequestDispatch::Action::Configure}, &data);
    const QVariantList skipped = data.value(ReplyKey::AuditSkipped).toList();
    for (const QVariant &entry : skipped) {
        const QVariantMap skip = entry.toMap();
        fprintf(stderr,
                "ssh-settings-tool: skipped %s: %s\n",
                qPrintable(skip.value(ReplyKey::FindingId).toString()),
                qPrintable(skip.value(ReplyKey::SkippedReason).toString()));
    }
    const QStringList fixed = data.value(ReplyKey::AuditFixed).toStringList();
    if (code == 0) {
        fprintf(stderr,
                "ssh-settings-tool: %s %s\n",
                parser.isSet(QStringLiteral("dry-run")) ? "would fix" : "fixed",
                qPrintable(fixed.isEmpty() ? QStringLiteral("nothing") : fixed.join(QLatin1Char(' '))));
    }
    return code;
}

// One finding a line: id, severity, subject, current, recommended, origin (tab-separated); exit 3 when one fails or warns.
int audit(const QCommandLineParser &parser, const QStringList &arguments, const ToolEngine &helper)
{
    // The security check is the server's.
    if (Tool::configType(parser) != OptionCatalog::ConfigType::Server) {
        return 2;
    }
    if (parser.isSet(s_fix) || parser.isSet(s_fixAll)) {
        return parser.isSet(s_fix) && parser.isSet(s_fixAll) ? 2 : fix(parser, arguments, helper);
    }
    const QList<QCommandLineOption> changes = Tool::changeOptions() << Tool::noSessionReview();
    if (!arguments.isEmpty() || std::any_of(changes.cbegin(), changes.cend(), [&parser](const QCommandLineOption &option) {
            return parser.isSet(option);
        })) {
        return 2;
    }
    const Reply reply = helper.request({{Arg::ReadType, int(OptionCatalog::ConfigType::Server)}, {Arg::Audit, true}}, ::getuid());
    if (!reply.ok) {
        return Tool::refuse(reply);
    }
    const QVariantList findings = reply.data.value(ReplyKey::Findings).toList();
    bool weak = false;
    for (const QVariant &entry : findings) {
        const QVariantMap finding = entry.toMap();
        weak = weak || finding.value(ReplyKey::FindingSeverity).toString() != QLatin1String("info");
        if (Tool::json()) {
            continue;
        }
        QString origin = field(finding, ReplyKey::FindingOrigin);
        if (!finding.value(ReplyKey::FindingBlock).toString().isEmpty()) {
            origin += QStringLiteral(" (Match %1)").arg(field(finding, ReplyKey::FindingBlock));
        }
        printf("%s\t%s\t%s\t%s\t%s\t%s\n",
               qPrintable(field(finding, ReplyKey::FindingId)),
               qPrintable(field(finding, ReplyKey::FindingSeverity)),
               qPrintable(field(finding, ReplyKey::FindingSubject)),
               qPrintable(field(finding, ReplyKey::FindingCurrent)),
               qPrintable(field(finding, ReplyKey::FindingRecommended)),
               qPrintable(origin));
    }
    if (Tool::json()) {
        Tool::print({{ReplyKey::Findings, QJsonArray::fromVariantList(findings)}});
    }
    return weak ? 3 : 0;
}
}

QList<ToolCommand> auditCommands()
{
    return {
        {QStringLiteral("audit"),
         RequestDispatch::Action::Read,
         QStringLiteral("[--json] [--fix ID... | --fix-all [--dry-run] [--restart] [--revert-after SECONDS] [--no-session-review]]"),
         QStringLiteral("Check the configuration sshd uses: id, severity, subject, current, recommended, origin (tab-separated); "
                        "exit 3 when something fails or warns. --fix and --fix-all fix findings in one transaction."),
         QList<QCommandLineOption>{Tool::jsonOption(), s_fix, s_fixAll, Tool::noSessionReview()} + Tool::changeOptions(),
         audit},
    };
}
