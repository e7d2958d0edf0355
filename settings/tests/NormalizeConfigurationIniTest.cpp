#include "DeviceFiles.h"
#include "EquationSet.h"
#include "SettingsTestFolder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <string>

using namespace vetu;

TEST(NormalizeConfigurationIni, RewritesIntoNormalForm)
{
    struct Case {
        const char *what;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"already in normal form",
                "[Settings]\r\nLanguageOffset=10000\r\n[01]\r\nName=Meter A\r\nBodyNr=47\r\n",
                "[Settings]\r\nLanguageOffset=10000\r\n[01]\r\nName=Meter A\r\nBodyNr=47\r\n"},
        {"sections sorted, others, blank lines and empty sections dropped",
                "[Settings]\r\nLanguageOffset=0\r\n\r\n[01]\r\nName=a\r\n\r\n[12]\r\n\r\n[30]\r\nName=z\r\n"
                "[Extra]\r\nx=1\r\n[05]\r\nName=e\r\n",
                "[Settings]\r\nLanguageOffset=0\r\n[01]\r\nName=a\r\n[05]\r\nName=e\r\n[30]\r\nName=z\r\n"},
        {"no Settings header when that section holds no keys", "[Settings]\r\n\r\n[02]\r\nName=b\r\n",
                "[02]\r\nName=b\r\n"},
        {"only the two-digit names 01 to 30", "[1]\r\nName=1\r\n[001]\r\nName=2\r\n[31]\r\nName=3\r\n[00]\r\nx=1\r\n",
                ""},
        {"key lines only, values trimmed, CR LF everywhere",
                "; comment\n[settings]\nfoo\n  Language = 5  \n;x=1\nOther=a b\n[07]\rName= B \rBoundary1=2,5",
                "[Settings]\r\nLanguage=5\r\nOther=a b\r\n[07]\r\nName=B\r\nBoundary1=2,5\r\n"},
        {"first of repeated keys and sections",
                "[03]\r\nName=first\r\nname=second\r\n[03]\r\nBodyNr=1\r\n",
                "[03]\r\nName=first\r\n"},
        {"Windows-1252 bytes stay", "[04]\r\nName=M\xe4r\x80\x81\r\n", "[04]\r\nName=M\xe4r\x80\x81\r\n"},
        {"empty file", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SettingsTestFolder folder;
        folder.write(ConfigurationIniName, QByteArray::fromStdString(c.before));
        NormalizeConfigurationIni(folder.path());
        EXPECT_EQ(folder.read(ConfigurationIniName), QByteArray::fromStdString(c.after));
        EXPECT_EQ(folder.entries(), QStringList{ConfigurationIniName});
    }
}

TEST(NormalizeConfigurationIni, ExampleWithEnglishAndOneSet)
{
    SettingsTestFolder folder;
    folder.write(ConfigurationIniName,
            "[01]\r\nName=Meter A\r\nBodyNr=47\r\nPropellerNr=12\r\nMountingType=Rod\r\nBoundary1=0.68\r\n"
            "Boundary2=2.5\r\nBoundary3=10\r\nFactor1=0.249\r\nFactor2=0.258\r\nFactor3=0.26\r\nFactor4=0.263\r\n"
            "Offset1=0.013\r\nOffset2=0.008\r\nOffset3=0.004\r\nOffset4=0.001\r\n\r\n[Settings]\r\n"
            "LanguageOffset=10000\r\n");
    NormalizeConfigurationIni(folder.path());
    EXPECT_EQ(folder.read(ConfigurationIniName),
            SettingsTestFolder::crlf({"[Settings]", "LanguageOffset=10000", "[01]", "Name=Meter A", "BodyNr=47",
                    "PropellerNr=12", "MountingType=Rod", "Boundary1=0.68", "Boundary2=2.5", "Boundary3=10",
                    "Factor1=0.249", "Factor2=0.258", "Factor3=0.26", "Factor4=0.263", "Offset1=0.013",
                    "Offset2=0.008", "Offset3=0.004", "Offset4=0.001"}));
}

TEST(NormalizeConfigurationIni, MissingFileIsNotCreated)
{
    SettingsTestFolder folder;
    NormalizeConfigurationIni(folder.path());
    // A folder given without its trailing separator works the same.
    NormalizeConfigurationIni(folder.path().chopped(1));
    EXPECT_TRUE(folder.entries().isEmpty());
}
