#include "CrashResolve.h"
#include "CrashStackList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace crashreport;

extern "C" {
extern const char crash_fixture_code_start[];
extern const char crash_fixture_ffd2_site[], crash_fixture_after_ffd2[];
extern const char crash_fixture_r10_site[], crash_fixture_after_r10[];
extern const char crash_fixture_mem8_site[], crash_fixture_after_mem8[];
extern const char crash_fixture_sib_site[], crash_fixture_after_sib[];
extern const char crash_fixture_mem32_site[], crash_fixture_after_mem32[];
extern const char crash_fixture_rip_site[], crash_fixture_after_rip[];
extern const char crash_fixture_direct_site[], crash_fixture_after_direct[];
extern const char crash_fixture_after_nops[];
extern const char crash_fixture_target[];
}

namespace walktest
{

struct Expected {
    int lineOne = 0, lineTwo = 0, lineThree = 0;
};

[[gnu::noinline]] void levelThree(Expected &, TCrashStackList &list)
{
    CrashWalkCurrentThread(list);
    asm volatile("" ::: "memory");
}

[[gnu::noinline]] void levelTwo(Expected &e, TCrashStackList &list)
{
    e.lineTwo = __LINE__ + 1;
    levelThree(e, list);
    asm volatile("" ::: "memory");
}

[[gnu::noinline]] void levelOne(Expected &e, TCrashStackList &list)
{
    e.lineOne = __LINE__ + 1;
    levelTwo(e, list);
    asm volatile("" ::: "memory");
}

} // namespace walktest

namespace namesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharacters
{

[[gnu::noinline]] int longNamedProcedure(int x)
{
    asm volatile("" ::: "memory");
    return x + 1;
}

} // namespace
  // namesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharacters

namespace
{

std::uint64_t addr(const void *p)
{
    return reinterpret_cast<std::uint64_t>(p);
}

const TCrashStackEntry *findProcedure(const TCrashStackList &list, const std::string &proc, int line)
{
    for (const auto &e : list)
        if (e->procedureName == proc && (line == 0 || e->line == static_cast<std::uint32_t>(line))
            && e->kind != 0)
            return e.get();
    return nullptr;
}

bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(CrashStackWalk, CurrentThreadNamesCallersWithFileAndLine)
{
    walktest::Expected e;
    TCrashStackList list;
    walktest::levelOne(e, list);
    ASSERT_FALSE(list.empty());
    for (const auto &[proc, line] :
        { std::pair { "levelTwo", e.lineTwo }, std::pair { "levelOne", e.lineOne } }) {
        const TCrashStackEntry *entry = findProcedure(list, proc, line);
        ASSERT_NE(entry, nullptr) << proc << " line " << line;
        EXPECT_EQ(entry->kind, StackKindLine);
        EXPECT_EQ(entry->className, "walktest");
        EXPECT_TRUE(endsWith(entry->unitName, "StackWalkTest.cpp")) << entry->unitName;
        EXPECT_TRUE(entry->module && entry->module->isMainProgram);
        EXPECT_EQ(entry->source, TCrashLocationSource::Dwarf);
        EXPECT_EQ(entry->groupKind, 1);
        EXPECT_FALSE(entry->groupStart);
        // The call is three lines below the procedure's first line.
        EXPECT_EQ(entry->lineOffset, 3u) << proc;
    }
    // The caller chain appears innermost first.
    const TCrashStackEntry *two = findProcedure(list, "levelTwo", e.lineTwo);
    const TCrashStackEntry *one = findProcedure(list, "levelOne", e.lineOne);
    std::size_t i2 = 0, i1 = 0;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (&list[i] == two)
            i2 = i;
        if (&list[i] == one)
            i1 = i;
    }
    EXPECT_LT(i2, i1);
    // A library function of the C++ runtime or the C library is named from its symbols.
    bool libraryNamed = false;
    for (const auto &x : list)
        if (x->module && !x->module->isMainProgram && x->kind >= StackKindProcedure)
            libraryNamed = true;
    EXPECT_TRUE(libraryNamed);
}

TEST(CrashStackWalk, ExceptionAddressComesFirstAndStartsTheGroup)
{
    TCrashWalkParams params;
    params.threadId = 4242;
    TCrashStackList list;
    CrashWalkCurrentThread(list, addr(crash_fixture_target), params);
    ASSERT_FALSE(list.empty());
    EXPECT_TRUE(list[0].groupStart);
    EXPECT_EQ(list[0].address, addr(crash_fixture_target));
    EXPECT_EQ(list[0].procedureName, "crash_fixture_target");
    for (std::size_t i = 1; i < list.count(); ++i)
        EXPECT_FALSE(list[i].groupStart);
    for (const auto &x : list)
        EXPECT_EQ(x->threadId, 4242u);
}

// Crafted stacks: which planted values are taken for return addresses, and which call site
// each stands for.
TEST(CrashStackWalk, CraftedStackFindsEachCallFormAndRejectsPlainCodePointers)
{
    struct Case {
        const char *name;
        const char *returnAddress;
        const char *site;
    };
    const Case cases[] = {
        { "call through a register (FF D2)", crash_fixture_after_ffd2, crash_fixture_ffd2_site },
        { "call through r10 (41 FF D2)", crash_fixture_after_r10, crash_fixture_r10_site },
        { "call [rbx + disp8]", crash_fixture_after_mem8, crash_fixture_mem8_site },
        { "call [rsp + disp8]", crash_fixture_after_sib, crash_fixture_sib_site },
        { "call [rsi + disp32]", crash_fixture_after_mem32, crash_fixture_mem32_site },
        { "call [rip + disp32]", crash_fixture_after_rip, crash_fixture_rip_site },
        { "direct call", crash_fixture_after_direct, crash_fixture_direct_site },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t stack[8] = { 0, 7, addr(&stack), addr(c.returnAddress), 0x1234, 0, 0, 0 };
        TCrashWalkParams params;
        params.addCallee = false;
        TCrashStackList list;
        CrashWalkStackCopy(list, 0, stack, sizeof stack, params);
        ASSERT_EQ(list.count(), 1u);
        EXPECT_EQ(list[0].address, addr(c.site));
        EXPECT_NE(list[0].kind, StackKindHidden);
    }
    // A value that points into code, but not behind a call, is not kept; nor is one outside code.
    std::uint64_t plain[4]
        = { addr(crash_fixture_after_nops), addr(crash_fixture_code_start), 0xdeadbeefULL, addr(&plain) };
    TCrashStackList list;
    CrashWalkStackCopy(list, 0, plain, sizeof plain);
    EXPECT_EQ(list.count(), 0u);
}

TEST(CrashStackWalk, DirectCallAddsTheCalleeBehindItsThunk)
{
    std::uint64_t stack[2] = { addr(crash_fixture_after_direct), 0 };
    TCrashStackList list;
    CrashWalkStackCopy(list, 0, stack, sizeof stack);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list[0].address, addr(crash_fixture_target)); // followed through the jump
    EXPECT_EQ(list[0].procedureName, "crash_fixture_target");
    EXPECT_EQ(list[1].address, addr(crash_fixture_direct_site));
}

TEST(CrashStackWalk, RepeatedReturnAddressIsListedOnce)
{
    const std::uint64_t r = addr(crash_fixture_after_ffd2);
    const std::uint64_t other = addr(crash_fixture_after_r10);
    const std::uint64_t third = addr(crash_fixture_after_sib);
    struct Case {
        std::vector<std::uint64_t> stack;
        std::vector<bool> visible;
    };
    const Case cases[] = {
        { { r, r }, { false, true } }, // the earlier copy is hidden
        { { r, other, r }, { false, true, true } }, // also with one entry between
        { { r, other, third, r }, { true, true, true, true } }, // not across two others
        { { r, other, other, r }, { false, false, true, true } }, // a hidden entry does not count
    };
    for (const Case &c : cases) {
        TCrashStackList list;
        CrashWalkStackCopy(list, 0, c.stack.data(), c.stack.size() * 8);
        ASSERT_EQ(list.count(), c.visible.size());
        for (std::size_t i = 0; i < list.count(); ++i)
            EXPECT_EQ(list[i].kind != StackKindHidden, c.visible[i]) << "entry " << i;
    }
}

TEST(CrashStackWalk, LevelsKindsAndLimits)
{
    // Distinct sites alternate so that no duplicates are hidden.
    const std::uint64_t sites[3]
        = { addr(crash_fixture_after_ffd2), addr(crash_fixture_after_r10), addr(crash_fixture_after_sib) };
    std::vector<std::uint64_t> stack;
    for (int i = 0; i < 9; ++i)
        stack.push_back(sites[i % 3]);
    struct Case {
        int firstLevel, maxEntries;
        std::size_t expected;
    };
    for (const Case c :
        { Case { -1, -1, 9 }, Case { 2, -1, 7 }, Case { 2, 3, 3 }, Case { 0, 1, 1 }, Case { 20, -1, 0 } }) {
        TCrashWalkParams params;
        params.firstLevel = c.firstLevel;
        params.maxEntries = c.maxEntries;
        TCrashStackList list;
        CrashWalkStackCopy(list, 0, stack.data(), stack.size() * 8, params);
        EXPECT_EQ(list.count(), c.expected) << c.firstLevel << "/" << c.maxEntries;
    }
    // A kind set without kind 2..4 keeps nothing of these named entries.
    TCrashWalkParams onlyModules;
    onlyModules.kinds = 1u << StackKindModule;
    TCrashStackList list;
    CrashWalkStackCopy(list, 0, stack.data(), stack.size() * 8, onlyModules);
    EXPECT_EQ(list.count(), 0u);
}

TEST(CrashStackWalk, ScanStopsAtTheEntryLimit)
{
    // The list stops growing once it holds more than 1024 entries.
    const std::uint64_t sites[2] = { addr(crash_fixture_after_ffd2), addr(crash_fixture_after_r10) };
    std::vector<std::uint64_t> big(200 * 1024 / 8);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = sites[i % 2];
    TCrashWalkParams params;
    params.resolveNames = false;
    TCrashStackList list;
    CrashWalkStackCopy(list, 0, big.data(), big.size() * 8, params);
    EXPECT_EQ(list.count(), MaxStackEntries + 1);
}

TEST(CrashStackWalk, ScanWindowHolds25600StackValues)
{
    // A 150 KB local array between two frames must not hide the outer one: the window is
    // 25600 values, 204800 bytes on this stack.
    struct Case {
        std::size_t offset;
        bool found;
    };
    const Case cases[] = { { 150 * 1024, true }, { 204800 - 8, true }, { 204800, false }, { 250000, false } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        for (const bool live : { false, true }) {
            std::vector<std::uint64_t> stack(300 * 1024 / 8, 0);
            stack[c.offset / 8] = addr(crash_fixture_after_ffd2);
            TCrashWalkParams params;
            params.resolveNames = false;
            TCrashStackList list;
            if (live)
                CrashWalkStack(list, 0, addr(stack.data()), addr(stack.data() + stack.size()), params);
            else
                CrashWalkStackCopy(list, 0, stack.data(), stack.size() * 8, params);
            ASSERT_EQ(list.count(), c.found ? 1u : 0u) << (live ? "live" : "copy");
            if (c.found) {
                EXPECT_EQ(list[0].address, addr(crash_fixture_ffd2_site));
            }
        }
    }
}

TEST(CrashStackWalk, UnreadableStackIsSkippedWithoutFault)
{
    // A live range that starts in unmapped memory and a range of nothing but a guard page.
    TCrashStackList list;
    CrashWalkStack(list, 0, 0x1000, 0x1000 + 4096);
    EXPECT_EQ(list.count(), 0u);
    std::uint64_t stack[4] = { 0, addr(crash_fixture_after_ffd2), 0, 0 };
    TCrashStackList list2;
    CrashWalkStack(list2, 0, addr(stack), addr(stack) + sizeof stack);
    ASSERT_EQ(list2.count(), 1u);
    EXPECT_EQ(list2[0].address, addr(crash_fixture_ffd2_site));
}

TEST(CrashStackWalk, WalksAnotherThreadsStackRange)
{
    walktest::Expected e;
    TCrashStackList list;
    std::thread t([&] { walktest::levelOne(e, list); });
    t.join();
    EXPECT_NE(findProcedure(list, "levelTwo", e.lineTwo), nullptr);
    EXPECT_NE(findProcedure(list, "levelOne", e.lineOne), nullptr);
}

TEST(CrashStackWalk, NewListHoldsTheWalk)
{
    std::uint64_t stack[2] = { addr(crash_fixture_after_ffd2), 0 };
    auto list = CrashWalkStackNew(addr(crash_fixture_target), addr(stack), addr(stack) + sizeof stack);
    ASSERT_EQ(list->count(), 2u);
    EXPECT_TRUE((*list)[0].groupStart);
    EXPECT_EQ((*list)[1].address, addr(crash_fixture_ffd2_site));
}

TEST(CrashStackWalk, NamesAreCutTo255Characters)
{
    const auto address = addr(reinterpret_cast<const void *>(
        &namesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharacters::
            longNamedProcedure));
    TCrashStackEntry e;
    CrashResolveAddress(address + 1, 0, e);
    EXPECT_EQ(e.procedureName, "longNamedProcedure");
    EXPECT_EQ(e.className.size(), 255u);
    EXPECT_EQ(e.className,
        std::string("namesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersn"
                    "amesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersna"
                    "mesOfThreeHundredCharactersnamesOfThreeHundredCharactersnamesOfThreeHundredCharactersnam"
                    "esOfThreeHundredCharactersnamesOfThreeHundredCharacters")
            .substr(0, 255));
}

TEST(CrashStackWalk, HiddenUnitsShowOnlyTheirModuleUnlessAnInternalFailureIsReported)
{
    const auto address = addr(reinterpret_cast<const void *>(&walktest::levelTwo));
    struct Case {
        std::vector<std::string> hidden;
        bool internalFailure;
        std::uint8_t kind;
    };
    const Case cases[] = {
        { {}, false, StackKindLine },
        { { "stackwalktest.cpp" }, false, StackKindModule }, // names compare without case
        { { "StackWalkTest.cpp" }, true, StackKindLine },
        { { "Other.cpp" }, false, StackKindLine },
    };
    for (const Case &c : cases) {
        CrashSetHiddenUnits(c.hidden);
        CrashSetReportingInternalFailure(c.internalFailure);
        TCrashStackEntry e;
        CrashResolveAddress(address, 0, e);
        EXPECT_EQ(e.kind, c.kind);
        EXPECT_TRUE(e.module);
        EXPECT_EQ(e.procedureName.empty(), c.kind == StackKindModule);
        EXPECT_EQ(e.line == 0, c.kind == StackKindModule);
    }
    CrashSetHiddenUnits({});
    CrashSetReportingInternalFailure(false);
}
