#include "OctreeQuantizer.h"

namespace crashreport {

TOctreeQuantizer::TOctreeQuantizer()
{
    m_reducible.fill(None);
    m_nodes.reserve(4096);
    m_root = makeNode(0);
}

std::int32_t TOctreeQuantizer::makeNode(int level)
{
    std::int32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
        m_nodes[index] = Node{};
    } else {
        index = static_cast<std::int32_t>(m_nodes.size());
        m_nodes.emplace_back();
    }
    Node &node = m_nodes[index];
    node.child.fill(None);
    if (level == 8) {
        node.leaf = true;
        ++m_leafCount;
    } else {
        node.nextReducible = m_reducible[level];
        m_reducible[level] = index;
    }
    return index;
}

void TOctreeQuantizer::freeSubtree(std::int32_t index)
{
    for (std::int32_t c : m_nodes[index].child)
        if (c != None)
            freeSubtree(c);
    m_free.push_back(index);
}

void TOctreeQuantizer::addColour(std::uint32_t rgb)
{
    const unsigned r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    std::int32_t index = m_root;
    for (int level = 0; !m_nodes[index].leaf; ++level) {
        const int shift = 7 - level;
        const int slot = static_cast<int>((((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1));
        std::int32_t next = m_nodes[index].child[slot];
        if (next == None) {
            next = makeNode(level + 1); // may move the pool: index the vector again below
            m_nodes[index].child[slot] = next;
        }
        index = next;
    }
    Node &leaf = m_nodes[index];
    ++leaf.count;
    leaf.red += r;
    leaf.green += g;
    leaf.blue += b;
    while (m_leafCount > MaxColours)
        reduce();
}

void TOctreeQuantizer::addImage(const TScreenshotImage &image)
{
    for (std::uint32_t rgb : image.pixels)
        addColour(rgb);
}

void TOctreeQuantizer::reduce()
{
    int level = 7;
    while (level > 0 && m_reducible[level] == None)
        --level;
    const std::int32_t index = m_reducible[level];
    if (index == None)
        return; // nothing left to fold (cannot happen with more than 256 leaves)
    m_reducible[level] = m_nodes[index].nextReducible;

    int children = 0;
    for (int slot = 0; slot < 8; ++slot) {
        const std::int32_t c = m_nodes[index].child[slot];
        if (c == None)
            continue;
        Node &node = m_nodes[index];
        const Node &child = m_nodes[c];
        node.count += child.count;
        node.red += child.red;
        node.green += child.green;
        node.blue += child.blue;
        node.child[slot] = None;
        freeSubtree(c);
        ++children;
    }
    m_nodes[index].leaf = true;
    m_leafCount -= children - 1;
}

void TOctreeQuantizer::collect(std::int32_t index, std::vector<TPaletteEntry> &out) const
{
    const Node &node = m_nodes[index];
    if (node.leaf) {
        if (node.count == 0)
            return;
        out.push_back({static_cast<std::uint8_t>(node.red / node.count),
                       static_cast<std::uint8_t>(node.green / node.count),
                       static_cast<std::uint8_t>(node.blue / node.count)});
        return;
    }
    for (std::int32_t c : node.child)
        if (c != None)
            collect(c, out);
}

std::vector<TPaletteEntry> TOctreeQuantizer::palette() const
{
    std::vector<TPaletteEntry> out;
    out.reserve(MaxColours);
    collect(m_root, out);
    return out;
}

} // namespace crashreport
