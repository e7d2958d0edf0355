#pragma once
// What the crash library needs from a module's ELF file: its procedures (symbol tables),
// the first executable segment, and where its debug information lives.

#include "CrashModulesList.h"

#include <string>

namespace crashreport
{

struct TCrashElfInfo {
    bool ok = false;
    TCrashFunctionsList functions;
    std::uint64_t codeOffset = 0;
    bool hasDwarf = false; // .debug_info or .debug_line in the file itself
    std::string buildId; // hexadecimal
    std::string debugLink; // .gnu_debuglink name
};

// Reads the file; functions are taken from .symtab and .dynsym (FUNC and IFUNC symbols).
TCrashElfInfo CrashReadElfFile(const std::string &path, bool readFunctions = true);

// The separate debug file of a module ("/usr/lib/debug/.build-id/xx/yyyy.debug", or the
// debug link next to the file, in ".debug/" or under /usr/lib/debug), or "" when none.
std::string CrashFindSeparateDebugFile(const std::string &path, const TCrashElfInfo &info);

} // namespace crashreport
