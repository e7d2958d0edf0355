#pragma once
// The BugID of a report: a CRC-16 (polynomial 0x1021, start 0, no final inversion) over the
// module item, the raising module's name, the class name and, for each entry with a line in the
// exception's thread, unit, class, procedure and line offset; four upper-case hex digits.

#include "CrashStackList.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace crashreport
{

std::uint16_t CrashCrc16(std::string_view bytes);
std::string CrashBugIdText(std::uint16_t crc);

// The text the BugID is taken over.
std::string CrashBugIdSource(const std::string &moduleItem, const std::string &exceptModuleName,
    const std::string &className, const TCrashStackList &stack);

std::string CrashBugId(const std::string &moduleItem, const std::string &exceptModuleName,
    const std::string &className, const TCrashStackList &stack);

} // namespace crashreport
