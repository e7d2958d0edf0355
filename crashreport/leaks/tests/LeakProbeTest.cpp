// The leak catcher end to end: small programs that link it first, with the catcher switched on
// by their stored options, leak or misuse memory; their exit code, output and log file show what
// the catcher and the crash-report library made of it.

#include "CrashTempFolder.h"
#include "ProbeRunner.h"
#include "TLogFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using crashreport::TLogFile;
using crashreport::testing::CrashTempFolder;
using crashreport::testing::ProbeRun;
using crashreport::testing::readWholeFile;
using crashreport::testing::runProbe;

namespace
{

int printedNumber(const std::string &out, const std::string &key)
{
    const std::size_t at = out.find(key + " ");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size() + 1);
}

class LeakProbe : public ::testing::Test
{
protected:
    ProbeRun run(const char *program, const std::string &scenario)
    {
        ProbeRun r = runProbe(program, scenario, folder.path(), 60);
        EXPECT_FALSE(r.timedOut) << scenario << " hung";
        return r;
    }
    std::string logPath(const char *program) const
    {
        return folder.file(std::filesystem::path(program).filename().string() + ".crashlog");
    }
    TLogFile log(const char *program) const { return TLogFile(logPath(program), true); }
    bool hasLog(const char *program) const { return std::filesystem::exists(logPath(program)); }
    CrashTempFolder folder { "leaks" };
};

// The one report of a leak run: its class and message, and its call-stack part.
struct LeakReport {
    std::string className;
    std::string message;
    std::string callStack;
};

LeakReport onlyReport(const TLogFile &log)
{
    EXPECT_EQ(log.count(), 1u);
    if (log.count() < 1)
        return {};
    return { log.item("2.5", 0).value_or(""), log.item("2.6", 0).value_or(""), log.parts(0).callStack };
}

TEST_F(LeakProbe, StoredOptionsOfVetuConfigInstallNothingAndShowNothing)
{
    const ProbeRun r = run(LEAK_OFF_PROBE, "two24");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printedNumber(r.out, "FLAGS"), 30);
    EXPECT_EQ(printedNumber(r.out, "TRACKING"), 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(hasLog(LEAK_OFF_PROBE));
}

TEST_F(LeakProbe, ProgramThatLeaksNothingReportsNothing)
{
    for (const char *program : { LEAK_PROBE, LEAK_QT_PROBE }) {
        SCOPED_TRACE(program);
        const ProbeRun r = run(program, "none");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(printedNumber(r.out, "TRACKING"), 1);
        EXPECT_FALSE(hasLog(program)) << readWholeFile(logPath(program));
    }
}

// Misuse found at release: one report each, the block kept, the program goes on.
TEST_F(LeakProbe, SecondReleaseAndOverrunAreReportedAtTheRelease)
{
    const struct {
        const char *scenario;
        const char *className;
        const char *message;
    } cases[] = {
        { "twice", "EMultiFree", "Multi Free memory leak" },
        { "overrun", "EMemoryOverrun", "Memory Overrun leak" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::remove(logPath(LEAK_PROBE));
        const ProbeRun r = run(LEAK_PROBE, c.scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(printedNumber(r.out, "ALIVE"), 1);
        const TLogFile l = log(LEAK_PROBE);
        const LeakReport report = onlyReport(l);
        EXPECT_EQ(report.className, c.className);
        EXPECT_EQ(report.message, c.message);
        EXPECT_NE(report.callStack.find("LeakProbe.cpp"), std::string::npos) << report.callStack;
    }
}

TEST_F(LeakProbe, LeaksOfOneSizeFromOnePlaceAreOneLeakWithTheirCount)
{
    const ProbeRun r = run(LEAK_PROBE, "two24");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const LeakReport report = onlyReport(log(LEAK_PROBE));
    EXPECT_EQ(report.className, "EMemoryLeak");
    EXPECT_EQ(report.message, "Memory Leak: Total size=48 - Count=2");
    EXPECT_NE(report.callStack.find("leak24"), std::string::npos) << report.callStack;
}

TEST_F(LeakProbe, TwoThousandLeaksAreCutTo1025)
{
    const ProbeRun r = run(LEAK_PROBE, "many");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const LeakReport report = onlyReport(log(LEAK_PROBE));
    // Sizes 1 to 1025 stay: their sum is 1025 * 1026 / 2.
    EXPECT_EQ(report.message, "Memory Leak: Total size=525825 - Count=1025");
}

TEST_F(LeakProbe, ObjectLeakIsNamedByItsClass)
{
    const ProbeRun r = run(LEAK_PROBE, "object");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const LeakReport report = onlyReport(log(LEAK_PROBE));
    EXPECT_EQ(report.message, "Memory Leak: Total size=48 - Count=1");
    EXPECT_NE(report.callStack.find("ProbeObject"), std::string::npos) << report.callStack;
    const std::string line = std::to_string(printedNumber(r.out, "LINE"));
    EXPECT_NE(report.callStack.find("|" + line + "["), std::string::npos) << line << report.callStack;
}

// With bit 0x02 what the constructor allocated is merged into the object; without it, the
// object and its two blocks are three leaks.
TEST_F(LeakProbe, ChildLeaksAreMergedIntoTheirObjectWithBit02)
{
    const ProbeRun merged = run(LEAK_PROBE, "children");
    EXPECT_EQ(merged.exitCode, 0) << merged.err;
    const int size = printedNumber(merged.out, "SIZE");
    EXPECT_EQ(onlyReport(log(LEAK_PROBE)).message,
        "Memory Leak: Total size=" + std::to_string(size) + " - Count=1");

    const ProbeRun unmerged = run(LEAK_UNMERGED_PROBE, "children");
    EXPECT_EQ(unmerged.exitCode, 0) << unmerged.err;
    EXPECT_EQ(onlyReport(log(LEAK_UNMERGED_PROBE)).message,
        "Memory Leak: Total size=" + std::to_string(size) + " - Count=3");
}

TEST_F(LeakProbe, EightThreadsAllocatingAtOnceKeepTheListWhole)
{
    const ProbeRun r = run(LEAK_PROBE, "threads");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const LeakReport report = onlyReport(log(LEAK_PROBE));
    EXPECT_EQ(report.message, "Memory Leak: Total size=256 - Count=8");
    EXPECT_NE(report.callStack.find("workerLeak"), std::string::npos) << report.callStack;
}

TEST_F(LeakProbe, BlockNotHandedOutByTheCatcherPassesThroughUnchanged)
{
    const ProbeRun r = run(LEAK_PROBE, "before");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printedNumber(r.out, "KEPT"), 1);
    EXPECT_EQ(printedNumber(r.out, "ALIGNED"), 1);
    EXPECT_EQ(printedNumber(r.out, "ALIVE"), 1);
    EXPECT_FALSE(hasLog(LEAK_PROBE)) << readWholeFile(logPath(LEAK_PROBE));
}

} // namespace
