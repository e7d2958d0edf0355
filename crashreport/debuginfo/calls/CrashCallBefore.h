#pragma once
// The x86-64 call instruction that ends right before a return address, told from the bytes in
// front of it. The stack scan and the leak catcher both use it to tell return addresses from
// other values on a stack; it allocates nothing and reads memory only through its callers.

#include <cstddef>
#include <cstdint>

namespace crashreport
{

constexpr std::size_t LongestCall = 8; // REX prefix, FF, ModRM, SIB and a 32-bit displacement

// Length, from the FF byte to its end, of "call r/m64" (FF /2) with this ModRM byte and, when
// the ModRM asks for one, this SIB byte (-1: not known); 0 when the ModRM is no call.
constexpr std::size_t IndirectCallLength(int modrm, int sib) noexcept
{
    if (((modrm >> 3) & 7) != 2)
        return 0;
    const int mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3)
        return 2; // call through a register
    std::size_t len = 2;
    if (rm == 4) {
        if (sib < 0)
            return 0;
        ++len;
        if (mod == 0 && (sib & 7) == 5)
            len += 4; // no base register: a 32-bit displacement
    } else if (mod == 0 && rm == 5) {
        len += 4; // RIP-relative
    }
    if (mod == 1)
        len += 1;
    else if (mod == 2)
        len += 4;
    return len;
}

struct CrashCallBefore
{
    std::size_t length = 0;         // bytes of the call; 0 when there is none
    std::uint64_t directTarget = 0; // where a direct call (E8) goes; 0 for the other forms
};

// Finds the call that returns to `returnAddress`. `before(k)` is the byte k places before it
// (k = 1..LongestCall), or -1 where it is not known. A direct call counts when `isCode(target)`
// holds for its target; a RIP-relative "call [rip+d]" when `slotReadable(slot)` holds for its
// pointer slot. The forms, shortest first: E8 rel32, then FF /2 through a register, through
// memory with or without SIB byte and 8- or 32-bit displacement, and RIP-relative, each with an
// optional REX prefix that has only bits a call can use (W, X and B).
template <class Byte, class IsCode, class SlotReadable>
CrashCallBefore CrashFindCallBefore(std::uint64_t returnAddress, Byte before, IsCode isCode, SlotReadable slotReadable) noexcept
{
    // The 32-bit displacement that ends at the return address, little-endian.
    auto displacement = [&] {
        std::uint32_t value = 0;
        for (std::size_t k = 1; k <= 4; ++k)
            value = (value << 8) | static_cast<std::uint32_t>(before(k) & 0xFF);
        return static_cast<std::int64_t>(static_cast<std::int32_t>(value));
    };
    if (before(5) == 0xE8) {
        const std::uint64_t target = returnAddress + displacement();
        if (isCode(target))
            return { 5, target };
    }
    constexpr std::size_t lengths[] = { 2, 3, 4, 6, 7 };
    for (const std::size_t len : lengths) {
        if (before(len) != 0xFF)
            continue;
        const int modrm = before(len - 1);
        if (IndirectCallLength(modrm, len >= 3 ? before(len - 2) : -1) != len)
            continue;
        if ((modrm & 0xC7) == 0x05 && !slotReadable(returnAddress + displacement()))
            continue;
        const int prefix = before(len + 1);
        return { prefix >= 0 && (prefix & 0xF4) == 0x40 ? len + 1 : len, 0 };
    }
    return {};
}

} // namespace crashreport
