#include "CpuSection.h"

#include "ReportFormat.h"

#include <algorithm>
#include <cstdio>

namespace crashreport {

namespace {
constexpr const char *ExceptionMark = "<-- EXCEPTION";

std::string positionText(const AssemblerLine &l)
{
    std::string where = l.unitName;
    if (!l.procedureName.empty())
        where += (where.empty() ? "" : ".") + l.procedureName;
    return where + " (Line=" + std::to_string(l.line) + " - Offset=" + std::to_string(l.lineOffset) + ")";
}
} // namespace

std::string assemblerTitle(const ReportTexts &texts)
{
    const std::string title = texts.text(TextAssemblerInformation);
    return title + ":\r\n" + std::string(utf8Length(title) + 1, '-') + "\r\n";
}

std::string assemblerSection(const std::vector<AssemblerLine> &lines, const ReportTexts &texts)
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
    for (const AssemblerLine &l : lines) {
        if (!l.unitName.empty() || !l.procedureName.empty() || l.line != 0) {
            const std::string pos = positionText(l);
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
        std::string instruction = l.instruction;
        const std::size_t semicolon = instruction.find(';');
        if (semicolon != std::string::npos) {
            o.comment = instruction.substr(semicolon);
            instruction.erase(semicolon);
            while (!instruction.empty() && instruction.back() == ' ')
                instruction.pop_back();
        }
        o.code = formatHex(l.address, 8) + "  " + instruction;
        o.isException = l.isException;
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
    const std::string title = texts.text(TextRegisters);
    return title + ":\r\n" + std::string(utf8Length(title) + 1, '-') + "\r\n\r\n";
}

std::string cpuSection(const ReportInput &input, const ReportTexts &texts)
{
    auto reg = [&](std::uint64_t CpuRegisters::*field) {
        return input.registers ? formatHex((*input.registers).*field, 8) : std::string("????    ");
    };
    std::string out = texts.text(TextRegisters) + ":\r\n-----------------------------\r\n";
    out += "EAX: " + reg(&CpuRegisters::eax) + "   EDI: " + reg(&CpuRegisters::edi) + "\r\n";
    out += "EBX: " + reg(&CpuRegisters::ebx) + "   ESI: " + reg(&CpuRegisters::esi) + "\r\n";
    out += "ECX: " + reg(&CpuRegisters::ecx) + "   ESP: " + reg(&CpuRegisters::esp) + "\r\n";
    out += "EDX: " + reg(&CpuRegisters::edx) + "   EIP: " + reg(&CpuRegisters::eip) + "\r\n\r\n";
    out += padRight(texts.text(TextStack) + ":", 21) + texts.text(TextMemoryDump) + ":\r\n";
    out += "------------------   ---------------------------------------------------------------------------\r\n";
    if (input.stackDump.size() < 64 || input.memoryDump.size() < 256)
        return out;
    for (int k = 0; k < 16; ++k) {
        const std::uint8_t *s = input.stackDump.data() + 4 * k;
        const std::uint32_t value = std::uint32_t(s[0]) | std::uint32_t(s[1]) << 8 | std::uint32_t(s[2]) << 16
            | std::uint32_t(s[3]) << 24;
        std::string line = formatHex(input.stackDumpAddress + 4 * std::uint64_t(k), 8) + ": " + formatHex(value, 8)
            + "   " + formatHex(input.memoryDumpAddress + 16 * std::uint64_t(k), 8) + ": ";
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
