#include "LineBreaks.h"
#include "ReportFormat.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(ReportFormat, ZoneOffsetInWholeHours)
{
    const struct {
        long seconds;
        const char *text;
    } cases[] = {
        { 0, "+0000" },         { 3600, "+0100" },   { -5 * 3600, "-0500" }, { -3 * 3600, "-0300" },
        { 10 * 3600, "+1000" }, { 19800, "+0500" },  { -1800, "+0000" },     { -12 * 3600, "-1200" },
        { 14 * 3600, "+1400" }, { -9 * 3600 - 1800, "-0900" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatZoneOffset(c.seconds), c.text) << c.seconds;
}

TEST(ReportFormat, DateHasWeekdayDayMonthYearTimeAndZone)
{
    // 2026-12-09 14:05:09 UTC is a Wednesday.
    EXPECT_EQ(formatReportDate(breakDown(1796825109, 0)), "Wed, 9 Dec 2026 14:05:09 +0000");
    EXPECT_EQ(formatReportDate(breakDown(1796825109, -3 * 3600)), "Wed, 9 Dec 2026 11:05:09 -0300");
    EXPECT_EQ(formatReportDate(breakDown(1796825109, 10 * 3600)), "Thu, 10 Dec 2026 00:05:09 +1000");
    EXPECT_EQ(formatReportDate(breakDown(0, 0)), "Thu, 1 Jan 1970 00:00:00 +0000");
}

TEST(ReportFormat, DurationNamesOnlyUnitsThatAreNotZero)
{
    const struct {
        std::int64_t seconds;
        const char *text;
    } cases[] = {
        { 0, "0 second" },
        { 1, "1 second" },
        { 2, "2 seconds" },
        { 60, "1 minute, 0 second" },
        { 61, "1 minute, 1 second" },
        { 3600 + 120 + 5, "1 hour, 2 minutes, 5 seconds" },
        { 86400, "1 day, 0 second" },
        { 2 * 86400 + 3 * 3600 + 59, "2 days, 3 hours, 59 seconds" },
        { -5, "0 second" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
}

TEST(ReportFormat, HexNeverCutsWideValues)
{
    EXPECT_EQ(formatHex(0x1A2B), "00001A2B");
    EXPECT_EQ(formatHex(0xDEADBEEF), "DEADBEEF");
    EXPECT_EQ(formatHex(0x555555559A10ull), "555555559A10");
    EXPECT_EQ(formatHex(0x1, 12), "000000000001");
}

TEST(ReportFormat, MegabytesAreRounded)
{
    EXPECT_EQ(formatMegabytes(0), "0 Mb");
    EXPECT_EQ(formatMegabytes(1024 * 1024), "1 Mb");
    EXPECT_EQ(formatMegabytes(1024 * 1024 + 512 * 1024), "2 Mb");
    EXPECT_EQ(formatMegabytes(1024 * 1024 + 511 * 1024), "1 Mb");
}

TEST(ReportFormat, TimestampAndLineBreaks)
{
    EXPECT_EQ(formatTimestamp(breakDown(1796825109, 3600)), "2026-12-09 15:05:09");
    EXPECT_EQ(NormalizeLineBreaks("a\rb\nc\r\nd\n\r"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_EQ(padRight("Größe", 7), "Größe  ");
}
