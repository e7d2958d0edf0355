#include "CrashDisassembler.h"

#include "CrashMemory.h"
#include "CrashStackList.h"

#include <capstone/capstone.h>
#include <ucontext.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace crashreport
{

namespace
{

    constexpr std::size_t Window = 70;
    constexpr int InstructionsEachSide = 10;

    std::string hex16(std::uint64_t v)
    {
        char buf[20];
        std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v));
        return buf;
    }

    struct Capstone {
        csh handle = 0;
        bool ok = false;
        Capstone()
        {
            ok = cs_open(CS_ARCH_X86, CS_MODE_64, &handle) == CS_ERR_OK;
            if (ok)
                cs_option(handle, CS_OPT_DETAIL, CS_OPT_OFF);
        }
        ~Capstone()
        {
            if (ok)
                cs_close(&handle);
        }
    };

    struct Decoded {
        std::uint64_t address;
        std::size_t size;
        unsigned char first;
        std::string text;
    };

    // Decodes [begin, begin + size) of buf (buf holds code from bufAddress) into instructions.
    std::vector<Decoded> decode(const Capstone &cs, const unsigned char *buf, std::uint64_t bufAddress,
        std::uint64_t begin, std::uint64_t end)
    {
        std::vector<Decoded> out;
        cs_insn *insn = nullptr;
        const std::size_t offset = static_cast<std::size_t>(begin - bufAddress);
        const std::size_t count
            = cs_disasm(cs.handle, buf + offset, static_cast<std::size_t>(end - begin), begin, 0, &insn);
        for (std::size_t i = 0; i < count; ++i) {
            std::string text = insn[i].mnemonic;
            if (insn[i].op_str[0]) {
                text += ' ';
                text += insn[i].op_str;
            }
            out.push_back({ insn[i].address, insn[i].size, insn[i].bytes[0], std::move(text) });
        }
        if (insn)
            cs_free(insn, count);
        return out;
    }

    // The target of a direct call or jump ("call 0x401234"), or 0.
    std::uint64_t directTarget(const std::string &text)
    {
        if (text.rfind("call 0x", 0) != 0 && text.rfind("jmp 0x", 0) != 0)
            return 0;
        const std::size_t p = text.find("0x");
        std::uint64_t v = 0;
        for (std::size_t i = p + 2; i < text.size(); ++i) {
            const char c = text[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else
                return 0;
            v = v * 16 + static_cast<unsigned>(d);
        }
        return v;
    }

    std::string joinName(const TCrashStackEntry &e)
    {
        if (e.className.empty())
            return e.procedureName;
        return e.className + "::" + e.procedureName;
    }

} // namespace

std::vector<TCrashAsmInstruction> CrashDisassembleAround(std::uint64_t address, bool withSourcePositions)
{
    std::vector<TCrashAsmInstruction> result;
    try {
        if (address < Window)
            return result;
        // Read as much of [address - 70, address + 70 + 15) as is readable, in small steps so
        // that a page boundary only cuts the unreadable part.
        const std::uint64_t lo = address - Window;
        const std::size_t total = 2 * Window + 16;
        std::vector<unsigned char> buf(total, 0);
        std::uint64_t readLo = address, readHi = address;
        for (std::uint64_t a = address; a < lo + total && TCrashMemory::read(a, &buf[a - lo], 1); ++a)
            readHi = a + 1;
        if (readHi == address)
            return result;
        for (std::uint64_t a = address; a > lo && TCrashMemory::read(a - 1, &buf[a - 1 - lo], 1); --a)
            readLo = a - 1;
        Capstone cs;
        if (!cs.ok)
            return result;

        // The start: the procedure's own first instruction when it lies in the window, else the
        // farthest start from which the decoding lands exactly on the address.
        std::vector<Decoded> before;
        TCrashStackEntry here;
        if (withSourcePositions)
            CrashResolveAddress(address, 0, here);
        std::vector<std::uint64_t> starts;
        if (here.module) {
            const std::uint64_t fileAddress = address - here.module->loadBias;
            if (const TCrashFunction *f = here.module->functions.findNearest(fileAddress)) {
                const std::uint64_t procStart = here.module->loadBias + f->offset;
                if (procStart >= readLo && procStart <= address)
                    starts.push_back(procStart);
            }
        }
        for (std::uint64_t s = readLo; s <= address; ++s)
            starts.push_back(s);
        for (std::uint64_t s : starts) {
            std::vector<Decoded> d = decode(cs, buf.data(), lo, s, address);
            std::uint64_t end = s;
            for (const Decoded &x : d)
                end = x.address + x.size;
            if (end == address && (!d.empty() || s == address)) {
                before = std::move(d);
                break;
            }
        }
        if (before.size() > InstructionsEachSide)
            before.erase(before.begin(), before.end() - InstructionsEachSide);
        // The exception instruction and up to 10 behind it.
        const std::uint64_t afterEnd = std::min<std::uint64_t>(readHi, address + Window + 1);
        std::vector<Decoded> after = decode(cs, buf.data(), lo, address, afterEnd);
        std::vector<Decoded> kept;
        for (std::size_t i = 0; i < after.size() && i <= InstructionsEachSide; ++i) {
            if (after[i].address + after[i].size > afterEnd)
                break;
            kept.push_back(after[i]);
            if (i > 0 && after[i].first >= 0xC2 && after[i].first <= 0xCB)
                break;
        }
        std::vector<Decoded> all = std::move(before);
        all.insert(all.end(), kept.begin(), kept.end());
        for (const Decoded &d : all) {
            TCrashAsmInstruction ins;
            ins.address = d.address;
            ins.instruction = d.text;
            ins.isException = d.address == address;
            if (withSourcePositions) {
                TCrashStackEntry e;
                CrashResolveAddress(d.address, 0, e);
                ins.unitName = e.unitName;
                ins.procedureName = joinName(e);
                ins.line = e.line;
                ins.lineOffset = e.lineOffset;
                if (const std::uint64_t target = directTarget(d.text)) {
                    TCrashStackEntry t;
                    CrashResolveAddress(target, 0, t);
                    if (!t.procedureName.empty())
                        ins.instruction += " ; " + joinName(t);
                }
            }
            result.push_back(std::move(ins));
        }
    } catch (...) {
        result.clear();
    }
    return result;
}

std::vector<std::string> CrashAssemblerLines(const std::vector<TCrashAsmInstruction> &instructions)
{
    // Split instruction and comment so the comments can be aligned.
    std::size_t width = 0;
    for (const TCrashAsmInstruction &i : instructions) {
        const std::size_t semi = i.instruction.find(" ; ");
        width = std::max(width, semi == std::string::npos ? i.instruction.size() : semi);
    }
    std::vector<std::string> lines;
    bool firstBlock = true;
    std::string lastPosition;
    for (const TCrashAsmInstruction &i : instructions) {
        std::string position;
        if (!i.unitName.empty() || !i.procedureName.empty()) {
            position = i.unitName;
            if (!i.procedureName.empty())
                position += (position.empty() ? "" : " ") + i.procedureName;
            position
                += " (Line=" + std::to_string(i.line) + " - Offset=" + std::to_string(i.lineOffset) + ")";
        }
        if (!position.empty() && position != lastPosition) {
            if (!firstBlock)
                lines.push_back(";");
            lines.push_back("; " + position);
            lines.push_back("; " + std::string(position.size(), '-'));
            firstBlock = false;
        }
        lastPosition = position;
        std::string text = i.instruction, comment;
        if (const std::size_t semi = text.find(" ; "); semi != std::string::npos) {
            comment = text.substr(semi + 3);
            text.resize(semi);
        }
        if (i.isException)
            comment = comment.empty() ? "<-- EXCEPTION" : comment + "  <-- EXCEPTION";
        std::string line = hex16(i.address) + "  " + text;
        if (!comment.empty()) {
            line += std::string(width + 2 - text.size(), ' ');
            line += "; " + comment;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

TCrashCpuContext CrashContextFromUcontext(const void *ucontext)
{
    TCrashCpuContext c;
    if (!ucontext)
        return c;
    const auto *uc = static_cast<const ucontext_t *>(ucontext);
    const greg_t *g = uc->uc_mcontext.gregs;
    auto r = [&](int i) { return static_cast<std::uint64_t>(g[i]); };
    c.rax = r(REG_RAX);
    c.rbx = r(REG_RBX);
    c.rcx = r(REG_RCX);
    c.rdx = r(REG_RDX);
    c.rsi = r(REG_RSI);
    c.rdi = r(REG_RDI);
    c.rbp = r(REG_RBP);
    c.rsp = r(REG_RSP);
    c.rip = r(REG_RIP);
    c.r8 = r(REG_R8);
    c.r9 = r(REG_R9);
    c.r10 = r(REG_R10);
    c.r11 = r(REG_R11);
    c.r12 = r(REG_R12);
    c.r13 = r(REG_R13);
    c.r14 = r(REG_R14);
    c.r15 = r(REG_R15);
    c.valid = true;
    return c;
}

std::vector<std::uint8_t> CrashReadDump(std::uint64_t address, std::size_t size)
{
    std::vector<std::uint8_t> out(size);
    if (!TCrashMemory::read(address, out.data(), size))
        out.clear();
    return out;
}

std::vector<std::string> CrashCpuLines(
    const TCrashCpuContext &c, std::uint64_t exceptionAddress, const TCrashCpuTitles &titles)
{
    auto reg = [&](std::uint64_t v) { return c.valid ? hex16(v) : std::string(16, '?'); };
    auto pair = [&](const char *a, std::uint64_t va, const char *b, std::uint64_t vb) {
        return std::string(a) + ": " + reg(va) + "   " + b + ": " + reg(vb);
    };
    std::vector<std::string> lines;
    lines.push_back(titles.registers + ":");
    lines.push_back(std::string(45, '-'));
    lines.push_back(pair("RAX", c.rax, "RDI", c.rdi));
    lines.push_back(pair("RBX", c.rbx, "RSI", c.rsi));
    lines.push_back(pair("RCX", c.rcx, "RSP", c.rsp));
    lines.push_back(pair("RDX", c.rdx, "RIP", c.rip));
    lines.push_back("");
    lines.push_back(pair("R8 ", c.r8, "R12", c.r12));
    lines.push_back(pair("R9 ", c.r9, "R13", c.r13));
    lines.push_back(pair("R10", c.r10, "R14", c.r14));
    lines.push_back(pair("R11", c.r11, "R15", c.r15));
    lines.push_back("");
    // A dump line: "stack: value   memory: 16 bytes  16 characters".
    constexpr std::size_t stackWidth = 16 + 2 + 16;
    constexpr std::size_t memoryWidth = 16 + 2 + 16 * 3 + 1 + 16;
    std::string stackTitle = titles.stack + ":";
    if (stackTitle.size() < stackWidth + 3)
        stackTitle.resize(stackWidth + 3, ' ');
    lines.push_back(stackTitle + titles.memoryDump + ":");
    lines.push_back(std::string(stackWidth, '-') + "   " + std::string(memoryWidth, '-'));
    const std::uint64_t sp = c.valid ? c.rsp : 0;
    const std::vector<std::uint8_t> stack = sp ? CrashReadDump(sp, 16 * 8) : std::vector<std::uint8_t> {};
    const std::vector<std::uint8_t> memory
        = exceptionAddress ? CrashReadDump(exceptionAddress, 256) : std::vector<std::uint8_t> {};
    if (stack.size() != 16 * 8 || memory.size() != 256)
        return lines;
    for (int k = 0; k < 16; ++k) {
        std::uint64_t value = 0;
        for (int b = 7; b >= 0; --b)
            value = (value << 8) | stack[static_cast<std::size_t>(8 * k + b)];
        std::string line = hex16(sp + 8 * static_cast<std::uint64_t>(k)) + ": " + hex16(value) + "   "
            + hex16(exceptionAddress + 16 * static_cast<std::uint64_t>(k)) + ":";
        std::string chars;
        for (int b = 0; b < 16; ++b) {
            const std::uint8_t byte = memory[static_cast<std::size_t>(16 * k + b)];
            char hx[4];
            std::snprintf(hx, sizeof hx, " %02X", byte);
            line += hx;
            chars += byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '.';
        }
        lines.push_back(line + " " + chars);
    }
    return lines;
}

} // namespace crashreport
