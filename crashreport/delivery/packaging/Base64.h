#pragma once
// Base64 with the standard alphabet and "=" padding, without line breaks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

// 4 * ceil(n / 3).
std::size_t Base64EncodedSize(std::size_t byteCount);
std::string Base64Encode(std::string_view text);
std::string Base64Encode(const void *data, std::size_t size);
// Input whose length is 0 or not a multiple of 4 decodes to nothing. The
// result has 3 * (length / 4) bytes less one per trailing "=" (never below 0);
// characters outside the alphabet count as zero bits, so malformed input gives
// a shortened or garbled result but never an error.
std::vector<std::uint8_t> Base64Decode(std::string_view text);
std::string Base64DecodeText(std::string_view text);

} // namespace crashreport
