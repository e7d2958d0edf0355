// The pieces of the send flow that need no server: option lists, sent file names, the mailto:
// link, the repeated-crash check and the kept archives.

#include "CrashTempFolder.h"
#include "KeptArchives.h"
#include "MailtoLink.h"
#include "RepeatedCrash.h"
#include "SendLists.h"
#include "SentFileName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;

namespace
{

TEST(SendLists, SplitsTrimsAndSkipsEmptyItems)
{
    const struct {
        const char *text;
        std::vector<std::string> items;
    } cases[] = {
        { "", {} },
        { "support@alpha.test, ;lab@beta.test", { "support@alpha.test", "lab@beta.test" } },
        { " a@x.test ;; b@y.test , ", { "a@x.test", "b@y.test" } },
        { "/tmp/a file.txt;/tmp/b.txt", { "/tmp/a file.txt", "/tmp/b.txt" } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitSendList(c.text), c.items) << c.text;
}

TEST(SentFileName, SuffixesGoBeforeTheExtensionComputerFirst)
{
    std::tm tm {};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 10;
    tm.tm_hour = 8;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    const struct {
        const char *path;
        std::uint16_t flags;
        const char *sent;
    } cases[] = {
        { "/tmp/x/vetu-config.crashlog", 0, "vetu-config.crashlog" },
        { "/tmp/x/vetu-config.crashlog", 0x100, "vetu-config__20261210080509.crashlog" },
        { "/tmp/x/vetu-config.crashlog", 0x200, "vetu-config__lab-pc.crashlog" },
        { "/tmp/x/vetu-config.crashlog", 0x300, "vetu-config__lab-pc__20261210080509.crashlog" },
        { "/tmp/x/README", 0x200, "README__lab-pc" },
        { "/tmp/x.d/.hidden", 0x200, ".hidden__lab-pc" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(sentFileName(c.path, c.flags, t, "lab-pc"), c.sent) << c.path << " " << c.flags;
}

TEST(MailtoLink, EncodesEveryByteButLettersDigitsDashAndNonAscii)
{
    EXPECT_EQ(encodeMailtoText("Vetu-3 a&b=c?\r\n%"), "Vetu-3%20a%26b%3Dc%3F%0D%0A%25");
    EXPECT_EQ(encodeMailtoText("Größe"), "Größe");
    EXPECT_EQ(encodeMailtoText("a.b_c~"), "a%2Eb%5Fc%7E");
}

TEST(MailtoLink, TooLongLinkLeavesTheReportOut)
{
    const std::vector<std::string> to { "a@x.test", "b@y.test" };
    EXPECT_EQ(buildMailtoLink(to, "Crash", "Hello", "Report"),
        "mailto:a@x.test,b@y.test?Subject=Crash&Body=Hello%0D%0A%0D%0A%0D%0AReport");
    const std::string report(40000, 'r');
    const std::string link = buildMailtoLink(to, "Crash", "Hello", report);
    EXPECT_EQ(link, "mailto:a@x.test,b@y.test?Subject=Crash&Body=Hello");
    EXPECT_EQ(buildMailtoLink(to, "Crash", "Hello", "Report", 20), link);
}

TEST(RepeatedCrash, FullListWithinTheMinutes)
{
    const std::vector<std::string> within { "2026-12-10 08:00:00", "2026-12-10 08:00:30",
        "2026-12-10 08:01:00" };
    const std::vector<std::string> apart { "2026-12-10 08:00:00", "2026-12-10 08:00:30",
        "2026-12-10 08:01:01" };
    const std::vector<std::string> broken { "yesterday", "2026-12-10 08:00:30", "2026-12-10 08:01:00" };
    EXPECT_TRUE(isRepeatedCrash(within, 3, 1));
    EXPECT_FALSE(isRepeatedCrash(within, 4, 1)); // not full yet
    EXPECT_FALSE(isRepeatedCrash(apart, 3, 1));
    EXPECT_TRUE(isRepeatedCrash(apart, 3, 2));
    EXPECT_FALSE(isRepeatedCrash(broken, 3, 1));
    EXPECT_FALSE(isRepeatedCrash({}, 0, 1));
}

TEST(KeptArchives, KeepsTheTenLastInNameOrderAndLeavesOtherFiles)
{
    CrashTempFolder dir("send-kept");
    const std::string logFolder = dir.file("log");
    std::filesystem::create_directories(logFolder);
    std::ofstream(logFolder + "/vetu-config.crashlog") << "log";
    for (int i = 10; i < 22; ++i) {
        const std::string archive = dir.file("BugReport.zip");
        std::ofstream(archive) << "zip " << i;
        std::string error;
        ASSERT_TRUE(keepFailedArchive(archive, logFolder, "BugReport__" + std::to_string(i) + ".zip", error))
            << error;
        EXPECT_FALSE(std::filesystem::exists(archive));
    }
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(logFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 11u);
    EXPECT_EQ(names.front(), "BugReport__12.zip");
    EXPECT_EQ(names[9], "BugReport__21.zip");
    EXPECT_EQ(names.back(), "vetu-config.crashlog");
}

TEST(KeptArchives, MissingArchiveIsAnErrorNotACrash)
{
    CrashTempFolder dir("send-kept");
    std::string error;
    EXPECT_FALSE(keepFailedArchive(dir.file("none.zip"), dir.path(), "BugReport.zip", error));
    EXPECT_FALSE(error.empty());
}

} // namespace
