// The two phases of the walk: a scan that may run while other threads are stopped (no
// allocation, no file), and the resolving of its raw addresses afterwards.

#include "CrashMemory.h"
#include "CrashStackList.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

extern "C" {
extern const char crash_fixture_ffd2_site[], crash_fixture_after_ffd2[];
extern const char crash_fixture_direct_site[], crash_fixture_after_direct[];
extern const char crash_fixture_after_nops[];
extern const char crash_fixture_target[];
}

namespace
{

std::atomic<bool> g_countAllocations { false };
std::atomic<int> g_allocations { 0 };

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns operator new and malloc; its hook counts every allocation.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*onMalloc)(const volatile void *, std::size_t), void (*onFree)(const volatile void *));

namespace
{

void countAllocation(const volatile void *, std::size_t)
{
    if (g_countAllocations.load())
        ++g_allocations;
}

const int g_hookInstalled = __sanitizer_install_malloc_and_free_hooks(countAllocation, nullptr);

} // namespace
#else
// Counts the allocations made while a test asks for it. new and delete are replaced as a pair
// (malloc and free).
void *operator new(std::size_t size)
{
    if (g_countAllocations.load())
        ++g_allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop
#endif

using namespace crashreport;

namespace
{

std::uint64_t addr(const void *p)
{
    return reinterpret_cast<std::uint64_t>(p);
}

// No file can be opened and every allocation is counted while it lives.
class NoFilesNoAllocations
{
public:
    NoFilesNoAllocations()
    {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit none = m_saved;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_NOFILE, &none);
        g_allocations = 0;
        g_countAllocations = true;
    }
    ~NoFilesNoAllocations()
    {
        g_countAllocations = false;
        setrlimit(RLIMIT_NOFILE, &m_saved);
    }

private:
    rlimit m_saved {};
};

} // namespace

TEST(CrashStackScan, ScanNeedsNeitherFilesNorAllocations)
{
    TCrashCodeRanges code;
    code.prepare();
    ASSERT_GT(code.count(), 0u);
    std::uint64_t stack[6] = { 0, addr(crash_fixture_after_ffd2), 7, addr(crash_fixture_after_direct),
        addr(crash_fixture_after_nops), 0 };
    const std::uint64_t expected[3]
        = { addr(crash_fixture_ffd2_site), addr(crash_fixture_target), addr(crash_fixture_direct_site) };
    std::uint64_t fromCopy[8] = {}, fromLive[8] = {}, cut[2] = {};
    std::size_t nCopy = 0, nLive = 0, nCut = 0;
    {
        NoFilesNoAllocations guard;
        nCopy = CrashScanStackCopy(code, stack, sizeof stack, true, fromCopy, 8);
        nLive = CrashScanStack(code, addr(stack), addr(stack) + sizeof stack, true, fromLive, 8);
        nCut = CrashScanStackCopy(code, stack, sizeof stack, true, cut, 2);
    }
    EXPECT_EQ(g_allocations.load(), 0);
    for (const auto &[n, out] : { std::pair { nCopy, fromCopy }, std::pair { nLive, fromLive } }) {
        ASSERT_EQ(n, 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(out[i], expected[i]) << i;
    }
    // A full buffer ends the scan with what fits.
    ASSERT_EQ(nCut, 2u);
    EXPECT_EQ(cut[0], expected[0]);
    EXPECT_EQ(cut[1], expected[1]);
}

TEST(CrashStackScan, ResolvingTheScannedAddressesGivesTheWalksEntries)
{
    TCrashCodeRanges code;
    code.prepare();
    std::uint64_t stack[4] = { addr(crash_fixture_after_direct), addr(crash_fixture_after_ffd2),
        addr(crash_fixture_after_ffd2), 0 };
    std::uint64_t raw[8];
    const std::size_t n = CrashScanStackCopy(code, stack, sizeof stack, true, raw, 8);
    TCrashWalkParams params;
    params.threadId = 77;
    TCrashStackList twoPhases, walked;
    CrashResolveStack(twoPhases, addr(crash_fixture_ffd2_site), raw, n, params);
    CrashWalkStackCopy(walked, addr(crash_fixture_ffd2_site), stack, sizeof stack, params);
    ASSERT_EQ(twoPhases.count(), 5u); // exception, callee, direct call site, two copies of one site
    ASSERT_EQ(twoPhases.count(), walked.count());
    for (std::size_t i = 0; i < walked.count(); ++i) {
        EXPECT_EQ(twoPhases[i].address, walked[i].address) << i;
        EXPECT_EQ(twoPhases[i].kind, walked[i].kind) << i;
        EXPECT_EQ(twoPhases[i].procedureName, walked[i].procedureName) << i;
        EXPECT_EQ(twoPhases[i].groupStart, i == 0) << i;
        EXPECT_EQ(twoPhases[i].threadId, 77u) << i;
    }
    EXPECT_EQ(twoPhases[3].kind, StackKindHidden); // the earlier copy of a repeated return address
}

TEST(CrashStackScan, CodeRangesJoinAdjacentExecutableMappings)
{
    TCrashMemoryMap map;
    map.parse("1000-2000 r-xp 00000000 08:01 1 /a\n"
              "2000-3000 r-xp 00001000 08:01 1 /a\n"
              "3000-4000 r--p 00002000 08:01 1 /a\n"
              "5000-6000 --xp 00000000 00:00 0\n"
              "7000-8000 r-xp 00000000 08:01 2 /b\n");
    TCrashCodeRanges code;
    code.assign(map);
    EXPECT_EQ(code.count(), 2u);
    struct Case {
        std::uint64_t address;
        std::uint64_t start; // 0: no code
    };
    for (const Case c : { Case { 0x1000, 0x1000 }, Case { 0x2fff, 0x1000 }, Case { 0x3000, 0 },
             Case { 0x5800, 0 }, Case { 0x7000, 0x7000 }, Case { 0x8000, 0 }, Case { 0xfff, 0 } }) {
        const TCrashCodeRanges::Range *r = code.find(c.address);
        EXPECT_EQ(r ? r->start : 0, c.start) << std::hex << c.address;
    }
}
