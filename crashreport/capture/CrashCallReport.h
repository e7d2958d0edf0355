#pragma once
// The call stack of an exception given as text (CallCrashReport).

#include "CrashStackList.h"

#include <string_view>

namespace crashreport
{

// Lines of exactly seven "|"-separated fields: address (decimal), module name, unit, class,
// procedure, line, line offset. Other lines are dropped. With an empty class, a procedure
// holding "." gives the class before its last ".". An entry with a line number has the kind with
// line information, else the kind without it. The first entry starts the group.
void CrashParseStackText(std::string_view text, std::uint64_t threadId, TCrashStackList &list);

} // namespace crashreport
