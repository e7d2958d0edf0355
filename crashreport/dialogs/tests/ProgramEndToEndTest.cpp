// A real program with the crash-report library and its dialogs: a throw in an event handler of
// the throw probe shows the detailed dialog of the companion on the X server, which the test
// answers with xdotool as a user would.
#include "CrashTempFolder.h"
#include "XdoUser.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace crashreport::testing;

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ProgramEndToEndTest : public ::testing::Test {
protected:
    // Starts the probe in `mode`; it writes its starts and its log into the test's folder.
    void start(const std::string &mode)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("CRASH_PROBE_DIR", m_folder.path().c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", m_folder.path().c_str(), 1);
            ::execl(THROW_PROBE, THROW_PROBE, mode.c_str(), m_folder.path().c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(m_pid, 0);
    }

    // The exit code within `seconds`, or -1 when it still runs (then it is killed).
    int exitCode(int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    bool waitForLine(const std::string &line, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (readFile(starts()).find(line + "\n") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void answerDialog(const std::string &keys) { EXPECT_TRUE(AnswerWindow("Error occurred", keys)); }

    std::string starts() const { return m_folder.file("starts.txt"); }
    std::string log() const { return m_folder.file("crash_dialog_throw_probe.crashlog"); }

    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    crashreport::testing::CrashTempFolder m_folder{"e2e-program"};
    pid_t m_pid = -1;
};

} // namespace

TEST_F(ProgramEndToEndTest, TerminateEndsTheProgramWithExitCodeOne)
{
    start("terminate");
    answerDialog("alt+t");
    EXPECT_EQ(exitCode(30), 1);
    EXPECT_NE(readFile(log()).find("Probe failure."), std::string::npos) << "the report was saved first";
    EXPECT_FALSE(waitForLine("second", 3)) << "terminated, not restarted";
    EXPECT_EQ(readFile(starts()), "start\n");
}

TEST_F(ProgramEndToEndTest, RestartStartsTheProgramAgain)
{
    start("restart");
    answerDialog("alt+r");
    EXPECT_EQ(exitCode(30), 1);
    ASSERT_TRUE(waitForLine("second", 30)) << readFile(starts());
    EXPECT_EQ(readFile(starts()), "start\nstart\nsecond\n");
}

TEST_F(ProgramEndToEndTest, DialogKilledFromOutsideLetsTheReportFinish)
{
    start("continue");
    const std::string window = WaitForWindow("Error occurred");
    ASSERT_FALSE(window.empty());
    const std::string pid = XdoOutput("getwindowpid " + window);
    ASSERT_FALSE(pid.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::kill(std::stoi(pid), SIGKILL), 0);
    EXPECT_EQ(exitCode(30), 0);
    EXPECT_TRUE(waitForLine("continued", 1));
    EXPECT_NE(readFile(log()).find("Probe failure."), std::string::npos);
}

TEST_F(ProgramEndToEndTest, StepsToReproduceReachTheLog)
{
    start("reproduce");
    answerDialog("Return");
    const std::string request = WaitForWindow("Request");
    ASSERT_FALSE(request.empty());
    EXPECT_EQ(Xdo("windowfocus --sync " + request + " sleep 0.3 type 'Clicked Save twice'"), 0);
    EXPECT_TRUE(AnswerWindow("Request", "alt+o"));
    EXPECT_EQ(exitCode(30), 0);
    const std::string text = readFile(log());
    const std::size_t section = text.find("Request:");
    ASSERT_NE(section, std::string::npos) << text;
    EXPECT_NE(text.find("Clicked Save twice", section), std::string::npos);
    EXPECT_LT(section, text.find("Call Stack")) << "right after the general part";
}
