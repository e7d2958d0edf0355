#include "ReportTables.h"

#include "CrashFileNames.h"
#include "ReportFormat.h"

#include <algorithm>

namespace crashreport {

namespace {

// Addresses and module handles are written in full: 16 hexadecimal digits on a 64-bit system.
constexpr int AddressDigits = 16;

struct Row {
    enum Kind { Data, Dashes, Spaces, Caption } kind = Data;
    std::vector<std::string> cells;
    std::string caption;
};

// Every text of a table is cleaned of control characters before it is measured: a value that
// held a line break could otherwise end the table, or the whole report, in the middle of a row.
std::string framedTable(const std::string &rawTitle, const std::vector<std::string> &rawColumnTitles,
                        std::vector<std::size_t> widths, std::vector<Row> rows)
{
    const std::string title = cleanOneLine(rawTitle);
    std::vector<std::string> columnTitles;
    for (const std::string &t : rawColumnTitles)
        columnTitles.push_back(cleanOneLine(t));
    for (Row &r : rows) {
        for (std::string &cell : r.cells)
            cell = cleanOneLine(cell);
        r.caption = cleanOneLine(r.caption);
    }
    for (std::size_t c = 0; c < columnTitles.size(); ++c)
        widths[c] = std::max(widths[c], utf8Length(columnTitles[c]));
    for (const Row &r : rows)
        if (r.kind == Row::Data)
            for (std::size_t c = 0; c < r.cells.size() && c < widths.size(); ++c)
                widths[c] = std::max(widths[c], utf8Length(r.cells[c]));
    std::size_t rowWidth = columnTitles.size() + 1;
    for (std::size_t w : widths)
        rowWidth += w;
    const std::string dashLine(rowWidth, '-');
    const std::size_t inner = rowWidth - 2;

    auto dataRow = [&](const std::vector<std::string> &cells) {
        std::string line = "|";
        for (std::size_t c = 0; c < widths.size(); ++c)
            line += padRight(c < cells.size() ? cells[c] : std::string(), widths[c]) + "|";
        return line + "\r\n";
    };

    std::string out = title + ":\r\n" + dashLine + "\r\n" + dataRow(columnTitles) + dashLine + "\r\n";
    for (const Row &r : rows) {
        switch (r.kind) {
        case Row::Data:
            out += dataRow(r.cells);
            break;
        case Row::Dashes:
            out += "|" + std::string(inner, '-') + "|\r\n";
            break;
        case Row::Spaces:
            out += "|" + std::string(inner, ' ') + "|\r\n";
            break;
        case Row::Caption:
            out += "|" + padRight(r.caption, inner) + "|\r\n";
            break;
        }
    }
    return out + dashLine + "\r\n\r\n";
}

std::vector<std::string> columnTexts(const ReportTexts &texts, int firstId, int count)
{
    std::vector<std::string> titles;
    for (int i = 0; i < count; ++i)
        titles.push_back(texts.text(firstId + i));
    return titles;
}

bool printed(const TCrashStackEntry &e, std::uint8_t stackFlags)
{
    switch (e.kind) {
    case StackKindLine:
        return true;
    case StackKindProcedure:
        return (stackFlags & StackFlagPrintProcedures) != 0;
    case StackKindUnit:
        return (stackFlags & StackFlagPrintUnits) != 0;
    default:
        return false;
    }
}

std::string threadCaption(const TCrashStackEntry &first, const ReportTexts &texts, const ThreadInfoSource *threads)
{
    std::string caption;
    if (first.groupKind == 0)
        caption = texts.text(TextCallingThread) + ": ";
    else if (first.groupStart)
        caption = "*" + texts.text(TextExceptionThread) + ": ";
    else
        caption = texts.text(TextRunningThread) + ": ";
    std::optional<ThreadValues> info;
    if (threads)
        info = threads->thread(first.threadId);
    caption += texts.text(TextThreadId) + "=" + std::to_string(first.threadId) + "; " + texts.text(TextThreadPriority)
        + "=" + (info ? (info->priority.empty() ? std::string("??") : info->priority) : std::string("??"));
    caption += "; " + texts.text(TextThreadClass) + "=" + (info ? info->className : std::string());
    if (info && info->isMain)
        caption += "; [" + texts.text(TextMain) + "]";
    return caption;
}

} // namespace

std::string tableTitleOnly(const std::string &rawTitle)
{
    const std::string title = cleanOneLine(rawTitle);
    return title + ":\r\n" + std::string(utf8Length(title) + 1, '-') + "\r\n\r\n";
}

std::string callStackTable(const TCrashStackList *stack, std::uint8_t stackFlags, const ReportTexts &texts,
                           const ThreadInfoSource *threads)
{
    std::vector<Row> rows;
    if (stack) {
        const TCrashStackEntry *groupFirst = nullptr;
        bool groupShown = false;
        bool anyGroupShown = false;
        for (std::size_t i = 0; i < stack->count(); ++i) {
            const TCrashStackEntry &e = (*stack)[i];
            if (!groupFirst || e.threadId != groupFirst->threadId || e.groupKind != groupFirst->groupKind
                || e.groupStart) {
                groupFirst = &e;
                groupShown = false;
            }
            if (!printed(e, stackFlags))
                continue;
            if (!groupShown) {
                if (anyGroupShown) {
                    rows.push_back(Row { Row::Dashes, {}, {} });
                    if (groupFirst->groupKind != 0)
                        rows.push_back(Row { Row::Spaces, {}, {} });
                }
                rows.push_back(Row { Row::Caption, {}, threadCaption(*groupFirst, texts, threads) });
                rows.push_back(Row { Row::Dashes, {}, {} });
                groupShown = anyGroupShown = true;
            }
            std::string line;
            if (e.line != 0)
                line = std::to_string(e.line) + "[" + std::to_string(e.lineOffset) + "]";
            rows.push_back(Row { Row::Data,
                                 { formatHex(e.address, AddressDigits), e.module ? CrashFileBaseName(e.module->fileName) : std::string(),
                                   e.unitName, e.className, e.procedureName, line },
                                 {} });
        }
    }
    return framedTable(texts.text(TextCallStackInformation), columnTexts(texts, TextColumnAddress, 6),
                       { 8, 0, 0, 0, 0, 0 }, rows);
}

std::string modulesTable(const std::vector<TCrashModulePtr> &modules, const ReportTexts &texts,
                         const ReportClock &clock)
{
    const std::vector<std::string> titles = columnTexts(texts, TextColumnHandle, 7);
    std::size_t handleWidth = std::max<std::size_t>(AddressDigits, utf8Length(titles[0]));
    for (const TCrashModulePtr &m : modules)
        if (m)
            handleWidth = std::max(handleWidth, formatHex(m->handle, 1).size());
    std::vector<Row> rows;
    for (const TCrashModulePtr &m : modules) {
        if (!m)
            continue;
        rows.push_back(Row { Row::Data,
                             { formatHex(m->handle, int(handleWidth)), CrashFileBaseName(m->fileName), m->description,
                               m->version, std::to_string(m->size),
                               m->modified ? formatTimestamp(clock.toLocal(m->modified)) : std::string(),
                               CrashFileFolder(m->fileName) },
                             {} });
    }
    return framedTable(texts.text(TextModulesInformation), titles, { handleWidth, 0, 0, 0, 0, 0, 0 }, rows);
}

std::string processesTable(const std::vector<TCrashProcess> &processes, const ReportTexts &texts)
{
    std::vector<Row> rows;
    for (const TCrashProcess &p : processes) {
        rows.push_back(Row { Row::Data,
                             { std::to_string(p.id), CrashFileBaseName(p.fileName), p.description, p.version,
                               std::to_string(p.memory), CrashPriorityClassName(p.priority),
                               p.threads ? std::to_string(p.threads) : std::string("??"), CrashFileFolder(p.fileName) },
                             {} });
    }
    return framedTable(texts.text(TextProcessesInformation), columnTexts(texts, TextColumnProcessId, 8),
                       std::vector<std::size_t>(8, 0), rows);
}

} // namespace crashreport
