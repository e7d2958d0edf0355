#include "Base64.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace crashreport;
namespace fs = std::filesystem;

namespace {

// What coreutils' base64 makes of the bytes.
std::string CoreutilsBase64(const std::vector<std::uint8_t> &data, const fs::path &scratch)
{
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    }
    const std::string command = "base64 -w 0 " + scratch.string();
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return "<popen failed>";
    std::string result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.append(buffer, n);
    ::pclose(pipe);
    return result;
}

} // namespace

TEST(Base64, MatchesCoreutilsOnRandomDataOfManySizes)
{
    const fs::path scratch = fs::temp_directory_path() / ("base64-" + std::to_string(::getpid()));
    std::mt19937 random(2024);
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 70; ++n)
        sizes.push_back(n);
    for (std::size_t n : { 255, 256, 257, 1000, 4095, 4096, 4097, 65535, 65536, 65537, 300001 })
        sizes.push_back(n);
    for (const std::size_t size : sizes) {
        std::vector<std::uint8_t> data(size);
        for (auto &b : data)
            b = std::uint8_t(random());
        const std::string encoded = Base64Encode(data.data(), data.size());
        ASSERT_EQ(encoded, CoreutilsBase64(data, scratch)) << size;
        EXPECT_EQ(encoded.size(), Base64EncodedSize(size));
        ASSERT_EQ(Base64Decode(encoded), data) << size;
    }
    fs::remove(scratch);
}

TEST(Base64, EncodesTextsWithoutLineBreaks)
{
    const struct {
        const char *text;
        const char *encoded;
    } cases[] = {
        { "", "" },
        { "A", "QQ==" },
        { "AB", "QUI=" },
        { "ABC", "QUJD" },
        { "\xC3\xBC", "w7w=" },
        { "Hello, World!\r\n", "SGVsbG8sIFdvcmxkIQ0K" },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Base64Encode(std::string_view(c.text)), c.encoded) << c.text;
        EXPECT_EQ(Base64DecodeText(c.encoded), c.text);
    }
    EXPECT_EQ(Base64Encode(std::string(1000, 'x')).find_first_of("\r\n"), std::string::npos);
    const std::size_t sizes[][2] = { { 0, 0 }, { 1, 4 }, { 2, 4 }, { 3, 4 }, { 4, 8 }, { 5, 8 }, { 6, 8 }, { 7, 12 } };
    for (const auto &s : sizes)
        EXPECT_EQ(Base64EncodedSize(s[0]), s[1]) << s[0];
}

TEST(Base64, MalformedInputGivesAnEmptyOrShortenedResult)
{
    const struct {
        std::string input;
        std::string decoded;
    } cases[] = {
        { "", "" },
        { "Q", "" },
        { "QQ=", "" },         // length not a multiple of 4
        { "QUJDR", "" },
        { "QUJD\r\n", "" },
        { "QQ==", "A" },
        { "QQ=\n", std::string("A\0\0", 3) }, // the "=" is not trailing: no byte less
        { "Q===", "" },        // three padding characters: 3 - 3
        { "====", "" },        // more padding than data
        { "========", "" },
        { "QUJD====", "AB" },  // 6 - 4
        { "@@@@", std::string(3, '\0') }, // outside the alphabet: zero bits
        { "QU=D", "A@\x03" },
    };
    for (const auto &c : cases) {
        const std::string decoded = Base64DecodeText(c.input);
        EXPECT_EQ(decoded, c.decoded) << c.input;
    }
}
