// Built three times: with the probe options as the ".crdata" section, with
// them appended to the file, and without any block. Each build reads the
// options of its own module at run time.

#include "CrashDataBlock.h"
#include "CrashModuleOptionsEx.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace crashreport;

TEST(EmbeddedOptions, OwnModuleCarriesTheChosenOptions)
{
    const TCrashDataLookup &data = OwnCrashData();
    const TCrashModuleOptionsEx &options = OwnCrashModuleOptions();
    const auto expected = static_cast<TCrashDataPlacement>(PROBE_PLACEMENT);
    EXPECT_EQ(data.placement, expected);
    EXPECT_TRUE(data.error.empty()) << data.error;
    if (expected == TCrashDataPlacement::None) {
        EXPECT_FALSE(data.found);
        EXPECT_FALSE(options.hasCrashData());
        EXPECT_TRUE(options.sameOptions(TCrashModuleOptions()));
        EXPECT_TRUE(options.caFile().empty());
        EXPECT_EQ(options.leakFlags() & 0x01, 0);
        EXPECT_FALSE(FindCrashDataStream(CrashDataLineTableTag).has_value());
        return;
    }
    ASSERT_TRUE(data.found);
    EXPECT_EQ(data.block.version, 6012);
    EXPECT_EQ(data.block.leakFlags, 28);
    EXPECT_TRUE(options.hasCrashData());
    EXPECT_EQ(options.dataVersion(), 6012);
    EXPECT_EQ(options.mailSubject(), "Probe report");
    EXPECT_EQ(options.freezeSeconds(), 17u);
    EXPECT_EQ(options.leakFlags(), 28);
    EXPECT_EQ(options.text(26), "The probe has stopped.");
    EXPECT_EQ(options.text(27), "Restart application.");
    ASSERT_EQ(options.filters().count(), 1u);
    EXPECT_EQ(options.filters().item(0).className, "std::bad_alloc");
    // The certificate-authority file travels as a stream of its own beside the stored options.
    EXPECT_EQ(options.caFile(), "/etc/vetu/private ca.pem");
    EXPECT_EQ(CrashDataCAFile(data.block), "/etc/vetu/private ca.pem");
    // The build tool wrote the time of the build.
    EXPECT_GT(CrashDataBuildTime(data.block), 1700000000);
    EXPECT_LE(CrashDataBuildTime(data.block), std::int64_t(std::time(nullptr)));

    // The line table written by the generator for the linked program.
    const auto lineTable = FindCrashDataStream(CrashDataLineTableTag);
    ASSERT_TRUE(lineTable.has_value());
    const std::string text(lineTable->begin(), lineTable->end());
    EXPECT_EQ(text.rfind("line table of ", 0), 0u) << text;
    EXPECT_NE(text.find("crash_options_probe"), std::string::npos) << text;
}
