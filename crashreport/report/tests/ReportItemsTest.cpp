#include "LineBreaks.h"
#include "ReportFixture.h"
#include "ReportFormat.h"
#include "ReportItems.h"

#include <gtest/gtest.h>

using namespace crashreport;
using namespace crashreport::testing;

TEST(ReportItems, ValuesReadBackAsWritten)
{
    const char *values[] = {
        "plain", "key: value", "", "two\r\nlines: here", "with\r\n\r\nempty line", "trailing: \r\n", "Größe: 5 ä",
        " leading blank\r\n second line starts with a blank",
    };
    for (const char *value : values) {
        ReportFixture f;
        f.input.exception.message = value;
        const std::string report = f.build().report;
        EXPECT_EQ(readReportItem(report, "2.6"), value) << value;
        EXPECT_EQ(readReportItem(report, "2.7"), "3F2A") << value; // the next item is not swallowed
    }
}

TEST(ReportItems, MissingItemsAndNumbersThatOnlyStartAlike)
{
    ReportFixture f;
    const std::string report = f.build().report;
    EXPECT_EQ(readReportItem(report, "2.1"), "Wed, 9 Dec 2026 15:05:09 +0100"); // not 2.10
    EXPECT_EQ(readReportItem(report, "2.10"), "");
    EXPECT_EQ(readReportItem(report, "9.9"), std::nullopt);
    EXPECT_EQ(readReportItem(report, ""), std::nullopt);
    EXPECT_EQ(readReportItem("", "1.1"), std::nullopt);
    // The last item of the general part ends at the empty line before the call stack.
    EXPECT_EQ(readReportItem(report, "7.6"), "Yes");
}

TEST(ReportItems, ReplacingKeepsTheRestOfTheReport)
{
    const struct {
        const char *item;
        const char *value;
    } cases[] = {
        { "3.3", "hanna@example.org" },
        { "2.6", "now two\nlines: yes" },
        { "2.6", "" },
        { "7.6", "No" },
        { "2.10", "a note" },
    };
    for (const auto &c : cases) {
        ReportFixture f;
        const CrashReportText r = f.build();
        std::string report = r.report;
        ASSERT_TRUE(replaceReportItem(report, c.item, c.value)) << c.item;
        EXPECT_EQ(readReportItem(report, c.item), NormalizeLineBreaks(c.value)) << c.item;
        const ReportParts parts = splitReportParts(report);
        EXPECT_EQ(parts.callStack, r.callStack);
        EXPECT_EQ(parts.cpu, r.cpu);
        EXPECT_EQ(readReportItem(report, "2.7"), "3F2A");
        EXPECT_EQ(readReportItem(report, "1.3"), "1.04.1");
    }
}

TEST(ReportItems, ReplacingAMissingItemAddsItAtTheEndOfItsSection)
{
    ReportFixture f;
    f.options.fields.set(FieldUserEmail, false);
    std::string report = f.build().report;
    ASSERT_EQ(readReportItem(report, "3.3"), std::nullopt);
    ASSERT_TRUE(replaceReportItem(report, "3.3", "hanna@example.org", "Email"));
    EXPECT_EQ(readReportItem(report, "3.3"), "hanna@example.org");
    EXPECT_NE(report.find("  3.5 Privileges: User\r\n  3.3 Email     : hanna@example.org\r\n\r\nActive Controls:"),
              std::string::npos);
    // A section that is not in the report cannot take an item.
    EXPECT_FALSE(replaceReportItem(report, "12.1", "x", "X"));
    EXPECT_FALSE(replaceReportItem(report, "nonsense", "x", "X"));
}

TEST(ReportItems, SectionsOfTheGeneralPart)
{
    ReportFixture f;
    const std::vector<ReportSection> sections = parseReportSections(f.build().general);
    ASSERT_EQ(sections.size(), 7u);
    EXPECT_EQ(sections[0].name, "Application");
    EXPECT_EQ(sections[0].items[2].number, "1.3");
    EXPECT_EQ(sections[0].items[2].label, "Version Number");
    EXPECT_EQ(sections[0].items[2].value, "1.04.1");
    EXPECT_EQ(sections[6].name, "Network");
    EXPECT_EQ(sections[6].items.size(), 6u);
}

TEST(ReportItems, PartsOfTextsWithoutTables)
{
    EXPECT_EQ(splitReportParts("").general, "");
    const ReportParts p = splitReportParts("just\r\ntext");
    EXPECT_EQ(p.general, "just\r\ntext");
    EXPECT_EQ(p.callStack, "");
}
