#include "Base64.h"

namespace crashreport {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return std::uint8_t(c - 'A');
    if (c >= 'a' && c <= 'z')
        return std::uint8_t(c - 'a' + 26);
    if (c >= '0' && c <= '9')
        return std::uint8_t(c - '0' + 52);
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

} // namespace

std::size_t Base64EncodedSize(std::size_t byteCount)
{
    return 4 * (byteCount / 3 + (byteCount % 3 != 0 ? 1 : 0));
}

std::string Base64Encode(const void *data, std::size_t size)
{
    const auto *in = static_cast<const std::uint8_t *>(data);
    std::string out(Base64EncodedSize(size), '=');
    std::size_t o = 0, i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = std::uint32_t(in[i]) << 16 | std::uint32_t(in[i + 1]) << 8 | in[i + 2];
        out[o++] = Alphabet[v >> 18];
        out[o++] = Alphabet[(v >> 12) & 63];
        out[o++] = Alphabet[(v >> 6) & 63];
        out[o++] = Alphabet[v & 63];
    }
    if (size - i == 1) {
        const std::uint32_t v = std::uint32_t(in[i]) << 16;
        out[o++] = Alphabet[v >> 18];
        out[o++] = Alphabet[(v >> 12) & 63];
    } else if (size - i == 2) {
        const std::uint32_t v = std::uint32_t(in[i]) << 16 | std::uint32_t(in[i + 1]) << 8;
        out[o++] = Alphabet[v >> 18];
        out[o++] = Alphabet[(v >> 12) & 63];
        out[o++] = Alphabet[(v >> 6) & 63];
    }
    return out;
}

std::string Base64Encode(std::string_view text)
{
    return Base64Encode(text.data(), text.size());
}

std::vector<std::uint8_t> Base64Decode(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return {};
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    const std::size_t full = 3 * (text.size() / 4);
    if (padding >= full)
        return {};
    const std::size_t size = full - padding;
    std::vector<std::uint8_t> out;
    out.reserve(size);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const std::uint32_t v = std::uint32_t(Value(text[i])) << 18 | std::uint32_t(Value(text[i + 1])) << 12
            | std::uint32_t(Value(text[i + 2])) << 6 | Value(text[i + 3]);
        for (int k = 0; k < 3 && out.size() < size; ++k)
            out.push_back(std::uint8_t(v >> (16 - 8 * k)));
    }
    return out;
}

std::string Base64DecodeText(std::string_view text)
{
    const std::vector<std::uint8_t> bytes = Base64Decode(text);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace crashreport
