#include "LogXml.h"

#include "LineBreaks.h"
#include "ReportFormat.h"
#include "ReportInput.h"
#include "ReportItems.h"
#include "XMLItem.h"

#include <cstdlib>
#include <set>
#include <string_view>

namespace crashreport {

namespace {

std::string trimRight(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string trim(const std::string &s)
{
    const std::size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? std::string() : trimRight(s.substr(a));
}

// Byte offsets of the UTF-8 characters of a line (and its end).
std::vector<std::size_t> characterOffsets(const std::string &line)
{
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < line.size(); ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80)
            offsets.push_back(i);
    offsets.push_back(line.size());
    return offsets;
}

// A framed table: the column widths come from its title row, so values may hold "|".
struct Table {
    std::vector<std::size_t> widths;
    std::vector<std::string> rows; // the lines after the title row's dash line
};

Table readTable(const std::string &part)
{
    Table t;
    const std::vector<std::string> lines = splitCrLfLines(part);
    std::size_t i = 0;
    while (i < lines.size() && (lines[i].empty() || lines[i][0] != '|'))
        ++i;
    if (i >= lines.size())
        return t;
    std::size_t width = 0;
    for (std::size_t k = 1; k < lines[i].size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(lines[i][k]);
        if (c == '|') {
            t.widths.push_back(width);
            width = 0;
        } else if ((c & 0xC0) != 0x80) {
            ++width;
        }
    }
    for (++i; i < lines.size(); ++i)
        if (!lines[i].empty() && lines[i][0] == '|')
            t.rows.push_back(lines[i]);
    return t;
}

std::vector<std::string> cells(const Table &t, const std::string &row)
{
    std::vector<std::string> out;
    const std::vector<std::size_t> offsets = characterOffsets(row);
    std::size_t ch = 1; // after the first '|'
    for (std::size_t w : t.widths) {
        if (ch + w >= offsets.size())
            break;
        out.push_back(trimRight(row.substr(offsets[ch], offsets[ch + w] - offsets[ch])));
        ch += w + 1;
    }
    return out;
}

bool onlyOf(const std::string &s, char c)
{
    return s.find_first_not_of(c) == std::string::npos;
}

// XML 1.0 has no way to write the control characters other than tab, CR and LF, not even as
// character references; a log read from disk may hold them, so they become blanks here.
std::string xmlSafe(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
            c = ' ';
    return out;
}

void addText(TXMLItem *item, const std::string &text)
{
    item->setText(TXMLItem::Escape(NormalizeLineBreaks(xmlSafe(text))));
}

void addAttribute(TXMLItem *item, std::string_view name, const std::string &value)
{
    item->addAttribute(name, xmlSafe(value));
}

void addGeneral(TXMLItem *doc, const std::string &general, const std::string &custom)
{
    TXMLItem *xmlGeneral = doc->addChild("General");
    std::string reproduce;
    auto addSections = [&](const std::string &text, bool reproduceAfterSeven) {
        for (const ReportSection &s : parseReportSections(text)) {
            const int number = s.items.empty() ? 0 : std::atoi(s.items.front().number.c_str());
            if (reproduceAfterSeven && number > 7) {
                for (const ReportItem &item : s.items)
                    reproduce += (reproduce.empty() ? "" : "\r\n") + item.value;
                continue;
            }
            TXMLItem *group = xmlGeneral->addChild("Group");
            addAttribute(group, "Name", s.name);
            for (const ReportItem &item : s.items) {
                TXMLItem *label = group->addChild("Label");
                addAttribute(label, "Number", item.number);
                addAttribute(label, "Name", item.label);
                addText(label, item.value);
            }
        }
    };
    addSections(general, true);
    addSections(custom, false);
    if (!reproduce.empty())
        addText(doc->addChild("HoToReproduce"), reproduce);
}

void addCallStack(TXMLItem *doc, const std::string &part)
{
    static const char *const names[] = { "Address", "Module", "Unit", "Class", "Procedure", "Line" };
    TXMLItem *stack = doc->addChild("CallStack");
    const Table t = readTable(part);
    TXMLItem *group = nullptr;
    for (const std::string &row : t.rows) {
        const std::vector<std::string> c = cells(t, row);
        const std::string inner = trimRight(row.substr(1, row.size() >= 2 ? row.size() - 2 : 0));
        if (c.size() == t.widths.size() && row.find('|', 1) != row.size() - 1) {
            if (!group)
                group = stack->addChild("Group");
            TXMLItem *line = group->addChild("Line");
            for (std::size_t k = 0; k < c.size() && k < 6; ++k)
                addAttribute(line, names[k], c[k]);
        } else if (!inner.empty() && !onlyOf(inner, '-')) {
            group = stack->addChild(inner[0] == '*' ? "ExceptionThread" : "Group");
            addAttribute(group, "Caption", inner);
        }
    }
}

void addRecords(TXMLItem *doc, const std::string &part, const char *listName, const char *itemName,
                const std::vector<const char *> &names)
{
    TXMLItem *list = doc->addChild(listName);
    const Table t = readTable(part);
    for (const std::string &row : t.rows) {
        const std::vector<std::string> c = cells(t, row);
        if (c.size() != t.widths.size())
            continue;
        TXMLItem *item = list->addChild(itemName);
        for (std::size_t k = 0; k < c.size() && k < names.size(); ++k)
            addAttribute(item, names[k], c[k]);
    }
}

void addAssembler(TXMLItem *doc, const std::string &part)
{
    TXMLItem *assembler = doc->addChild("Assembler");
    const std::vector<std::string> lines = splitCrLfLines(part);
    bool afterDash = false;
    for (const std::string &line : lines) {
        if (!afterDash) {
            afterDash = !line.empty() && onlyOf(line, '-');
            continue;
        }
        if (!line.empty())
            addText(assembler->addChild("Line"), line);
    }
}

// "------------------   ------...": the line above the dump lines.
bool isDumpDashLine(const std::string &line)
{
    const std::size_t gap = line.find("   ");
    return gap != std::string::npos && gap > 0 && onlyOf(line.substr(0, gap), '-')
        && line.size() > gap + 3 && onlyOf(line.substr(gap + 3), '-');
}

void addCpu(TXMLItem *doc, const std::string &part)
{
    TXMLItem *registers = doc->addChild("Registers");
    TXMLItem *stack = doc->addChild("Stack");
    TXMLItem *dump = doc->addChild("MemoryDump");
    bool inDump = false;
    std::set<std::string> seen;
    for (const std::string &line : splitCrLfLines(part)) {
        if (isDumpDashLine(line)) {
            inDump = true;
            continue;
        }
        if (!inDump) {
            // "RAX: 0000000000000001   RDI: 0000000000000006", "R8 : ...", and "????" padded to
            // the value's width without a context; names are up to three characters.
            for (std::size_t pos = 0; pos < line.size();) {
                const std::size_t colon = line.find(": ", pos);
                if (colon == std::string::npos || colon == pos || colon - pos > 3)
                    break;
                const std::string name = trim(line.substr(pos, colon - pos));
                std::size_t end = line.find("   ", colon + 2);
                if (end == std::string::npos)
                    end = line.size();
                // An attribute name starts with a letter and stands once in an element.
                if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z'
                    && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == std::string::npos
                    && seen.insert(name).second)
                    addAttribute(registers, name, trim(line.substr(colon + 2, end - colon - 2)));
                pos = line.find_first_not_of(' ', end);
                if (pos == std::string::npos)
                    break;
            }
            continue;
        }
        // "stack address: value   memory address: XX XX ... XX characters"
        const std::size_t gap = line.find("   ");
        const std::size_t colon1 = line.find(": ");
        if (gap == std::string::npos || colon1 == std::string::npos || colon1 > gap)
            continue;
        TXMLItem *s = stack->addChild("Line");
        addAttribute(s, "Address", line.substr(0, colon1));
        addAttribute(s, "Value", line.substr(colon1 + 2, gap - colon1 - 2));
        const std::string memory = line.substr(gap + 3);
        const std::size_t colon2 = memory.find(':');
        if (colon2 == std::string::npos)
            continue;
        const std::size_t bytesStart = memory.find_first_not_of(' ', colon2 + 1);
        if (bytesStart == std::string::npos)
            continue;
        TXMLItem *m = dump->addChild("Line");
        addAttribute(m, "Address", memory.substr(0, colon2));
        addAttribute(m, "Bytes", memory.substr(bytesStart, 47));
        addAttribute(m, "Text", memory.size() > bytesStart + 48 ? memory.substr(bytesStart + 48) : std::string());
    }
}

} // namespace

std::string logToXml(const std::vector<std::string> &reports)
{
    TXMLItem log("Log");
    log.addAttribute("Version", CrashReportVersion);
    for (const std::string &report : reports) {
        const ReportParts parts = splitReportParts(report);
        TXMLItem *doc = log.addChild("Doc");
        addGeneral(doc, parts.general, parts.custom);
        addCallStack(doc, parts.callStack);
        addRecords(doc, parts.modules, "Modules", "Module",
                   { "Handle", "Name", "Description", "Version", "Size", "Modified", "Path" });
        addRecords(doc, parts.processes, "Processes", "Process",
                   { "ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path" });
        addAssembler(doc, parts.assembler);
        addCpu(doc, parts.cpu);
    }
    return log.asText();
}

} // namespace crashreport
