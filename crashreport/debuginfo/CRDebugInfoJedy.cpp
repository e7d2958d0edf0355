#include "CRDebugInfoJedy.h"

#include <algorithm>
#include <cstring>

namespace crashreport
{

namespace
{

    constexpr std::uint32_t EndOfStream = 0x7FFFFFFF;
    constexpr std::size_t HeaderSize = 34;
    constexpr std::size_t MaxRows = 1u << 22;

    std::uint32_t u32At(const std::string &d, std::size_t at)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(static_cast<unsigned char>(d[at + i])) << (8 * i);
        return v;
    }

    char decode6(unsigned code)
    {
        if (code >= 1 && code <= 26)
            return static_cast<char>('a' + code - 1);
        if (code >= 27 && code <= 52)
            return static_cast<char>('A' + code - 27);
        if (code >= 53 && code <= 62)
            return static_cast<char>('0' + code - 53);
        return '_';
    }

    int encode6(char c)
    {
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 1;
        if (c >= 'A' && c <= 'Z')
            return c - 'A' + 27;
        if (c >= '0' && c <= '9')
            return c - '0' + 53;
        if (c == '_')
            return 63;
        return -1;
    }

    template <typename T> const T *lastAtOrBelow(const std::vector<T> &v, std::uint64_t address)
    {
        auto it = std::upper_bound(
            v.begin(), v.end(), address, [](std::uint64_t a, const T &x) { return a < x.address; });
        return it == v.begin() ? nullptr : &*(it - 1);
    }

} // namespace

void TCRDebugInfoJedy::appendValue(std::string &out, std::uint32_t value)
{
    do {
        unsigned char b = value & 0x7F;
        value >>= 7;
        if (value)
            b |= 0x80;
        out.push_back(static_cast<char>(b));
    } while (value);
}

std::string TCRDebugInfoJedy::packWord(const std::string &text)
{
    std::string out;
    if (std::any_of(text.begin(), text.end(), [](char c) { return encode6(c) < 0; })) {
        out.push_back('\1');
        out += text;
        out.push_back('\0');
        return out;
    }
    std::vector<unsigned> codes;
    for (char c : text)
        codes.push_back(static_cast<unsigned>(encode6(c)));
    codes.push_back(0);
    while (codes.size() % 4)
        codes.push_back(0);
    for (std::size_t i = 0; i < codes.size(); i += 4) {
        const std::uint32_t v = codes[i] | (codes[i + 1] << 6) | (codes[i + 2] << 12) | (codes[i + 3] << 18);
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
        out.push_back(static_cast<char>((v >> 16) & 0xFF));
    }
    return out;
}

TCRDebugInfoJedy::TCRDebugInfoJedy(std::string data)
    : m_data(std::move(data))
{
    m_valid = CrashParseOrClear([&] { return parse(); },
        [this] {
            m_units.clear();
            m_sources.clear();
            m_symbols.clear();
            m_lines.clear();
        });
}

bool TCRDebugInfoJedy::readStream(
    std::size_t offset, int width, std::vector<std::vector<std::uint32_t>> &rows) const
{
    std::size_t pos = offset;
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(width), 0);
    while (true) {
        std::vector<std::uint32_t> row;
        for (int k = 0; k < width; ++k) {
            std::uint32_t value = 0;
            int shift = 0;
            while (true) {
                if (pos >= m_data.size() || shift > 28)
                    return false; // runs past the data or a number too long: damaged
                const unsigned char b = static_cast<unsigned char>(m_data[pos++]);
                value |= std::uint32_t(b & 0x7F) << shift;
                shift += 7;
                if (!(b & 0x80))
                    break;
            }
            if (value == EndOfStream) {
                if (k != 0)
                    return false;
                return true;
            }
            sums[static_cast<std::size_t>(k)] += value; // deltas wrap like 32-bit numbers
            row.push_back(sums[static_cast<std::size_t>(k)]);
        }
        if (rows.size() >= MaxRows)
            return false;
        rows.push_back(std::move(row));
    }
}

bool TCRDebugInfoJedy::word(std::uint32_t offset, std::string &out) const
{
    out.clear();
    std::size_t pos = std::size_t(m_wordsOffset) + offset;
    if (pos >= m_data.size())
        return false;
    if (m_data[pos] == '\1') {
        const std::size_t end = m_data.find('\0', pos + 1);
        if (end == std::string::npos)
            return false;
        out = m_data.substr(pos + 1, end - pos - 1);
        return true;
    }
    while (pos + 3 <= m_data.size() && out.size() < 4096) {
        const std::uint32_t v = std::uint32_t(static_cast<unsigned char>(m_data[pos]))
            | std::uint32_t(static_cast<unsigned char>(m_data[pos + 1])) << 8
            | std::uint32_t(static_cast<unsigned char>(m_data[pos + 2])) << 16;
        pos += 3;
        for (int k = 0; k < 4; ++k) {
            const unsigned code = (v >> (6 * k)) & 63;
            if (code == 0)
                return true;
            out.push_back(decode6(code));
        }
    }
    return false;
}

bool TCRDebugInfoJedy::parse()
{
    if (m_data.size() < HeaderSize || m_data.compare(0, 4, "JDBG") != 0)
        return false;
    const std::uint32_t units = u32At(m_data, 5), sources = u32At(m_data, 9), symbols = u32At(m_data, 13),
                        lines = u32At(m_data, 17), words = u32At(m_data, 21);
    for (std::uint32_t off : { units, sources, symbols, lines, words })
        if (off < HeaderSize || off >= m_data.size())
            return false;
    m_wordsOffset = words;
    std::vector<std::vector<std::uint32_t>> rows;
    auto named = [&](std::uint32_t offset, std::vector<Named> &out) {
        rows.clear();
        if (!readStream(offset, 2, rows))
            return false;
        for (const auto &r : rows) {
            Named n { r[0], {} };
            if (!word(r[1], n.name))
                return false;
            out.push_back(std::move(n));
        }
        return true;
    };
    if (!named(units, m_units) || !named(sources, m_sources))
        return false;
    rows.clear();
    if (!readStream(symbols, 3, rows))
        return false;
    for (const auto &r : rows) {
        Named n { r[0], {} };
        if (!word(r[1], n.name))
            return false;
        if (r[2] != 0) {
            std::string second;
            if (!word(r[2], second))
                return false;
            n.name += "." + second;
        }
        m_symbols.push_back(std::move(n));
    }
    rows.clear();
    if (!readStream(lines, 2, rows))
        return false;
    for (const auto &r : rows)
        m_lines.push_back({ r[0], r[1] });
    auto byAddress = [](const auto &a, const auto &b) { return a.address < b.address; };
    // Every stream is written in address order; anything else is damage.
    if (!std::is_sorted(m_units.begin(), m_units.end(), byAddress)
        || !std::is_sorted(m_sources.begin(), m_sources.end(), byAddress)
        || !std::is_sorted(m_symbols.begin(), m_symbols.end(), byAddress)
        || !std::is_sorted(m_lines.begin(), m_lines.end(), byAddress))
        return false;
    return !m_units.empty() || !m_symbols.empty();
}

bool TCRDebugInfoJedy::getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const
{
    if (!m_valid)
        return false;
    info = TCrashLocationInfo {};
    info.address = address;
    if (const Named *u = lastAtOrBelow(m_units, address))
        info.unitName = u->name;
    const Named *sym = lastAtOrBelow(m_symbols, address);
    if (sym)
        info.procedureName = sym->name;
    if (const Named *s = lastAtOrBelow(m_sources, address))
        info.sourceFile = s->name;
    if (const Line *l = lastAtOrBelow(m_lines, address)) {
        info.line = l->line;
        if (sym)
            if (const Line *p = lastAtOrBelow(m_lines, sym->address); p && l->line >= p->line)
                info.lineOffset = l->line - p->line;
    }
    return !info.unitName.empty() || !info.procedureName.empty();
}

} // namespace crashreport
