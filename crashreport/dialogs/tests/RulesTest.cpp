// What the dialogs offer for a request: plain rules without a window.
#include "CrashDialogRules.h"

#include <gtest/gtest.h>

using namespace crashreport;

namespace {

TCrashShowRequest request(bool send, bool screenshot, std::uint32_t flags, const std::string &support = {})
{
    TCrashShowRequest r;
    r.sendConfigured = send;
    r.screenshotRequested = screenshot;
    r.dialogFlags = flags;
    r.supportLink = support;
    return r;
}

} // namespace

struct OfferCase {
    const char *name;
    TCrashShowRequest request;
    bool send, screenshot, copy, link;
    int band;
};

TEST(CrashDialogRulesTest, OffersAndBottomBand)
{
    TCrashShowRequest duplicate = request(true, true, 0x18F);
    duplicate.duplicate = true;
    const OfferCase cases[] = {
        {"defaults, nothing configured", request(false, false, 0x18F), false, false, true, false, 20},
        {"send and screenshot", request(true, true, 0x18F), true, true, true, false, 34},
        {"send without the screenshot bit", request(true, true, 0x08F), true, false, true, false, 20},
        {"send not offered by the flags", request(true, true, 0x10F), false, false, true, false, 20},
        {"duplicate never offers sending", duplicate, false, false, true, false, 20},
        {"copy and support link", request(false, false, 0x004, " http://x "), false, false, true, true, 34},
        {"only the link", request(false, false, 0x000, "http://x"), false, false, false, true, 20},
        {"blank link is no link", request(false, false, 0x000, "   "), false, false, false, false, 0},
        {"nothing at all", request(false, false, 0x000), false, false, false, false, 0},
    };
    for (const auto &c : cases) {
        const TCrashDialogOffer o = CrashDialogOffer(c.request);
        EXPECT_EQ(o.send, c.send) << c.name;
        EXPECT_EQ(o.screenshot, c.screenshot) << c.name;
        EXPECT_EQ(o.copy, c.copy) << c.name;
        EXPECT_EQ(o.supportLink, c.link) << c.name;
        EXPECT_EQ(o.bottomBand, c.band) << c.name;
    }
}

TEST(CrashDialogRulesTest, TerminateControlFromTheFourthReport)
{
    TCrashShowRequest r;
    r.terminateAction = 2;
    r.reportsBeforeTerminate = 3;
    for (int count = 1; count <= 5; ++count) {
        r.errorCount = count;
        EXPECT_EQ(CrashDialogOffer(r).terminate, count >= 4) << count;
    }
    r.terminateAction = 0;
    EXPECT_FALSE(CrashDialogOffer(r).terminate);
}

TEST(CrashDialogRulesTest, TabsAndTheirFallBack)
{
    using P = TCrashPage;
    EXPECT_EQ(CrashDialogTabs(0x00), (std::vector<P>{P::General, P::CallStack}));
    EXPECT_EQ(CrashDialogTabs(0x20), (std::vector<P>{P::General, P::CallStack, P::Assembler, P::CPU}));
    EXPECT_EQ(CrashDialogTabs(0x30).size(), 6u);
    struct Case {
        int firstTab;
        std::uint8_t sections;
        int index;
    } cases[] = {{3, 0x00, 0}, {3, 0x30, 3}, {4, 0x20, 2}, {5, 0x30, 5}, {1, 0x00, 1}, {9, 0x30, 0}, {-1, 0x30, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(CrashFirstTabIndex(c.firstTab, CrashDialogTabs(c.sections)), c.index) << c.firstTab << "/" << int(c.sections);
}

TEST(CrashDialogRulesTest, RequestDialogFollowsOnlyTheDetailedDialog)
{
    TCrashShowRequest r;
    r.logSections = 0x02;
    r.keepLogFile = true;
    EXPECT_TRUE(CrashRequestDialogFollows(r, 3, false));
    EXPECT_FALSE(CrashRequestDialogFollows(r, 2, true));
    r.keepLogFile = false;
    EXPECT_FALSE(CrashRequestDialogFollows(r, 3, false));
    EXPECT_TRUE(CrashRequestDialogFollows(r, 3, true));
    r.duplicate = true;
    EXPECT_FALSE(CrashRequestDialogFollows(r, 3, true));
    r.duplicate = false;
    r.logSections = 0x30;
    EXPECT_FALSE(CrashRequestDialogFollows(r, 3, true));
}

TEST(CrashDialogRulesTest, EmailAndTexts)
{
    EXPECT_EQ(CrashCheckEmail(""), TCrashEmailCheck::Empty);
    EXPECT_EQ(CrashCheckEmail("a@b.c"), TCrashEmailCheck::Valid);
    EXPECT_EQ(CrashCheckEmail("a@bc"), TCrashEmailCheck::Invalid);
    EXPECT_EQ(CrashCheckEmail("a.b"), TCrashEmailCheck::Invalid);
    EXPECT_EQ(CrashTrim("  x y \r\n"), "x y");

    TCrashShowRequest r;
    EXPECT_EQ(CrashText(r, 157), "Invalid email.");
    r.texts.assign(158, "");
    r.texts[17] = "&Ja";
    EXPECT_EQ(CrashText(r, 17), "&Ja");
    EXPECT_EQ(CrashText(r, 18), "&Terminate");
    EXPECT_EQ(CrashText(r, 999), "");
}
