#pragma once
// The code around an exception address, decoded with Capstone (x86-64, Intel syntax), and
// the register context and memory dumps of an exception: the values of the report's assembler
// and CPU sections (the report formats them).

#include <cstdint>
#include <string>
#include <vector>

namespace crashreport
{

struct TCrashAsmInstruction {
    std::uint64_t address = 0;
    std::string instruction; // "mov rax, qword ptr [rbx + 8]", may end with "; comment"
    bool isException = false; // the instruction at the exception address
    std::string unitName; // source position of the instruction
    std::string procedureName;
    std::uint32_t line = 0;
    std::uint32_t lineOffset = 0;
};

// At most 10 instructions before the address (found by decoding forward from up to 70
// bytes before it, preferring the procedure's own start when it lies in that window) and
// the instruction at it plus up to 10 behind it, stopping at the last readable byte within
// 70 bytes behind it or after the first return instruction (ret, retf, iret) behind it.
// Unreadable code gives an empty list. Calls and jumps to named procedures get a comment.
std::vector<TCrashAsmInstruction> CrashDisassembleAround(
    std::uint64_t exceptionAddress, bool withSourcePositions = true);

// The 64-bit registers of an exception context.
struct TCrashCpuContext {
    bool valid = false;
    std::uint64_t rax = 0, rbx = 0, rcx = 0, rdx = 0, rsi = 0, rdi = 0, rbp = 0, rsp = 0, rip = 0;
    std::uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
};

// From a ucontext_t* of a signal handler.
TCrashCpuContext CrashContextFromUcontext(const void *ucontext);

// Reads a dump without faulting; empty when not all bytes are readable.
std::vector<std::uint8_t> CrashReadDump(std::uint64_t address, std::size_t size);

} // namespace crashreport
