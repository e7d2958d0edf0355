#pragma once
// Demangling and splitting of procedure names into class and procedure.

#include <string>
#include <string_view>

namespace crashreport
{

// The demangled form of a C++ symbol name, or the name unchanged when it is not one.
std::string CrashDemangle(const char *name);

// The name without its parameter list, cv-qualifiers, "[clone ...]" suffix and return type:
// "void ns::A<int>::f(int) const" -> "ns::A<int>::f".
std::string CrashStripSignature(std::string_view name);

struct TCrashSplitName {
    std::string className; // everything before the last top-level "::"
    std::string procedureName; // the last part
};

// Splits a demangled name at its top-level "::" (after CrashStripSignature).
TCrashSplitName CrashSplitCppName(std::string_view name);

} // namespace crashreport
