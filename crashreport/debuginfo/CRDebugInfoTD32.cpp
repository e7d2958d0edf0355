#include "CRDebugInfoTD32.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace crashreport
{

namespace
{

    constexpr std::uint16_t SstModule = 0x120;
    constexpr std::uint16_t SstAlignSym = 0x125;
    constexpr std::uint16_t SstSrcModule = 0x127;
    constexpr std::uint16_t SstNames = 0x130;
    constexpr std::uint16_t SymLProc32 = 0x204;
    constexpr std::uint16_t SymGProc32 = 0x205;

    struct Damaged : std::runtime_error {
        Damaged()
            : std::runtime_error("Assertion failure")
        {
        }
    };

    // A window [begin, end) of the data; every read is checked against it.
    struct Cursor {
        const std::string &d;
        std::size_t begin, end, pos;

        Cursor(const std::string &data, std::size_t b, std::size_t size)
            : d(data)
            , begin(b)
            , end(b + size)
            , pos(b)
        {
            if (b > data.size() || size > data.size() - b)
                throw Damaged();
        }
        void seek(std::size_t offset)
        {
            if (offset > end - begin)
                throw Damaged();
            pos = begin + offset;
        }
        void need(std::size_t n) const
        {
            if (n > end - pos)
                throw Damaged();
        }
        std::uint32_t u(int bytes)
        {
            need(static_cast<std::size_t>(bytes));
            std::uint32_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= std::uint32_t(static_cast<unsigned char>(d[pos + i])) << (8 * i);
            pos += static_cast<std::size_t>(bytes);
            return v;
        }
        std::uint32_t u16() { return u(2); }
        std::uint32_t u32() { return u(4); }
    };

} // namespace

TCRDebugInfoTD32::TCRDebugInfoTD32(std::string data)
    : m_data(std::move(data))
    , m_decodeLimit(m_data.size())
{
    m_valid = CrashParseOrClear([&] { return parse(); },
        [this] {
            m_modules.clear();
            m_symbols.clear();
            m_sources.clear();
        });
    m_data.clear(); // everything needed has been copied out
    m_data.shrink_to_fit();
}

void TCRDebugInfoTD32::countRecords(std::size_t n)
{
    // Every record takes at least two bytes of sound data, so more records than bytes means
    // that offsets were made to overlap or repeat.
    if (n > m_decodeLimit - m_decoded)
        throw Damaged();
    m_decoded += n;
}

bool TCRDebugInfoTD32::parse()
{
    auto isSignature = [&](std::size_t at) {
        return at + 4 <= m_data.size()
            && (m_data.compare(at, 4, "FB09") == 0 || m_data.compare(at, 4, "FB0A") == 0);
    };
    std::size_t base = 0;
    if (!isSignature(0)) {
        if (m_data.size() < 8 || !isSignature(m_data.size() - 8))
            return false;
        Cursor tail(m_data, m_data.size() - 4, 4);
        const std::uint32_t distance = tail.u32();
        if (distance > m_data.size() || !isSignature(m_data.size() - distance))
            return false;
        base = m_data.size() - distance;
    }
    Cursor all(m_data, base, m_data.size() - base);
    all.seek(4);
    const std::uint32_t dirOffset = all.u32();
    all.seek(dirOffset);
    const std::uint32_t headerSize = all.u16(), entrySize = all.u16(), count = all.u32();
    if (headerSize < 16 || entrySize < 12 || count > 1u << 20)
        throw Damaged();
    // Each offset is followed once: a second visit is damage, not more work.
    enum Kind : std::size_t { SubsectionAt, FileAt, BlockAt };
    std::set<std::pair<std::size_t, Kind>> visited;
    auto visitOnce = [&visited](std::size_t at, Kind kind) {
        if (!visited.insert({ at, kind }).second)
            throw Damaged();
    };
    struct Entry {
        std::uint32_t type, module, offset, size;
    };
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        all.seek(std::size_t(dirOffset) + headerSize + std::size_t(i) * entrySize);
        countRecords(1);
        Entry e;
        e.type = all.u16();
        e.module = all.u16();
        e.offset = all.u32();
        e.size = all.u32();
        if (e.size > 0)
            visitOnce(base + e.offset, SubsectionAt);
        entries.push_back(e);
    }
    // Names first: the other subsections refer to them.
    for (const Entry &e : entries) {
        if (e.type != SstNames)
            continue;
        Cursor c(m_data, base + e.offset, e.size);
        const std::uint32_t n = c.u32();
        if (n > e.size)
            throw Damaged();
        for (std::uint32_t i = 0; i < n; ++i) {
            countRecords(1);
            const std::uint32_t len = c.u(1);
            c.need(len + 1);
            m_names.emplace_back(m_data, c.pos, len);
            c.pos += len + 1;
        }
    }
    auto name = [&](std::uint32_t index) -> std::string {
        if (index == 0)
            return {};
        if (index > m_names.size())
            throw Damaged();
        return m_names[index - 1];
    };
    for (const Entry &e : entries) {
        Cursor c(m_data, base + e.offset, e.size);
        if (e.type == SstModule) {
            TCRModuleInfo m;
            m.index = e.module;
            c.u16();
            c.u16();
            const std::uint32_t segs = c.u16();
            c.u16();
            for (std::uint32_t s = 0; s < segs; ++s) {
                countRecords(1);
                const std::uint32_t seg = c.u16();
                c.u16();
                const std::uint32_t off = c.u32(), size = c.u32();
                if (seg == 1)
                    m.codeRanges.emplace_back(off, size);
            }
            m.name = name(c.u32());
            m_modules.push_back(std::move(m));
        } else if (e.type == SstAlignSym) {
            c.u32();
            while (c.pos + 4 <= c.end) {
                const std::size_t start = c.pos;
                countRecords(1);
                const std::uint32_t len = c.u16();
                if (len < 2)
                    throw Damaged();
                c.need(len);
                const std::uint32_t type = c.u16();
                if (type == SymLProc32 || type == SymGProc32) {
                    c.u32();
                    c.u32();
                    c.u32();
                    TCRSymbolInfo s;
                    s.module = e.module;
                    s.size = c.u32();
                    c.u32();
                    c.u32();
                    s.offset = c.u32();
                    const std::uint32_t seg = c.u16();
                    c.u32();
                    s.name = name(c.u32());
                    if (c.pos > start + 2 + len)
                        throw Damaged();
                    if (seg == 1)
                        m_symbols.push_back(std::move(s));
                }
                c.pos = start + 2 + len;
            }
        } else if (e.type == SstSrcModule) {
            const std::uint32_t files = c.u16(), segs = c.u16();
            std::vector<std::uint32_t> fileOffsets;
            countRecords(files);
            for (std::uint32_t f = 0; f < files; ++f)
                fileOffsets.push_back(c.u32());
            (void)segs;
            for (std::uint32_t fo : fileOffsets) {
                c.seek(fo);
                visitOnce(c.pos, FileAt);
                TCRSourceModuleInfo src;
                src.module = e.module;
                const std::uint32_t fileSegs = c.u16();
                src.fileName = name(c.u32());
                std::vector<std::uint32_t> blocks;
                countRecords(fileSegs);
                for (std::uint32_t s = 0; s < fileSegs; ++s)
                    blocks.push_back(c.u32());
                for (std::uint32_t bo : blocks) {
                    c.seek(bo);
                    visitOnce(c.pos, BlockAt);
                    const std::uint32_t seg = c.u16(), pairs = c.u16();
                    c.need(std::size_t(pairs) * 6);
                    countRecords(pairs);
                    std::vector<std::uint32_t> offsets;
                    for (std::uint32_t p = 0; p < pairs; ++p)
                        offsets.push_back(c.u32());
                    for (std::uint32_t p = 0; p < pairs; ++p) {
                        const std::uint32_t line = c.u16();
                        if (seg == 1)
                            src.lines.push_back({ offsets[p], line });
                    }
                }
                std::stable_sort(src.lines.begin(), src.lines.end(),
                    [](const TCRLineInfo &a, const TCRLineInfo &b) { return a.offset < b.offset; });
                m_sources.push_back(std::move(src));
            }
        }
    }
    std::sort(
        m_symbols.begin(), m_symbols.end(), [](const auto &a, const auto &b) { return a.offset < b.offset; });
    return !m_modules.empty() || !m_symbols.empty();
}

bool TCRDebugInfoTD32::getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const
{
    if (!m_valid || address > UINT32_MAX)
        return false;
    const auto a = static_cast<std::uint32_t>(address);
    info = TCrashLocationInfo {};
    info.address = address;
    const TCRModuleInfo *module = nullptr;
    for (const TCRModuleInfo &m : m_modules)
        for (const auto &[off, size] : m.codeRanges)
            if (a >= off && a - off < size)
                module = &m;
    const TCRSymbolInfo *proc = nullptr;
    for (const TCRSymbolInfo &s : m_symbols)
        if (a >= s.offset && a - s.offset < s.size)
            proc = &s; // the innermost (latest starting) procedure wins
    if (!module && !proc)
        return false;
    if (module)
        info.unitName = module->name;
    if (proc)
        info.procedureName = proc->name;
    const std::uint32_t moduleIndex = module ? module->index : proc->module;
    for (const TCRSourceModuleInfo &src : m_sources) {
        if (src.module != moduleIndex || src.lines.empty() || a < src.lines.front().offset)
            continue;
        auto it = std::upper_bound(src.lines.begin(), src.lines.end(), a,
            [](std::uint32_t x, const TCRLineInfo &l) { return x < l.offset; });
        const TCRLineInfo &l = *(it - 1);
        if (module && std::none_of(module->codeRanges.begin(), module->codeRanges.end(), [&](const auto &r) {
                return l.offset >= r.first && l.offset - r.first < r.second;
            }))
            continue;
        info.line = l.line;
        info.sourceFile = src.fileName;
        if (proc) {
            auto p = std::upper_bound(src.lines.begin(), src.lines.end(), proc->offset,
                [](std::uint32_t x, const TCRLineInfo &ll) { return x < ll.offset; });
            if (p != src.lines.begin() && l.line >= (p - 1)->line)
                info.lineOffset = l.line - (p - 1)->line;
        }
        break;
    }
    return true;
}

} // namespace crashreport
