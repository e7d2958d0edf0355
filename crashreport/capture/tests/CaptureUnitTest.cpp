// The parts of the capture path that need no child process: the BugID's checksum and text, the
// call stack of CallCrashReport, and the minimal fatal report's form.

#include "CrashBugId.h"
#include "CrashCallReport.h"
#include "CrashMinimalReport.h"
#include "CrashThreadRegistry.h"
#include "CrashThreadStop.h"
#include "TLogFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
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

// A thread waiting in read() on a pipe while another thread asks to stop it: it either answers
// the stop signal and goes on reading (the handler restarts the call), or, when it blocks the
// signal, is given up after the time-out.
class CaptureThreadStop : public ::testing::Test
{
protected:
    struct Outcome {
        bool copied = false;
        TCrashThreadCopy copy;
        std::chrono::milliseconds waited {};
        ssize_t readResult = 0;
        int readErrno = 0;
    };

    static Outcome stopWhileReading(bool blockSignal)
    {
        CrashInstallStopHandler();
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        std::atomic<long> tid { 0 };
        Outcome o;
        std::thread reader([&] {
            CrashReadThreadStack(CrashThisThreadStack());
            if (blockSignal) {
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, CrashStopSignal());
                pthread_sigmask(SIG_BLOCK, &set, nullptr);
            }
            tid = syscall(SYS_gettid);
            char byte = 0;
            o.readResult = read(fds[0], &byte, 1);
            o.readErrno = errno;
        });
        while (tid == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // inside read() by now
        o.copy.stack.resize(25600);
        const auto start = std::chrono::steady_clock::now();
        o.copied = CrashCopyThread(static_cast<std::uint64_t>(tid.load()), o.copy);
        o.waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(write(fds[1], "x", 1), 1);
        reader.join();
        close(fds[0]);
        close(fds[1]);
        return o;
    }
};

TEST_F(CaptureThreadStop, AnsweringThreadIsCopiedAndItsCallGoesOn)
{
    const Outcome o = stopWhileReading(false);
    EXPECT_TRUE(o.copied);
    EXPECT_TRUE(o.copy.stopped);
    EXPECT_NE(o.copy.context.rsp, 0u);
    EXPECT_GT(o.copy.stackBytes, 0u);
    EXPECT_EQ(o.readResult, 1) << "read() ended with errno " << o.readErrno;
}

TEST_F(CaptureThreadStop, ThreadBlockingTheSignalIsNotStopped)
{
    const Outcome o = stopWhileReading(true);
    EXPECT_FALSE(o.copied);
    EXPECT_FALSE(o.copy.stopped);
    EXPECT_FALSE(o.copy.gone);
    EXPECT_EQ(o.copy.stackBytes, 0u);
    EXPECT_GE(o.waited.count(), 90);
    EXPECT_LT(o.waited.count(), 2000);
    EXPECT_EQ(o.readResult, 1) << "read() ended with errno " << o.readErrno;
}

TEST_F(CaptureThreadStop, EndedThreadIsGone)
{
    std::atomic<long> tid { 0 };
    std::thread([&] { tid = syscall(SYS_gettid); }).join();
    TCrashThreadCopy copy;
    copy.stack.resize(16);
    EXPECT_FALSE(CrashCopyThread(static_cast<std::uint64_t>(tid.load()), copy));
    EXPECT_TRUE(copy.gone);
}
