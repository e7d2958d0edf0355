#include "TLogItem.h"

#include "LineBreaks.h"
#include "ReportFormat.h"

#include <algorithm>

namespace crashreport {

namespace {
void replaceAll(std::string &s, const std::string &from, const std::string &to)
{
    for (std::size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

std::vector<std::string> splitCrLf(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find("\r\n", start);
        if (pos == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, pos - start));
        start = pos + 2;
    }
}


// A value line that, behind the one blank the writer puts in front, would read as an item line
// of its own (" 9.9 Label: x" gives "  9.9 Label: x").
bool looksLikeItemLine(const std::string &line)
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
    std::string v = NormalizeLineBreaks(cleanKeepingLineBreaks(value));
    if (v.find("\r\n") == std::string::npos)
        return v;
    replaceAll(v, ": ", ":_");
    std::vector<std::string> lines = splitCrLf(v);
    std::string out;
    out.reserve(v.size() + 2 * lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string &line = lines[i];
        if (i > 0) {
            out += "\r\n ";
            // Every line after the first starts with one blank and is never empty, so no line of
            // a value can be a section heading, a dash line, a table row or an empty line that
            // ends the report; a line that would pass for another item loses its leading blanks.
            if (looksLikeItemLine(line))
                line.erase(0, line.find_first_not_of(' '));
        }
        out += line.empty() ? std::string(".") : line;
    }
    return out;
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
