#include "CRDebugInfoMap.h"

#include <algorithm>
#include <sstream>
#include <strings.h>

namespace crashreport
{

namespace
{

    std::vector<std::string> words(const std::string &line)
    {
        std::vector<std::string> out;
        std::istringstream in(line);
        std::string w;
        while (in >> w)
            out.push_back(w);
        return out;
    }

    bool hexNumber(std::string s, std::uint64_t &out)
    {
        if (!s.empty() && (s.back() == 'H' || s.back() == 'h'))
            s.pop_back();
        if (s.empty() || s.size() > 16)
            return false;
        std::uint64_t v = 0;
        for (char c : s) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        out = v;
        return true;
    }

    bool decNumber(const std::string &s, std::uint32_t &out)
    {
        if (s.empty() || s.size() > 9)
            return false;
        std::uint32_t v = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        out = v;
        return true;
    }

    // "0001:0000ABCD" -> segment and offset.
    bool segAddress(const std::string &s, std::uint32_t &segment, std::uint64_t &offset)
    {
        const std::size_t colon = s.find(':');
        std::uint64_t seg = 0;
        if (colon == std::string::npos || !hexNumber(s.substr(0, colon), seg) || seg > 0xFFFF
            || !hexNumber(s.substr(colon + 1), offset))
            return false;
        segment = static_cast<std::uint32_t>(seg);
        return true;
    }

    bool hasWords(const std::vector<std::string> &w, std::initializer_list<const char *> expected)
    {
        std::size_t i = 0;
        for (const char *e : expected) {
            if (i >= w.size() || strcasecmp(w[i].c_str(), e) != 0)
                return false;
            ++i;
        }
        return true;
    }

} // namespace

bool TCRDebugInfoMap::NoCase::operator()(const std::string &a, const std::string &b) const
{
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

TCRDebugInfoMap::TCRDebugInfoMap(const std::string &text)
{
    m_valid = CrashParseOrClear([&] { return parse(text); },
        [this] {
            m_segments.clear();
            m_publics.clear();
            m_lines.clear();
            m_byAddress.clear();
            m_blockLines.clear();
            m_sourceFiles.clear();
            m_unitBlock.clear();
        });
}

bool TCRDebugInfoMap::parse(const std::string &text)
{
    enum class State { None, SegmentTable, Detailed, Publics, Lines, Resources } state = State::None;
    std::istringstream in(text);
    std::string line;
    std::uint32_t block = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> w = words(line);
        if (w.empty())
            continue;
        // Section titles re-synchronise the parser.
        if (hasWords(w, { "Start", "Length", "Name", "Class" })) {
            state = State::SegmentTable;
            continue;
        }
        if (hasWords(w, { "Detailed", "map", "of", "segments" })) {
            state = State::Detailed;
            continue;
        }
        if (hasWords(w, { "Address", "Publics", "by" }) && w.size() == 4
            && (strcasecmp(w[3].c_str(), "Name") == 0 || strcasecmp(w[3].c_str(), "Value") == 0)) {
            state = State::Publics;
            continue;
        }
        if (hasWords(w, { "Bound", "resource", "files" })) {
            state = State::Resources;
            continue;
        }
        if (hasWords(w, { "Line", "numbers", "for" })) {
            // Line numbers for Unit(File.pas) segment .text
            const std::size_t open = line.find('('),
                              close = line.find(')', open == std::string::npos ? 0 : open);
            if (open == std::string::npos || close == std::string::npos)
                return false;
            const std::size_t forPos = line.find("for");
            std::string unit = line.substr(forPos + 3, open - forPos - 3);
            unit.erase(0, unit.find_first_not_of(' '));
            m_sourceFiles.push_back(line.substr(open + 1, close - open - 1));
            block = static_cast<std::uint32_t>(m_sourceFiles.size() - 1);
            m_unitBlock[unit] = block; // a unit named again: its last block answers
            state = State::Lines;
            continue;
        }
        std::uint32_t seg = 0;
        std::uint64_t off = 0;
        switch (state) {
        case State::None:
        case State::Resources:
        case State::SegmentTable:
            break;
        case State::Detailed: {
            // 0001:00000000 0000D2A8 C=CODE S=.text G=(none) M=System ACBP=A9
            std::uint64_t len = 0;
            if (w.size() < 3 || !segAddress(w[0], seg, off) || !hexNumber(w[1], len))
                return false;
            std::string unit;
            for (const std::string &x : w)
                if (x.rfind("M=", 0) == 0)
                    unit = x.substr(2);
            if (unit.empty() || off + len < off)
                return false;
            if (seg == 1)
                m_segments.push_back({ off, len, unit });
            break;
        }
        case State::Publics: {
            if (w.size() < 2 || !segAddress(w[0], seg, off))
                return false;
            if (seg == 1)
                m_publics.push_back({ off, w[1] });
            break;
        }
        case State::Lines: {
            if (w.size() % 2 != 0)
                return false;
            for (std::size_t i = 0; i < w.size(); i += 2) {
                std::uint32_t lineNo = 0;
                if (!decNumber(w[i], lineNo) || lineNo == 0 || !segAddress(w[i + 1], seg, off))
                    return false;
                if (seg == 1)
                    m_lines.push_back({ off, lineNo, block });
            }
            break;
        }
        }
    }
    if (m_segments.empty() && m_publics.empty())
        return false;
    std::sort(m_segments.begin(), m_segments.end(),
        [](const Segment &a, const Segment &b) { return a.start < b.start; });
    std::stable_sort(m_publics.begin(), m_publics.end(),
        [](const Public &a, const Public &b) { return a.address < b.address; });
    m_publics.erase(
        std::unique(m_publics.begin(), m_publics.end(),
            [](const Public &a, const Public &b) { return a.address == b.address && a.name == b.name; }),
        m_publics.end());
    index();
    return true;
}

void TCRDebugInfoMap::index()
{
    std::stable_sort(m_lines.begin(), m_lines.end(), [](const LinePair &a, const LinePair &b) {
        return a.block != b.block ? a.block < b.block : a.address < b.address;
    });
    m_blockLines.assign(m_sourceFiles.size(), { 0, 0 });
    for (std::size_t i = 0; i < m_lines.size();) {
        std::size_t j = i;
        while (j < m_lines.size() && m_lines[j].block == m_lines[i].block)
            ++j;
        m_blockLines[m_lines[i].block] = { static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j) };
        i = j;
    }
    m_byAddress.resize(m_lines.size());
    for (std::uint32_t i = 0; i < m_byAddress.size(); ++i)
        m_byAddress[i] = i;
    // Equal addresses keep the order of the blocks in the file, so the later block answers.
    std::stable_sort(m_byAddress.begin(), m_byAddress.end(),
        [this](std::uint32_t a, std::uint32_t b) { return m_lines[a].address < m_lines[b].address; });
}

const TCRDebugInfoMap::Segment *TCRDebugInfoMap::segmentOf(std::uint64_t address) const
{
    auto it = std::upper_bound(m_segments.begin(), m_segments.end(), address,
        [](std::uint64_t a, const Segment &s) { return a < s.start; });
    if (it == m_segments.begin())
        return nullptr;
    --it;
    return address - it->start < it->length ? &*it : nullptr;
}

const TCRDebugInfoMap::LinePair *TCRDebugInfoMap::lineAt(std::uint64_t address, std::uint32_t block) const
{
    if (block == UINT32_MAX) {
        auto it = std::upper_bound(m_byAddress.begin(), m_byAddress.end(), address,
            [this](std::uint64_t a, std::uint32_t i) { return a < m_lines[i].address; });
        return it == m_byAddress.begin() ? nullptr : &m_lines[*(it - 1)];
    }
    if (block >= m_blockLines.size())
        return nullptr;
    const auto first = m_lines.begin() + m_blockLines[block].first,
               last = m_lines.begin() + m_blockLines[block].second;
    auto it = std::upper_bound(
        first, last, address, [](std::uint64_t a, const LinePair &p) { return a < p.address; });
    return it == first ? nullptr : &*(it - 1);
}

bool TCRDebugInfoMap::getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const
{
    if (!m_valid)
        return false;
    const Segment *seg = segmentOf(address);
    if (!seg)
        return false;
    info = TCrashLocationInfo {};
    info.address = address;
    info.unitName = seg->unit;
    auto pub = std::upper_bound(m_publics.begin(), m_publics.end(), address,
        [](std::uint64_t a, const Public &p) { return a < p.address; });
    std::uint64_t procAddress = seg->start;
    if (pub != m_publics.begin() && (pub - 1)->address >= seg->start) {
        info.procedureName = (pub - 1)->name;
        procAddress = (pub - 1)->address;
    }
    // The line table of the unit holding the address.
    const auto unitBlock = m_unitBlock.find(seg->unit);
    const std::uint32_t block = unitBlock == m_unitBlock.end() ? UINT32_MAX : unitBlock->second;
    if (const LinePair *p = lineAt(address, block); p && p->address >= seg->start) {
        info.line = p->line;
        info.sourceFile = m_sourceFiles[p->block];
        if (const LinePair *q = lineAt(procAddress, p->block);
            q && q->address >= seg->start && p->line >= q->line)
            info.lineOffset = p->line - q->line;
    }
    return !info.procedureName.empty() || info.line != 0 || !info.unitName.empty();
}

} // namespace crashreport
