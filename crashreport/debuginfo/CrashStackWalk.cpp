// The raw stack walk: every aligned 64-bit value of the stack range is a candidate return
// address, kept when the bytes before it are a call instruction that returns to it. This
// needs no frame pointers and no unwind tables, and it works on a copy of a stack as well.
// All memory is read through TCrashMemory, so unmapped stack or code never faults.

#include "CrashStackList.h"

#include "CrashMemory.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace crashreport
{

namespace
{

    constexpr std::size_t ReadBlock = 400;

    class Walker
    {
    public:
        Walker(TCrashStackList &list, const TCrashWalkParams &params)
            : m_list(list)
            , m_params(params)
        {
            m_map.refresh();
            m_firstNew = list.count();
        }

        void addException(std::uint64_t address)
        {
            if (address != 0)
                add(address, true);
        }

        void scanLive(std::uint64_t start, std::uint64_t end)
        {
            start = (start + 7) & ~std::uint64_t(7);
            if (end <= start)
                return;
            end = std::min<std::uint64_t>(end, start + MaxStackScanBytes);
            unsigned char block[ReadBlock];
            std::uint64_t blockStart = 0, blockEnd = 0; // readable bytes held in block
            for (std::uint64_t pos = start; pos + 8 <= end; pos += 8) {
                std::uint64_t value = 0;
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
                std::memcpy(&value, block + (pos - blockStart), 8);
                candidate(value);
            }
        }

        void scanCopy(const unsigned char *data, std::size_t size)
        {
            size = std::min(size, MaxStackScanBytes);
            for (std::size_t pos = 0; pos + 8 <= size; pos += 8) {
                std::uint64_t value;
                std::memcpy(&value, data + pos, 8);
                candidate(value);
            }
        }

        void hideDuplicates()
        {
            const std::size_t n = m_list.count();
            if (n < m_firstNew + 2)
                return;
            auto named = [&](std::size_t i) { return m_list[i].kind >= 2 && m_list[i].kind <= 4; };
            for (std::size_t i = n - 1; i-- > m_firstNew;) {
                if (!named(i))
                    continue;
                int seen = 0;
                for (std::size_t j = i + 1; j < n && seen < 2; ++j) {
                    if (!named(j))
                        continue;
                    ++seen;
                    if (m_list[j].address == m_list[i].address && m_list[j].module == m_list[i].module) {
                        m_list[i].kind = StackKindHidden;
                        break;
                    }
                }
            }
        }

    private:
        bool code(std::uint64_t address) { return m_map.isCode(address, true); }

        // The bytes [v - n, v) into out (right-aligned in an 8-byte buffer); how many were read.
        std::size_t bytesBefore(std::uint64_t v, unsigned char (&out)[8])
        {
            for (std::size_t n = 8; n >= 2; --n) {
                if (v >= n && TCrashMemory::read(v - n, out + (8 - n), n))
                    return n;
            }
            return 0;
        }

        // Follows jump thunks and PLT entries from a call target to the procedure behind them.
        std::uint64_t followThunks(std::uint64_t target)
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
                    if (!TCrashMemory::readValue(slot, dest) || !code(dest))
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
            if (v < 0x1000 || !code(v))
                return;
            unsigned char b[8];
            const std::size_t have = bytesBefore(v, b);
            if (have < 2)
                return;
            // at(k): the byte k places before v (k = 1..have).
            auto at = [&](std::size_t k) -> int { return k <= have ? b[8 - k] : -1; };
            auto rex = [&](std::size_t len) { return at(len + 1) == 0x41 ? len + 1 : len; };

            if (have >= 5 && at(5) == 0xE8) {
                std::int32_t rel;
                std::memcpy(&rel, b + 4, 4);
                const std::uint64_t target = v + static_cast<std::int64_t>(rel);
                if (code(target)) {
                    if (m_params.addCallee) {
                        const std::uint64_t callee = followThunks(target);
                        unsigned char c[5];
                        if (TCrashMemory::read(callee, c, 5) && c[0] != 0xE8)
                            add(callee, false);
                    }
                    add(v - 5, false);
                    return;
                }
            }
            const int m1 = at(1), m2 = at(2);
            if (m2 == 0xFF && m1 >= 0xD0 && m1 <= 0xD7) {
                add(v - rex(2), false);
                return;
            }
            if (m2 == 0xFF && ((m1 >= 0x10 && m1 <= 0x13) || m1 == 0x16 || m1 == 0x17)) {
                add(v - rex(2), false);
                return;
            }
            if (at(3) == 0xFF && ((m2 >= 0x50 && m2 <= 0x53) || (m2 >= 0x55 && m2 <= 0x57))) {
                add(v - rex(3), false);
                return;
            }
            if (have >= 6 && at(6) == 0xFF
                && ((at(5) >= 0x90 && at(5) <= 0x93) || (at(5) >= 0x95 && at(5) <= 0x97))) {
                add(v - rex(6), false);
                return;
            }
            if (at(3) == 0xFF && m2 == 0x14 && m1 == 0x24) {
                add(v - rex(3), false);
                return;
            }
            if (at(4) == 0xFF && at(3) == 0x54 && m2 == 0x24) {
                add(v - rex(4), false);
                return;
            }
            if (have >= 7 && at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24) {
                add(v - rex(7), false);
                return;
            }
            if (have >= 6 && at(6) == 0xFF && at(5) == 0x15) {
                // RIP-relative: the pointer slot lies at v + displacement and must be readable.
                std::int32_t rel;
                std::memcpy(&rel, b + 4, 4);
                std::uint64_t slot = v + static_cast<std::int64_t>(rel), dest = 0;
                if (TCrashMemory::readValue(slot, dest)) {
                    add(v - rex(6), false);
                    return;
                }
            }
        }

        void add(std::uint64_t address, bool groupStart)
        {
            if (m_list.count() > MaxStackEntries)
                return;
            TCrashStackEntry entry;
            if (m_params.resolveNames) {
                CrashResolveAddress(address, m_params.threadId, entry, groupStart, m_params.groupKind);
            } else {
                entry.address = address;
                entry.threadId = m_params.threadId;
                entry.groupStart = groupStart;
                entry.groupKind = m_params.groupKind;
                entry.module = TCrashModulesList::instance().findByAddress(address);
                entry.kind = entry.module ? StackKindModule : StackKindHidden;
            }
            if (entry.kind >= 32 || !(m_params.kinds & (TCrashKindSet(1) << entry.kind)))
                return;
            const bool keep = m_params.firstLevel < 0
                ? (m_params.maxEntries < 0 || m_added < m_params.maxEntries)
                : (m_level >= m_params.firstLevel
                    && (m_params.maxEntries < 0 || m_added < m_params.maxEntries));
            ++m_level;
            if (!keep)
                return;
            m_list.add(std::move(entry));
            ++m_added;
        }

        TCrashStackList &m_list;
        TCrashWalkParams m_params;
        TCrashMemoryMap m_map;
        std::size_t m_firstNew = 0;
        int m_level = 0;
        int m_added = 0;
    };

} // namespace

void CrashWalkStack(TCrashStackList &list, std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params)
{
    try {
        Walker w(list, params);
        w.addException(exceptionAddress);
        w.scanLive(stackStart, stackEnd);
        w.hideDuplicates();
    } catch (...) {
        // The walk never lets an exception into the reporting code; what was found stays.
    }
}

void CrashWalkStackCopy(TCrashStackList &list, std::uint64_t exceptionAddress, const void *copy,
    std::size_t copyBytes, const TCrashWalkParams &params)
{
    try {
        Walker w(list, params);
        w.addException(exceptionAddress);
        if (copy)
            w.scanCopy(static_cast<const unsigned char *>(copy), copyBytes);
        w.hideDuplicates();
    } catch (...) {
    }
}

std::unique_ptr<TCrashStackList> CrashWalkStackNew(std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params)
{
    auto list = std::make_unique<TCrashStackList>();
    CrashWalkStack(*list, exceptionAddress, stackStart, stackEnd, params);
    return list;
}

bool CrashCurrentStackRange(std::uint64_t &base, std::uint64_t &top)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return false;
    void *addr = nullptr;
    size_t size = 0;
    const bool ok = pthread_attr_getstack(&attr, &addr, &size) == 0;
    pthread_attr_destroy(&attr);
    if (!ok)
        return false;
    base = reinterpret_cast<std::uint64_t>(addr);
    top = base + size;
    return true;
}

[[gnu::noinline]] void CrashWalkCurrentThread(
    TCrashStackList &list, std::uint64_t exceptionAddress, const TCrashWalkParams &params)
{
    std::uint64_t base = 0, top = 0;
    const auto sp = reinterpret_cast<std::uint64_t>(__builtin_frame_address(0));
    if (!CrashCurrentStackRange(base, top) || sp < base || sp >= top)
        top = sp + MaxStackScanBytes;
    CrashWalkStack(list, exceptionAddress, sp, top, params);
}

} // namespace crashreport
