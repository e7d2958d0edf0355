#include "CpuSection.h"

#include "ReportFormat.h"

#include <algorithm>
#include <cstdio>

namespace crashreport {

namespace {
constexpr const char *ExceptionMark = "<-- EXCEPTION";
constexpr int AddressDigits = 16;
// "RAX: 0000000000000001   RDI: 0000000000000006"
constexpr std::size_t RegisterLineWidth = 3 + 2 + AddressDigits + 3 + 3 + 2 + AddressDigits;
// "address: value" and "address:  XX XX ... XX characters"
constexpr std::size_t StackColumnWidth = AddressDigits + 2 + AddressDigits;
constexpr std::size_t MemoryColumnWidth = AddressDigits + 2 + 16 * 3 + 1 + 16;

std::string positionText(const TCrashAsmInstruction &i)
{
    // Names from debug files beside a module: one line each, whatever the file holds.
    std::string where = cleanOneLine(i.unitName);
    if (!i.procedureName.empty())
        where += (where.empty() ? "" : " ") + cleanOneLine(i.procedureName);
    return where + " (Line=" + std::to_string(i.line) + " - Offset=" + std::to_string(i.lineOffset) + ")";
}

bool hasPosition(const TCrashAsmInstruction &i)
{
    return !i.unitName.empty() || !i.procedureName.empty() || i.line != 0;
}
} // namespace

std::string assemblerTitle(const ReportTexts &texts)
{
    const std::string title = cleanOneLine(texts.text(TextAssemblerInformation));
    return title + ":\r\n" + std::string(utf8Length(title) + 1, '-') + "\r\n";
}

std::string assemblerSection(const std::vector<TCrashAsmInstruction> &instructions, const ReportTexts &texts)
{
    struct Out {
        std::string code;    // address and instruction without its comment
        std::string comment; // from ';' on
        bool isException = false;
        bool isSourceComment = false;
    };
    std::vector<Out> outs;
    std::size_t codeWidth = 0;
    bool anyBlock = false;
    std::string lastPosition;
    for (const TCrashAsmInstruction &i : instructions) {
        if (hasPosition(i)) {
            const std::string pos = positionText(i);
            if (pos != lastPosition) {
                if (anyBlock)
                    outs.push_back(Out { ";", {}, false, true });
                outs.push_back(Out { "; " + pos, {}, false, true });
                outs.push_back(Out { "; " + std::string(utf8Length(pos), '-'), {}, false, true });
                anyBlock = true;
                lastPosition = pos;
            }
        }
        Out o;
        std::string instruction = cleanOneLine(i.instruction);
        const std::size_t semicolon = instruction.find(';');
        if (semicolon != std::string::npos) {
            o.comment = instruction.substr(semicolon);
            instruction.erase(semicolon);
            while (!instruction.empty() && instruction.back() == ' ')
                instruction.pop_back();
        }
        o.code = formatHex(i.address, AddressDigits) + "  " + instruction;
        o.isException = i.isException;
        codeWidth = std::max(codeWidth, utf8Length(o.code));
        outs.push_back(std::move(o));
    }
    std::string out = assemblerTitle(texts);
    for (const Out &o : outs) {
        std::string line = o.code;
        if (!o.isSourceComment && (!o.comment.empty() || o.isException)) {
            line = padRight(line, codeWidth + 2);
            line += o.comment;
            if (o.isException)
                line += (o.comment.empty() ? "" : " ") + std::string(ExceptionMark);
        }
        out += line + "\r\n";
    }
    return out;
}

std::string registersTitle(const ReportTexts &texts)
{
    const std::string title = cleanOneLine(texts.text(TextRegisters));
    return title + ":\r\n" + std::string(utf8Length(title) + 1, '-') + "\r\n\r\n";
}

std::string cpuSection(const ReportInput &input, const ReportTexts &texts)
{
    const TCrashCpuContext &c = input.registers;
    auto reg = [&](std::uint64_t value) {
        return c.valid ? formatHex(value, AddressDigits) : padRight("????", AddressDigits);
    };
    auto pair = [&](const char *a, std::uint64_t va, const char *b, std::uint64_t vb) {
        return std::string(a) + ": " + reg(va) + "   " + b + ": " + reg(vb) + "\r\n";
    };
    std::string out = cleanOneLine(texts.text(TextRegisters)) + ":\r\n" + std::string(RegisterLineWidth, '-') + "\r\n";
    out += pair("RAX", c.rax, "RDI", c.rdi);
    out += pair("RBX", c.rbx, "RSI", c.rsi);
    out += pair("RCX", c.rcx, "RSP", c.rsp);
    out += pair("RDX", c.rdx, "RIP", c.rip);
    out += "\r\n";
    out += pair("R8 ", c.r8, "R12", c.r12);
    out += pair("R9 ", c.r9, "R13", c.r13);
    out += pair("R10", c.r10, "R14", c.r14);
    out += pair("R11", c.r11, "R15", c.r15);
    out += "\r\n";
    out += padRight(cleanOneLine(texts.text(TextStack)) + ":", StackColumnWidth + 3)
        + cleanOneLine(texts.text(TextMemoryDump)) + ":\r\n";
    out += std::string(StackColumnWidth, '-') + "   " + std::string(MemoryColumnWidth, '-') + "\r\n";
    if (input.stackDump.size() < CpuStackDumpSize || input.memoryDump.size() < CpuMemoryDumpSize)
        return out;
    for (std::size_t k = 0; k < 16; ++k) {
        std::uint64_t value = 0;
        for (std::size_t b = 8; b-- > 0;)
            value = value << 8 | input.stackDump[8 * k + b];
        std::string line = formatHex(input.stackDumpAddress + 8 * k, AddressDigits) + ": "
            + formatHex(value, AddressDigits) + "   " + formatHex(input.memoryDumpAddress + 16 * k, AddressDigits)
            + ": ";
        const std::uint8_t *m = input.memoryDump.data() + 16 * k;
        std::string chars;
        for (int b = 0; b < 16; ++b) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", m[b]);
            line += hex;
            chars += (m[b] >= 32 && m[b] <= 126) ? char(m[b]) : '.';
        }
        out += line + " " + chars + "\r\n";
    }
    return out;
}

} // namespace crashreport
