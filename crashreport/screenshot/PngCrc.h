#pragma once
// CRC-32 of the PNG chunks (polynomial 0xEDB88320), table built on first use.

#include <cstddef>
#include <cstdint>

namespace crashreport {

// Continues `crc` (0 to start) over `size` bytes.
std::uint32_t PngCrc32(std::uint32_t crc, const std::uint8_t *data, std::size_t size);

} // namespace crashreport
