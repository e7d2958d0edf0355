#include "CrashCallReport.h"

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashThreadRegistry.h"

#include <charconv>
#include <string>
#include <vector>

namespace crashreport
{

namespace
{
    bool parseNumber(std::string_view text, std::uint64_t &value)
    {
        value = 0;
        if (text.empty())
            return true;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && end == text.data() + text.size();
    }
} // namespace

void CrashParseStackText(std::string_view text, std::uint64_t threadId, TCrashStackList &list)
{
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::vector<std::string_view> fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t bar = line.find('|', start);
            fields.push_back(
                line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
            if (bar == std::string_view::npos)
                break;
            start = bar + 1;
        }
        if (fields.size() != 7)
            continue;
        std::uint64_t address = 0, lineNumber = 0, offset = 0;
        if (!parseNumber(fields[0], address) || !parseNumber(fields[5], lineNumber)
            || !parseNumber(fields[6], offset))
            continue;
        TCrashStackEntry entry;
        entry.address = address;
        entry.threadId = threadId;
        entry.groupStart = list.empty();
        auto module = std::make_shared<TCrashModule>();
        module->fileName = std::string(fields[1]);
        if (!fields[1].empty())
            entry.module = module;
        entry.unitName = std::string(fields[2]);
        entry.className = std::string(fields[3]);
        entry.procedureName = std::string(fields[4]);
        if (entry.className.empty()) {
            const std::size_t dot = entry.procedureName.rfind('.');
            if (dot != std::string::npos) {
                entry.className = entry.procedureName.substr(0, dot);
                entry.procedureName = entry.procedureName.substr(dot + 1);
            }
        }
        entry.line = static_cast<std::uint32_t>(lineNumber);
        entry.lineOffset = static_cast<std::uint32_t>(offset);
        entry.kind
            = entry.line != 0 ? StackKindLine : (entry.unitName.empty() ? StackKindProcedure : StackKindUnit);
        list.add(std::move(entry));
    }
}

} // namespace crashreport

using namespace crashreport;

bool CallCrashReport(const char *className, const char *message, const char *callStack)
{
    try {
        TCrashStackList stack;
        CrashParseStackText(callStack ? callStack : "", CrashCurrentThreadId(), stack);
        TCrashReportRequest request;
        const std::string name = className ? className : "";
        const std::string text = message ? message : "";
        request.error = std::make_exception_ptr(TActiveXException(name, text));
        request.className = name.empty() ? "TActiveXException" : name;
        request.message = text;
        request.stack = &stack;
        request.address = stack.empty() ? 0 : stack[0].address;
        request.assemblerAndCpu = false;
        return ProcessException(request);
    } catch (...) {
        return true;
    }
}
