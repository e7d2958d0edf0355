#pragma once
// Writes an 8-bit palette PNG: signature, IHDR, PLTE (always 256 entries), the zlib stream of
// the rows (filter byte 0 and W indices per row, level 9) in IDAT chunks of at most
// MaxIdatBytes, and IEND. No other chunk is written.

#include "ScreenshotImage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace crashreport {

inline constexpr std::size_t MaxIdatBytes = 262143;

// `indices` holds width * height palette indices, rows top to bottom. Returns an empty vector
// when the sizes do not fit or zlib fails.
std::vector<std::uint8_t> EncodePalettePng(int width, int height, const std::vector<std::uint8_t> &indices,
                                           const std::vector<TPaletteEntry> &palette);

} // namespace crashreport
