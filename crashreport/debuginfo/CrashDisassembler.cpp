#include "CrashDisassembler.h"

#include "CrashMemory.h"
#include "CrashStackList.h"

#include <capstone/capstone.h>
#include <ucontext.h>

#include <algorithm>
#include <memory>

namespace crashreport
{

namespace
{

    constexpr std::size_t Window = 70;
    constexpr int InstructionsEachSide = 10;

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
        bool isReturn;
        std::string text;
    };

    // Told from the decoded instruction: the first byte alone would take a VEX prefix
    // (C4, C5) or "leave" for a return and miss "rep ret".
    bool isReturnInstruction(unsigned id)
    {
        switch (id) {
        case X86_INS_RET:
        case X86_INS_RETF:
        case X86_INS_RETFQ:
        case X86_INS_IRET:
        case X86_INS_IRETD:
        case X86_INS_IRETQ:
            return true;
        default:
            return false;
        }
    }

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
            out.push_back(
                { insn[i].address, insn[i].size, isReturnInstruction(insn[i].id), std::move(text) });
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
            if (i > 0 && after[i].isReturn)
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

} // namespace crashreport
