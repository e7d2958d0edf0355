#pragma once
// The assembler and CPU sections of the report.

#include "ReportInput.h"
#include "ReportTexts.h"

#include <string>
#include <vector>

namespace crashreport {

// "Assembler Information:", a dash line one longer, then one line per instruction: address,
// two spaces and the instruction, with source-position comment blocks and aligned comments.
std::string assemblerSection(const std::vector<AssemblerLine> &lines, const ReportTexts &texts);

// Only the assembler title and its dash line (the section is not logged).
std::string assemblerTitle(const ReportTexts &texts);

// Registers of the context ("????    " each without one), then the stack and memory dump.
std::string cpuSection(const ReportInput &input, const ReportTexts &texts);

// "Registers:", a dash line one longer and an empty line (the section is not logged).
std::string registersTitle(const ReportTexts &texts);

} // namespace crashreport
