#pragma once
// The framed tables of the report: call stack, modules and processes.
//
// Every table is "Title:", a dash line as long as a row, the title row, a dash line, the rows,
// a dash line and an empty line; a row is "|" followed by each value padded to its column and
// "|". Readers find a table by the sequence dash line, line break, "|".

#include "ReportClock.h"
#include "ReportInput.h"
#include "ReportSources.h"
#include "ReportTexts.h"

#include <string>
#include <vector>

namespace crashreport {

std::string callStackTable(const TCrashStackList *stack, std::uint8_t stackFlags, const ReportTexts &texts,
                           const ThreadInfoSource *threads);
std::string modulesTable(const std::vector<TCrashModulePtr> &modules, const ReportTexts &texts,
                         const ReportClock &clock);
std::string processesTable(const std::vector<TCrashProcess> &processes, const ReportTexts &texts);

// "Title:", a dash line one longer than the title, and an empty line: a table that is not logged.
std::string tableTitleOnly(const std::string &title);

} // namespace crashreport
