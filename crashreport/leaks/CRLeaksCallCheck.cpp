#include "CRLeaksCallCheck.h"

#include "CRLeaksMemory.h"

#include <cstring>

namespace crleaks
{

namespace
{
    constexpr std::size_t LongestCall = 8; // REX, FF, ModRM, SIB and a 32-bit displacement

    // Length from the FF byte to the end of "call r/m64" with this ModRM (and SIB); 0: no call.
    std::size_t indirectCallLength(int modrm, int sib)
    {
        if (((modrm >> 3) & 7) != 2)
            return 0;
        const int mod = modrm >> 6, rm = modrm & 7;
        if (mod == 3)
            return 2;
        std::size_t len = 2;
        if (rm == 4) {
            if (sib < 0)
                return 0;
            ++len;
            if (mod == 0 && (sib & 7) == 5)
                len += 4;
        } else if (mod == 0 && rm == 5) {
            len += 4; // RIP-relative
        }
        if (mod == 1)
            len += 1;
        else if (mod == 2)
            len += 4;
        return len;
    }
} // namespace

std::uint64_t CallStartBefore(std::uint64_t v) noexcept
{
    if (v < 4096 + LongestCall)
        return 0;
    unsigned char b[LongestCall];
    if (!ReadMemory(v - LongestCall, b, LongestCall))
        return 0;
    auto at = [&](std::size_t k) -> int { return b[LongestCall - k]; }; // k bytes before v

    if (at(5) == 0xE8) {
        std::int32_t rel;
        std::memcpy(&rel, b + LongestCall - 4, 4);
        if (Readable(v + static_cast<std::int64_t>(rel), 1))
            return v - 5;
    }
    static const std::size_t lengths[] = { 2, 3, 4, 6, 7 }; // shortest form first
    for (const std::size_t len : lengths) {
        if (at(len) != 0xFF)
            continue;
        const int modrm = at(len - 1);
        if (indirectCallLength(modrm, len >= 3 ? at(len - 2) : -1) != len)
            continue;
        if ((modrm & 0xC7) == 0x05) {
            std::int32_t rel;
            std::memcpy(&rel, b + LongestCall - 4, 4);
            if (!Readable(v + static_cast<std::int64_t>(rel), 8))
                continue;
        }
        const int prefix = at(len + 1);
        return v - ((prefix & 0xF4) == 0x40 ? len + 1 : len);
    }
    return 0;
}

std::size_t CleanStack(std::uint64_t *stack, std::size_t count) noexcept
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t call = stack[i] ? CallStartBefore(stack[i]) : 0;
        if (call)
            stack[kept++] = call;
    }
    for (std::size_t i = kept; i < count; ++i)
        stack[i] = 0;
    return kept;
}

} // namespace crleaks
