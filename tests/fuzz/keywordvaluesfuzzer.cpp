// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The keyword table's check of a value, per kind: any keyword of either configuration, a value of any type the
// module may send, any installed version and `ssh -Q` lists. What it accepts is printable ASCII that sshd reads back
// as the words written; the interval and listen address readers stay in their ranges.
#include "configline.h"
#include "fuzzcheck.h"
#include "optioncatalog.h"

using namespace OptionCatalog;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto type = input.ConsumeBool() ? ConfigType::Client : ConfigType::Server;
    const int choice = input.ConsumeIntegral<uint16_t>();
    const int form = input.ConsumeIntegralInRange(0, 3);
    const int number = input.ConsumeIntegral<int>();
    Installed installed;
    installed.version = QList<int>{0, 804, 900, 908, 1000}.at(input.ConsumeIntegralInRange(0, 4));
    const QStringList supported = Fuzz::text(input, 256).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString text = Fuzz::text(input, 1024);

    const QList<Option> &options = OptionCatalog::options(type);
    const Option &option = options.at(choice % options.size());
    if (!supported.isEmpty()) {
        installed.algorithms.insert(option.values, supported);
    }
    const QVariant value = form == 0 ? QVariant(text)
        : form == 1                  ? QVariant(text.split(QLatin1Char('|')))
        : form == 2                  ? QVariant(number)
                                     : QVariant(bool(number & 1));
    CheckedValue checked;
    Refusal refusal;
    if (checkValue(option, value, &checked, &refusal, installed)) {
        FUZZ_CHECK(!checked.remove || checked.lines.isEmpty(), "a removal writes no line");
        for (const QByteArray &line : std::as_const(checked.lines)) {
            FUZZ_CHECK(!line.isEmpty(), "a line to write has a value");
            for (const char c : line) {
                FUZZ_CHECK(c >= 0x20 && c < 0x7f, "a value written is printable ASCII");
            }
            ConfigLine::Parsed parsed;
            FUZZ_CHECK(ConfigLine::parseLine(option.keyword.toLatin1() + ' ' + line, &parsed), "a line written is a keyword line");
            FUZZ_CHECK(parsed.keyword == option.keyword.toLatin1().toLower(), "a value keeps its keyword");
            FUZZ_CHECK(line.contains('"') || parsed.arguments.join(' ') == line, "a value reads back as the words written");
        }
    }
    const qint64 seconds = parseInterval(text);
    FUZZ_CHECK(seconds >= -1 && seconds <= 2147483647, "an interval is a number of seconds sshd takes, or none");
    QString address;
    QString port;
    if (splitListenAddress(text, &address, &port)) {
        FUZZ_CHECK(!address.isEmpty(), "a listen address has an address");
    }
    canonicalWord(text);
    return 0;
}
