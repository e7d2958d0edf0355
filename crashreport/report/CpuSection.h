#pragma once
// The assembler and CPU sections of the report: the one place where instructions, registers and
// dumps of an exception become report text.

#include "CrashDisassembler.h"
#include "ReportInput.h"
#include "ReportTexts.h"

#include <cstddef>
#include <string>
#include <vector>

namespace crashreport {

// Bytes the CPU section dumps: sixteen 64-bit stack values and sixteen lines of 16 bytes.
inline constexpr std::size_t CpuStackDumpSize = 16 * 8;
inline constexpr std::size_t CpuMemoryDumpSize = 16 * 16;

// "Assembler Information:", a dash line one longer, then one line per instruction: address (16
// hexadecimal digits), two spaces and the instruction; a comment block where the source position
// changes ("; unit procedure (Line=.. - Offset=..)" and a dash line, from the second block on
// after a line holding only ";"); comments after ";" aligned two columns right of the longest
// instruction, and "<-- EXCEPTION" at the end of the exception's line.
std::string assemblerSection(const std::vector<TCrashAsmInstruction> &instructions, const ReportTexts &texts);

// Only the assembler title and its dash line (the section is not logged).
std::string assemblerTitle(const ReportTexts &texts);

// "Registers:" and a dash line; RAX to RIP in two columns, an empty line and R8 to R15 in the same
// form, each value as 16 hexadecimal digits ("????" padded to 16 without a context); an empty
// line; the stack and memory-dump titles and their dash line; and 16 dump lines (the stack's
// 64-bit values from the stack pointer, 16 bytes a line from the exception address), printed only
// when both dumps are complete.
std::string cpuSection(const ReportInput &input, const ReportTexts &texts);

// "Registers:", a dash line one longer and an empty line (the section is not logged).
std::string registersTitle(const ReportTexts &texts);

} // namespace crashreport
