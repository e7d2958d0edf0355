#include "CRDebugInfoJedy.h"

#include <algorithm>
#include <cstring>

namespace crashreport
{

namespace
{

    constexpr std::uint32_t EndOfStream = 0x7FFFFFFF;
    constexpr std::size_t HeaderSize = 34;

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
            m_data.clear();
            m_data.shrink_to_fit();
        });
}

namespace
{

    // Reads one delta-coded stream of rows of Width numbers into rows (running sums). Each
    // number takes at least one byte, so the rows can never outnumber the bytes left.
    template <std::size_t Width, typename Add>
    bool readRows(const std::string &data, std::size_t offset, Add &&add)
    {
        std::size_t pos = offset;
        std::uint32_t sums[Width] = {};
        while (true) {
            std::uint32_t row[Width];
            for (std::size_t k = 0; k < Width; ++k) {
                std::uint32_t value = 0;
                int shift = 0;
                while (true) {
                    if (pos >= data.size() || shift > 28)
                        return false; // runs past the data or a number too long: damaged
                    const unsigned char b = static_cast<unsigned char>(data[pos++]);
                    value |= std::uint32_t(b & 0x7F) << shift;
                    shift += 7;
                    if (!(b & 0x80))
                        break;
                }
                if (value == EndOfStream)
                    return k == 0;
                sums[k] += value; // deltas wrap like 32-bit numbers
                row[k] = sums[k];
            }
            add(row);
        }
    }

} // namespace

bool TCRDebugInfoJedy::word(std::uint32_t offset, std::string &out) const
{
    // A word is at most MaxWordLength characters here; a longer one is cut, so that no word,
    // however often the tables name it, costs more than that to read.
    out.clear();
    std::size_t pos = std::size_t(m_wordsOffset) + offset;
    if (pos >= m_data.size())
        return false;
    if (m_data[pos] == '\1') {
        ++pos;
        while (out.size() < MaxWordLength) {
            if (pos >= m_data.size())
                return false;
            const char c = m_data[pos++];
            if (c == '\0')
                return true;
            out.push_back(c);
        }
        return true;
    }
    while (pos + 3 <= m_data.size()) {
        const std::uint32_t v = std::uint32_t(static_cast<unsigned char>(m_data[pos]))
            | std::uint32_t(static_cast<unsigned char>(m_data[pos + 1])) << 8
            | std::uint32_t(static_cast<unsigned char>(m_data[pos + 2])) << 16;
        pos += 3;
        for (int k = 0; k < 4; ++k) {
            const unsigned code = (v >> (6 * k)) & 63;
            if (code == 0 || out.size() >= MaxWordLength)
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
    if (!readRows<2>(m_data, units, [&](const std::uint32_t *r) { m_units.push_back({ r[0], r[1] }); })
        || !readRows<2>(m_data, sources, [&](const std::uint32_t *r) { m_sources.push_back({ r[0], r[1] }); })
        || !readRows<3>(
            m_data, symbols, [&](const std::uint32_t *r) { m_symbols.push_back({ r[0], r[1], r[2] }); })
        || !readRows<2>(m_data, lines, [&](const std::uint32_t *r) { m_lines.push_back({ r[0], r[1] }); }))
        return false;
    auto byAddress = [](const auto &a, const auto &b) { return a.address < b.address; };
    // Every stream is written in address order; anything else is damage.
    if (!std::is_sorted(m_units.begin(), m_units.end(), byAddress)
        || !std::is_sorted(m_sources.begin(), m_sources.end(), byAddress)
        || !std::is_sorted(m_symbols.begin(), m_symbols.end(), byAddress)
        || !std::is_sorted(m_lines.begin(), m_lines.end(), byAddress))
        return false;
    // Every word the tables name must be readable; each distinct word is checked once.
    std::vector<std::uint32_t> named;
    named.reserve(m_units.size() + m_sources.size() + 2 * m_symbols.size());
    for (const auto *table : { &m_units, &m_sources })
        for (const Named &n : *table)
            named.push_back(n.word);
    for (const Symbol &s : m_symbols) {
        named.push_back(s.word);
        if (s.second != 0)
            named.push_back(s.second);
    }
    std::sort(named.begin(), named.end());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    std::string text;
    for (std::uint32_t w : named)
        if (!word(w, text))
            return false;
    m_units.shrink_to_fit();
    m_sources.shrink_to_fit();
    m_symbols.shrink_to_fit();
    m_lines.shrink_to_fit();
    return !m_units.empty() || !m_symbols.empty();
}

bool TCRDebugInfoJedy::getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const
{
    if (!m_valid)
        return false;
    info = TCrashLocationInfo {};
    info.address = address;
    if (const Named *u = lastAtOrBelow(m_units, address))
        word(u->word, info.unitName);
    const Symbol *sym = lastAtOrBelow(m_symbols, address);
    if (sym) {
        word(sym->word, info.procedureName);
        std::string second;
        if (sym->second != 0 && word(sym->second, second))
            info.procedureName += "." + second;
    }
    if (const Named *s = lastAtOrBelow(m_sources, address))
        word(s->word, info.sourceFile);
    if (const Line *l = lastAtOrBelow(m_lines, address)) {
        info.line = l->line;
        if (sym)
            if (const Line *p = lastAtOrBelow(m_lines, sym->address); p && l->line >= p->line)
                info.lineOffset = l->line - p->line;
    }
    return !info.unitName.empty() || !info.procedureName.empty();
}

} // namespace crashreport
