#pragma once
// Demangling and splitting of procedure names into class and procedure.

#include <string>
#include <string_view>

namespace crashreport
{

// The demangled form of a C++ symbol name, or the name unchanged when it is not one. A name
// the runtime's demangler refuses (newer manglings, such as lambdas with a template head)
// still gives what can be made out of it, at least the enclosing function or its qualified
// name; only a name of which nothing can be made out comes back unchanged.
std::string CrashDemangle(const char *name);

// The longest names an entry holds: unit, class and procedure are each cut to this many
// characters.
inline constexpr std::size_t MaxEntryNameLength = 255;

// The text cut to at most maxChars characters (UTF-8 sequences stay whole).
std::string CrashCutName(std::string text, std::size_t maxChars = MaxEntryNameLength);

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
