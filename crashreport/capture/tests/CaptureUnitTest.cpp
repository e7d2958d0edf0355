// The parts of the capture path that need no child process: the BugID's checksum and text, the
// call stack of CallCrashReport, and the minimal fatal report's form.

#include "CrashBugId.h"
#include "CrashCallReport.h"
#include "CrashMinimalReport.h"
#include "TLogFile.h"

#include <gtest/gtest.h>

#include <vector>

using namespace crashreport;

TEST(CaptureBugId, Crc16IsTheXmodemVariant)
{
    EXPECT_EQ(CrashCrc16("123456789"), 0x31C3);
    EXPECT_EQ(CrashCrc16(""), 0);
    EXPECT_EQ(CrashBugIdText(0x31C3), "31C3");
    EXPECT_EQ(CrashBugIdText(0x00AB), "00AB");
}

TEST(CaptureBugId, SourceTakesLineEntriesOfTheFirstThreadOnly)
{
    TCrashStackList stack;
    auto entry = [](std::uint8_t kind, std::uint64_t thread, std::uint8_t group, const char *proc,
                     std::uint32_t offset) {
        TCrashStackEntry e;
        e.kind = kind;
        e.threadId = thread;
        e.groupKind = group;
        e.unitName = "Unit.cpp";
        e.className = "TForm";
        e.procedureName = proc;
        e.lineOffset = offset;
        return e;
    };
    stack.add(entry(StackKindLine, 7, 1, "First", 2));
    stack.add(entry(StackKindProcedure, 7, 1, "NoLine", 0));
    stack.add(entry(StackKindLine, 7, 1, "Second", 11));
    stack.add(entry(StackKindLine, 8, 1, "OtherThread", 1));
    stack.add(entry(StackKindLine, 7, 0, "CreatorCopy", 1));
    EXPECT_EQ(CrashBugIdSource("probe - (Probe)", "probe", "std::runtime_error", stack),
        "probe - (Probe)probestd::runtime_errorUnit.cppTFormFirst2Unit.cppTFormSecond11");
}

TEST(CaptureCallReport, OnlyLinesOfSevenFieldsBecomeEntries)
{
    TCrashStackList list;
    CrashParseStackText("100|m.so|U.cpp|TA|Run|12|3\n"
                        "101|m.so|U.cpp|TA|Six|13\r\n"
                        "102|m.so|U.cpp|TA|Eight|14|1|x\r\n"
                        "103|m.so|U.cpp||TB.Inner.Go|0|0\r\n"
                        "x04|m.so|U.cpp|TA|BadAddress|1|1\r\n"
                        "105|m.so|||Plain|0|0",
        42, list);
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(list[0].address, 100u);
    EXPECT_TRUE(list[0].groupStart);
    EXPECT_EQ(list[0].kind, StackKindLine);
    EXPECT_EQ(list[0].line, 12u);
    EXPECT_EQ(list[0].lineOffset, 3u);
    EXPECT_EQ(list[0].threadId, 42u);
    EXPECT_EQ(list[1].className, "TB.Inner");
    EXPECT_EQ(list[1].procedureName, "Go");
    EXPECT_EQ(list[1].kind, StackKindUnit);
    EXPECT_FALSE(list[1].groupStart);
    EXPECT_EQ(list[2].kind, StackKindProcedure);
    EXPECT_EQ(list[2].className, "");
}

TEST(CaptureMinimalReport, IsAReportTheLogReaderKeeps)
{
    CrashFillMinimalModules();
    // A return address inside this test program: behind the call of the function below.
    std::vector<std::uint64_t> stack
        = { 0, 12345, reinterpret_cast<std::uint64_t>(__builtin_return_address(0)) };
    TCrashMinimalFacts facts;
    facts.className = "crashreport::EAccessViolation";
    facts.message = "Access violation at address 0000000000001000. Read of address 0000000000000000";
    facts.address = reinterpret_cast<std::uint64_t>(&CrashFillMinimalModules);
    facts.stack = stack.data();
    facts.stackValues = stack.size();
    char buffer[16384];
    TCrashFixedText text(buffer, sizeof buffer);
    CrashFormatMinimalReport(text, "probe", facts);
    const std::string report(text.data(), text.length());
    const auto reports = TLogFile::splitLogText("\r\n\r\n\r\n\r\n" + report + "\r\n\r\n\r\n");
    ASSERT_EQ(reports.size(), 1u) << report;
    EXPECT_NE(report.find("  2.5 Type            : crashreport::EAccessViolation\r\n"), std::string::npos);
    EXPECT_NE(report.find("|Address         |Module"), std::string::npos) << report;
    EXPECT_NE(report.find("crash_capture_units"), std::string::npos) << report;
}

TEST(CaptureMinimalReport, FixedTextCutsAtItsEnd)
{
    char buffer[8];
    TCrashFixedText text(buffer, sizeof buffer);
    text.add("0123456789");
    text.addHex(0xAB, 2);
    EXPECT_EQ(std::string(text.data(), text.length()), "0123456");
    char numbers[32];
    TCrashFixedText n(numbers, sizeof numbers);
    n.addDecimal(0);
    n.add(" ");
    n.addDecimal(18446744073709551615ull);
    EXPECT_EQ(std::string(n.data(), n.length()), "0 18446744073709551615");
}
