// The capture path end to end: a small Qt program that links the library fails in a given way;
// its exit code, standard output and log file show what the library did.

#include "CrashTempFolder.h"
#include "ProbeRunner.h"
#include "TLogFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using crashreport::TLogFile;
using crashreport::testing::CrashTempFolder;
using crashreport::testing::ProbeRun;
using crashreport::testing::readWholeFile;
using crashreport::testing::runProbe;

namespace
{

struct StackRow {
    std::vector<std::string> cells; // address, module, unit, class, procedure, line
};

std::string trim(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    return s.substr(i);
}

// The entry rows of a report's call-stack table, in order.
std::vector<StackRow> stackRows(const std::string &callStackPart)
{
    std::vector<StackRow> rows;
    std::size_t pos = 0;
    while (pos < callStackPart.size()) {
        std::size_t end = callStackPart.find("\r\n", pos);
        if (end == std::string::npos)
            end = callStackPart.size();
        const std::string line = callStackPart.substr(pos, end - pos);
        pos = end + 2;
        if (line.size() < 2 || line.front() != '|')
            continue;
        StackRow row;
        std::size_t start = 1;
        for (std::size_t bar = line.find('|', start); bar != std::string::npos; bar = line.find('|', start)) {
            row.cells.push_back(trim(line.substr(start, bar - start)));
            start = bar + 1;
        }
        if (row.cells.size() == 6 && row.cells[0] != "Address")
            rows.push_back(std::move(row));
    }
    return rows;
}

int printedNumber(const std::string &out, const std::string &key)
{
    const std::size_t at = out.find(key + " ");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size() + 1);
}

class CaptureProbe : public ::testing::Test
{
protected:
    // The time-out only tells a hang: generous, since a loaded machine or the sanitizers make
    // the 80 reports of the eight-thread case take a while.
    ProbeRun run(const std::string &scenario, const char *program = CAPTURE_PROBE, int timeoutSeconds = 120)
    {
        ProbeRun r = runProbe(program, scenario, folder.path(), timeoutSeconds);
        EXPECT_FALSE(r.timedOut) << scenario << " hung";
        return r;
    }
    TLogFile log(const char *program = "crash_capture_probe") const
    {
        return TLogFile(folder.file(std::string(program) + ".crashlog"), true);
    }
    CrashTempFolder folder { "capture" };
};

// A throw and a fault in a slot reached from a real mouse click: one report whose first entry is
// the failing function with its line, and the program goes on.
TEST_F(CaptureProbe, FailureInSlotGivesOneReportAtTheFailingLine)
{
    const struct {
        const char *scenario;
        const char *procedure;
        const char *type;
    } cases[] = {
        { "slot-throw", "throwingFunction", "std::runtime_error" },
        { "slot-fault", "faultingFunction", "crashreport::EAccessViolation" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(c.scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("ALIVE"), std::string::npos);
        EXPECT_EQ(printedNumber(r.out, "NOTIFIED"), 1);
        const TLogFile l = log();
        ASSERT_EQ(l.count(), 1u) << r.out << r.err;
        EXPECT_EQ(l.item("2.5", 0).value_or(""), c.type);
        const auto rows = stackRows(l.parts(0).callStack);
        ASSERT_FALSE(rows.empty());
        EXPECT_NE(rows[0].cells[4].find(c.procedure), std::string::npos) << l.parts(0).callStack;
        const std::string line = std::to_string(printedNumber(r.out, "THROW-LINE"));
        EXPECT_EQ(rows[0].cells[5].substr(0, line.size() + 1), line + "[") << l.parts(0).callStack;
        // Output kind 1 without a display: the report on standard output.
        EXPECT_NE(r.out.find("CrashReport 6.0.12"), std::string::npos);
    }
}

// An exception escaping a thread's routine is reported once, with the throw site, and the
// thread records; the process goes on where the thread's runtime lets it.
TEST_F(CaptureProbe, ExceptionEscapingAThreadIsReportedOnce)
{
    const struct {
        const char *scenario;
        int exitCode;
    } cases[] = {
        { "pthread", 0 },
        { "std-thread", 0 },
        // QThread's own start code ends the program on an escaping exception: the terminate
        // handler reports it, then the exit code is 1.
        { "qthread", 1 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(c.scenario);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        const TLogFile l = log();
        ASSERT_EQ(l.count(), 1u) << r.out << r.err;
        const auto rows = stackRows(l.parts(0).callStack);
        ASSERT_FALSE(rows.empty());
        EXPECT_NE(rows[0].cells[4].find("throwingFunction"), std::string::npos) << l.parts(0).callStack;
        // The main thread's record gives its own group.
        EXPECT_NE(l.parts(0).callStack.find("[Main]"), std::string::npos) << l.parts(0).callStack;
    }
}

// A thread that blocks the stop signal is not waited for beyond its time-out: its group says
// "not stopped" and the report goes on.
TEST_F(CaptureProbe, ThreadThatBlocksTheStopSignalIsReportedAsNotStopped)
{
    const ProbeRun r = run("blocked-thread");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("ALIVE"), std::string::npos) << r.out;
    const int blocked = printedNumber(r.out, "BLOCKED-TID");
    ASSERT_GT(blocked, 0) << r.out;
    const TLogFile l = log();
    ASSERT_EQ(l.count(), 1u) << r.out << r.err;
    const std::string &stack = l.parts(0).callStack;
    const auto rows = stackRows(stack);
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows[0].cells[4].find("throwingFunction"), std::string::npos) << stack;
    // The blocked thread's group: its caption, then the one row.
    const std::size_t caption = stack.find("ID=" + std::to_string(blocked) + ";");
    ASSERT_NE(caption, std::string::npos) << stack;
    const std::size_t nextCaption = stack.find("Thread: ID=", caption + 1);
    const std::string group = stack.substr(caption, nextCaption == std::string::npos ? std::string::npos : nextCaption - caption);
    EXPECT_NE(group.find("not stopped"), std::string::npos) << stack;
    EXPECT_EQ(stack.find("not stopped"), stack.rfind("not stopped")) << stack;
}

TEST_F(CaptureProbe, EightThreadsThrowingAtOnceGiveOneReportEach)
{
    const ProbeRun r = run("eight-threads");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printedNumber(r.out, "NOTIFIED"), 80);
    const TLogFile l = log();
    ASSERT_EQ(l.count(), 80u);
    for (std::size_t i = 0; i < l.count(); ++i) {
        const auto rows = stackRows(l.parts(i).callStack);
        ASSERT_FALSE(rows.empty());
        EXPECT_NE(rows[0].cells[4].find("throwingFunction"), std::string::npos) << i;
    }
}

TEST_F(CaptureProbe, ExceptionsWhileReportingGiveNoSecondReport)
{
    const ProbeRun thrown = run("listener-throws");
    EXPECT_EQ(thrown.exitCode, 0) << thrown.err;
    EXPECT_NE(thrown.out.find("ALIVE"), std::string::npos);
    EXPECT_EQ(log().count(), 1u);

    std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
    const ProbeRun second = run("listener-second");
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("SECOND-RESULT 0"), std::string::npos) << second.out;
    EXPECT_EQ(log().count(), 1u);
}

TEST_F(CaptureProbe, ListenerThatClearsTheHandledFlagStopsTheLogAndThreadsGoOn)
{
    const ProbeRun r = run("listener-clears");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printedNumber(r.out, "NOTIFIED"), 2); // the counting listener and the clearing one
    EXPECT_NE(r.out.find("OTHER-THREAD-RUNS"), std::string::npos);
    EXPECT_EQ(log().count(), 0u);
}

// Where no exception can be thrown: the minimal report in the log, exit code 1, no hang.
TEST_F(CaptureProbe, UnrecoverableFaultsWriteTheMinimalReportAndExit)
{
    for (const char *scenario : { "overflow-worker", "listener-faults" }) {
        SCOPED_TRACE(scenario);
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(scenario);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        const TLogFile l = log();
        ASSERT_EQ(l.count(), 1u) << readWholeFile(folder.file("crash_capture_probe.crashlog"));
        EXPECT_EQ(l.item("2.5", 0).value_or(""), "crashreport::EAccessViolation");
        EXPECT_FALSE(stackRows(l.parts(0).callStack).empty() && l.parts(0).callStack.empty());
    }
}

TEST_F(CaptureProbe, FreezeWatchdogReportsABlockedGuiThreadOnce)
{
    const ProbeRun blocked = run("freeze-blocked", CAPTURE_FREEZE_PROBE);
    EXPECT_EQ(blocked.exitCode, 0) << blocked.err;
    EXPECT_EQ(printedNumber(blocked.out, "NOTIFIED"), 1) << blocked.out;
    const TLogFile l = log("crash_capture_freeze_probe");
    ASSERT_EQ(l.count(), 1u);
    EXPECT_EQ(l.item("2.6", 0).value_or(""), "The application seems to be frozen.");
    EXPECT_NE(l.parts(0).callStack.find("blockedFunction"), std::string::npos) << l.parts(0).callStack;
    EXPECT_NE(l.parts(0).callStack.find("[Main]"), std::string::npos);

    const ProbeRun answers = run("freeze-answers", CAPTURE_FREEZE_PROBE);
    EXPECT_EQ(answers.exitCode, 0) << answers.err;
    EXPECT_EQ(printedNumber(answers.out, "NOTIFIED"), 0);
}

TEST_F(CaptureProbe, FiltersAbortAndSafeCallDecideWhetherToReport)
{
    const struct {
        const char *scenario;
        bool programHandles;
        std::size_t reports;
    } cases[] = {
        { "filter-none", false, 0 }, { "filter-caller", true, 0 }, { "abort", false, 0 },
        { "safecall", false, 1 }, // HandleSafeCall (Behaviour 0x40) is on by default
        { "safecall-off", false, 0 }, // off: the prefix keeps the exception from being reported again
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        const ProbeRun r = run(c.scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("ALIVE"), std::string::npos);
        EXPECT_EQ(r.out.find("PROGRAM-HANDLED") != std::string::npos, c.programHandles);
        EXPECT_EQ(printedNumber(r.out, "NOTIFIED"), static_cast<int>(c.reports));
        EXPECT_EQ(log().count(), c.reports);
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
    }
}

TEST_F(CaptureProbe, FilterWithRestartStartsTheProgramAgain)
{
    const ProbeRun r = run("restart");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(folder.file("done")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(readWholeFile(folder.file("done")), "2");
    EXPECT_EQ(log().count(), 1u);
}

TEST_F(CaptureProbe, CallCrashReportTakesLinesOfSevenFields)
{
    const ProbeRun r = run("call-report");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("RESULT 0"), std::string::npos);
    const TLogFile l = log();
    ASSERT_EQ(l.count(), 1u);
    EXPECT_EQ(l.item("2.5", 0).value_or(""), "EOleError");
    EXPECT_EQ(l.item("2.6", 0).value_or(""), "given as text");
    const auto rows = stackRows(l.parts(0).callStack);
    ASSERT_GE(rows.size(), 2u) << l.parts(0).callStack;
    for (const auto &row : rows) {
        EXPECT_NE(row.cells[4], "SixFields");
        EXPECT_NE(row.cells[4], "EightFields");
    }
    EXPECT_EQ(rows[0].cells[3], "TForm1");
    EXPECT_EQ(rows[0].cells[4], "Button1Click");
    EXPECT_EQ(rows[0].cells[5], "42[3]");
    EXPECT_EQ(rows[1].cells[3], "TOther");
    EXPECT_EQ(rows[1].cells[4], "Method");
}

TEST_F(CaptureProbe, BugIdIsStableAcrossRunsAndDiffersByThrowSite)
{
    auto bugId = [&](const char *scenario) {
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return log().item("2.7", 0).value_or("");
    };
    const std::string a1 = bugId("bugid-a"), a2 = bugId("bugid-a"), b = bugId("bugid-b");
    EXPECT_EQ(a1.size(), 4u);
    EXPECT_EQ(a1, a2);
    EXPECT_NE(a1, b);
}

// Return addresses left on the stack by calls that have returned show in the call stack (the
// scan cannot tell them), but the BugID takes only the frames the stack really holds.
TEST_F(CaptureProbe, StaleReturnAddressesStayOutOfTheBugId)
{
    auto report = [&](const char *scenario, std::string &stack) {
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const TLogFile l = log();
        stack = l.count() ? l.parts(0).callStack : std::string();
        return l.item("2.7", 0).value_or("");
    };
    std::string cleanStack, staleStack;
    const std::string clean = report("bugid-stale-0", cleanStack);
    const std::string stale = report("bugid-stale-40", staleStack);
    EXPECT_EQ(clean.size(), 4u);
    EXPECT_EQ(clean, stale);
    EXPECT_EQ(cleanStack.find("leaveStale"), std::string::npos) << cleanStack;
    EXPECT_NE(staleStack.find("leaveStale"), std::string::npos) << "no stale frame to leave out:\n" << staleStack;
}

// Output kind 2 builds an HTML page around the report, kept for the program to fetch.
TEST_F(CaptureProbe, HtmlOutputKeepsTheLastPage)
{
    const ProbeRun r = run("html-page");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("NO-PAGE-YET"), std::string::npos) << r.out;
    const std::size_t begin = r.out.find("PAGE-BEGIN\n"), end = r.out.find("\nPAGE-END");
    ASSERT_TRUE(begin != std::string::npos && end != std::string::npos && end > begin) << r.out;
    const std::string page = r.out.substr(begin + 11, end - begin - 11);
    EXPECT_NE(page.find("<PRE>"), std::string::npos) << page;
    EXPECT_NE(page.find("a &lt;b&gt;bold&lt;/b&gt; &amp; &quot;quoted&quot; message"), std::string::npos) << page;
    EXPECT_EQ(page.find("<b>bold"), std::string::npos) << page;
    EXPECT_NE(page.find("onClick=\"history.back()\""), std::string::npos) << page;
    EXPECT_EQ(log().count(), 1u);
}

// Objects that are no std::exception are reported with their type's name.
TEST_F(CaptureProbe, ThrownObjectsOfAnyTypeAreReported)
{
    const struct {
        const char *scenario;
        const char *type;
        const char *message;
    } cases[] = {
        { "garbage", "int", "" },
        { "garbage-text", "char const*", "plain text" },
        { "garbage-class", "(anonymous namespace)::NoVirtual", "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::remove(folder.file("crash_capture_probe.crashlog"));
        const ProbeRun r = run(c.scenario);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const TLogFile l = log();
        ASSERT_EQ(l.count(), 1u);
        EXPECT_EQ(l.item("2.5", 0).value_or(""), c.type);
        EXPECT_EQ(l.item("2.6", 0).value_or(""), c.message);
    }
}

TEST_F(CaptureProbe, FocusedPasswordFieldIsReportedAsAsterisks)
{
    const ProbeRun r = run("password");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const TLogFile l = log();
    ASSERT_EQ(l.count(), 1u);
    EXPECT_EQ(l.item("4.3", 0).value_or(""), "QLineEdit");
    EXPECT_EQ(l.item("4.4", 0).value_or(""), "******");
    EXPECT_EQ(l.report(0).find("secret"), std::string::npos);
}

TEST_F(CaptureProbe, UncaughtExceptionInMainIsReportedThenExitCodeOne)
{
    const ProbeRun r = run("terminate");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const TLogFile l = log();
    ASSERT_EQ(l.count(), 1u);
    const auto rows = stackRows(l.parts(0).callStack);
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows[0].cells[4].find("throwingFunction"), std::string::npos);
}

} // namespace
