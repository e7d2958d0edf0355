#include "ReportItems.h"

#include "ReportFormat.h"
#include "TLogItem.h"

#include <cctype>
#include <string_view>

namespace crashreport {

namespace {

// A line of the general part that starts an item: two spaces, digits, ".", digits, a space.
bool isItemLine(const std::string &text, std::size_t lineStart, std::size_t lineEnd, std::string *number = nullptr)
{
    std::size_t i = lineStart;
    if (lineEnd - lineStart < 6 || text[i] != ' ' || text[i + 1] != ' ')
        return false;
    i += 2;
    const std::size_t numStart = i;
    std::size_t digits = 0;
    while (i < lineEnd && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++digits;
    }
    if (digits == 0 || i >= lineEnd || text[i] != '.')
        return false;
    ++i;
    digits = 0;
    while (i < lineEnd && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++digits;
    }
    if (digits == 0 || i >= lineEnd || text[i] != ' ')
        return false;
    if (number)
        *number = text.substr(numStart, i - numStart);
    return true;
}

std::size_t lineEndAt(const std::string &text, std::size_t pos)
{
    const std::size_t e = text.find("\r\n", pos);
    return e == std::string::npos ? text.size() : e;
}

struct ItemSpan {
    std::size_t lineStart = 0;  // start of the item line
    std::size_t valueStart = 0; // after ": "
    std::size_t valueEnd = 0;   // end of the last continuation line (before its CR LF)
    bool hasColon = true;       // false: an item line without ": " (its trailing blank was cut)
    std::vector<std::string> lines;
};

// The position of ": " within [from, to), or npos; never looks beyond the line.
std::size_t colonIn(const std::string &text, std::size_t from, std::size_t to)
{
    if (from >= to)
        return std::string::npos;
    const std::size_t at = std::string_view(text).substr(from, to - from).find(": ");
    return at == std::string_view::npos ? std::string::npos : from + at;
}

// The span of the item whose line starts at lineStart. With collectLines, lines holds the first
// line's value and the continuation lines. The work is proportional to the item's length.
ItemSpan itemAt(const std::string &report, std::size_t lineStart, std::size_t numberLength, bool collectLines = true)
{
    ItemSpan span;
    span.lineStart = lineStart;
    const std::size_t firstEnd = lineEndAt(report, lineStart);
    const std::size_t colon = colonIn(report, lineStart + 2 + numberLength, firstEnd);
    // Without ": " on the line the value is empty.
    span.hasColon = colon != std::string::npos;
    span.valueStart = span.hasColon ? colon + 2 : firstEnd;
    if (collectLines)
        span.lines.push_back(report.substr(span.valueStart, firstEnd - span.valueStart));
    span.valueEnd = firstEnd;
    std::size_t next = firstEnd;
    while (next + 2 <= report.size() && report.compare(next, 2, "\r\n") == 0) {
        const std::size_t ls = next + 2;
        const std::size_t le = lineEndAt(report, ls);
        if (le == ls || report[ls] != ' ' || isItemLine(report, ls, le))
            break;
        if (collectLines)
            span.lines.push_back(report.substr(ls, le - ls));
        span.valueEnd = le;
        next = le;
    }
    return span;
}

// Finds item "h.i". The first line of a report is its header, so an item line always follows a
// line break.
std::optional<ItemSpan> findItem(const std::string &report, const std::string &number, bool collectLines = true)
{
    if (number.empty())
        return std::nullopt;
    const std::size_t pos = report.find("\r\n  " + number + " ");
    if (pos == std::string::npos)
        return std::nullopt;
    return itemAt(report, pos + 2, number.size(), collectLines);
}

} // namespace

std::optional<std::string> readReportItem(const std::string &report, const std::string &itemNumber)
{
    const std::optional<ItemSpan> span = findItem(report, itemNumber);
    if (!span)
        return std::nullopt;
    return decodeItemValue(span->lines);
}

bool replaceReportItem(std::string &report, const std::string &itemNumber, const std::string &value,
                       const std::string &label)
{
    if (const std::optional<ItemSpan> span = findItem(report, itemNumber, false)) {
        std::string encoded = encodeItemValue(value);
        if (!span->hasColon)
            encoded.insert(0, ": ");
        report.replace(span->valueStart, span->valueEnd - span->valueStart, encoded);
        return true;
    }
    const std::size_t dot = itemNumber.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= itemNumber.size())
        return false;
    const std::string section = itemNumber.substr(0, dot);
    // The last item line of the section, and the colon column of its items: one pass over the
    // report, each item's continuation lines skipped as a whole.
    std::size_t lastItemEnd = std::string::npos;
    std::size_t colonColumn = 0;
    std::size_t pos = 0;
    while (pos < report.size()) {
        std::size_t le = lineEndAt(report, pos);
        std::string number;
        if (isItemLine(report, pos, le, &number) && number.compare(0, dot + 1, section + ".") == 0) {
            const ItemSpan span = itemAt(report, pos, number.size(), false);
            lastItemEnd = span.valueEnd;
            if (span.hasColon && colonColumn == 0)
                colonColumn = utf8Length(report.substr(pos, span.valueStart - 2 - pos));
            le = span.valueEnd;
        }
        if (le >= report.size())
            break;
        pos = le + 2;
    }
    if (lastItemEnd == std::string::npos)
        return false;
    const std::string head = "  " + itemNumber + " " + cleanOneLine(label);
    const std::string line = "\r\n" + padRight(head, colonColumn) + ": " + encodeItemValue(value);
    report.insert(lastItemEnd, line);
    return true;
}

namespace {

struct Line {
    std::size_t start;
    std::size_t end;  // before CR LF
    std::size_t next; // start of the next line
};

std::vector<Line> splitLines(const std::string &text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t e = text.find("\r\n", pos);
        if (e == std::string::npos) {
            lines.push_back(Line { pos, text.size(), text.size() });
            break;
        }
        lines.push_back(Line { pos, e, e + 2 });
        pos = e + 2;
    }
    return lines;
}

bool isDashLine(const std::string &text, const Line &l)
{
    if (l.end == l.start)
        return false;
    for (std::size_t i = l.start; i < l.end; ++i)
        if (text[i] != '-')
            return false;
    return true;
}

} // namespace

ReportParts splitReportParts(const std::string &fullText)
{
    // A stored report ends with the log's three line breaks.
    const bool stored = fullText.size() >= 6 && fullText.compare(fullText.size() - 6, 6, "\r\n\r\n\r\n") == 0;
    const std::string text = stored ? fullText.substr(0, fullText.size() - 6) : fullText;

    ReportParts parts;
    const std::vector<Line> lines = splitLines(text);
    // The call-stack table: the first title line followed by a dash line and a "|" line.
    std::size_t first = lines.size();
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
        if (isDashLine(text, lines[i + 1]) && lines[i + 2].end > lines[i + 2].start && text[lines[i + 2].start] == '|') {
            first = i;
            break;
        }
    }
    if (first == lines.size()) {
        parts.general = text;
        return parts;
    }
    std::size_t boundary = lines[first].start;
    if (first > 0 && lines[first - 1].end == lines[first - 1].start)
        boundary = lines[first - 1].start; // the empty line belongs to the table part
    parts.general = text.substr(0, boundary);

    // A titled block: title, dash line, then either table rows, a dash line and an empty line, or
    // an empty line. Returns the index of the first line after it.
    auto isBarLine = [&](std::size_t j) { return j < lines.size() && lines[j].end > lines[j].start && text[lines[j].start] == '|'; };
    auto tableBlock = [&](std::size_t i) {
        if (i + 1 >= lines.size() || !isDashLine(text, lines[i + 1]))
            return i;
        std::size_t j = i + 2;
        // Rows and the dash lines between them, up to the dash line that closes the table.
        while (isBarLine(j) || (j < lines.size() && isDashLine(text, lines[j]) && isBarLine(j + 1)))
            ++j;
        if (j > i + 2 && j < lines.size() && isDashLine(text, lines[j]))
            ++j;
        if (j < lines.size() && lines[j].end == lines[j].start)
            ++j;
        return j;
    };
    auto offsetOf = [&](std::size_t i) { return i < lines.size() ? lines[i].start : text.size(); };

    std::size_t i = tableBlock(first);
    parts.callStack = text.substr(boundary, offsetOf(i) - boundary);
    std::size_t j = tableBlock(i);
    parts.modules = text.substr(offsetOf(i), offsetOf(j) - offsetOf(i));
    std::size_t k = tableBlock(j);
    parts.processes = text.substr(offsetOf(j), offsetOf(k) - offsetOf(j));

    // Assembler: empty lines, then its lines up to the next empty line.
    std::size_t a = k;
    while (a < lines.size() && lines[a].end == lines[a].start)
        ++a;
    while (a < lines.size() && lines[a].end > lines[a].start)
        ++a;
    parts.assembler = text.substr(offsetOf(k), offsetOf(a) - offsetOf(k));

    // Custom data: an empty line, a title, a dash line and item lines at the end.
    std::size_t customStart = lines.size();
    for (std::size_t c = a; c + 2 < lines.size(); ++c) {
        if (lines[c].end == lines[c].start && isDashLine(text, lines[c + 2])
            && c + 3 < lines.size() && isItemLine(text, lines[c + 3].start, lines[c + 3].end)) {
            customStart = c;
            break;
        }
    }
    parts.cpu = text.substr(offsetOf(a), offsetOf(customStart) - offsetOf(a));
    parts.custom = text.substr(offsetOf(customStart));
    return parts;
}

std::vector<ReportSection> parseReportSections(const std::string &text)
{
    std::vector<ReportSection> sections;
    const std::vector<Line> lines = splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &l = lines[i];
        std::string number;
        if (isItemLine(text, l.start, l.end, &number)) {
            if (sections.empty())
                sections.push_back(ReportSection {});
            const std::string line = text.substr(l.start, l.end - l.start);
            const std::size_t labelStart = 2 + number.size() + 1;
            const std::size_t colon = line.find(": ", labelStart);
            std::string label = line.substr(labelStart, colon == std::string::npos ? std::string::npos : colon - labelStart);
            while (!label.empty() && label.back() == ' ')
                label.pop_back();
            sections.back().items.push_back(
                ReportItem { number, label, decodeItemValue(itemAt(text, l.start, number.size()).lines) });
        } else if (i + 1 < lines.size() && l.end > l.start && text[l.end - 1] == ':' && isDashLine(text, lines[i + 1])) {
            sections.push_back(ReportSection { text.substr(l.start, l.end - l.start - 1), {} });
        }
    }
    return sections;
}

} // namespace crashreport
