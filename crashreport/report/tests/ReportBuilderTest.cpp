#include "CpuSection.h"
#include "ReportFixture.h"
#include "ReportItems.h"
#include "TLogItem.h"

#include <gtest/gtest.h>

using namespace crashreport;
using namespace crashreport::testing;

namespace {
std::size_t occurrences(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}
} // namespace

TEST(ReportBuilder, FullReportMatchesGoldenFile)
{
    ReportFixture f;
    expectGolden("report-full.txt", f.build().report);
}

TEST(ReportBuilder, ReportWithoutModulesAssemblerAndCpuMatchesGoldenFile)
{
    ReportFixture f;
    f.options.logSections = 0;
    f.options.stackFlags = 0;
    f.options.fields.set(FieldStartDate, false);
    f.options.fields.set(FieldCustomData, false);
    f.options.consoleProgram = true;
    expectGolden("report-reduced.txt", f.build().report);
}

TEST(ReportBuilder, PartsMakeTheReportAndAreFoundAgainInIt)
{
    const struct {
        std::uint8_t logSections;
        bool custom;
        bool registers;
    } cases[] = { { 0x30, true, true }, { 0x30, false, false }, { 0x10, true, true }, { 0x20, false, true }, { 0, true, false } };
    for (const auto &c : cases) {
        ReportFixture f;
        f.options.logSections = c.logSections;
        if (!c.custom)
            f.input.customData.clear();
        if (!c.registers) {
            f.input.registers = {};
            f.input.stackDump.clear();
        }
        const CrashReportText r = f.build();
        EXPECT_EQ(r.report, r.general + r.callStack + r.modules + r.processes + r.assembler + r.cpu + r.custom);
        const ReportParts p = splitReportParts(r.report);
        SCOPED_TRACE(int(c.logSections));
        expectSameParts(p, r);
        // A report never holds the log's separator of four line breaks.
        EXPECT_EQ(r.report.find("\r\n\r\n\r\n\r\n"), std::string::npos);
    }
}

TEST(ReportBuilder, HiddenItemKeepsTheNumbersOfTheOthers)
{
    ReportFixture f;
    f.options.fields.set(FieldStartDate, false);
    const std::string report = f.build().report;
    EXPECT_EQ(report.find("  1.1 "), std::string::npos);
    EXPECT_EQ(readReportItem(report, "1.3"), "1.04.1");
    EXPECT_EQ(readReportItem(report, "1.2"), "vetu-config - (Vetu configuration)");
}

TEST(ReportBuilder, SectionWithAllItemsHiddenDisappears)
{
    ReportFixture f;
    for (int field = FieldUserId; field <= FieldUserCompany; ++field)
        f.options.fields.set(field, false);
    const std::string report = f.build().report;
    EXPECT_EQ(report.find("User:"), std::string::npos);
    EXPECT_NE(report.find("Exception:"), std::string::npos);
    EXPECT_EQ(readReportItem(report, "4.1"), "TMainForm"); // numbers of later sections stay
}

TEST(ReportBuilder, PasswordControlTextIsMaskedAndConsoleProgramsShowNoControls)
{
    ReportFixture f;
    EXPECT_EQ(readReportItem(f.build().report, "4.4"), "******");
    f.input.controls.controlIsPassword = false;
    EXPECT_EQ(readReportItem(f.build().report, "4.4"), "secret");
    f.options.consoleProgram = true;
    EXPECT_EQ(f.build().report.find("Active Controls:"), std::string::npos);
}

TEST(ReportBuilder, ItemValuesFollowTheirFormats)
{
    ReportFixture f;
    f.input.exception.address = 0;
    f.input.computer.display.reset();
    f.input.application.description.clear();
    const std::string report = f.build().report;
    const struct {
        const char *item;
        const char *value;
    } cases[] = {
        { "1.1", "Wed, 9 Dec 2026 13:04:04 +0100" },
        { "1.2", "vetu-config" },
        { "1.5", "Sun, 6 Dec 2026 15:05:09 +0100" },
        { "1.6", "2 hours, 1 minute, 5 seconds" },
        { "2.1", "Wed, 9 Dec 2026 15:05:09 +0100" },
        { "2.2", "" },
        { "2.8", "1" },
        { "2.9", "New" },
        { "2.10", "" },
        { "5.2", "16384 Mb" },
        { "5.3", "9877 Mb" },
        { "5.6", "3 days, 4 hours, 1 minute, 2 seconds" },
        { "5.8", "unknown" },
        { "5.9", "unknown" },
        { "7.5", "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(readReportItem(report, c.item), c.value) << c.item;
}

TEST(ReportBuilder, CallStackPrintsKindsByFlagsAndGroupsByThread)
{
    ReportFixture f;
    const struct {
        std::uint8_t flags;
        bool procedures;
        bool units;
    } cases[] = { { 0, false, false }, { 1, true, false }, { 2, false, true }, { 3, true, true } };
    for (const auto &c : cases) {
        f.options.stackFlags = c.flags;
        const std::string table = f.build().callStack;
        SCOPED_TRACE(int(c.flags));
        EXPECT_NE(table.find("|SaveVelocitySettingsButtonClick|212[14]|"), std::string::npos);
        EXPECT_EQ(table.find("QObject::event") != std::string::npos, c.procedures);
        EXPECT_EQ(table.find("main.cpp") != std::string::npos, c.units);
        EXPECT_EQ(table.find("7FFFF7A81234"), std::string::npos); // kind 1 is never printed
        EXPECT_EQ(table.find("00001234"), std::string::npos);     // nor kind 0
        EXPECT_EQ(table.find("clone3") != std::string::npos, c.procedures);
        // Thread 1003 has printed entries only with kind 2; it is not in the registry.
        EXPECT_EQ(table.find("Running Thread: ID=1003; Priority=??; Class=") != std::string::npos, c.procedures);
    }
    f.options.stackFlags = 0;
    const std::string table = f.build().callStack;
    EXPECT_NE(table.find("|*Exception Thread: ID=1001; Priority=Normal; Class=; [Main]"), std::string::npos);
    EXPECT_NE(table.find("|Running Thread: ID=1002; Priority=Above-Normal; Class=TWorkerThread "), std::string::npos);
    EXPECT_NE(table.find("|Calling Thread: ID=1002; Priority=Above-Normal; Class=TWorkerThread "), std::string::npos);
    EXPECT_EQ(occurrences(table, "Thread: ID="), 3u);
    // The value holding "|" stays in its cell.
    EXPECT_NE(table.find("|run|loop "), std::string::npos);
    EXPECT_NE(table.find("|33[2]  |"), std::string::npos);
}

TEST(ReportBuilder, EmptyListsStillGiveFramedTables)
{
    ReportFixture f;
    TCrashStackList empty;
    f.input.stack = &empty;
    f.input.modules.clear();
    f.input.processes.clear();
    const CrashReportText r = f.build();
    const std::string dashes(50, '-');
    EXPECT_EQ(r.callStack, "\r\nCall Stack Information:\r\n" + dashes + "\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n"
                               + dashes + "\r\n" + dashes + "\r\n\r\n");
    EXPECT_NE(r.modules.find("|Handle          |Name|"), std::string::npos);
}

TEST(ReportBuilder, ModulesAndProcessesSwitchedOffLeaveTheirTitles)
{
    ReportFixture f;
    f.options.logSections = 0;
    const CrashReportText r = f.build();
    EXPECT_EQ(r.modules, "Modules Information:\r\n" + std::string(20, '-') + "\r\n\r\n");
    EXPECT_EQ(r.processes, "Processes Information:\r\n" + std::string(22, '-') + "\r\n\r\n");
    EXPECT_EQ(r.assembler, "Assembler Information:\r\n" + std::string(22, '-') + "\r\n");
    EXPECT_EQ(r.cpu, "\r\n\r\nRegisters:\r\n----------\r\n\r\n");
}

TEST(ReportBuilder, CpuSectionWithoutContextOrReadableMemory)
{
    const std::string dumpDashes = std::string(34, '-') + "   " + std::string(83, '-') + "\r\n";
    ReportFixture f;
    f.input.registers = {};
    f.input.memoryDump.resize(255);
    const std::string cpu = f.build().cpu;
    EXPECT_NE(cpu.find("RAX: ????               RDI: ????            \r\n"), std::string::npos);
    EXPECT_NE(cpu.find("R11: ????               R15: ????            \r\n"), std::string::npos);
    EXPECT_TRUE(cpu.ends_with(dumpDashes));
    // A stack dump one byte short is not printed either.
    ReportFixture g;
    g.input.stackDump.resize(127);
    EXPECT_TRUE(g.build().cpu.ends_with(dumpDashes));
}

TEST(ReportBuilder, CustomDataNeedsLinesAndItsShowFlag)
{
    ReportFixture f;
    EXPECT_NE(f.build().report.find("Custom Information:"), std::string::npos);
    EXPECT_EQ(readReportItem(f.build().report, "8.2"), "Save: set 5\r\nwith new offset");
    f.options.fields.set(FieldCustomData, false);
    EXPECT_EQ(f.build().report.find("Custom Information:"), std::string::npos);
    f.options.fields.set(FieldCustomData, true);
    f.input.customData.clear();
    EXPECT_EQ(f.build().custom, "");
}

TEST(ReportBuilder, SectionInsertedAfterTheGeneralPart)
{
    ReportFixture f;
    CrashReportText r = f.build();
    const std::string before = r.general;
    TLogItem request(7);
    request.addSection("Request");
    request.addItem("Request", "Clicked save twice", true);
    insertSectionAfterGeneral(r, request.text());
    EXPECT_EQ(r.report.substr(0, r.general.size()), r.general);
    EXPECT_TRUE(r.general.starts_with(before));
    EXPECT_EQ(readReportItem(r.report, "8.1"), "Clicked save twice");
    EXPECT_EQ(readReportItem(r.report, "7.6"), "Yes");
    EXPECT_EQ(splitReportParts(r.report).general, r.general);
}

TEST(ReportBuilder, ShowFlagsAndTextsComeFromTheOptions)
{
    ReportFixture f;
    f.crashOptions.setReportFields(AllReportFields & ~std::uint64_t(1)); // bit 0: Start Date
    f.crashOptions.setStackFlags(0);
    f.crashOptions.setLogSections(0);
    f.crashOptions.setText(TextApplication, "Anwendung");
    f.options = reportOptionsFrom(f.crashOptions);
    const std::string report = f.build().report;
    EXPECT_EQ(readReportItem(report, "1.1"), std::nullopt);
    EXPECT_EQ(readReportItem(report, "1.3"), "1.04.1");
    EXPECT_NE(report.find("Anwendung:\r\n"), std::string::npos);
    EXPECT_EQ(report.find("QObject::event"), std::string::npos);
    EXPECT_NE(report.find("Modules Information:\r\n" + std::string(20, '-') + "\r\n\r\n"), std::string::npos);

    f.crashOptions.setReportFields(AllReportFields & ~(std::uint64_t(1) << 47));
    f.input.customData = { { "Key", "Value" } };
    EXPECT_EQ(TCrashReportBuilder(f.texts, f.clock).build(f.input, reportOptionsFrom(f.crashOptions)).custom, "");
}

TEST(ReportBuilder, CpuValuesReadFromALiveContext)
{
    ReportFixture f;
    TCrashCpuContext context;
    context.valid = true;
    context.rax = 0x1122334455667788;
    std::vector<std::uint64_t> stackValues(32, 0x4141414141414141);
    context.rsp = reinterpret_cast<std::uintptr_t>(stackValues.data());
    f.input.exception.address = reinterpret_cast<std::uintptr_t>(&readReportItem);
    fillCpuValues(f.input, context);
    EXPECT_FALSE(f.input.assembler.empty());
    EXPECT_EQ(f.input.stackDump.size(), CpuStackDumpSize);
    EXPECT_EQ(f.input.memoryDump.size(), CpuMemoryDumpSize);
    f.input.customData = { { "Key", "Value" } };
    const CrashReportText r = f.build();
    EXPECT_NE(r.cpu.find("RAX: 1122334455667788"), std::string::npos);
    EXPECT_NE(r.cpu.find(": 4141414141414141   "), std::string::npos);
    EXPECT_EQ(occurrences(r.assembler, "<-- EXCEPTION"), 1u);
    const ReportParts p = splitReportParts(r.report);
    expectSameParts(p, r);
    EXPECT_EQ(r.report.find("\r\n\r\n\r\n\r\n"), std::string::npos);

    // Unreadable code and no context: no instructions, no dumps, question marks.
    f.input.exception.address = 0x1000;
    fillCpuValues(f.input, TCrashCpuContext {});
    EXPECT_TRUE(f.input.assembler.empty());
    EXPECT_TRUE(f.input.stackDump.empty());
    EXPECT_TRUE(f.input.memoryDump.empty());
    EXPECT_NE(f.build().cpu.find("RAX: ????   "), std::string::npos);
}
