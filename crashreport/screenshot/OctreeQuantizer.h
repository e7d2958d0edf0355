#pragma once
// Octree colour quantizer: reduces any number of colours to at most 256 palette entries.
//
// Level L (0..7) of the tree picks the child by bit 7-L of red, green and blue; nodes made at
// level 8 are leaves. After each added colour the tree is folded while it holds more than 256
// leaves, always taking the most recently made node of the deepest level that still has
// reducible nodes. Nodes live in one pool and are recycled, so memory stays bounded by the tree.

#include "ScreenshotImage.h"

#include <array>
#include <cstdint>
#include <vector>

namespace crashreport {

class TOctreeQuantizer {
public:
    static constexpr int MaxColours = 256;

    TOctreeQuantizer();

    void addColour(std::uint32_t rgb);
    void addImage(const TScreenshotImage &image);

    int leafCount() const { return m_leafCount; }
    // Palette entries in depth-first order, children 0 to 7: one per leaf, the mean colour.
    std::vector<TPaletteEntry> palette() const;

private:
    static constexpr std::int32_t None = -1;
    struct Node {
        bool leaf = false;
        std::uint64_t count = 0;
        std::uint64_t red = 0, green = 0, blue = 0;
        std::int32_t nextReducible = None;
        std::array<std::int32_t, 8> child;
    };

    std::int32_t makeNode(int level);
    void freeSubtree(std::int32_t index);
    void reduce();
    void collect(std::int32_t index, std::vector<TPaletteEntry> &out) const;

    std::vector<Node> m_nodes;
    std::vector<std::int32_t> m_free;
    std::array<std::int32_t, 8> m_reducible;
    std::int32_t m_root;
    int m_leafCount = 0;
};

} // namespace crashreport
