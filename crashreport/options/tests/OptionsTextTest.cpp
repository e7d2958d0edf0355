// The readable options file of the build tool.

#include "CrashOptionsText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace crashreport;

TEST(OptionsText, ValuesOfEveryKindAreTaken)
{
    const char *text = "\xEF\xBB\xBF# comment\r\n"
                       "; another comment\n"
                       "\n"
                       "  LogActive = 1\n"
                       "ReportsToKeep = -1\n"
                       "MailPort = 0x24B\n"
                       "ReportFields = 0xFFFF00000000\n"
                       "FreezeSeconds=4294967295\n"
                       "MailSubject = \"  padded \\\"quoted\\\"  \"\n"
                       "MailMessage = Line one\\r\\nLine two\n"
                       "OutputFolder = /var/log/vetu\n"
                       "CAFile = /etc/vetu/ca.pem\n"
                       "Text.26 = Das Programm hat ein Problem.\n"
                       "Text.157 = \n"
                       "TextSetName = Deutsch\n"
                       "LeakUseMainOptions = 1\n"
                       "Filter.2.Class = std::runtime_error\n"
                       "Filter.1.Class = std::bad_alloc\n"
                       "Filter.1.Message = Kein Speicher.\n"
                       "Filter.1.HandlerKind = 1\n"
                       "Filter.1.Active = 0\n"
                       "Filter.2.FilterAction = 2\n";
    TCrashOptionsFile file;
    std::string error;
    ASSERT_TRUE(ParseCrashOptionsText(text, file, error)) << error;
    const TCrashModuleOptions &o = file.options;
    EXPECT_EQ(o.logActive(), 1);
    EXPECT_EQ(o.reportsToKeep(), -1);
    EXPECT_EQ(o.mailPort(), 587);
    EXPECT_EQ(o.reportFields(), 0xFFFF00000000ull);
    EXPECT_EQ(o.freezeSeconds(), 4294967295u);
    EXPECT_EQ(o.mailSubject(), "  padded \"quoted\"  ");
    EXPECT_EQ(o.mailMessage(), "Line one\r\nLine two");
    EXPECT_EQ(o.outputFolder(), "/var/log/vetu");
    EXPECT_EQ(o.caFile(), "/etc/vetu/ca.pem");
    EXPECT_EQ(o.text(26), "Das Programm hat ein Problem.");
    EXPECT_EQ(o.text(157), "");
    EXPECT_EQ(o.text(25), "Go to the Support Page");
    EXPECT_EQ(o.textSetName(), "Deutsch");
    EXPECT_EQ(file.leakUseMainOptions, 1);
    ASSERT_EQ(o.filters().count(), 2u);
    EXPECT_EQ(o.filters().item(0), (TCrashExceptionFilter { false, "std::bad_alloc", "Kein Speicher.", 1, 1, 0, 0 }));
    EXPECT_EQ(o.filters().item(1), (TCrashExceptionFilter { true, "std::runtime_error", "", 1, 2, 2, 0 }));
    // Untouched options keep their defaults.
    EXPECT_EQ(o.leakFlags(), 30);
    EXPECT_EQ(o.keepLogFile(), 1);
}

TEST(OptionsText, MistakesAreReportedWithTheirLine)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        { "LogActiv = 1", "line 1: unknown key LogActiv" },
        { "Active = 0", "unknown key Active" }, // not stored, so not offered
        { "\nLogActive", "line 2: expected \"key = value\"" },
        { "= 1", "line 1: a key is missing" },
        { "LogActive = 256", "line 1: 256 is out of range (0 to 255)" },
        { "LogActive = -1", "line 1: -1 is out of range (0 to 255)" },
        { "MailPort = 65536", "out of range" },
        { "ReportsToKeep = 2147483648", "out of range" },
        { "ReportFields = 0x1000000000000", "out of range" },
        { "FreezeSeconds = sixty", "line 1: \"sixty\" is not a number" },
        { "FreezeSeconds = 12abc", "is not a number" },
        { "FreezeSeconds = ", "is not a number" },
        { "FreezeSeconds = 0x", "is not a number" },
        { "FreezeSeconds = 99999999999999999999999", "is not a number" },
        { "Text.158 = x", "unknown text id" },
        { "Text.x = x", "unknown text id" },
        { "Text. = x", "unknown text id" },
        { "Filter.1.Colour = red", "unknown filter key Colour" },
        { "Filter.x.Class = E", "unknown key" },
        { "MailSubject = a\\qb", "unknown escape \\q" },
        { "MailSubject = a\\", "lone backslash" },
        { "MailHost = a\nMailHost = b", "line 2: the key MailHost is given twice" },
    };
    for (const auto &c : cases) {
        TCrashOptionsFile file;
        std::string error;
        EXPECT_FALSE(ParseCrashOptionsText(c.text, file, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
    }
}

TEST(OptionsText, TheProgramsOptionsFileKeepsTheLeakCatcherOff)
{
    std::ifstream in(VETU_OPTIONS_FILE);
    ASSERT_TRUE(in) << VETU_OPTIONS_FILE;
    std::stringstream text;
    text << in.rdbuf();
    TCrashOptionsFile file;
    std::string error;
    ASSERT_TRUE(ParseCrashOptionsText(text.str(), file, error)) << error;
    EXPECT_EQ(file.options.leakFlags() & 0x01, 0);
    EXPECT_EQ(file.options.keepLogFile(), 1);
    EXPECT_EQ(file.options.mailMode(), 0);
}
