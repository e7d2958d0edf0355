#pragma once
// Maps colours to the nearest palette entry (squared distance in RGB; the lower index wins a tie).
//
// The RGB cube is cut into 16 x 16 x 16 cells; each cell keeps only the entries that can be the
// nearest for some colour inside it (an entry whose nearest possible distance to the cell is no
// greater than the smallest farthest distance of any entry). A lookup then scans a few entries
// instead of all 256, and recent answers are kept in a small cache (screens repeat colours).

#include "ScreenshotImage.h"

#include <cstdint>
#include <vector>

namespace crashreport {

class TPaletteMapper {
public:
    explicit TPaletteMapper(std::vector<TPaletteEntry> palette);

    std::uint8_t nearest(std::uint32_t rgb);
    // The picture as palette indices, W bytes per row, rows top to bottom.
    std::vector<std::uint8_t> map(const TScreenshotImage &image);

private:
    std::vector<TPaletteEntry> m_palette;
    std::vector<std::uint32_t> m_cellStart; // 4097 offsets into m_candidates
    std::vector<std::uint8_t> m_candidates;
    // Direct-mapped cache of recent answers: key colour | 0x01000000 (0: empty), index.
    std::vector<std::uint32_t> m_cacheKey;
    std::vector<std::uint8_t> m_cacheIndex;
};

} // namespace crashreport
