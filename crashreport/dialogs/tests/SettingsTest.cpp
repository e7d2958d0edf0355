// "CrashReport.ini": the library's own profile code and the dialog settings kept in it.
#include "CrashDialogSettings.h"
#include "CrashIniFile.h"
#include "CrashTempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace crashreport;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(CrashIniFileTest, FollowsTheProfileRules)
{
    TCrashIniFile ini;
    ini.parse("; comment\r\n[coordinates]\r\n  WIDTH = 800 \r\nOther=\"quoted value\"\r\n\r\n[User]\r\nEmail=a@b.c\r\n");
    EXPECT_EQ(ini.value("Coordinates", "Width"), "800");
    EXPECT_EQ(ini.value("COORDINATES", "other"), "quoted value");
    EXPECT_EQ(ini.value("Coordinates", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.value("Missing", "Width", "dflt"), "dflt");

    ini.setValue("Coordinates", "Width", "900");
    ini.setValue("Coordinates", "Height", "500");
    ini.setValue("New", "Key", "v");
    EXPECT_EQ(ini.text(), "; comment\r\n[coordinates]\r\n  WIDTH =900\r\nOther=\"quoted value\"\r\nHeight=500\r\n\r\n"
                          "[User]\r\nEmail=a@b.c\r\n\r\n[New]\r\nKey=v\r\n");
}

TEST(CrashDialogSettingsTest, DefaultsWhenTheFileIsMissingOrBroken)
{
    crashreport::testing::CrashTempFolder dir("ini");
    const TCrashDialogSettings missing = LoadCrashDialogSettings(dir.file("none.ini"));
    EXPECT_EQ(missing.width, 745);
    EXPECT_EQ(missing.height, 468);
    EXPECT_FALSE(missing.hasPosition);
    EXPECT_EQ(missing.windowsState, 1);
    EXPECT_EQ(missing.col, (std::array<int, 6>{89, 92, 126, 126, 200, 61}));
    EXPECT_EQ(missing.colMod, (std::array<int, 7>{80, 96, 175, 50, 54, 712, 80}));
    EXPECT_EQ(missing.colPro, (std::array<int, 8>{48, 134, 232, 56, 57, 47, 52, 330}));
    EXPECT_EQ(missing.email, "");

    writeFile(dir.file("broken.ini"), std::string("[Coordinates]\nWidth=wide\nHeight=99999999999\nWindowsState=7\nCol2=-4\n") +
                                         std::string("\xFF\x00\x01", 3));
    const TCrashDialogSettings broken = LoadCrashDialogSettings(dir.file("broken.ini"));
    EXPECT_EQ(broken.width, 745);
    EXPECT_EQ(broken.height, 468);
    EXPECT_EQ(broken.windowsState, 1);
    EXPECT_EQ(broken.col[2], 126);
}

TEST(CrashDialogSettingsTest, WrittenFileMatchesTheHandWrittenOneAndReadsBackByteForByte)
{
    crashreport::testing::CrashTempFolder dir("ini");
    const std::string path = dir.file("CrashReport/CrashReport.ini"); // the folder is made too
    TCrashDialogSettings s;
    s.width = 800;
    s.height = 400;
    s.hasPosition = true;
    s.left = 10;
    s.top = 20;
    ASSERT_TRUE(SaveCrashDialogCoordinates(path, s));
    ASSERT_TRUE(SaveCrashDialogEmail(path, "user@example.org"));
    const std::string expected = "[Coordinates]\r\nWidth=800\r\nHeight=400\r\nLeft=10\r\nTop=20\r\nWindowsState=1\r\n"
                                 "Col0=89\r\nCol1=92\r\nCol2=126\r\nCol3=126\r\nCol4=200\r\nCol5=61\r\n"
                                 "ColMod0=80\r\nColMod1=96\r\nColMod2=175\r\nColMod3=50\r\nColMod4=54\r\nColMod5=712\r\nColMod6=80\r\n"
                                 "ColPro0=48\r\nColPro1=134\r\nColPro2=232\r\nColPro3=56\r\nColPro4=57\r\nColPro5=47\r\nColPro6=52\r\nColPro7=330\r\n"
                                 "\r\n[User]\r\nEmail=user@example.org\r\n";
    EXPECT_EQ(readFile(path), expected);

    const TCrashDialogSettings back = LoadCrashDialogSettings(path);
    EXPECT_EQ(back.width, 800);
    EXPECT_TRUE(back.hasPosition);
    EXPECT_EQ(back.top, 20);
    EXPECT_EQ(back.email, "user@example.org");
    ASSERT_TRUE(SaveCrashDialogCoordinates(path, back));
    ASSERT_TRUE(SaveCrashDialogEmail(path, back.email));
    EXPECT_EQ(readFile(path), expected);
}

TEST(CrashDialogSettingsTest, MaximisedStateKeepsTheNormalPlacement)
{
    crashreport::testing::CrashTempFolder dir("ini");
    const std::string path = dir.file("CrashReport.ini");
    writeFile(path, "[Coordinates]\r\nWidth=700\r\nHeight=300\r\n; kept\r\n");
    TCrashDialogSettings s;
    s.width = 1900;
    s.windowsState = 3;
    ASSERT_TRUE(SaveCrashDialogPlacement(path, s));
    EXPECT_EQ(readFile(path), "[Coordinates]\r\nWidth=700\r\nHeight=300\r\n; kept\r\nWindowsState=3\r\n");
}

TEST(CrashDialogSettingsTest, FolderFollowsXdgConfigHome)
{
    const char *old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(CrashDialogSettingsPath(), "/some/where/CrashReport/CrashReport.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored as the base directory rules say
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(CrashDialogSettingsPath(), "/home/u/.config/CrashReport/CrashReport.ini");
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TEST(CrashDialogSettingsTest, FailedWriteKeepsTheOldFile)
{
    crashreport::testing::CrashTempFolder dir("ini");
    const std::string blocker = dir.file("plain-file");
    writeFile(blocker, "x");
    EXPECT_FALSE(SaveCrashDialogEmail(blocker + "/CrashReport.ini", "a@b.c"));
    EXPECT_EQ(readFile(blocker), "x");
}

struct PlaceCase {
    TCrashRect wanted;
    TCrashRect expected;
};

TEST(CrashDialogSettingsTest, StoredRectangleOutsideTheWorkAreaIsCentred)
{
    const TCrashRect area{0, 30, 1280, 990};
    const PlaceCase cases[] = {
        {{100, 100, 745, 468}, {100, 100, 745, 468}},  // inside: kept
        {{-50, 100, 745, 468}, {267, 291, 745, 468}},  // off the left edge
        {{900, 100, 745, 468}, {267, 291, 745, 468}},  // over the right edge
        {{100, 10, 745, 468}, {267, 291, 745, 468}},   // above the work area (panel)
        {{3000, 3000, 745, 468}, {267, 291, 745, 468}} // on a monitor that is gone
    };
    for (const auto &c : cases)
        EXPECT_EQ(PlaceInWorkArea(c.wanted, area), c.expected);
}
