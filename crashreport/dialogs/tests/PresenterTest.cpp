// The presenter against companions that break the conversation: the show step always ends, with
// the warning when nothing was shown and the default answers of a dialog closed with OK.
#include "TCrashDialogPresenter.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace crashreport;

namespace {

// The stand-in companion needs no display, but the presenter starts one only where a window can
// be seen.
void useDisplay()
{
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", ":99", 1);
}

struct BadCase {
    const char *mode;
    bool painted;
};

class PresenterBadCompanionTest : public ::testing::TestWithParam<BadCase> {
protected:
    void SetUp() override
    {
        useDisplay();
        ::setenv("BAD_MODE", GetParam().mode, 1);
    }
};

} // namespace

TEST_P(PresenterBadCompanionTest, EndsTheShowStepWithDefaults)
{
    TCrashDialogPresenter presenter(BAD_COMPANION);
    presenter.setStartTimeoutMs(700);
    TCrashShowRequest request;
    request.sendConfigured = true;
    std::vector<int> actions;
    TCrashShowCallbacks callbacks;
    callbacks.actionNotify = [&](int action, bool flag) {
        actions.push_back(action);
        return flag;
    };
    const TCrashShowResult result = presenter.show(request, callbacks);
    EXPECT_EQ(result.painted, GetParam().painted);
    EXPECT_TRUE(result.sendRequested);
    EXPECT_FALSE(result.terminateRequested);
    if (!GetParam().painted) {
        ASSERT_EQ(result.warnings.size(), 1u);
        EXPECT_EQ(result.warnings[0], "Cannot show the DialogBox window.");
    }
    EXPECT_FALSE(presenter.lastError().empty());
    EXPECT_TRUE(actions.empty()) << "the report sequence fires 0 and 1 itself";
    EXPECT_EQ(presenter.companionPid(), -1) << "a companion that broke the conversation is ended";
}

INSTANTIATE_TEST_SUITE_P(Modes, PresenterBadCompanionTest,
                         ::testing::Values(BadCase{"garbage", false}, BadCase{"truncated", false},
                                           BadCase{"oversized", false}, BadCase{"malformed", false},
                                           BadCase{"silent", false}, BadCase{"dies", false},
                                           BadCase{"painted-then-dies", true}),
                         [](const auto &info) {
                             std::string n = info.param.mode;
                             for (char &c : n)
                                 if (c == '-')
                                     c = '_';
                             return n;
                         });

TEST(PresenterTest, AnswersActionEventsAndTakesTheResult)
{
    useDisplay();
    ::setenv("BAD_MODE", "ok", 1);
    TCrashDialogPresenter presenter(BAD_COMPANION);
    std::vector<std::pair<int, bool>> actions;
    TCrashShowCallbacks callbacks;
    callbacks.actionNotify = [&](int action, bool flag) {
        actions.emplace_back(action, flag);
        return action == 8 ? false : flag; // the listener cancels terminating
    };
    const TCrashShowResult result = presenter.show({}, callbacks);
    EXPECT_TRUE(result.painted);
    EXPECT_FALSE(result.terminateRequested);
    EXPECT_EQ(result.reproduceText, "steps");
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(actions, (std::vector<std::pair<int, bool>>{{8, true}}));
    EXPECT_GT(presenter.companionPid(), 0) << "kept for the progress window until the report ends";
    presenter.endReport();
    EXPECT_EQ(presenter.companionPid(), -1);
}

TEST(PresenterTest, MissingCompanionGivesTheWarning)
{
    useDisplay();
    TCrashDialogPresenter presenter("/nonexistent/crashreport-dialog");
    const TCrashShowResult result = presenter.show({}, {});
    EXPECT_FALSE(result.painted);
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0], ShowErrorWarning);
}

TEST(PresenterTest, NoWindowsWithoutADisplayOrOnTheOffscreenPlatform)
{
    struct Case {
        const char *display;
        const char *platform;
        bool windows;
    } cases[] = {{":1", "xcb", true}, {"", "xcb", false}, {":1", "offscreen", false}, {":1", "minimal", false}};
    for (const Case &c : cases) {
        ::setenv("DISPLAY", c.display, 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", c.platform, 1);
        EXPECT_EQ(CrashCanShowWindows(), c.windows) << c.display << " " << c.platform;
    }
    // Nothing can be shown: no companion, no warning (the report goes to standard output).
    TCrashDialogPresenter presenter(BAD_COMPANION);
    const TCrashShowResult result = presenter.show({}, {});
    EXPECT_FALSE(result.painted);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(presenter.companionPid(), -1);
}

TEST(PresenterTest, SendFlowBoxesAndClipboardFallBackWithoutADisplay)
{
    ::setenv("DISPLAY", "", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    TCrashDialogPresenter presenter(BAD_COMPANION);
    ::testing::internal::CaptureStderr();
    presenter.messageBox("Error.", "HTTP error code: 404", 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error.: HTTP error code: 404\n");
    EXPECT_FALSE(presenter.copyToClipboard("report"));
    EXPECT_EQ(presenter.companionPid(), -1) << "nothing started";
}

TEST(PresenterTest, SendFlowBoxFallsBackWhenTheCompanionBreaks)
{
    useDisplay();
    ::setenv("BAD_MODE", "garbage", 1);
    TCrashDialogPresenter presenter(BAD_COMPANION);
    presenter.setStartTimeoutMs(700);
    ::testing::internal::CaptureStderr();
    presenter.messageBox("Information.", "The message was sent successfully.", 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Information.: The message was sent successfully.\n");
    EXPECT_FALSE(presenter.copyToClipboard("report"));
    EXPECT_EQ(presenter.companionPid(), -1);
}
