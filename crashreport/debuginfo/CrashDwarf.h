#pragma once
// DWARF look-ups through elfutils' libdwfl for the modules of this process, including
// separate debug files in the system's debug folders.

#include <cstdint>
#include <string>

namespace crashreport
{

struct TCrashDwarfLocation {
    std::string sourceFile; // full path as recorded
    std::string procedureName; // demangled, with parameter list
    std::uint32_t line = 0;
    std::uint32_t procedureLine = 0; // declaration line of the procedure, 0 when unknown
};

// Looks up a run-time address. Thread-safe (one lock around libdw).
bool CrashDwarfLookup(std::uint64_t address, TCrashDwarfLocation &out);

// Forgets the cached session (after modules were loaded or unloaded).
void CrashDwarfReset();

} // namespace crashreport
