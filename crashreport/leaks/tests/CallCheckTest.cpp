// The call checks of the stack cleaning and the readability answers behind them, on code bytes
// written into a page of their own, with an unreadable page right after it.

#include "CRLeaksCallCheck.h"
#include "CRLeaksMemory.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

using namespace crleaks;

namespace
{

class CallCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        void *p = mmap(nullptr, 2 * Page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(p, MAP_FAILED);
        code = static_cast<unsigned char *>(p);
        ASSERT_EQ(mprotect(code + Page, Page, PROT_NONE), 0);
    }
    void TearDown() override { munmap(code, 2 * Page); }

    // Writes bytes so that they end at offset 2048 and returns that address (the return address).
    std::uint64_t place(const std::vector<unsigned char> &bytes)
    {
        std::memset(code, 0x90, Page);
        std::memcpy(code + 2048 - bytes.size(), bytes.data(), bytes.size());
        return reinterpret_cast<std::uint64_t>(code + 2048);
    }

    static constexpr std::size_t Page = 4096;
    unsigned char *code = nullptr;
};

// rel32/disp32 values: +16 reaches into the readable page; +4096 reaches the unreadable one.
TEST_F(CallCheck, CallsOfEveryFormAreFoundAndOthersAreNot)
{
    const struct {
        const char *name;
        std::vector<unsigned char> bytes;
        std::uint64_t back; // 0: no call
    } cases[] = {
        { "direct call", { 0xE8, 0x10, 0x00, 0x00, 0x00 }, 5 },
        { "direct call into unreadable memory", { 0xE8, 0x00, 0x10, 0x00, 0x00 }, 0 },
        { "call rax", { 0xFF, 0xD0 }, 2 },
        { "call r11 (REX)", { 0x41, 0xFF, 0xD3 }, 3 },
        { "call [rbx]", { 0xFF, 0x13 }, 2 },
        { "call [rax+8]", { 0xFF, 0x50, 0x08 }, 3 },
        { "call [rax+disp32]", { 0xFF, 0x90, 0x00, 0x01, 0x00, 0x00 }, 6 },
        { "call [rsp]", { 0xFF, 0x14, 0x24 }, 3 },
        { "call [rsp+8]", { 0xFF, 0x54, 0x24, 0x08 }, 4 },
        { "call [rsp+disp32]", { 0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00 }, 7 },
        { "call [rip+disp32], slot readable", { 0xFF, 0x15, 0x10, 0x00, 0x00, 0x00 }, 6 },
        { "call [rip+disp32], slot unreadable", { 0xFF, 0x15, 0x00, 0x10, 0x00, 0x00 }, 0 },
        { "jmp rax", { 0xFF, 0xE0 }, 0 },
        { "push [rax+8]", { 0xFF, 0x70, 0x08 }, 0 },
        { "no call at all", { 0x48, 0x89, 0xE5 }, 0 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t v = place(c.bytes);
        EXPECT_EQ(CallStartBefore(v), c.back ? v - c.back : 0);
    }
}

TEST_F(CallCheck, CleaningKeepsCallSitesInOrderAndFillsTheEndWithZeros)
{
    const std::uint64_t call = place({ 0xFF, 0xD0 });
    std::uint64_t stack[6] = { 0, 0x1234, call, reinterpret_cast<std::uint64_t>(code + Page + 8), call, 77 };
    EXPECT_EQ(CleanStack(stack, 6), 2u);
    const std::uint64_t expected[6] = { call - 2, call - 2, 0, 0, 0, 0 };
    EXPECT_EQ(std::memcmp(stack, expected, sizeof stack), 0);
}

TEST_F(CallCheck, ReadabilityAnswersAreTheSameWithAndWithoutThePageCache)
{
    const std::uint64_t readable = reinterpret_cast<std::uint64_t>(code);
    const std::uint64_t guarded = readable + Page;
    for (const bool cached : { false, true }) {
        SCOPED_TRACE(cached);
        if (cached) {
            ASSERT_TRUE(PageCacheOpen());
        }
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_TRUE(Readable(readable, Page));
            EXPECT_FALSE(Readable(readable + Page - 4, 8)); // runs into the unreadable page
            EXPECT_FALSE(Readable(guarded, 1));
            EXPECT_FALSE(Readable(0, 8));
            EXPECT_FALSE(Readable(~std::uint64_t(0) - 2, 8)); // wraps around
        }
        PageCacheClose();
    }
}

} // namespace
