// Fuzzes base64 decoding and the XML escaping.

#include "Base64.h"
#include "XMLItem.h"

#include <cstdlib>

using namespace crashreport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const std::vector<std::uint8_t> decoded = Base64Decode(text);
    if (size == 0 || size % 4 != 0) {
        if (!decoded.empty())
            std::abort();
    } else {
        std::size_t padding = 0;
        while (padding < size && text[size - 1 - padding] == '=')
            ++padding;
        const std::size_t full = 3 * (size / 4);
        if (decoded.size() != (padding >= full ? 0 : full - padding))
            std::abort();
    }
    // Encoding and decoding give the bytes back.
    if (Base64Decode(Base64Encode(data, size)) != std::vector<std::uint8_t>(data, data + size))
        std::abort();

    // Escaped text holds printable ASCII only and no markup character.
    for (const char c : TXMLItem::Escape(text)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126 || c == '<' || c == '>' || c == '"' || c == '\'')
            std::abort();
    }
    return 0;
}
