#pragma once
// A captured picture as the encoder takes it: W x H pixels of 0x00RRGGBB, rows top to bottom.

#include <cstdint>
#include <vector>

namespace crashreport {

struct TScreenshotImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // width * height values, row after row

    std::uint32_t pixel(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool valid() const
    {
        return width > 0 && height > 0 && pixels.size() == static_cast<std::size_t>(width) * height;
    }
};

struct TPaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const TPaletteEntry &) const = default;
};

} // namespace crashreport
