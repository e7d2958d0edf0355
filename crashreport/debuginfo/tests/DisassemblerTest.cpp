#include "CrashDisassembler.h"

#include <gtest/gtest.h>

#include <cstring>

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

    const auto lines = CrashAssemblerLines(probe);
    ASSERT_GE(lines.size(), probe.size() + 2);
    EXPECT_EQ(lines[0].rfind("; DisassemblerTest.cpp asmtest::target (Line=", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "; " + std::string(lines[0].size() - 2, '-'));
    int exceptionLines = 0;
    std::size_t commentColumn = 0;
    for (const std::string &l : lines) {
        if (l.empty() || l[0] == ';')
            continue;
        EXPECT_EQ(l.substr(16, 2), "  ") << l;
        const std::size_t semi = l.find(';');
        if (semi != std::string::npos) {
            if (commentColumn == 0)
                commentColumn = semi;
            EXPECT_EQ(semi, commentColumn) << "comments are aligned: " << l;
        }
        if (l.find("<-- EXCEPTION") != std::string::npos)
            ++exceptionLines;
    }
    EXPECT_EQ(exceptionLines, 1);
}

TEST(CrashDisassembler, SourceBlocksAreSeparatedAndCallsNamed)
{
    std::vector<TCrashAsmInstruction> ins(4);
    const char *texts[]
        = { "push rbx", "call 0x401000 ; walktest::levelTwo", "mov rax, qword ptr [rbx]", "ret" };
    for (std::size_t i = 0; i < 4; ++i) {
        ins[i].address = 0x401000 + i * 4;
        ins[i].instruction = texts[i];
        ins[i].unitName = "a.cpp";
        ins[i].procedureName = "f";
        ins[i].line = i < 2 ? 10 : 11;
        ins[i].lineOffset = i < 2 ? 1 : 2;
    }
    ins[2].isException = true;
    const std::vector<std::string> expected = {
        "; a.cpp f (Line=10 - Offset=1)",
        "; ----------------------------",
        "0000000000401000  push rbx",
        "0000000000401004  call 0x401000             ; walktest::levelTwo",
        ";",
        "; a.cpp f (Line=11 - Offset=2)",
        "; ----------------------------",
        "0000000000401008  mov rax, qword ptr [rbx]  ; <-- EXCEPTION",
        "000000000040100C  ret",
    };
    EXPECT_EQ(CrashAssemblerLines(ins), expected);
}

TEST(CrashDisassembler, UnreadableCodeGivesNothing)
{
    EXPECT_TRUE(CrashDisassembleAround(0x1000).empty());
    EXPECT_TRUE(CrashDisassembleAround(0).empty());
    EXPECT_TRUE(CrashAssemblerLines({}).empty());
}

TEST(CrashDisassembler, CpuSectionShowsAllRegistersAndTheDumps)
{
    alignas(16) std::uint64_t stack[16];
    for (int i = 0; i < 16; ++i)
        stack[i] = 0x1111111111111111ull * static_cast<unsigned>(i % 16);
    alignas(16) char memory[256];
    for (int i = 0; i < 256; ++i)
        memory[i] = static_cast<char>(i);
    TCrashCpuContext c;
    c.valid = true;
    c.rax = 1, c.rbx = 2, c.rcx = 3, c.rdx = 4, c.rsi = 5, c.rdi = 6, c.rsp = addr(stack),
    c.rip = addr(memory);
    c.r8 = 8, c.r9 = 9, c.r10 = 10, c.r11 = 11, c.r12 = 12, c.r13 = 13, c.r14 = 14,
    c.r15 = 0xFFFFFFFFFFFFFFFFull;
    const auto lines = CrashCpuLines(c, addr(memory));
    ASSERT_EQ(lines.size(), 14u + 16u);
    EXPECT_EQ(lines[0], "Registers:");
    EXPECT_EQ(lines[1], std::string(45, '-'));
    EXPECT_EQ(lines[2], "RAX: 0000000000000001   RDI: 0000000000000006");
    EXPECT_EQ(lines[3], "RBX: 0000000000000002   RSI: 0000000000000005");
    char rsp[64];
    std::snprintf(rsp, sizeof rsp, "RCX: 0000000000000003   RSP: %016llX",
        static_cast<unsigned long long>(addr(stack)));
    EXPECT_EQ(lines[4], rsp);
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[7], "R8 : 0000000000000008   R12: 000000000000000C");
    EXPECT_EQ(lines[10], "R11: 000000000000000B   R15: FFFFFFFFFFFFFFFF");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "Stack:" + std::string(37 - 6, ' ') + "Memory Dump:");
    EXPECT_EQ(lines[13], std::string(34, '-') + "   " + std::string(83, '-'));
    char first[256];
    std::snprintf(first, sizeof first,
        "%016llX: 0000000000000000   %016llX: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "
        "................",
        static_cast<unsigned long long>(addr(stack)), static_cast<unsigned long long>(addr(memory)));
    EXPECT_EQ(lines[14], first);
    EXPECT_EQ(lines[17].substr(lines[17].size() - 16), "0123456789:;<=>?");
    EXPECT_EQ(lines[15].substr(18, 16), "1111111111111111");

    // Without a context: question marks and no dump.
    const auto none = CrashCpuLines(TCrashCpuContext {}, addr(memory));
    ASSERT_EQ(none.size(), 14u);
    EXPECT_EQ(none[2], "RAX: ????????????????   RDI: ????????????????");
    // Unreadable memory at the exception address: no dump either.
    EXPECT_EQ(CrashCpuLines(c, 0x1000).size(), 14u);
}
