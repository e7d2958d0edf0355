// The scan phase of the raw stack walk: every aligned 64-bit value of the stack range is a
// candidate return address, kept when the bytes before it are a call instruction that returns
// to it. This needs no frame pointers and no unwind tables, and it works on a copy of a stack.
//
// The scan may run while other threads are stopped, one of which may hold the allocator's or
// the loader's lock. So it allocates nothing, opens and reads no file and takes no lock: code
// addresses are told by the ranges prepared beforehand, and memory is read through
// TCrashMemory (process_vm_readv, or the /proc/self/mem descriptor opened by its prepare()),
// which turns an unmapped address into a failed read instead of a fault.

#include "CrashStackList.h"

#include "CrashMemory.h"
#include "CrashCallBefore.h"

#include <algorithm>
#include <cstring>

namespace crashreport
{

namespace
{

    constexpr std::size_t ReadBlock = 400;
    class Scanner
    {
    public:
        Scanner(const TCrashCodeRanges &code, bool addCallee, std::uint64_t *out, std::size_t capacity)
            : m_code(code)
            , m_addCallee(addCallee)
            , m_out(out)
            , m_capacity(out ? capacity : 0)
        {
        }

        bool full() const { return m_count >= m_capacity; }
        std::size_t count() const { return m_count; }

        void scanLive(std::uint64_t start, std::uint64_t end)
        {
            start = (start + 7) & ~std::uint64_t(7);
            if (end <= start)
                return;
            end = std::min<std::uint64_t>(end, start + MaxStackScanBytes);
            unsigned char block[ReadBlock];
            std::uint64_t blockStart = 0, blockEnd = 0; // readable bytes held in block
            for (std::uint64_t pos = start; pos + 8 <= end && !full(); pos += 8) {
                if (pos < blockStart || pos + 8 > blockEnd) {
                    const std::size_t n
                        = static_cast<std::size_t>(std::min<std::uint64_t>(ReadBlock, end - pos))
                        & ~std::size_t(7);
                    if (n >= 8 && TCrashMemory::read(pos, block, n)) {
                        blockStart = pos;
                        blockEnd = pos + n;
                    } else if (TCrashMemory::read(pos, block, 8)) {
                        blockStart = pos;
                        blockEnd = pos + 8;
                    } else {
                        blockStart = blockEnd = 0;
                        continue;
                    }
                }
                std::uint64_t value = 0;
                std::memcpy(&value, block + (pos - blockStart), 8);
                candidate(value);
            }
        }

        void scanCopy(const unsigned char *data, std::size_t size)
        {
            size = std::min(size, MaxStackScanBytes);
            for (std::size_t pos = 0; pos + 8 <= size && !full(); pos += 8) {
                std::uint64_t value;
                std::memcpy(&value, data + pos, 8);
                candidate(value);
            }
        }

    private:
        void emit(std::uint64_t address)
        {
            if (!full())
                m_out[m_count++] = address;
        }

        // Follows jump thunks and PLT entries from a call target to the procedure behind them.
        std::uint64_t followThunks(std::uint64_t target) const
        {
            for (int depth = 0; depth < 8; ++depth) {
                unsigned char c[16] = {};
                std::size_t have = sizeof c;
                if (!TCrashMemory::read(target, c, have)) {
                    have = 6;
                    if (!TCrashMemory::read(target, c, have))
                        break;
                }
                std::size_t p = 0;
                if (have >= 11 && c[0] == 0xF3 && c[1] == 0x0F && c[2] == 0x1E && c[3] == 0xFA)
                    p = 4; // endbr64
                if (p > 0 && c[p] == 0xF2)
                    ++p; // bnd prefix of PLT entries
                const unsigned char *x = c + p;
                std::int32_t rel;
                if (x[0] == 0xE9 && p + 5 <= have) {
                    std::memcpy(&rel, x + 1, 4);
                    target = target + p + 5 + static_cast<std::int64_t>(rel);
                } else if (x[0] == 0xEB && p + 2 <= have) {
                    target = target + p + 2 + static_cast<std::int8_t>(x[1]);
                } else if (x[0] == 0xFF && x[1] == 0x25 && p + 6 <= have) {
                    std::memcpy(&rel, x + 2, 4);
                    const std::uint64_t slot = target + p + 6 + static_cast<std::int64_t>(rel);
                    std::uint64_t dest = 0;
                    if (!TCrashMemory::readValue(slot, dest) || !m_code.contains(dest))
                        break;
                    target = dest;
                } else {
                    break;
                }
            }
            return target;
        }

        void candidate(std::uint64_t v)
        {
            const TCrashCodeRanges::Range *range = v >= 0x1000 ? m_code.find(v) : nullptr;
            if (!range)
                return;
            // The instruction lies wholly in code before v: read what of the longest form is there.
            const std::size_t have
                = static_cast<std::size_t>(std::min<std::uint64_t>(LongestCall, v - range->start));
            if (have < 2)
                return;
            unsigned char b[LongestCall];
            if (!TCrashMemory::read(v - have, b + (LongestCall - have), have))
                return;
            // at(k): the byte k places before v (k = 1..have), -1 beyond.
            auto at = [&](std::size_t k) -> int { return k >= 1 && k <= have ? b[LongestCall - k] : -1; };

            const CrashCallBefore call = CrashFindCallBefore(
                v, at, [this](std::uint64_t target) { return m_code.contains(target); },
                [](std::uint64_t slot) {
                    std::uint64_t pointer = 0;
                    return TCrashMemory::readValue(slot, pointer);
                });
            if (!call.length)
                return;
            if (call.directTarget && m_addCallee) {
                const std::uint64_t callee = followThunks(call.directTarget);
                unsigned char c[5];
                if (TCrashMemory::read(callee, c, 5) && c[0] != 0xE8)
                    emit(callee);
            }
            emit(v - call.length);
        }

        const TCrashCodeRanges &m_code;
        const bool m_addCallee;
        std::uint64_t *const m_out;
        const std::size_t m_capacity;
        std::size_t m_count = 0;
    };

} // namespace

std::size_t CrashScanStack(const TCrashCodeRanges &code, std::uint64_t stackStart, std::uint64_t stackEnd,
    bool addCallee, std::uint64_t *out, std::size_t capacity) noexcept
{
    Scanner s(code, addCallee, out, capacity);
    s.scanLive(stackStart, stackEnd);
    return s.count();
}

std::size_t CrashScanStackCopy(const TCrashCodeRanges &code, const void *copy, std::size_t copyBytes,
    bool addCallee, std::uint64_t *out, std::size_t capacity) noexcept
{
    Scanner s(code, addCallee, out, capacity);
    if (copy)
        s.scanCopy(static_cast<const unsigned char *>(copy), copyBytes);
    return s.count();
}

} // namespace crashreport
