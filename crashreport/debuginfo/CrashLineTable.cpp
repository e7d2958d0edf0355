#include "CrashLineTable.h"

#include "CrashDataBlock.h"
#include "CrashModulesList.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace crashreport
{

namespace
{

    constexpr std::uint32_t EscapeShort = 0xFFEFFFEu;
    constexpr std::uint32_t EscapeSigned = 0xFFEFFFDu;

    void putU16(std::vector<std::uint8_t> &o, std::uint32_t v)
    {
        o.push_back(std::uint8_t(v));
        o.push_back(std::uint8_t(v >> 8));
    }

    void putU32(std::vector<std::uint8_t> &o, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            o.push_back(std::uint8_t(v >> (8 * i)));
    }

    void setU32(std::vector<std::uint8_t> &o, std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            o[at + i] = std::uint8_t(v >> (8 * i));
    }

    void putName(std::vector<std::uint8_t> &o, const std::string &name)
    {
        const std::size_t n = std::min<std::size_t>(name.size(), 0xFFFF);
        putU16(o, static_cast<std::uint32_t>(n));
        o.insert(o.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
    }

    void putVarint(std::vector<std::uint8_t> &o, std::uint32_t v)
    {
        while (v >= 0x80) {
            o.push_back(std::uint8_t(v | 0x80));
            v >>= 7;
        }
        o.push_back(std::uint8_t(v));
    }

    void putStep(std::vector<std::uint8_t> &o, std::int64_t lineStep, std::uint32_t addrStep, bool proc)
    {
        if (!proc && lineStep >= 1 && lineStep <= 4 && addrStep >= 1 && addrStep <= 32) {
            o.push_back(std::uint8_t(((lineStep - 1) << 6) | ((addrStep - 1) << 1)));
            return;
        }
        if (proc && lineStep >= 1 && lineStep <= 8 && addrStep >= 1 && addrStep <= 8) {
            o.push_back(std::uint8_t(((lineStep - 1) << 5) | ((addrStep - 1) << 2) | 1));
            return;
        }
        const std::uint32_t procBit = proc ? 4u : 0u;
        if (lineStep >= 1 && lineStep <= 32 && addrStep >= 1 && addrStep <= 128) {
            putU16(
                o, static_cast<std::uint32_t>(((lineStep - 1) << 11) | ((addrStep - 1) << 4) | procBit | 3));
            return;
        }
        if (lineStep >= 1 && lineStep <= 65536 && addrStep <= 4095) {
            const std::uint32_t a = addrStep == 0 ? 4095u : addrStep - 1;
            const std::uint32_t bits = (a << 16) | static_cast<std::uint32_t>(lineStep - 1);
            if (bits != EscapeShort && bits != EscapeSigned) {
                putU32(o, (bits << 4) | 8 | procBit | 3);
                return;
            }
        }
        putU32(o, (EscapeSigned << 4) | 8 | procBit | 3);
        putU32(o, static_cast<std::uint32_t>(static_cast<std::int32_t>(lineStep)));
        putU32(o, addrStep);
    }

    // Bounds-checked reading over the stream.
    struct Reader {
        const std::uint8_t *data;
        std::size_t size;
        std::size_t pos;
        bool ok = true;

        bool need(std::size_t n)
        {
            if (!ok || n > size || pos > size - n)
                ok = false;
            return ok;
        }
        std::uint32_t u8() { return need(1) ? data[pos++] : 0; }
        std::uint32_t u16()
        {
            if (!need(2))
                return 0;
            const std::uint32_t v = data[pos] | (std::uint32_t(data[pos + 1]) << 8);
            pos += 2;
            return v;
        }
        std::uint32_t u32()
        {
            if (!need(4))
                return 0;
            std::uint32_t v = 0;
            for (int i = 0; i < 4; ++i)
                v |= std::uint32_t(data[pos + i]) << (8 * i);
            pos += 4;
            return v;
        }
        std::uint32_t varint()
        {
            std::uint32_t v = 0;
            for (int shift = 0; shift < 35; shift += 7) {
                const std::uint32_t b = u8();
                if (!ok)
                    return 0;
                if (shift == 28 && b > 0x0F) // more than 32 bits
                    break;
                v |= (b & 0x7F) << shift;
                if (!(b & 0x80))
                    return v;
            }
            ok = false;
            return 0;
        }
    };

    // Gives each distinct string one index, in the order first seen.
    struct StringTable {
        std::vector<const std::string *> items;
        std::unordered_map<std::string, std::uint32_t> index;

        std::uint32_t add(const std::string &s)
        {
            const auto [it, added] = index.emplace(s.substr(0, 0xFFFF), std::uint32_t(items.size()));
            if (added)
                items.push_back(&it->first);
            return it->second;
        }
    };

} // namespace

std::vector<std::uint8_t> CrashPackLineTable(const std::vector<TCrashLineRow> &rows)
{
    // Units: runs of rows of one file without address gaps.
    struct UnitSpan {
        std::size_t first, last; // rows [first, last)
    };
    std::vector<UnitSpan> spans;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].size == 0)
            continue;
        if (!spans.empty()) {
            const TCrashLineRow &prev = rows[spans.back().last - 1];
            if (prev.file == rows[i].file && prev.address + prev.size == rows[i].address
                && static_cast<std::uint64_t>(rows[i].address) + rows[i].size
                        - rows[spans.back().first].address
                    < 0xFFFFFFFFull) {
                spans.back().last = i + 1;
                continue;
            }
        }
        spans.push_back({ i, i + 1 });
    }
    // The name of each procedure start; a unit that begins inside a procedure names it again,
    // so that its rows know it.
    auto procedureAt = [&](std::size_t i, const UnitSpan &span) -> const std::string & {
        return rows[i].procedure.empty() && i == span.first ? rows[i].currentProcedure : rows[i].procedure;
    };
    StringTable strings;
    std::vector<std::uint32_t> unitNames;
    for (const UnitSpan &span : spans) {
        unitNames.push_back(strings.add(rows[span.first].file));
        for (std::size_t i = span.first; i < span.last; ++i)
            if (rows[i].size != 0 && !procedureAt(i, span).empty())
                strings.add(procedureAt(i, span));
    }
    std::vector<std::uint8_t> out;
    putU32(out, CrashLineTableVersion);
    putU32(out, static_cast<std::uint32_t>(strings.items.size()));
    for (const std::string *text : strings.items)
        putName(out, *text);
    putU32(out, static_cast<std::uint32_t>(spans.size()));
    std::vector<std::size_t> endPositions;
    for (std::size_t u = 0; u < spans.size(); ++u) {
        const TCrashLineRow &a = rows[spans[u].first];
        const TCrashLineRow &b = rows[spans[u].last - 1];
        putU32(out, unitNames[u]);
        putU32(out, a.line > 0 ? a.line - 1 : 0);
        putU32(out, a.address);
        putU32(out, b.address + b.size - a.address);
        endPositions.push_back(out.size());
        putU32(out, 0);
    }
    for (std::size_t u = 0; u < spans.size(); ++u) {
        const UnitSpan &s = spans[u];
        std::int64_t line = rows[s.first].line > 0 ? rows[s.first].line - 1 : 0;
        for (std::size_t i = s.first; i < s.last; ++i) {
            const TCrashLineRow &r = rows[i];
            if (r.size == 0)
                continue;
            const std::string &proc = procedureAt(i, s);
            const bool isProc = !proc.empty();
            putStep(out, static_cast<std::int64_t>(r.line) - line, r.size, isProc);
            if (isProc) {
                putVarint(out, strings.add(proc));
                putVarint(out, r.procedureLine);
            }
            line = r.line;
        }
        setU32(out, endPositions[u], static_cast<std::uint32_t>(out.size()));
    }
    return out;
}

std::string TCrashLineTable::text(std::uint64_t index) const
{
    if (index >= m_strings.size())
        return {};
    const Text &t = m_strings[index];
    return std::string(reinterpret_cast<const char *>(m_data.data() + t.at), t.size);
}

bool TCrashLineTable::load(std::vector<std::uint8_t> data)
{
    m_units.clear();
    m_strings.clear();
    m_data = std::move(data);
    Reader r { m_data.data(), m_data.size(), 0 };
    const std::uint32_t version = r.u32();
    const std::uint32_t stringCount = r.u32();
    // Every count is checked against the bytes its items need before anything is reserved.
    if (!r.ok || version != CrashLineTableVersion || stringCount > m_data.size() / 2) {
        m_data.clear();
        return false;
    }
    std::vector<Text> strings;
    strings.reserve(stringCount);
    for (std::uint32_t i = 0; i < stringCount && r.ok; ++i) {
        const std::uint32_t n = r.u16();
        if (!r.need(n))
            break;
        strings.push_back({ static_cast<std::uint32_t>(r.pos), n });
        r.pos += n;
    }
    const std::uint32_t count = r.u32();
    if (!r.ok || count > (m_data.size() - r.pos) / 20) {
        m_data.clear();
        return false;
    }
    std::vector<Unit> units;
    units.reserve(count);
    for (std::uint32_t i = 0; i < count && r.ok; ++i) {
        Unit u;
        u.name = r.u32();
        if (u.name >= stringCount)
            r.ok = false;
        u.firstLine = r.u32();
        u.start = r.u32();
        u.size = r.u32();
        u.recordsEnd = r.u32();
        units.push_back(std::move(u));
    }
    if (!r.ok) {
        m_data.clear();
        return false;
    }
    std::uint32_t begin = static_cast<std::uint32_t>(r.pos);
    for (Unit &u : units) {
        if (u.recordsEnd < begin || u.recordsEnd > m_data.size()) {
            m_data.clear();
            return false;
        }
        u.recordsBegin = begin;
        begin = u.recordsEnd;
    }
    std::stable_sort(
        units.begin(), units.end(), [](const Unit &a, const Unit &b) { return a.start < b.start; });
    m_units = std::move(units);
    m_strings = std::move(strings);
    return true;
}

bool TCrashLineTable::lookup(std::uint64_t address, TCrashLineLookup &out) const
{
    if (m_units.empty() || address > std::numeric_limits<std::uint32_t>::max())
        return false;
    auto it = std::upper_bound(
        m_units.begin(), m_units.end(), address, [](std::uint64_t a, const Unit &u) { return a < u.start; });
    // Units do not overlap in tables we write; still look back a little for damaged ones.
    for (int tries = 0; it != m_units.begin() && tries < 4; ++tries) {
        const Unit &u = *--it;
        if (address >= std::uint64_t(u.start) + u.size)
            continue;
        Reader r { m_data.data(), u.recordsEnd, u.recordsBegin };
        std::int64_t line = u.firstLine;
        std::uint64_t addr = u.start;
        std::uint64_t proc = UINT64_MAX;
        std::int64_t procLine = 0;
        while (r.ok && r.pos < u.recordsEnd) {
            const std::uint32_t b0 = r.u8();
            std::int64_t lineStep = 0;
            std::uint32_t addrStep = 0;
            bool isProc = false;
            if ((b0 & 1) == 0) {
                lineStep = (b0 >> 6) + 1;
                addrStep = ((b0 >> 1) & 31) + 1;
            } else if ((b0 & 2) == 0) {
                isProc = true;
                lineStep = (b0 >> 5) + 1;
                addrStep = ((b0 >> 2) & 7) + 1;
            } else {
                isProc = (b0 & 4) != 0;
                if ((b0 & 8) == 0) {
                    const std::uint32_t w = b0 | (r.u8() << 8);
                    lineStep = (w >> 11) + 1;
                    addrStep = ((w >> 4) & 127) + 1;
                } else {
                    const std::uint32_t w = b0 | (r.u8() << 8) | (r.u8() << 16) | (r.u8() << 24);
                    const std::uint32_t bits = w >> 4;
                    if (bits == EscapeShort) {
                        lineStep = std::int64_t(r.u16()) + 1;
                        addrStep = r.u16() + 1;
                    } else if (bits == EscapeSigned) {
                        lineStep = static_cast<std::int32_t>(r.u32());
                        addrStep = r.u32();
                    } else {
                        lineStep = ((w >> 4) & 0xFFFF) + 1;
                        const std::uint32_t a = w >> 20;
                        addrStep = a == 4095 ? 0 : a + 1;
                    }
                }
            }
            if (isProc) {
                proc = r.varint();
                procLine = r.varint();
                if (proc >= m_strings.size())
                    return false;
            }
            if (!r.ok)
                return false;
            line += lineStep;
            if (address >= addr && address - addr < addrStep) {
                if (line <= 0 || line > std::numeric_limits<std::uint32_t>::max())
                    return false;
                out.unitName = text(u.name);
                out.procedureName = text(proc);
                out.line = static_cast<std::uint32_t>(line);
                out.lineOffset
                    = procLine > 0 && line >= procLine ? static_cast<std::uint32_t>(line - procLine) : 0;
                return true;
            }
            addr += addrStep;
            if (addr > std::uint64_t(u.start) + u.size)
                return false;
        }
        return false;
    }
    return false;
}

std::shared_ptr<const TCrashLineTable> CrashFindLineTable(const TCrashModule &module)
{
    if (module.fileName.empty() || module.fileName.front() != '/')
        return nullptr;
    auto stream = FindCrashDataStream(module.fileName, CrashDataLineTableTag);
    return stream ? CrashLineTableFromStream(&*stream) : nullptr;
}

std::shared_ptr<const TCrashLineTable> CrashLineTableFromStream(const std::vector<std::uint8_t> *stream)
{
    if (!stream || stream->empty())
        return nullptr;
    auto table = std::make_shared<TCrashLineTable>();
    if (!table->load(*stream))
        return nullptr;
    return table;
}

} // namespace crashreport
