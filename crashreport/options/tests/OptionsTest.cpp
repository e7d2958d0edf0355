// Defaults, texts, assignment and change notification of the options.

#include "CrashModuleOptions.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(Options, DefaultsLeaveTheLeakCatcherOffAndKeepTheLog)
{
    const TCrashModuleOptions options;
    EXPECT_TRUE(options.active());
    EXPECT_EQ(options.leakFlags() & 0x01, 0);
    EXPECT_EQ(options.leakFlags(), 30);
    EXPECT_EQ(options.keepLogFile(), 1);
    EXPECT_EQ(options.handleActive(), 1);
    EXPECT_EQ(options.logSections(), 0x30);
    EXPECT_EQ(options.freezeSeconds(), 60u);
    EXPECT_EQ(options.mailPort(), 25);
    EXPECT_EQ(options.reportsToKeep(), 32);
    EXPECT_EQ(options.reportFields(), 0xFFFFFFFFFFFFull);
    EXPECT_EQ(options.sendFlags(), 0x51);
    EXPECT_EQ(options.dialogFlags(), 399);
    EXPECT_EQ(options.stackFlags(), 15);
    EXPECT_EQ(options.behaviour(), 0x58);
    EXPECT_EQ(options.repeatLimit(), 10u);
    EXPECT_EQ(options.dialogStyle(), 2);
    EXPECT_EQ(options.proxyPort(), 8080);
    EXPECT_FALSE(options.mailFrom().empty());
    EXPECT_FALSE(options.htmlLayout().empty());
    EXPECT_EQ(options.textSetName(), "English");
    EXPECT_EQ(options.filters().count(), 0u);
}

TEST(Options, TextTableHoldsTheEnglishDefaults)
{
    const TCrashModuleOptions options;
    const struct {
        std::size_t id;
        const char *text;
    } cases[] = {
        { 0, "Information." },
        { 4, "An error has occurred during program execution.\r\nPlease read the following information for further "
             "details." },
        { 17, "&OK" },
        { 36, "&Don't Send" },
        { 80, "Build #" },
        { 96, "Procedure/Method" },
        { 146, "These BUG is just closed.\r\nContact the program support to obtain an update." },
        { 153, "" },
        { 156, "The application seems to be frozen." },
        { 157, "Invalid email." },
    };
    for (const auto &c : cases)
        EXPECT_EQ(options.text(c.id), c.text) << c.id;
    for (std::size_t id = 0; id < CrashTextCount; ++id)
        EXPECT_EQ(options.text(id).empty(), id == 153) << id;
    EXPECT_EQ(options.text(158), "");
    EXPECT_EQ(options.text(std::size_t(-1)), "");
}

TEST(Options, SetTextByIdRejectsUnknownIds)
{
    TCrashModuleOptions options;
    EXPECT_TRUE(options.setText(26, "Something went wrong."));
    EXPECT_EQ(options.text(26), "Something went wrong.");
    EXPECT_FALSE(options.setText(158, "x"));
    EXPECT_FALSE(options.setText(100000, "x"));
    options.setDefaults();
    EXPECT_EQ(options.text(26), "The application has encountered a problem. We are sorry for the inconvenience.");
}

TEST(Options, AssignCopiesEveryOptionButNotTheModule)
{
    TCrashModuleOptions source("libsource.so");
    source.setMailHost("smtp.example.org");
    source.setReportsToKeep(-1);
    source.setText(7, "Stack");
    source.setActive(false);
    TCrashExceptionsFilters filters;
    filters.add({ true, "std::bad_alloc", "No memory", 2, 2, 0, 0 });
    source.setFilters(filters);

    TCrashModuleOptions target("libtarget.so");
    ASSERT_TRUE(target.assign(&source));
    EXPECT_TRUE(target.sameOptions(source));
    EXPECT_EQ(target.moduleName(), "libtarget.so");
    EXPECT_FALSE(target.active());
    EXPECT_EQ(target.filters().item(0).className, "std::bad_alloc");
    EXPECT_TRUE(target.assign(&target));
}

TEST(Options, AssigningNothingFailsWithItsMessageAndKeepsTheOptions)
{
    TCrashModuleOptions target;
    target.setMailHost("kept");
    EXPECT_FALSE(target.assign(nullptr));
    EXPECT_EQ(target.errorString(), "Impossible to assign nil as TCrashModuleOptions.");
    EXPECT_EQ(target.mailHost(), "kept");
}

TEST(Options, ChangesAreMadeKnownWhenTheUseCountDropsToZero)
{
    TCrashModuleOptions options;
    int notified = 0;
    options.setChangeHandler([&](const TCrashModuleOptions &) { ++notified; });

    options.setMailHost("a");
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(options.useCount(), 0);

    options.beginUpdate();
    options.setMailHost("b");
    options.setMailPort(2525);
    options.setText(3, "x");
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(options.useCount(), 1);
    options.endUpdate();
    EXPECT_EQ(notified, 2);

    options.beginUpdate();
    options.endUpdate();
    EXPECT_EQ(notified, 2); // nothing changed

    // A failing listener does not break the options.
    options.setChangeHandler([](const TCrashModuleOptions &) { throw std::runtime_error("listener"); });
    EXPECT_NO_THROW(options.setMailHost("c"));
    EXPECT_EQ(options.mailHost(), "c");
    EXPECT_EQ(options.useCount(), 0);
}
