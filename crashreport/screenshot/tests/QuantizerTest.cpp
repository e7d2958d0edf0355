// The octree quantizer and the nearest-colour mapping.
#include "OctreeQuantizer.h"
#include "PaletteMapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <set>

using namespace crashreport;

namespace {

int distance(const TPaletteEntry &e, std::uint32_t rgb)
{
    const int dr = e.red - int(rgb >> 16), dg = e.green - int((rgb >> 8) & 0xFF), db = e.blue - int(rgb & 0xFF);
    return dr * dr + dg * dg + db * db;
}

} // namespace

TEST(OctreeQuantizerTest, KeepsAtMost256LeavesForAManyColourPicture)
{
    std::mt19937 rng(11);
    TOctreeQuantizer q;
    for (int i = 0; i < 200000; ++i) {
        q.addColour(rng() & 0xFFFFFF);
        ASSERT_LE(q.leafCount(), 256);
    }
    const auto palette = q.palette();
    EXPECT_LE(palette.size(), 256u);
    EXPECT_GT(palette.size(), 64u);
}

TEST(OctreeQuantizerTest, PaletteIsTheMeanOfEachLeafInTreeOrder)
{
    TOctreeQuantizer q;
    // Two pixels of one colour and one of another, added in reverse tree order.
    q.addColour(0xFFFFFF);
    q.addColour(0x000000);
    q.addColour(0x000000);
    const auto palette = q.palette();
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[0], (TPaletteEntry{0, 0, 0}));
    EXPECT_EQ(palette[1], (TPaletteEntry{255, 255, 255}));
}

TEST(OctreeQuantizerTest, FoldingAveragesTheFoldedColours)
{
    // 257 colours that differ only in the lowest bit of blue pair up under level-7 nodes; the
    // 257th forces the most recent level-7 node to fold its two leaves into their mean.
    TOctreeQuantizer q;
    for (std::uint32_t i = 0; i < 128; ++i) {
        q.addColour((i << 9) | 0);
        q.addColour((i << 9) | 1);
    }
    ASSERT_EQ(q.leafCount(), 256);
    q.addColour(0xFF0000);
    EXPECT_EQ(q.leafCount(), 256);
    const auto palette = q.palette();
    const std::uint32_t folded = 127u << 9; // green/red bits of the last pair
    const TPaletteEntry mean{static_cast<std::uint8_t>(folded >> 16), static_cast<std::uint8_t>((folded >> 8) & 0xFF), 0};
    EXPECT_NE(std::find(palette.begin(), palette.end(), mean), palette.end());
}

TEST(PaletteMapperTest, AgreesWithABruteForceNearestSearch)
{
    std::mt19937 rng(5);
    for (int paletteSize : {1, 2, 17, 256}) {
        std::vector<TPaletteEntry> palette(paletteSize);
        for (auto &e : palette)
            e = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
        TPaletteMapper mapper(palette);
        for (int i = 0; i < 20000; ++i) {
            const std::uint32_t rgb = rng() & 0xFFFFFF;
            int best = std::numeric_limits<int>::max();
            for (const auto &e : palette)
                best = std::min(best, distance(e, rgb));
            ASSERT_EQ(distance(palette[mapper.nearest(rgb)], rgb), best) << "palette " << paletteSize;
        }
    }
}
