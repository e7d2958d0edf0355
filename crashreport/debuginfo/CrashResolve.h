#pragma once
// Turning names from the debug sources into the unit, class and procedure of an entry.

#include "CrashStackList.h"

#include <string>
#include <string_view>
#include <vector>

namespace crashreport
{

// Splits a dotted procedure name ("Unit.Class.Method") of a map, JDBG or TD32 source into
// the entry's unit, class and procedure. unitFile is the source file name of the answer.
void CrashSplitDottedName(std::string_view fullName, const std::string &unitFile, TCrashStackEntry &entry);

// A compiler-decorated export name ("@Unit@Class@Method$qqrv") in dotted form
// ("Unit.Class.Method"); "" when the name is not usable.
std::string CrashUndecorateExportName(std::string_view name);

// Units whose entries are shown without names (kind 1). Process-wide.
void CrashSetHiddenUnits(std::vector<std::string> units);
// While set, hidden units are shown as usual (used while an internal failure is reported).
void CrashSetReportingInternalFailure(bool on);

} // namespace crashreport
