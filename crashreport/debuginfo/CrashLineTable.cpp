#include "CrashLineTable.h"

#include "CrashDataBlock.h"
#include "CrashModulesList.h"

#include <algorithm>
#include <cstring>
#include <limits>

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
        std::string str()
        {
            const std::uint32_t n = u16();
            if (!need(n))
                return {};
            std::string s(reinterpret_cast<const char *>(data + pos), n);
            pos += n;
            return s;
        }
    };

    std::string classOf(const std::string &name)
    {
        // The class part of a stored name: up to its last top-level "::".
        int depth = 0;
        std::size_t last = std::string::npos;
        for (std::size_t i = 0; i + 1 < name.size(); ++i) {
            const char c = name[i];
            if (c == '<' || c == '(')
                ++depth;
            else if ((c == '>' || c == ')') && depth > 0)
                --depth;
            else if (c == ':' && name[i + 1] == ':' && depth == 0)
                last = i++;
        }
        return last == std::string::npos ? std::string() : name.substr(0, last);
    }

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
    std::vector<std::uint8_t> out;
    putU32(out, CrashLineTableVersion);
    putU32(out, static_cast<std::uint32_t>(spans.size()));
    std::vector<std::size_t> endPositions;
    for (const UnitSpan &s : spans) {
        const TCrashLineRow &a = rows[s.first];
        const TCrashLineRow &b = rows[s.last - 1];
        putName(out, a.file);
        putU32(out, a.line > 0 ? a.line - 1 : 0);
        putU32(out, a.address);
        putU32(out, b.address + b.size - a.address);
        endPositions.push_back(out.size());
        putU32(out, 0);
    }
    for (std::size_t u = 0; u < spans.size(); ++u) {
        const UnitSpan &s = spans[u];
        std::int64_t line = rows[s.first].line > 0 ? rows[s.first].line - 1 : 0;
        std::string prevClass;
        for (std::size_t i = s.first; i < s.last; ++i) {
            const TCrashLineRow &r = rows[i];
            if (r.size == 0)
                continue;
            // A unit that begins inside a procedure names it again, so that its rows know it.
            std::string proc = r.procedure;
            if (proc.empty() && i == s.first)
                proc = r.currentProcedure;
            const bool isProc = !proc.empty();
            putStep(out, static_cast<std::int64_t>(r.line) - line, r.size, isProc);
            if (isProc) {
                const std::string cls = classOf(proc);
                if (!cls.empty() && cls == prevClass)
                    putName(out, "." + proc.substr(cls.size() + 2));
                else
                    putName(out, proc);
                prevClass = cls;
                putU32(out, r.procedureLine);
            }
            line = r.line;
        }
        setU32(out, endPositions[u], static_cast<std::uint32_t>(out.size()));
    }
    return out;
}

bool TCrashLineTable::load(std::vector<std::uint8_t> data)
{
    m_units.clear();
    m_data = std::move(data);
    Reader r { m_data.data(), m_data.size(), 0 };
    const std::uint32_t version = r.u32();
    const std::uint32_t count = r.u32();
    if (!r.ok || version != CrashLineTableVersion || count > m_data.size() / 18) {
        m_data.clear();
        return false;
    }
    std::vector<Unit> units;
    units.reserve(count);
    for (std::uint32_t i = 0; i < count && r.ok; ++i) {
        Unit u;
        u.name = r.str();
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
        std::string proc, prevClass;
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
                std::string name = r.str();
                const std::uint32_t first = r.u32();
                if (!name.empty() && name[0] == '.')
                    name = prevClass.empty() ? name.substr(1) : prevClass + "::" + name.substr(1);
                prevClass = classOf(name);
                proc = std::move(name);
                procLine = first;
            }
            if (!r.ok)
                return false;
            line += lineStep;
            if (address >= addr && address - addr < addrStep) {
                if (line <= 0 || line > std::numeric_limits<std::uint32_t>::max())
                    return false;
                out.unitName = u.name;
                out.procedureName = proc;
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
