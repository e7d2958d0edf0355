#include "CrashDisassembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace crashreport;

asm(".text\n"
    ".globl crash_asm_fixture\n"
    ".type crash_asm_fixture, @function\n"
    "crash_asm_fixture:\n"
    "    push %rbx\n"
    "    mov $1, %eax\n"
    ".globl crash_asm_fixture_fault\n"
    "crash_asm_fixture_fault:\n"
    "    mov (%rbx), %rax\n"
    "    add $8, %rax\n"
    "    pop %rbx\n"
    "    ret\n"
    "    int3\n"
    "    int3\n"
    ".size crash_asm_fixture, .-crash_asm_fixture\n");

extern "C" const char crash_asm_fixture[], crash_asm_fixture_fault[];

// Instructions whose first byte lies in 0xC2..0xCB without being a return: VEX prefixes (C4,
// C5), a move of an immediate (C7) and "leave" (C9); then "rep ret", a return whose first byte
// is a prefix.
asm(".text\n"
    ".globl crash_asm_vex\n"
    ".type crash_asm_vex, @function\n"
    "crash_asm_vex:\n"
    "    vmovdqu (%rdi), %ymm0\n"
    "    vpaddd %ymm1, %ymm0, %ymm0\n"
    "    vpbroadcastd %xmm1, %ymm2\n"
    "    movl $1, (%rax)\n"
    "    vzeroupper\n"
    "    leave\n"
    "    rep ret\n"
    "    int3\n"
    "    int3\n"
    ".size crash_asm_vex, .-crash_asm_vex\n");

extern "C" const char crash_asm_vex[];

namespace asmtest
{

[[gnu::noinline]] int target(int *p)
{
    int sum = 0;
    for (int i = 0; i < 20; ++i)
        sum += p[i] * (i + 3);
    return sum;
}

} // namespace asmtest

namespace
{

std::uint64_t addr(const void *p)
{
    return reinterpret_cast<std::uint64_t>(p);
}

} // namespace

TEST(CrashDisassembler, InstructionsAroundTheAddressStopAfterTheReturn)
{
    const auto ins = CrashDisassembleAround(addr(crash_asm_fixture_fault));
    ASSERT_EQ(ins.size(), 6u);
    const char *expected[]
        = { "push rbx", "mov eax, 1", "mov rax, qword ptr [rbx]", "add rax, 8", "pop rbx", "ret" };
    for (std::size_t i = 0; i < ins.size(); ++i)
        EXPECT_EQ(ins[i].instruction, expected[i]);
    EXPECT_EQ(ins[0].address, addr(crash_asm_fixture)); // starts at the procedure's first instruction
    EXPECT_TRUE(ins[2].isException);
    EXPECT_EQ(ins[2].address, addr(crash_asm_fixture_fault));
    EXPECT_EQ(ins[2].procedureName, "crash_asm_fixture");
    EXPECT_EQ(std::count_if(ins.begin(), ins.end(), [](const auto &i) { return i.isException; }), 1);
}

TEST(CrashDisassembler, OnlyADecodedReturnEndsTheInstructionsBehindTheAddress)
{
    const auto all = CrashDisassembleAround(addr(crash_asm_vex), false);
    const auto at = std::find_if(all.begin(), all.end(), [](const auto &i) { return i.isException; });
    ASSERT_NE(at, all.end());
    EXPECT_EQ(at->address, addr(crash_asm_vex));
    const std::vector<TCrashAsmInstruction> ins(at, all.end());
    std::vector<std::string> texts;
    for (const auto &i : ins)
        texts.push_back(i.instruction);
    const std::vector<std::string> expected = { "vmovdqu ymm0, ymmword ptr [rdi]", "vpaddd ymm0, ymm0, ymm1",
        "vpbroadcastd ymm2, xmm1", "mov dword ptr [rax], 1", "vzeroupper", "leave", "ret" };
    ASSERT_EQ(texts.size(), expected.size()) << ::testing::PrintToString(texts);
    for (std::size_t i = 0; i + 1 < texts.size(); ++i)
        EXPECT_EQ(texts[i], expected[i]);
    EXPECT_TRUE(texts.back().ends_with("ret")) << texts.back();
}

TEST(CrashDisassembler, CompiledCodeGetsSourcePositionsAndAtMostTenEachSide)
{
    // An address in the middle of a compiled procedure with debug information.
    const std::uint64_t start = addr(reinterpret_cast<const void *>(&asmtest::target));
    const auto probe = CrashDisassembleAround(start + 40);
    ASSERT_FALSE(probe.empty());
    std::uint64_t exceptionAddress = 0;
    for (const auto &i : probe)
        if (i.isException)
            exceptionAddress = i.address;
    ASSERT_EQ(exceptionAddress, start + 40) << "the decoding must land on the address";
    std::size_t before = 0, after = 0;
    bool seen = false;
    for (const auto &i : probe) {
        EXPECT_EQ(i.unitName, "DisassemblerTest.cpp");
        EXPECT_EQ(i.procedureName, "asmtest::target");
        EXPECT_GT(i.line, 0u);
        if (i.isException)
            seen = true;
        else
            (seen ? after : before)++;
    }
    EXPECT_LE(before, 10u);
    EXPECT_LE(after, 10u);
    for (std::size_t i = 1; i < probe.size(); ++i)
        EXPECT_GT(probe[i].address, probe[i - 1].address);
}

TEST(CrashDisassembler, UnreadableCodeGivesNothing)
{
    EXPECT_TRUE(CrashDisassembleAround(0x1000).empty());
    EXPECT_TRUE(CrashDisassembleAround(0).empty());
}

TEST(CrashDisassembler, DumpsAreReadOnlyWhenWhollyReadable)
{
    alignas(16) char memory[256];
    for (int i = 0; i < 256; ++i)
        memory[i] = static_cast<char>(i);
    const std::vector<std::uint8_t> dump = CrashReadDump(addr(memory), sizeof memory);
    ASSERT_EQ(dump.size(), 256u);
    EXPECT_EQ(dump[17], 17);
    EXPECT_TRUE(CrashReadDump(0x1000, 256).empty());
}
