#include "DeviceFiles.h"
#include "EquationSet.h"
#include "IniFile.h"
#include "SettingsTestFolder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

using namespace vetu;

TEST(EquationSet, SectionNamesAndLabels)
{
    const std::pair<int, const char *> names[] = {{1, "01"}, {7, "07"}, {9, "09"}, {10, "10"}, {30, "30"}};
    for (const auto &[number, name] : names)
        EXPECT_EQ(EquationSectionName(number), name);
    EXPECT_EQ(EquationLabel(7, "Meter B"), "[07] Meter B");
    EXPECT_EQ(EquationLabel(1, ""), "[01] ");
    EXPECT_EQ(EquationLabel(30, " x "), "[30]  x ");
}

TEST(EquationSet, ToPointDecimalChangesTheFirstCommaOnly)
{
    const std::pair<const char *, const char *> cases[] = {
        {"0,2489", "0.2489"}, {"1,2,3", "1.2,3"}, {"2.5", "2.5"}, {"", ""}, {",5", ".5"}, {"1.000,5", "1.000.5"},
        {" 3,0 ", " 3.0 "},
    };
    for (const auto &[typed, stored] : cases)
        EXPECT_EQ(ToPointDecimal(typed), stored) << typed;
}

TEST(EquationSet, MissingSectionReadsAsAnEmptyRodSet)
{
    SettingsTestFolder folder;
    folder.write(ConfigurationIniName, "[Settings]\r\nLanguageOffset=0\r\n[1]\r\nName=one\r\n[001]\r\nName=two\r\n");
    IniFile ini(folder.filePath(ConfigurationIniName));
    EXPECT_EQ(ReadEquationSet(ini, 1), EquationSet{});
    IniFile missing(folder.filePath("missing.ini"));
    EXPECT_EQ(ReadEquationSet(missing, 30), EquationSet{});
    EXPECT_FALSE(folder.exists("missing.ini"));
}

TEST(EquationSet, OnlyExactlyCableReadsAsCable)
{
    const std::pair<const char *, bool> cases[] = {
        {"Cable", true}, {"  Cable\t", true}, {"cable", false}, {"CABLE", false}, {"Rod", false}, {"ROD", false},
        {"", false}, {"Cable1", false},
    };
    for (const auto &[stored, cable] : cases) {
        SettingsTestFolder folder;
        folder.write(ConfigurationIniName, "[05]\r\nMountingType=" + QByteArray(stored) + "\r\n");
        EXPECT_EQ(ReadEquationSet(IniFile(folder.filePath(ConfigurationIniName)), 5).cable, cable) << stored;
    }
}

TEST(EquationSet, ValuesAreReadExactlyAsStored)
{
    SettingsTestFolder folder;
    folder.write(ConfigurationIniName,
            "[03]\nname=Fl\xfcgel\noffset4=-0,001\nBoundary1=2,5\nFactor2=abc\nBODYNR=47/11\nPropellerNr=  12 \n"
            "MountingType=Cable\nBoundary1=9\n");
    const EquationSet set = ReadEquationSet(IniFile(folder.filePath(ConfigurationIniName)), 3);
    EquationSet expected;
    expected.name = QStringLiteral("Flügel");
    expected.bodyNr = "47/11";
    expected.propellerNr = "12";
    expected.cable = true;
    expected.boundary[0] = "2,5";
    expected.factor[1] = "abc";
    expected.offset[3] = "-0,001";
    EXPECT_EQ(set, expected);
}

TEST(EquationSet, SaveWritesAllFifteenKeysInOrder)
{
    SettingsTestFolder folder;
    folder.write(ConfigurationIniName, "[Settings]\r\nLanguageOffset=10000\r\n");
    IniFile ini(folder.filePath(ConfigurationIniName));
    EquationSet set;
    set.name = "Meter B";
    set.bodyNr = "47";
    set.cable = true;
    set.boundary = {"0,68", "2.5", "1,2,3"};
    set.factor = {"0,2489", "", "", ""};
    set.offset = {"0,013", "", "", "0"};
    WriteEquationSet(ini, 7, set);
    EXPECT_EQ(folder.read(ConfigurationIniName),
            SettingsTestFolder::crlf({"[Settings]", "LanguageOffset=10000", "[07]", "Name=Meter B", "BodyNr=47",
                    "PropellerNr=", "MountingType=Cable", "Boundary1=0.68", "Boundary2=2.5", "Boundary3=1.2,3",
                    "Factor1=0.2489", "Factor2=", "Factor3=", "Factor4=", "Offset1=0.013", "Offset2=", "Offset3=",
                    "Offset4=0"}));

    EquationSet stored = set;
    stored.boundary = {"0.68", "2.5", "1.2,3"};
    stored.factor[0] = "0.2489";
    stored.offset[0] = "0.013";
    EXPECT_EQ(ReadEquationSet(ini, 7), stored);

    // Saved again as Rod: the keys change in place, and the next comma becomes a point.
    stored.cable = false;
    stored.boundary[2] = "1.2.3";
    stored.name = QStringLiteral("Meter B²");
    WriteEquationSet(ini, 7, stored);
    EXPECT_EQ(ReadEquationSet(ini, 7), stored);
    EXPECT_EQ(folder.read(ConfigurationIniName).count("[07]"), 1);
    EXPECT_TRUE(folder.read(ConfigurationIniName).contains("\r\nName=Meter B\xb2\r\nBodyNr=47\r\nPropellerNr=\r\nMountingType=Rod\r\n"));
}

TEST(EquationSet, NewSetIsAddedAtTheEndAndOtherSectionsStay)
{
    SettingsTestFolder folder;
    const QByteArray before = "[Settings]\nLanguageOffset=0\n[01]\nName=A\n\n[30]\nName=Z\n; user note\n";
    folder.write(ConfigurationIniName, before);
    IniFile ini(folder.filePath(ConfigurationIniName));
    EquationSet set;
    set.name = "E";
    WriteEquationSet(ini, 5, set);
    const QByteArray after = folder.read(ConfigurationIniName);
    EXPECT_TRUE(after.startsWith(before + "[05]\r\nName=E\r\nBodyNr=\r\n")) << after.constData();
    EXPECT_EQ(ReadEquationSet(ini, 5), set);
    EXPECT_EQ(ini.readString("30", "Name", ""), "Z");
}
