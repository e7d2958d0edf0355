// The golden-file check itself: a run with VETU_UPDATE_GOLDEN set rewrites a changed file and
// still fails with the difference, so no run passes by rewriting its own expectation.

#include "CrashTempFolder.h"
#include "ReportFixture.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace crashreport::testing;

namespace {

// The failures that one golden comparison reports, and their text.
std::string goldenFailures(const std::string &path, const std::string &actual)
{
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        expectGoldenIn(path, actual);
    }
    std::string text;
    for (int i = 0; i < results.size(); ++i)
        if (results.GetTestPartResult(i).failed())
            text += std::string(results.GetTestPartResult(i).message()) + "\n";
    return text;
}

class UpdateVariable {
public:
    explicit UpdateVariable(const char *value)
    {
        if (const char *old = std::getenv("VETU_UPDATE_GOLDEN"))
            m_old = old;
        if (value)
            ::setenv("VETU_UPDATE_GOLDEN", value, 1);
        else
            ::unsetenv("VETU_UPDATE_GOLDEN");
    }
    ~UpdateVariable()
    {
        if (m_old)
            ::setenv("VETU_UPDATE_GOLDEN", m_old->c_str(), 1);
        else
            ::unsetenv("VETU_UPDATE_GOLDEN");
    }

private:
    std::optional<std::string> m_old;
};

} // namespace

TEST(GoldenFile, UpdatingRewritesAChangedFileAndStillFails)
{
    const struct {
        const char *update; // the variable's value, nullptr: not set
        const char *before; // the committed file, nullptr: missing
        bool fails;
        const char *after;
    } cases[] = {
        { nullptr, "a\r\nb\r\n", false, "a\r\nb\r\n" },
        { nullptr, "a\r\nold\r\n", true, "a\r\nold\r\n" },
        { nullptr, nullptr, true, nullptr },
        { "1", "a\r\nb\r\n", false, "a\r\nb\r\n" },
        { "1", "a\r\nold\r\n", true, "a\r\nb\r\n" },
        { "1", nullptr, true, "a\r\nb\r\n" },
        { "0", "a\r\nold\r\n", true, "a\r\nold\r\n" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.update ? c.update : "unset") + " " + (c.before ? c.before : "missing"));
        CrashTempFolder dir;
        const std::string path = dir.file("golden.txt");
        if (c.before)
            writeFile(path, c.before);
        const UpdateVariable variable(c.update);
        const std::string failures = goldenFailures(path, "a\r\nb\r\n");
        EXPECT_EQ(!failures.empty(), c.fails) << failures;
        if (c.before && c.fails) {
            // The difference is shown line by line.
            EXPECT_NE(failures.find("-2: old"), std::string::npos) << failures;
            EXPECT_NE(failures.find("+2: b"), std::string::npos) << failures;
        }
        EXPECT_EQ(std::filesystem::exists(path), c.after != nullptr);
        if (c.after) {
            EXPECT_EQ(readFile(path), c.after);
        }
    }
}
