// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// What the host key check reads: the line `ssh-keygen -l` prints of a key, judged as a key of the server, and the moduli
// file with the filter that keeps its strong groups. A fingerprint has a size, a SHA256 digest and a type; the filter
// takes away only group lines (one per weak group), keeps every other line byte for byte with its own end, never keeps
// a group under the limit, and the rewrite's diff only takes lines away.
#include "fuzzcheck.h"
#include "hostkeys.h"
#include "sshsettingsprotocol.h"
#include "unifieddiff.h"

#include <QRegularExpression>
#include <QVariantList>

using namespace HostKeys;

namespace
{
QList<QByteArray> linesWithEnds(const QByteArray &text)
{
    QList<QByteArray> lines;
    for (int start = 0; start < text.size();) {
        const int newline = text.indexOf('\n', start);
        const int stop = newline < 0 ? text.size() : newline + 1;
        lines.append(text.mid(start, stop - start));
        start = stop;
    }
    return lines;
}

bool isGroupLine(const QByteArray &line)
{
    const QList<QByteArray> fields = line.simplified().split(' ');
    return fields.size() == 7 && !fields.first().startsWith('#');
}

void checkFingerprint(const QByteArray &output, uint8_t flags)
{
    Fingerprint print;
    if (parseFingerprint(output, &print)) {
        static const QRegularExpression typeName(QStringLiteral("^[A-Z0-9-]+$"));
        FUZZ_CHECK(print.bits > 0, "a key has a size");
        FUZZ_CHECK(print.fingerprint.startsWith(QLatin1String("SHA256:")) && print.fingerprint.size() > 7, "a fingerprint is a SHA256 digest");
        FUZZ_CHECK(!print.fingerprint.contains(QLatin1Char(' ')) && !print.fingerprint.contains(QLatin1Char('\n')), "a fingerprint is one word");
        FUZZ_CHECK(typeName.match(print.type).hasMatch(), "a type is a word of capitals");
        const int end = output.indexOf('\n');
        FUZZ_CHECK(end < 0 || output.left(end).contains(print.fingerprint.toLatin1()), "only the first line is read");
    }
    Key key;
    key.file = QStringLiteral("/etc/ssh/ssh_host_key");
    key.print = print;
    key.configured = flags & 1;
    key.present = key.regular = flags & 2;
    key.fromLine = flags & 4;
    key.mode = flags & 8 ? 0644 : 0600;
    key.publicMode = flags & 16 ? 0666 : -1;
    key.origin = QStringLiteral("/etc/ssh/sshd_config:1");
    const QVariantList findings = keyFindings({key}, 0);
    for (const QVariant &entry : findings) {
        const QVariantMap finding = entry.toMap();
        const QString id = finding.value(SSHSettings::Protocol::Reply::FindingId).toString();
        const QString severity = finding.value(SSHSettings::Protocol::Reply::FindingSeverity).toString();
        FUZZ_CHECK(severity == QLatin1String("fail") || severity == QLatin1String("warn"), "a finding fails or warns");
        if (id == QLatin1String("hostkey-rsa-size")) {
            FUZZ_CHECK(print.type == QLatin1String("RSA") && print.bits < RecommendedBits, "only a small RSA key is too small");
            FUZZ_CHECK((severity == QLatin1String("fail")) == (print.bits < MinimumRsaBits), "an RSA key under the minimum fails");
        }
    }
    FUZZ_CHECK(key.servedBy({}), "any type signs when sshd offers every algorithm");
    key.servedBy({QStringLiteral("ssh-ed25519"), QStringLiteral("ecdsa-sha2-nistp256")});
}

void checkModuli(const QByteArray &contents)
{
    const Moduli moduli = readModuli(contents);
    FUZZ_CHECK(moduli.weak >= 0 && moduli.weak <= moduli.total, "weak groups are some of the groups");

    // The kept lines are lines of the file, in order, with their own ends; the lines taken away are weak groups.
    const QList<QByteArray> before = linesWithEnds(contents);
    const QList<QByteArray> after = linesWithEnds(moduli.strong);
    int at = 0;
    int removed = 0;
    for (const QByteArray &line : before) {
        if (at < after.size() && after.at(at) == line) {
            ++at;
        } else {
            FUZZ_CHECK(isGroupLine(line), "only a group line is taken away");
            ++removed;
        }
    }
    FUZZ_CHECK(at == after.size(), "every kept line is a line of the file, byte for byte");
    FUZZ_CHECK(removed == moduli.weak, "each weak group is one line taken away");

    for (const QByteArray &line : after) {
        if (isGroupLine(line)) {
            bool ok = false;
            const qlonglong size = line.simplified().split(' ').at(4).toLongLong(&ok);
            FUZZ_CHECK(ok && size + 1 >= RecommendedBits, "no kept group is under the limit");
        }
    }
    const Moduli again = readModuli(moduli.strong);
    FUZZ_CHECK(again.weak == 0 && again.total == moduli.total - moduli.weak && again.strong == moduli.strong, "the kept groups are all strong");
    FUZZ_CHECK(moduliFindings(moduli, QStringLiteral("/etc/ssh/moduli")).size() == (moduli.weak > 0 ? 1 : 0), "weak groups are one finding");

    // The diff of a short file only: past its table's bound (about 2000 lines each side) it replaces what lies between
    // the changes whole, and the table of a long file slows the fuzzer down.
    if (before.size() > 100) {
        return;
    }
    const QList<QByteArray> diff = unifiedDiff(QStringLiteral("/etc/ssh/moduli"), contents, moduli.strong).split('\n');
    int taken = 0;
    for (int i = 2; i < diff.size(); ++i) { // past "--- path" and "+++ path"
        FUZZ_CHECK(!diff.at(i).startsWith('+'), "the rewrite adds no line");
        taken += diff.at(i).startsWith('-');
    }
    FUZZ_CHECK(taken == moduli.weak, "the rewrite's diff takes away the weak groups");
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const uint8_t flags = input.ConsumeIntegral<uint8_t>();
    const QByteArray text = Fuzz::rest(input);
    checkFingerprint(text, flags);
    checkModuli(text);
    return 0;
}
