// The PNG writer checked from outside: pngcheck for the file's structure, Qt's decoder for the
// pixels, and the chunk layout read back byte by byte.
#include "../../testing/CrashTempFolder.h"
#include "PngWriter.h"
#include "ScreenshotFile.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>

using namespace crashreport;

namespace {

struct Chunk {
    std::string type;
    std::uint32_t length = 0;
    std::uint32_t crc = 0;
};

std::uint32_t readU32(const std::vector<std::uint8_t> &b, std::size_t at)
{
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

std::vector<Chunk> chunksOf(const std::vector<std::uint8_t> &png)
{
    std::vector<Chunk> out;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        Chunk c;
        c.length = readU32(png, at);
        c.type.assign(reinterpret_cast<const char *>(png.data() + at + 4), 4);
        c.crc = readU32(png, at + 8 + c.length);
        out.push_back(c);
        at += 12 + c.length;
    }
    EXPECT_EQ(at, png.size());
    return out;
}

// A picture of `colours` distinct colours spread at random over the pixels.
TScreenshotImage randomImage(int width, int height, int colours, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> set(colours);
    for (int i = 0; i < colours; ++i)
        set[i] = (static_cast<std::uint32_t>(i) * 2654435761u) & 0xFFFFFF; // distinct for i < 256
    TScreenshotImage image{width, height, {}};
    image.pixels.resize(static_cast<std::size_t>(width) * height);
    for (auto &p : image.pixels)
        p = set[rng() % colours];
    return image;
}

std::string savePng(const crashreport::testing::CrashTempFolder &dir, const std::vector<std::uint8_t> &png)
{
    const std::string path = dir.file("picture.png");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(png.data()), static_cast<std::streamsize>(png.size()));
    return path;
}

bool pngcheckAccepts(const std::string &path)
{
    const std::string cmd = "pngcheck -q '" + path + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

} // namespace

struct PictureCase {
    const char *name;
    int width;
    int height;
    int colours;
};

class PngPictureTest : public ::testing::TestWithParam<PictureCase> { };

// Every picture: accepted by pngcheck, only the four chunk kinds in order, decoded by Qt to the
// same size with every pixel's colour unchanged (never more than 256 colours here).
TEST_P(PngPictureTest, WritesAValidPaletteFileThatKeepsEveryColour)
{
    const PictureCase pc = GetParam();
    const TScreenshotImage image = randomImage(pc.width, pc.height, pc.colours, 7);
    const std::vector<std::uint8_t> png = EncodeScreenshotPng(image);
    ASSERT_FALSE(png.empty());

    crashreport::testing::CrashTempFolder dir("png");
    const std::string path = savePng(dir, png);
    EXPECT_TRUE(pngcheckAccepts(path)) << pc.name;

    const std::vector<Chunk> chunks = chunksOf(png);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.front().length, 13u);
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].length, 768u);
    EXPECT_EQ(chunks.back().type, "IEND");
    for (std::size_t i = 2; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].type, "IDAT");
        if (i + 2 < chunks.size())
            EXPECT_EQ(chunks[i].length, MaxIdatBytes) << "all IDAT chunks but the last are full";
        else
            EXPECT_LE(chunks[i].length, MaxIdatBytes);
    }
    // IHDR: W, H, depth 8, colour type 3, then three zero bytes.
    EXPECT_EQ(readU32(png, 16), static_cast<std::uint32_t>(pc.width));
    EXPECT_EQ(readU32(png, 20), static_cast<std::uint32_t>(pc.height));
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 3);

    QImage decoded;
    ASSERT_TRUE(decoded.load(QString::fromStdString(path), "PNG"));
    ASSERT_EQ(decoded.width(), pc.width);
    ASSERT_EQ(decoded.height(), pc.height);
    EXPECT_EQ(decoded.format(), QImage::Format_Indexed8);
    int changed = 0;
    for (int y = 0; y < pc.height; ++y)
        for (int x = 0; x < pc.width; ++x)
            if ((decoded.pixel(x, y) & 0xFFFFFF) != image.pixel(x, y))
                ++changed;
    EXPECT_EQ(changed, 0);
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngPictureTest,
                         ::testing::Values(PictureCase{"one pixel", 1, 1, 1},
                                           PictureCase{"width not a multiple of 4", 13, 7, 40},
                                           PictureCase{"one pixel wide column", 1, 300, 3},
                                           PictureCase{"exactly 256 colours", 64, 64, 256},
                                           PictureCase{"several IDAT chunks", 1200, 1000, 256}),
                         [](const auto &info) {
                             std::string n = info.param.name;
                             for (char &c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

TEST(PngWriterTest, SeveralIdatChunksAreReallyWrittenForLargeData)
{
    const TScreenshotImage image = randomImage(1200, 1000, 256, 3);
    const std::vector<Chunk> chunks = chunksOf(EncodeScreenshotPng(image));
    int idat = 0;
    for (const Chunk &c : chunks)
        idat += c.type == "IDAT";
    EXPECT_GE(idat, 3);
}

TEST(PngWriterTest, IendCarriesTheStandardCrc)
{
    const std::vector<std::uint8_t> png = EncodeScreenshotPng(randomImage(2, 2, 2, 1));
    ASSERT_GE(png.size(), 12u);
    const std::vector<std::uint8_t> iend(png.end() - 12, png.end());
    const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(iend, expected);
}

TEST(PngWriterTest, RefusesSizesThatDoNotMatchTheData)
{
    const std::vector<TPaletteEntry> palette(1);
    EXPECT_TRUE(EncodePalettePng(0, 1, {}, palette).empty());
    EXPECT_TRUE(EncodePalettePng(2, 2, std::vector<std::uint8_t>(3), palette).empty());
    EXPECT_TRUE(EncodeScreenshotPng(TScreenshotImage{3, 3, std::vector<std::uint32_t>(8)}).empty());
}

TEST(ScreenshotFileTest, EmptyPathWritesNothing)
{
    EXPECT_FALSE(WriteScreenshotFile("", randomImage(4, 4, 4, 1)));
}

TEST(ScreenshotFileTest, WritesTheFileAndLeavesNothingBehindWhenTheFolderRefuses)
{
    crashreport::testing::CrashTempFolder dir("shot");
    const std::string path = dir.file(ScreenshotFileName);
    ASSERT_TRUE(WriteScreenshotFile(path, randomImage(10, 10, 5, 2)));
    EXPECT_TRUE(pngcheckAccepts(path));

    const std::string locked = dir.file("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
    if (::geteuid() == 0) {
        // root ignores the folder's mode: a path below a plain file fails for every user
        EXPECT_FALSE(WriteScreenshotFile(path + "/" + ScreenshotFileName, randomImage(3, 3, 2, 2)));
    } else {
        EXPECT_FALSE(WriteScreenshotFile(locked + "/" + ScreenshotFileName, randomImage(3, 3, 2, 2)));
        EXPECT_FALSE(std::ifstream(locked + "/" + ScreenshotFileName + ".part").good());
    }
}

TEST(ScreenshotFileTest, PathOnlyWhenScreenshotsAreAsked)
{
    EXPECT_EQ(ScreenshotFilePath("/tmp", 0x51), "/tmp/Screenshot.png");
    EXPECT_EQ(ScreenshotFilePath("/tmp/", 0x10), "/tmp/Screenshot.png");
    EXPECT_EQ(ScreenshotFilePath("/tmp", 0x41), "");
}
