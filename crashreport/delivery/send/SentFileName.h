#pragma once
// The name under which a file travels: its name without folder, with the suffixes that SendFlags
// ask for before the extension: 0x200 "__" and the computer name, then 0x100 "__" and the
// exception time as "yyyymmddhhnnss" (local time).

#include <cstdint>
#include <ctime>
#include <string>

namespace crashreport
{

std::string sentFileName(const std::string &path, std::uint16_t sendFlags, std::time_t exceptionTime,
    const std::string &computerName);

// The machine's host name.
std::string sendComputerName();

} // namespace crashreport
