#pragma once
// DWARF look-ups through elfutils' libdwfl for the modules of this process, including
// separate debug files in the system's debug folders.

#include <elfutils/libdw.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct Dwfl;

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

// The lock around libdw, and the session of this process's modules (nullptr when none can be
// made); the session is only used with the lock held and lives until the next reset.
std::mutex &CrashDwarfMutex();
Dwfl *CrashDwarfSessionLocked();

// Reads, ahead of any report, what the look-ups and the unwinding of CrashUnwind.cpp need
// from every module of the session: the debug information (decompressed), the call-frame
// information. Takes the lock for one module at a time; a look-up
// meanwhile waits for the module being read and never reads it a second time. Ends early,
// before the next module, when *stop is set.
void CrashDwarfWarmUp(const std::atomic<bool> *stop = nullptr);

// Forgets the cached session (after modules were loaded or unloaded).
void CrashDwarfReset();

// A call that the compiler inlined directly into a procedure (not into another inlined call):
// the code it became, and the place of the call in the procedure's own source. Code inlined
// from a header is reported at that place, so that unit, procedure and line agree.
struct TCrashInlineSite {
    std::uint64_t low = 0, high = 0; // addresses as the unit states them
    std::string callFile;
    std::uint32_t callLine = 0;
};

// Appends the outermost inlined calls of every procedure of a compilation unit.
void CrashCollectInlineSites(Dwarf_Die *cu, std::vector<TCrashInlineSite> &out);

// The site among sites (sorted by low, not overlapping) whose code holds the address.
const TCrashInlineSite *CrashFindInlineSite(const std::vector<TCrashInlineSite> &sites, std::uint64_t address);

} // namespace crashreport
