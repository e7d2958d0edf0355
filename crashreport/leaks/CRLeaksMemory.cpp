#include "CRLeaksMemory.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>

namespace crleaks
{

namespace
{
    constexpr std::size_t PageShift = 12;
    constexpr std::size_t Slots = 1u << 17; // 1 MiB of 8-byte slots
    constexpr std::size_t MaxProbe = 32;
    enum : std::uint64_t { Unknown = 0, IsReadable = 1, NotReadable = 2 };

    std::uint64_t *g_slots = nullptr; // (page number << 2) | state; 0 is an empty slot

    // Asks the kernel: a read of one byte of the page through process_vm_readv fails on an
    // unmapped or unreadable page instead of faulting.
    bool askPage(std::uint64_t page)
    {
        char byte;
        iovec local { &byte, 1 };
        iovec remote { reinterpret_cast<void *>(page << PageShift), 1 };
        return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 1;
    }

    bool pageReadable(std::uint64_t page)
    {
        if (!g_slots)
            return askPage(page);
        std::uint64_t h = page * 0x9E3779B97F4A7C15ull;
        std::size_t slot = static_cast<std::size_t>(h >> 47) & (Slots - 1);
        for (std::size_t probe = 0; probe < MaxProbe; ++probe, slot = (slot + 1) & (Slots - 1)) {
            const std::uint64_t entry = g_slots[slot];
            if (entry == 0) {
                const bool yes = askPage(page);
                g_slots[slot] = (page << 2) | (yes ? IsReadable : NotReadable);
                return yes;
            }
            if ((entry >> 2) == page)
                return (entry & 3) == IsReadable;
        }
        return askPage(page);
    }
} // namespace

bool PageCacheOpen() noexcept
{
    if (g_slots)
        return true;
    void *p = mmap(nullptr, Slots * sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    g_slots = static_cast<std::uint64_t *>(p);
    return true;
}

void PageCacheClose() noexcept
{
    if (g_slots)
        munmap(g_slots, Slots * sizeof(std::uint64_t));
    g_slots = nullptr;
}

bool Readable(std::uint64_t address, std::size_t length) noexcept
{
    if (length == 0)
        return true;
    std::uint64_t last;
    if (address < 4096 || __builtin_add_overflow(address, length - 1, &last))
        return false;
    for (std::uint64_t page = address >> PageShift; page <= (last >> PageShift); ++page)
        if (!pageReadable(page))
            return false;
    return true;
}

bool ReadMemory(std::uint64_t address, void *to, std::size_t length) noexcept
{
    if (!Readable(address, length))
        return false;
    std::memcpy(to, reinterpret_cast<const void *>(address), length);
    return true;
}

} // namespace crleaks
