#include "TLogItem.h"

#include "LineBreaks.h"
#include "ReportFormat.h"

#include <algorithm>
#include <string_view>

namespace crashreport {

namespace {
void replaceAll(std::string &s, const std::string &from, const std::string &to)
{
    for (std::size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

// A value line that, behind the one blank the writer puts in front, would read as an item line
// of its own (" 9.9 Label: x" gives "  9.9 Label: x").
bool looksLikeItemLine(std::string_view line)
{
    std::size_t i = 0;
    if (line.empty() || line[i++] != ' ')
        return false;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9')
            ++i;
        return i > start;
    };
    if (!digits() || i >= line.size() || line[i++] != '.')
        return false;
    return digits() && i < line.size() && line[i] == ' ';
}
} // namespace

std::string encodeItemValue(const std::string &value)
{
    const std::string v = NormalizeLineBreaks(cleanKeepingLineBreaks(value));
    if (v.find("\r\n") == std::string::npos)
        return v;
    // One pass over the value: each line is appended with its ": " written as ":_".
    std::string out;
    out.reserve(v.size() + v.size() / 16 + 16);
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        std::size_t end = v.find("\r\n", start);
        if (end == std::string::npos)
            end = v.size();
        std::string_view line(v.data() + start, end - start);
        if (!first) {
            out += "\r\n ";
            // Every line after the first starts with one blank and is never empty, so no line
            // of a value can be a section heading, a dash line, a table row or an empty line
            // that ends the report; a line that would pass for another item loses its leading
            // blanks.
            if (looksLikeItemLine(line))
                line.remove_prefix(line.find_first_not_of(' '));
        }
        if (line.empty())
            out += '.';
        for (std::size_t i = 0; i < line.size(); ++i)
            out += (line[i] == ' ' && i > 0 && line[i - 1] == ':') ? '_' : line[i];
        if (end == v.size())
            return out;
        start = end + 2;
    }
}

std::string decodeItemValue(const std::vector<std::string> &lines)
{
    if (lines.size() <= 1)
        return lines.empty() ? std::string() : lines.front();
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (i > 0) {
            out += "\r\n";
            if (!line.empty() && line.front() == ' ')
                line.erase(0, 1); // the one space the writer put in front
        }
        if (line == ".")
            line.clear();
        replaceAll(line, ":_", ": ");
        out += line;
    }
    return out;
}

void TLogItem::addSection(const std::string &name)
{
    ++m_section;
    m_item = 0;
    m_sections.push_back(Section { cleanOneLine(name), {} });
}

void TLogItem::addItem(const std::string &label, const std::string &value, bool shown)
{
    ++m_item;
    if (!shown)
        return;
    if (m_sections.empty())
        m_sections.push_back(Section {});
    m_sections.back().items.push_back(
        Item { "  " + std::to_string(m_section) + "." + std::to_string(m_item) + " " + cleanOneLine(label),
               encodeItemValue(value) });
}

std::string TLogItem::text() const
{
    std::string out;
    for (const Section &s : m_sections) {
        if (s.items.empty())
            continue;
        std::size_t colon = 0;
        for (const Item &it : s.items)
            colon = std::max(colon, utf8Length(it.head));
        std::vector<std::string> lines;
        std::size_t longest = 0;
        for (const Item &it : s.items) {
            std::string line = padRight(it.head, colon) + ": ";
            const std::size_t lineBreak = it.value.find("\r\n");
            longest = std::max(longest, utf8Length(line + it.value.substr(0, lineBreak)));
            lines.push_back(line + it.value);
        }
        if (!out.empty())
            out += "\r\n\r\n";
        out += s.name + ":\r\n" + std::string(longest, '-');
        for (const std::string &l : lines)
            out += "\r\n" + l;
    }
    return out;
}

} // namespace crashreport
