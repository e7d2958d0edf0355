// The user's e-mail address and steps to reproduce written back into the report.
#include "CrashDialogAnswers.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(CrashDialogAnswersTest, EmailReplacesItem33AndTheStepsFollowTheGeneralPart)
{
    CrashReportText report;
    report.general = "User:\r\n-----------------\r\n  3.1 ID   : me\r\n  3.3 Email: \r\n  3.4 Company: X\r\n";
    report.report = report.general + "\r\nCall Stack Information:\r\n";
    TCrashShowResult result;
    result.emailAddress = "me@example.org";
    result.reproduceText = "opened set 5\r\nthen: saved";
    CrashApplyDialogAnswers(report, result, "Request");

    const std::string general = "User:\r\n-----------------\r\n  3.1 ID   : me\r\n  3.3 Email: me@example.org\r\n"
                                "  3.4 Company: X\r\n"
                                "\r\nRequest:\r\n---------------------------\r\n  8.1 Request: opened set 5\r\n then:_saved\r\n";
    EXPECT_EQ(report.general, general);
    EXPECT_EQ(report.report, general + "\r\nCall Stack Information:\r\n");
}

TEST(CrashDialogAnswersTest, NothingGivenChangesNothingAndAHiddenLineStaysHidden)
{
    CrashReportText report;
    report.general = "User:\r\n---\r\n  3.1 ID: me\r\n  13.3 Other: keep\r\n";
    report.report = report.general;
    const CrashReportText before = report;
    CrashApplyDialogAnswers(report, {}, "Request");
    EXPECT_EQ(report.general, before.general);
    TCrashShowResult result;
    result.emailAddress = "a@b.c";
    CrashApplyDialogAnswers(report, result, "Request");
    EXPECT_EQ(report.report, before.report);
}
