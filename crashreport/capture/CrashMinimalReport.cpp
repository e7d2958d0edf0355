#include "CrashMinimalReport.h"

#include <link.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace crashreport
{

namespace
{
    TCrashMinimalModule modules[MinimalModulesMax];
    std::size_t moduleCount = 0;

    std::size_t textLength(const char *text)
    {
        std::size_t n = 0;
        while (text && text[n])
            ++n;
        return n;
    }

    const char *baseName(const char *path)
    {
        const char *name = path;
        for (const char *p = path; *p; ++p)
            if (*p == '/')
                name = p + 1;
        return name;
    }

    int collectModule(dl_phdr_info *info, size_t, void *)
    {
        if (moduleCount >= MinimalModulesMax)
            return 1;
        TCrashMinimalModule m;
        std::uint64_t low = ~std::uint64_t(0);
        for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr) &ph = info->dlpi_phdr[i];
            if (ph.p_type != PT_LOAD)
                continue;
            const std::uint64_t start = info->dlpi_addr + ph.p_vaddr;
            if (start < low)
                low = start;
            if ((ph.p_flags & PF_X) && m.codeEnd == 0) {
                m.codeStart = start;
                m.codeEnd = start + ph.p_memsz;
            }
        }
        if (m.codeEnd == 0)
            return 0;
        m.base = low & ~std::uint64_t(0xFFF);
        const char *path = info->dlpi_name && *info->dlpi_name ? info->dlpi_name : nullptr;
        char exe[256] = {};
        if (!path) {
            const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
            path = n > 0 ? exe : "?";
        }
        const char *name = baseName(path);
        std::size_t n = 0;
        for (; name[n] && n + 1 < sizeof m.name; ++n)
            m.name[n] = name[n];
        m.name[n] = 0;
        modules[moduleCount++] = m;
        return 0;
    }

    // True when the bytes before v are a call instruction (read inside the module's code only).
    __attribute__((no_sanitize("address"))) bool behindCall(const TCrashMinimalModule &m, std::uint64_t v)
    {
        if (v < m.codeStart + 7 || v > m.codeEnd)
            return false;
        const auto *p = reinterpret_cast<const unsigned char *>(v);
        if (p[-5] == 0xE8)
            return true;
        if (p[-2] == 0xFF && ((p[-1] & 0xF8) == 0xD0 || (p[-1] >= 0x10 && p[-1] <= 0x17)))
            return true;
        if (p[-3] == 0xFF && (p[-2] & 0xF8) == 0x50)
            return true;
        if (p[-6] == 0xFF && ((p[-5] & 0xF8) == 0x90 || p[-5] == 0x15))
            return true;
        if (p[-3] == 0xFF && p[-2] == 0x14 && p[-1] == 0x24)
            return true;
        return false;
    }

    void dashLine(TCrashFixedText &text, std::size_t width)
    {
        for (std::size_t i = 0; i < width; ++i)
            text.add("-", 1);
        text.add("\r\n");
    }
} // namespace

void TCrashFixedText::add(const char *text)
{
    add(text, textLength(text));
}

void TCrashFixedText::add(const char *text, std::size_t length)
{
    for (std::size_t i = 0; i < length && m_length + 1 < m_capacity; ++i) {
        m_buffer[m_length++] = text[i];
        if (text[i] == '\n')
            m_lineStart = m_length;
    }
    if (m_capacity)
        m_buffer[m_length] = 0;
}

void TCrashFixedText::addHex(std::uint64_t value, int digits)
{
    char out[16];
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    }
    add(out, static_cast<std::size_t>(digits));
}

void TCrashFixedText::addDecimal(std::uint64_t value)
{
    char out[24];
    int n = 0;
    do {
        out[23 - n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && n < 24);
    add(out + 24 - n, static_cast<std::size_t>(n));
}

void TCrashFixedText::pad(std::size_t column)
{
    while (m_length - m_lineStart < column && m_length + 1 < m_capacity)
        add(" ", 1);
}

void CrashFillMinimalModules()
{
    moduleCount = 0;
    dl_iterate_phdr(collectModule, nullptr);
}

const TCrashMinimalModule *CrashFindMinimalModule(std::uint64_t address)
{
    for (std::size_t i = 0; i < moduleCount; ++i)
        if (address >= modules[i].codeStart && address < modules[i].codeEnd)
            return &modules[i];
    return nullptr;
}

__attribute__((no_sanitize("address"))) void CrashFormatMinimalReport(
    TCrashFixedText &text, const char *programName, const TCrashMinimalFacts &facts)
{
    const TCrashMinimalModule *faultModule = CrashFindMinimalModule(facts.address);
    text.add("CrashReport 6.0.12\r\n\r\n");
    text.add("Application:\r\n");
    dashLine(text, 20 + textLength(programName));
    text.add("  1.2 Name/Description: ");
    text.add(programName);
    text.add("\r\n\r\nException:\r\n");
    dashLine(text, 20 + 40);
    text.add("  2.2 Address         : ");
    text.addHex(facts.address);
    text.add("\r\n  2.3 Module Name     : ");
    text.add(faultModule ? faultModule->name : "");
    text.add("\r\n  2.5 Type            : ");
    text.add(facts.className);
    text.add("\r\n  2.6 Message         : ");
    text.add(facts.message);
    text.add("\r\n\r\nCall Stack Information:\r\n");
    // |Address (16)|Module (32)|Offset (16)|
    constexpr std::size_t AddressWidth = 16, ModuleWidth = 32, OffsetWidth = 16;
    const std::size_t rowWidth = AddressWidth + ModuleWidth + OffsetWidth + 4;
    dashLine(text, rowWidth);
    auto row = [&](std::uint64_t address, const char *module, std::uint64_t offset, bool header) {
        const std::size_t start = text.length();
        text.add("|");
        if (header)
            text.add("Address");
        else
            text.addHex(address);
        text.pad(1 + AddressWidth);
        text.add("|");
        text.add(module, std::min<std::size_t>(textLength(module), ModuleWidth));
        text.pad(2 + AddressWidth + ModuleWidth);
        text.add("|");
        if (header)
            text.add("Offset");
        else
            text.addHex(offset);
        text.pad(3 + AddressWidth + ModuleWidth + OffsetWidth);
        text.add("|\r\n");
        (void)start;
    };
    row(0, "Module", 0, true);
    dashLine(text, rowWidth);
    std::size_t frames = 0;
    if (facts.address) {
        row(facts.address, faultModule ? faultModule->name : "",
            faultModule ? facts.address - faultModule->base : 0, false);
        ++frames;
    }
    for (std::size_t i = 0; i < facts.stackValues && frames < MinimalFramesMax; ++i) {
        const std::uint64_t v = facts.stack[i];
        const TCrashMinimalModule *m = CrashFindMinimalModule(v);
        if (!m || !behindCall(*m, v))
            continue;
        row(v, m->name, v - m->base, false);
        ++frames;
    }
    dashLine(text, rowWidth);
}

} // namespace crashreport
