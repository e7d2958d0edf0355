// The presenter and the real companion program. The first group sends the companion broken
// requests and checks that it ends by itself; the second runs the whole show step on an X server
// (Xvfb) and answers the dialogs with xdotool, as a user would.
#include "CrashTempFolder.h"
#include "DialogCodec.h"
#include "TCrashDialogPresenter.h"
#include "XdoUser.h"

#include <QImage>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

using namespace crashreport;
using crashreport::testing::AnswerWindow;
using crashreport::testing::TestXServer;
using crashreport::testing::WaitForWindow;

namespace {

std::string g_display;

// Starts the companion on one end of a socket pair; returns its pid and our end.
pid_t startCompanion(int &ours)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 3);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(COMPANION, COMPANION, "--channel", "3", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    ours = fds[0];
    return pid;
}

// The exit status within `seconds`, or -1 when it still runs (then it is killed).
int exitWithin(pid_t pid, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

TCrashShowRequest detailedRequest(const crashreport::testing::CrashTempFolder &folder)
{
    TCrashShowRequest r;
    r.dialogStyle = 3;
    r.beep = false;
    r.exceptionClass = "EAccessViolation";
    r.exceptionMessage = "Access violation at address 0000000000401000.";
    r.generalText = "Application:\r\n------------\r\n  1.1 Start Date: today";
    r.callStack = {{{"0000000000401000", "probe", "Probe.cpp", "", "crash", "7"}, 1, 0}};
    r.terminateAction = 2;
    r.settingsFile = folder.file("CrashReport.ini");
    return r;
}

} // namespace

struct BrokenRequestCase {
    const char *name;
    std::string bytes;
    bool closeAfter;
};

class CompanionBrokenRequestTest : public ::testing::TestWithParam<BrokenRequestCase> { };

TEST_P(CompanionBrokenRequestTest, EndsByItself)
{
    int fd = -1;
    const pid_t pid = startCompanion(fd);
    ASSERT_GT(pid, 0);
    const std::string &bytes = GetParam().bytes;
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    if (GetParam().closeAfter)
        ::shutdown(fd, SHUT_WR);
    const int code = exitWithin(pid, 20);
    ::close(fd);
    EXPECT_NE(code, -1) << GetParam().name << ": the companion hung";
    EXPECT_NE(code, 0) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CompanionBrokenRequestTest,
    ::testing::Values(BrokenRequestCase{"garbage", "\x10\x00\x00\x00\x99 what is this?", false},
                      BrokenRequestCase{"oversized", std::string("\xFF\xFF\xFF\xFF\x01", 5), false},
                      BrokenRequestCase{"truncated", EncodeDialogFrame(TDialogMessageType::ShowRequest, EncodeShowRequest({})).substr(0, 40), true},
                      BrokenRequestCase{"malformed payload", EncodeDialogFrame(TDialogMessageType::ShowRequest, "\x03\x00"), false},
                      BrokenRequestCase{"wrong first message", EncodeDialogFrame(TDialogMessageType::Quit), false},
                      BrokenRequestCase{"nothing at all", "", true}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &c : n)
            if (c == ' ')
                c = '_';
        return n;
    });

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("DISPLAY", g_display.c_str(), 1);
    }
    crashreport::testing::CrashTempFolder m_folder{"e2e"};
};

TEST_F(EndToEndTest, DetailedDialogShowsAndReturnIsOk)
{
    TCrashDialogPresenter presenter(COMPANION);
    TCrashShowRequest r = detailedRequest(m_folder);
    std::thread user([] { EXPECT_TRUE(AnswerWindow("Error occurred", "Return")); });
    const TCrashShowResult result = presenter.show(r, {});
    user.join();
    EXPECT_TRUE(result.painted);
    EXPECT_FALSE(result.terminateRequested);
    EXPECT_TRUE(result.warnings.empty());
    presenter.endReport();
}

TEST_F(EndToEndTest, RestartFromTheFourthReportAsksTheListeners)
{
    TCrashDialogPresenter presenter(COMPANION);
    TCrashShowRequest r = detailedRequest(m_folder);
    r.errorCount = 4;
    std::vector<int> actions;
    TCrashShowCallbacks callbacks;
    callbacks.actionNotify = [&](int action, bool flag) {
        actions.push_back(action);
        return flag;
    };
    std::thread user([] { EXPECT_TRUE(AnswerWindow("Error occurred", "alt+r")); });
    const TCrashShowResult result = presenter.show(r, callbacks);
    user.join();
    EXPECT_TRUE(result.terminateRequested);
    EXPECT_EQ(actions, (std::vector<int>{8})) << "0 and 1 are the report sequence's own";
    presenter.endReport();
}

TEST_F(EndToEndTest, DialogKilledFromOutsideLetsTheReportFinish)
{
    TCrashDialogPresenter presenter(COMPANION);
    TCrashShowRequest r = detailedRequest(m_folder);
    r.sendConfigured = true;
    std::thread killer([&] {
        WaitForWindow("Error occurred");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(presenter.companionPid(), SIGKILL);
    });
    const TCrashShowResult result = presenter.show(r, {});
    killer.join();
    EXPECT_TRUE(result.painted);
    EXPECT_TRUE(result.sendRequested) << "the defaults of a dialog closed with OK";
    EXPECT_FALSE(result.terminateRequested);
    EXPECT_EQ(presenter.companionPid(), -1);
}

TEST_F(EndToEndTest, ScreenshotIsTakenWithTheFocusFrameAndWrittenWhenSent)
{
    TCrashDialogPresenter presenter(COMPANION);
    TCrashShowRequest r = detailedRequest(m_folder);
    r.sendConfigured = true;
    r.screenshotRequested = true;
    r.screenshotFile = m_folder.file("Screenshot.png");
    r.topLevelWindows = {{100, 100, 300, 200}};
    r.hasFocusRect = true;
    r.focusRect = {150, 150, 40, 20};
    r.cursorX = 400;
    r.cursorY = 400;
    std::thread user([] { EXPECT_TRUE(AnswerWindow("Error occurred", "Return")); });
    const TCrashShowResult result = presenter.show(r, {});
    user.join();
    ASSERT_EQ(result.screenshotFile, r.screenshotFile);
    const std::string check = "pngcheck -q '" + r.screenshotFile + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0);
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(r.screenshotFile)));
    // Xvfb's one screen is the area; the frame is two pixels wide on the control's inner edge.
    EXPECT_EQ(image.pixel(150, 150) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(151, 160) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(189, 169) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(image.pixel(152, 160) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(401, 405) & 0xFFFFFF, 0xFFFFFFu) << "the cursor is drawn in";
    presenter.endReport();
}

TEST_F(EndToEndTest, ProgressWindowFollowsTheProgramUntilTheReportEnds)
{
    TCrashDialogPresenter presenter(COMPANION);
    TCrashShowRequest r = detailedRequest(m_folder);
    std::thread user([] { EXPECT_TRUE(AnswerWindow("Error occurred", "Return")); });
    ASSERT_TRUE(presenter.show(r, {}).painted);
    user.join();
    presenter.progressOpen(true);
    presenter.progressUpdate("Connecting with server...", 40, 100);
    EXPECT_NE(WaitForWindow("Send\\."), "");
    presenter.progressClose();
    const pid_t pid = presenter.companionPid();
    EXPECT_GT(pid, 0);
    presenter.endReport();
    EXPECT_EQ(presenter.companionPid(), -1);
    EXPECT_NE(::kill(pid, 0), 0) << "the companion has ended";
}

TEST_F(EndToEndTest, SendFlowBoxBlocksUntilTheUserClosesIt)
{
    TCrashDialogPresenter presenter(COMPANION);
    std::atomic<bool> returned{false};
    std::thread sendFlow([&] {
        presenter.messageBox("Information.", "The message was sent successfully.", 0);
        returned = true;
    });
    ASSERT_NE(WaitForWindow("Information\\."), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned) << "the box is still open";
    EXPECT_TRUE(AnswerWindow("Information\\.", "Return"));
    sendFlow.join();
    EXPECT_TRUE(returned);
    EXPECT_GT(presenter.companionPid(), 0) << "the companion stays until the report ends";
    EXPECT_TRUE(presenter.copyToClipboard("The report."));
    presenter.endReport();
    EXPECT_EQ(presenter.companionPid(), -1);
}

TEST_F(EndToEndTest, CompanionPreparedAheadShowsTheReportAndIsReplacedAfterIt)
{
    TCrashDialogPresenter presenter(COMPANION);
    presenter.prepareAhead();
    const pid_t prepared = presenter.companionPid();
    ASSERT_GT(prepared, 0);
    std::this_thread::sleep_for(std::chrono::seconds(11)); // longer than a started one waits for its request
    std::thread user([] { EXPECT_TRUE(AnswerWindow("Error occurred", "Return")); });
    const TCrashShowResult result = presenter.show(detailedRequest(m_folder), {});
    user.join();
    EXPECT_TRUE(result.painted);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(presenter.companionPid(), prepared) << "the prepared companion took the report";
    presenter.endReport();
    EXPECT_GT(presenter.companionPid(), 0);
    EXPECT_NE(presenter.companionPid(), prepared) << "a fresh one waits for the next report";
    EXPECT_NE(::kill(prepared, 0), 0) << "the used one has ended";
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Run on an X server of our own when none is given; listing the tests needs none.
    const char *display = std::getenv("DISPLAY");
    crashreport::testing::TestXServer server;
    if ((!display || !*display) && !::testing::GTEST_FLAG(list_tests)) {
        if (!server.start()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return 1;
        }
        display = std::getenv("DISPLAY");
    }
    g_display = display ? display : "";
    return RUN_ALL_TESTS();
}
