// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// What the installed OpenSSH prints: `sshd -T` and `ssh -G` dumps, `ssh -V` versions, `ssh -Q` lists (as the keyword
// table checks algorithms against them) and the first error line of `sshd -t`, and the sockets the restart probe tries
// from a dump's listen addresses, and the audit's checks of a dump. Every line of a dump is one value of its lower-case
// keyword; a version is a release OpenSSH can have; a fix the audit proposes is a value the helper takes.
#include "auditfindings.h"
#include "configuration.h"
#include "fuzzcheck.h"
#include "runprogram.h"
#include "socketprobe.h"
#include "sshsettingsprotocol.h"

#include <QHostAddress>
#include <QSet>

#include <algorithm>

using namespace OptionCatalog;
namespace Protocol = SSHSettings::Protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QByteArray name = Fuzz::bytes(input, 128);
    const QByteArray output = Fuzz::rest(input);

    const Configuration::Values values = Configuration::parseDump(output);
    int count = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        FUZZ_CHECK(!it.key().isEmpty() && it.key() == it.key().toLower(), "a dump's keyword is lower case");
        FUZZ_CHECK(!it.key().contains(' ') && !it.key().contains('\n'), "a dump's keyword is one word");
        for (const QByteArray &value : it.value()) {
            FUZZ_CHECK(value == value.trimmed() && !value.contains('\n'), "a dump's value is one trimmed line");
        }
        count += it.value().size();
    }
    int lines = 0;
    for (const QByteArray &line : output.split('\n')) {
        lines += line.trimmed().isEmpty() ? 0 : 1;
    }
    FUZZ_CHECK(count == lines, "every line of a dump is one value");

    const int version = parseVersion(output);
    FUZZ_CHECK(version == 0 || (version >= 0 && version <= 9999 && version % 100 <= 99), "a version is major and minor");
    FUZZ_CHECK(versionText(version).count(QLatin1Char('.')) == 1, "a version reads as major.minor");

    // `ssh -Q <query>`: one name per line; a name the list holds is accepted, and nothing else is.
    Installed installed;
    const QStringList names = QString::fromLatin1(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &query : algorithmQueries()) {
        installed.algorithms.insert(query, names);
    }
    for (const Option &option : options(ConfigType::Server)) {
        if (option.kind != ValueKind::Algorithms) {
            continue;
        }
        CheckedValue checked;
        Refusal refusal;
        const QString asked = QString::fromLatin1(name);
        if (checkValue(option, asked, &checked, &refusal, installed)) {
            const QString listed = asked.simplified();
            const QString bare = QStringLiteral("+^").contains(listed.left(1)) ? listed.mid(1) : listed;
            for (const QString &algorithm : bare.split(QLatin1Char(','))) {
                FUZZ_CHECK(listed.startsWith(QLatin1Char('-')) || names.isEmpty() || names.contains(algorithm), "only a listed algorithm is taken");
            }
        }
        break;
    }

    // The sockets the probe tries after a restart, from the dump's listen addresses: each an address and a port, once.
    const QStringList sockets = SocketProbe::sockets(values.value("listenaddress"), {QStringLiteral("127.0.0.1"), QStringLiteral("::1")});
    FUZZ_CHECK(sockets.size() == QSet<QString>(sockets.cbegin(), sockets.cend()).size(), "each socket is tried once");
    for (const QString &socket : sockets) {
        // Split at the last blank, as the probe does: a scope's interface name may hold one.
        const QHostAddress address(socket.left(socket.lastIndexOf(QLatin1Char(' '))));
        FUZZ_CHECK(!address.isNull() && !socket.mid(socket.lastIndexOf(QLatin1Char(' ')) + 1).isEmpty(), "a socket is an address and a port");
        FUZZ_CHECK(!address.isEqual(QHostAddress::AnyIPv4) && !address.isEqual(QHostAddress::AnyIPv6), "a wildcard is tried on the loopback address");
    }

    // The audit's option and algorithm checks on the dump, its values also written in a Match block: findings in order of
    // severity, and each fix a value the keyword table takes with the algorithms `ssh -Q` listed.
    // sshd offers only algorithms `ssh -Q` lists: the lists hold every name of the dump too.
    QStringList listed = names;
    for (const QList<QByteArray> &lines : std::as_const(values)) {
        for (const QByteArray &line : lines) {
            listed += QString::fromLatin1(line).split(QLatin1Char(','), Qt::SkipEmptyParts);
        }
    }
    for (const QString &query : algorithmQueries()) {
        installed.algorithms.insert(query, listed);
    }
    const bool printable = std::all_of(output.cbegin(), output.cend(), [](char c) {
        return c == '\n' || (c >= ' ' && c < 0x7f);
    });
    AuditFindings::Input audit;
    audit.values = values;
    audit.supported = installed.algorithms;
    QVariantMap written;
    for (const QString &keyword : AuditFindings::keywords()) {
        if (values.contains(keyword.toLower().toLatin1())) {
            written.insert(keyword, QString::fromLatin1(values.value(keyword.toLower().toLatin1()).join('\n')));
        }
    }
    audit.blocks.append(QVariantMap{{Protocol::Reply::BlockEntryIndex, 1},
                                    {Protocol::Reply::BlockEntryCriteria, QStringLiteral("User alice")},
                                    {Protocol::Reply::BlockEntryValues, written}});
    QVariantList findings = AuditFindings::findings(audit);
    AuditFindings::sort(&findings);
    const QStringList severities = {QStringLiteral("fail"), QStringLiteral("warn"), QStringLiteral("info")};
    int previous = 0;
    for (const QVariant &entry : std::as_const(findings)) {
        const QVariantMap finding = entry.toMap();
        const int severity = severities.indexOf(finding.value(Protocol::Reply::FindingSeverity).toString());
        FUZZ_CHECK(severity >= previous, "findings come in order of severity");
        previous = severity;
        QString keyword;
        QVariant fixed;
        // sshd prints printable words only; of anything else the helper refuses the fix the audit made of it.
        if (AuditFindings::fix(finding, &keyword, &fixed) && printable) {
            CheckedValue checked;
            Refusal refusal;
            const Option *option = findOption(ConfigType::Server, keyword);
            FUZZ_CHECK(option && checkValue(*option, fixed, &checked, &refusal, installed), "a fix is a value the keyword table takes");
        }
    }

    ProgramResult failed;
    failed.started = failed.finished = true;
    failed.exitCode = 255;
    failed.standardError = output;
    const QString reason = failed.reason(QStringLiteral("sshd"));
    FUZZ_CHECK(!reason.isEmpty() && !reason.contains(QLatin1Char('\n')), "sshd's error is one line");
    return 0;
}
