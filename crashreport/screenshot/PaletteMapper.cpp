#include "PaletteMapper.h"

#include <algorithm>
#include <limits>

namespace crashreport {

namespace {

constexpr int CellBits = 4;
constexpr int Cells = 1 << CellBits;
constexpr int CellSize = 256 / Cells;

int axisNear(int value, int low, int high)
{
    if (value < low)
        return low - value;
    if (value > high)
        return value - high;
    return 0;
}

int axisFar(int value, int low, int high)
{
    return std::max(std::abs(value - low), std::abs(value - high));
}

} // namespace

constexpr std::uint32_t CacheSize = 1u << 16;

TPaletteMapper::TPaletteMapper(std::vector<TPaletteEntry> palette)
    : m_palette(std::move(palette)), m_cacheKey(CacheSize, 0), m_cacheIndex(CacheSize, 0)
{
    if (m_palette.empty())
        m_palette.push_back({});
    if (m_palette.size() > 256)
        m_palette.resize(256);

    m_cellStart.reserve(Cells * Cells * Cells + 1);
    std::vector<int> nearDistance(m_palette.size());
    for (int rc = 0; rc < Cells; ++rc)
        for (int gc = 0; gc < Cells; ++gc)
            for (int bc = 0; bc < Cells; ++bc) {
                m_cellStart.push_back(static_cast<std::uint32_t>(m_candidates.size()));
                const int r0 = rc * CellSize, g0 = gc * CellSize, b0 = bc * CellSize;
                const int r1 = r0 + CellSize - 1, g1 = g0 + CellSize - 1, b1 = b0 + CellSize - 1;
                int bestFar = std::numeric_limits<int>::max();
                for (std::size_t i = 0; i < m_palette.size(); ++i) {
                    const TPaletteEntry &e = m_palette[i];
                    const int nr = axisNear(e.red, r0, r1), ng = axisNear(e.green, g0, g1), nb = axisNear(e.blue, b0, b1);
                    nearDistance[i] = nr * nr + ng * ng + nb * nb;
                    const int fr = axisFar(e.red, r0, r1), fg = axisFar(e.green, g0, g1), fb = axisFar(e.blue, b0, b1);
                    bestFar = std::min(bestFar, fr * fr + fg * fg + fb * fb);
                }
                for (std::size_t i = 0; i < m_palette.size(); ++i)
                    if (nearDistance[i] <= bestFar)
                        m_candidates.push_back(static_cast<std::uint8_t>(i));
            }
    m_cellStart.push_back(static_cast<std::uint32_t>(m_candidates.size()));
}

std::uint8_t TPaletteMapper::nearest(std::uint32_t rgb)
{
    rgb &= 0xFFFFFF;
    const std::uint32_t slot = ((rgb * 2654435761u) >> 16) & (CacheSize - 1);
    if (m_cacheKey[slot] == (rgb | 0x01000000u))
        return m_cacheIndex[slot];
    const int r = static_cast<int>(rgb >> 16), g = static_cast<int>((rgb >> 8) & 0xFF), b = static_cast<int>(rgb & 0xFF);
    const int cell = ((r >> CellBits) << (2 * CellBits)) | ((g >> CellBits) << CellBits) | (b >> CellBits);
    int best = std::numeric_limits<int>::max();
    std::uint8_t bestIndex = 0;
    for (std::uint32_t k = m_cellStart[cell]; k < m_cellStart[cell + 1]; ++k) {
        const std::uint8_t i = m_candidates[k];
        const TPaletteEntry &e = m_palette[i];
        const int dr = e.red - r, dg = e.green - g, db = e.blue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    m_cacheKey[slot] = rgb | 0x01000000u;
    m_cacheIndex[slot] = bestIndex;
    return bestIndex;
}

std::vector<std::uint8_t> TPaletteMapper::map(const TScreenshotImage &image)
{
    std::vector<std::uint8_t> out(image.pixels.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = nearest(image.pixels[i]);
    return out;
}

} // namespace crashreport
