// Values from outside the program (process and module names, debug-file names, exception
// messages, listener data, texts of the options) must not change the shape of a report: a name
// such as "\r\n\r\n\r\n\r\n-\r\n|x" could otherwise end the report in a saved log and start a
// second one, or forge an item that the log's readers trust.

#include "CrashTempFolder.h"
#include "ReportFixture.h"
#include "StrictXml.h"
#include "TLogFile.h"

#include <gtest/gtest.h>

#include <functional>

using namespace crashreport;
using namespace crashreport::testing;

namespace
{

// Four line breaks end a report in the log; a dash line, a line break and "|" start a table.
const std::string Hostile = "\r\n\r\n\r\n\r\n-\r\n|x";

class HostileThreads final : public ThreadInfoSource
{
public:
    std::optional<ThreadValues> thread(std::uint64_t id) const override
    {
        if (id == 1001)
            return ThreadValues { "Normal" + Hostile, "TThread" + Hostile, true };
        return std::nullopt;
    }
};

// The first control character of a text other than the CR LF pairs of its lines, or npos.
std::size_t strayControl(const std::string &text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            return i;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
            && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return i;
        if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0)
            return i;
    }
    return std::string::npos;
}

} // namespace

TEST(ReportInjection, HostileValuesStayInsideTheirCellOrItem)
{
    const struct {
        const char *where;
        std::function<void(ReportFixture &)> change;
        const char *itemToCheck; // an item whose value is known, or nullptr
        const char *itemValue;
    } cases[] = {
        { "process description",
            [](ReportFixture &f) { f.input.processes[2].description = "kworker" + Hostile; }, nullptr,
            nullptr },
        { "process path",
            [](ReportFixture &f) { f.input.processes[1].fileName = "/opt/a" + Hostile + "/vetu"; }, nullptr,
            nullptr },
        { "module description",
            [](ReportFixture &f) {
                auto module = std::make_shared<TCrashModule>(*f.input.modules[0]);
                module->description = Hostile;
                f.input.modules[0] = module;
            },
            nullptr, nullptr },
        { "procedure name", [](ReportFixture &f) { f.stack[1].procedureName = "run" + Hostile; }, nullptr,
            nullptr },
        { "unit name", [](ReportFixture &f) { f.stack[0].unitName = Hostile + "\t\x1B[2J"; }, nullptr,
            nullptr },
        { "assembler instruction",
            [](ReportFixture &f) { f.input.assembler[1].instruction = "mov" + Hostile; }, nullptr, nullptr },
        { "assembler procedure", [](ReportFixture &f) { f.input.assembler[0].procedureName = Hostile; },
            nullptr, nullptr },
        { "command line", [](ReportFixture &f) { f.input.application.commandLine = "vetu-config" + Hostile; },
            "1.4", "vetu-config        -  |x" },
        { "computer name",
            [](ReportFixture &f) {
                f.input.computer.name = "pc\xC2\x85"
                                        "1\xE2\x80\xA8"
                                        "2";
            },
            "5.1", "pc 1 2" },
        { "form text", [](ReportFixture &f) { f.input.controls.formText = "Vetu\x7F" + Hostile; }, nullptr,
            nullptr },
        { "exception message", [](ReportFixture &f) { f.input.exception.message = "failed" + Hostile; },
            "2.6", "failed\r\n\r\n\r\n\r\n-\r\n|x" },
        { "message forging an item",
            [](ReportFixture &f) { f.input.exception.message = "failed\n 2.7 ID: FORGED"; }, "2.7", "3F2A" },
        { "custom label", [](ReportFixture &f) { f.input.customData[0].first = "Device" + Hostile; }, nullptr,
            nullptr },
        { "custom value", [](ReportFixture &f) { f.input.customData[1].second = Hostile + "\x01"; }, "8.2",
            "\r\n\r\n\r\n\r\n-\r\n|x " },
        { "section title", [](ReportFixture &f) { f.crashOptions.setText(TextNetwork, "Network" + Hostile); },
            nullptr, nullptr },
        { "column title", [](ReportFixture &f) { f.crashOptions.setText(TextColumnAddress + 2, Hostile); },
            nullptr, nullptr },
        { "registers title", [](ReportFixture &f) { f.crashOptions.setText(TextRegisters, Hostile); },
            nullptr, nullptr },
    };
    CrashTempFolder dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.where);
        ReportFixture f;
        c.change(f);
        const CrashReportText r = f.build();
        EXPECT_EQ(strayControl(r.report), std::string::npos);
        EXPECT_EQ(r.report.find("\r\n\r\n\r\n\r\n"), std::string::npos);
        expectSameParts(splitReportParts(r.report), r);
        if (c.itemToCheck) {
            EXPECT_EQ(readReportItem(r.report, c.itemToCheck), c.itemValue);
        }

        // Saved between two ordinary reports, it reads back as one report of three.
        ReportFixture plain;
        const std::string name = dir.file(std::string(c.where) + ".crashlog");
        {
            TLogFile log(name);
            log.addReport(plain.build().report, -1);
            log.addReport(r.report, -1);
            log.addReport(plain.build().report, -1);
            ASSERT_TRUE(log.save()) << log.errorString();
        }
        const TLogFile again(name, true);
        ASSERT_EQ(again.count(), 3u);
        EXPECT_EQ(again.report(1), r.report + "\r\n\r\n\r\n");
        EXPECT_EQ(again.item("2.7", 1), "3F2A");
        EXPECT_EQ(xmlWellFormedError(again.toXml()), "");
    }
}

TEST(ReportInjection, ThreadCaptionFromTheRegistryStaysOneRow)
{
    ReportFixture f;
    HostileThreads threads;
    const CrashReportText r = TCrashReportBuilder(f.texts, f.clock, &threads).build(f.input, f.options);
    EXPECT_EQ(strayControl(r.report), std::string::npos);
    EXPECT_NE(r.callStack.find(
                  "|*Exception Thread: ID=1001; Priority=Normal        -  |x; Class=TThread        -  |x;"
                  " [Main]"),
        std::string::npos)
        << r.callStack;
    EXPECT_EQ(TLogFile::splitLogText(r.report + "\r\n\r\n\r\n").size(), 1u);
}
