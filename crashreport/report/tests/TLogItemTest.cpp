#include "TLogItem.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(TLogItem, HiddenItemsKeepTheirNumbers)
{
    TLogItem log;
    log.addSection("Application");
    log.addItem("Start Date", "today", false);
    log.addItem("Name/Description", "vetu", true);
    log.addItem("Version Number", "1.0", true);
    EXPECT_EQ(log.text(), "Application:\r\n"
                          "----------------------------\r\n"
                          "  1.2 Name/Description: vetu\r\n"
                          "  1.3 Version Number  : 1.0");
}

TEST(TLogItem, SectionWithoutShownItemDisappears)
{
    TLogItem log;
    log.addSection("One");
    log.addItem("A", "1", true);
    log.addSection("Two");
    log.addItem("B", "2", false);
    log.addSection("Three");
    log.addItem("C", "3", true);
    EXPECT_EQ(log.text(), "One:\r\n----------\r\n  1.1 A: 1\r\n\r\nThree:\r\n----------\r\n  3.1 C: 3");

    TLogItem empty;
    empty.addSection("Only");
    empty.addItem("X", "y", false);
    EXPECT_EQ(empty.text(), "");
}

TEST(TLogItem, ColonsAlignAndDashLineFitsTheLongestItemLine)
{
    TLogItem log;
    log.addSection("S");
    for (int i = 1; i <= 10; ++i)
        log.addItem(i == 10 ? "Tenth" : "N", std::to_string(i), true);
    const std::string text = log.text();
    EXPECT_NE(text.find("\r\n  1.1 N     : 1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n  1.10 Tenth: 10"), std::string::npos);
    EXPECT_EQ(text.substr(0, 20), "S:\r\n" + std::string(16, '-'));
}

TEST(TLogItem, ValuesOfOneAndSeveralLines)
{
    const struct {
        const char *value;
        const char *written;
    } cases[] = {
        { "key: value", "key: value" },
        { "line one: a\r\nline two", "line one:_a\r\n line two" },
        { "a\nb\rc", "a\r\n b\r\n c" },
        { "first\n\nthird", "first\r\n .\r\n third" },
        { "", "" },
    };
    for (const auto &c : cases) {
        TLogItem log;
        log.addSection("S");
        log.addItem("L", c.value, true);
        const std::string text = log.text();
        EXPECT_EQ(text.substr(text.find("1.1 L: ") + 7), c.written) << c.value;
        EXPECT_EQ(encodeItemValue(c.value), c.written);
    }
}

TEST(TLogItem, FirstSectionNumberCanBeGiven)
{
    TLogItem log(7);
    log.addSection("Custom Information");
    log.addItem("Device", "VETU", true);
    EXPECT_NE(log.text().find("  8.1 Device: VETU"), std::string::npos);
}

TEST(TLogItem, LabelsOfOtherScriptsAlignByCharacters)
{
    TLogItem log;
    log.addSection("Système");
    log.addItem("Mémoire", "1", true);
    log.addItem("Disque", "2", true);
    EXPECT_NE(log.text().find("  1.1 Mémoire: 1\r\n  1.2 Disque : 2"), std::string::npos);
}
