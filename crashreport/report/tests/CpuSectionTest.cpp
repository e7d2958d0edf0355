#include "CpuSection.h"
#include "ReportFixture.h"
#include "ReportFormat.h"

#include <gtest/gtest.h>

using namespace crashreport;
using namespace crashreport::testing;

TEST(CpuSection, SourceBlocksAreSeparatedCommentsAlignedAndTheExceptionMarked)
{
    ReportFixture f;
    std::vector<TCrashAsmInstruction> ins(4);
    const char *texts[] = { "push rbx", "call 0x401000 ; walktest::levelTwo", "mov rax, qword ptr [rbx]", "ret" };
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
        "Assembler Information:",
        "----------------------",
        "; a.cpp f (Line=10 - Offset=1)",
        "; ----------------------------",
        "0000000000401000  push rbx",
        "0000000000401004  call 0x401000             ; walktest::levelTwo",
        ";",
        "; a.cpp f (Line=11 - Offset=2)",
        "; ----------------------------",
        "0000000000401008  mov rax, qword ptr [rbx]  <-- EXCEPTION",
        "000000000040100C  ret",
    };
    EXPECT_EQ(splitCrLfLines(assemblerSection(ins, f.texts)), expected);
    EXPECT_EQ(assemblerSection({}, f.texts), assemblerTitle(f.texts));
}

TEST(CpuSection, ShowsAllRegistersAndTheDumps)
{
    ReportFixture f;
    TCrashCpuContext &c = f.input.registers;
    c = {};
    c.valid = true;
    c.rax = 1, c.rbx = 2, c.rcx = 3, c.rdx = 4, c.rsi = 5, c.rdi = 6, c.rsp = 0x7FFC12345670, c.rip = 0x401008;
    c.r8 = 8, c.r9 = 9, c.r10 = 10, c.r11 = 11, c.r12 = 12, c.r13 = 13, c.r14 = 14, c.r15 = 0xFFFFFFFFFFFFFFFF;
    f.input.stackDumpAddress = c.rsp;
    f.input.stackDump.clear();
    for (int i = 0; i < 16; ++i)
        for (int b = 0; b < 8; ++b)
            f.input.stackDump.push_back(std::uint8_t(0x11 * (i % 16)));
    const std::vector<std::string> l = splitCrLfLines(cpuSection(f.input, f.texts));
    ASSERT_EQ(l.size(), 14u + 16u);
    EXPECT_EQ(l[0], "Registers:");
    EXPECT_EQ(l[1], std::string(45, '-'));
    EXPECT_EQ(l[2], "RAX: 0000000000000001   RDI: 0000000000000006");
    EXPECT_EQ(l[3], "RBX: 0000000000000002   RSI: 0000000000000005");
    EXPECT_EQ(l[4], "RCX: 0000000000000003   RSP: 00007FFC12345670");
    EXPECT_EQ(l[5], "RDX: 0000000000000004   RIP: 0000000000401008");
    EXPECT_EQ(l[6], "");
    EXPECT_EQ(l[7], "R8 : 0000000000000008   R12: 000000000000000C");
    EXPECT_EQ(l[10], "R11: 000000000000000B   R15: FFFFFFFFFFFFFFFF");
    EXPECT_EQ(l[11], "");
    EXPECT_EQ(l[12], "Stack:" + std::string(37 - 6, ' ') + "Memory Dump:");
    EXPECT_EQ(l[13], std::string(34, '-') + "   " + std::string(83, '-'));
    EXPECT_EQ(l[14], formatHex(c.rsp, 16) + ": 0000000000000000   " + formatHex(f.input.memoryDumpAddress, 16)
                         + ":  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................");
    EXPECT_EQ(l[15].substr(0, 34), formatHex(c.rsp + 8, 16) + ": 1111111111111111");
    EXPECT_EQ(l[17].substr(l[17].size() - 16), "0123456789:;<=>?");
    EXPECT_EQ(l[29].substr(0, 16), formatHex(c.rsp + 15 * 8, 16));
}
