#pragma once
// Call-stack entries and the stack list built by the raw stack walk.
// Plain C++ (no Qt).

#include "CrashModulesList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace crashreport
{

// Entry kinds, in increasing amount of information.
enum TCrashStackKind : std::uint8_t {
    StackKindHidden = 0, // duplicate, or unresolved with no module
    StackKindModule = 1, // module known, no debug information
    StackKindProcedure = 2, // procedure name only
    StackKindUnit = 3, // unit and procedure, no line
    StackKindLine = 4, // with line number
};

// Where the answer for an entry came from.
enum class TCrashLocationSource : std::uint8_t {
    None = 0,
    LineTable = 1, // the module's own packed line table
    Dwarf = 2,
    MapFile = 3,
    Jdbg = 4,
    TD32 = 5,
    Symbols = 6, // nearest ELF symbol
};

struct TCrashStackEntry {
    std::uint8_t kind = StackKindHidden;
    TCrashModulePtr module; // empty when the address is in no module
    std::uint64_t threadId = 0;
    std::uint8_t groupKind = 1; // 1 walked at report time, 0 a stack copy kept for a thread
    bool groupStart = false; // first entry of a walk (the exception address)
    TCrashLocationSource source = TCrashLocationSource::None;
    std::uint64_t address = 0;
    std::string unitName; // UTF-8, source file name without folder
    std::string sourceFile; // the source file as the debug information names it
    std::string className;
    std::string procedureName;
    std::uint32_t line = 0;
    std::uint32_t lineOffset = 0; // lines from the procedure's first line to this line
};

// Set of entry kinds to keep (bit k = kind k). 31 keeps kinds 0 to 4.
using TCrashKindSet = std::uint32_t;
inline constexpr TCrashKindSet AllStackKinds = 31;

// Owns its entries.
class TCrashStackList
{
public:
    std::size_t count() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const TCrashStackEntry &operator[](std::size_t i) const { return *m_items[i]; }
    TCrashStackEntry &operator[](std::size_t i) { return *m_items[i]; }
    void add(TCrashStackEntry entry)
    {
        m_items.push_back(std::make_unique<TCrashStackEntry>(std::move(entry)));
    }
    void clear() { m_items.clear(); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<std::unique_ptr<TCrashStackEntry>> m_items;
};

// Parameters of one walk.
struct TCrashWalkParams {
    TCrashKindSet kinds = AllStackKinds;
    int firstLevel = -1; // -1: keep from the first
    int maxEntries = -1; // -1: no limit
    bool resolveNames = true;
    bool addCallee = true; // add the procedure called by a direct call
    std::uint8_t groupKind = 1;
    std::uint64_t threadId = 0;
};

// Scan limits. The window is counted in stack values: 25600 of them, which on a 64-bit stack
// are 204800 bytes, so a walk reaches as many frames as 102400 bytes do on a 32-bit one.
inline constexpr std::size_t MaxStackScanValues = 25600;
inline constexpr std::size_t MaxStackScanBytes = MaxStackScanValues * sizeof(std::uint64_t);
inline constexpr std::size_t MaxStackEntries = 1024;
// Room for every address one scan can give: a called procedure and a call site per value.
inline constexpr std::size_t MaxStackScanAddresses = 2 * MaxStackScanValues;

class TCrashCodeRanges;

// A walk is done in two phases. The scan looks at the stack values and writes raw code
// addresses; it only reads memory (stack and code bytes, through TCrashMemory) and the code
// ranges prepared beforehand: no allocation, no file, no lock, so it may run while other
// threads are stopped. Resolving turns the addresses into entries afterwards.

// Phase one over the stack range [stackStart, stackEnd) of this process (at most
// MaxStackScanBytes from stackStart): for each return address found, the called procedure
// behind a direct call (when addCallee is set and it can be told) and then the call site, in
// stack order. Writes at most capacity addresses to out and returns how many it wrote.
// Unreadable parts are skipped. Never throws.
std::size_t CrashScanStack(const TCrashCodeRanges &code, std::uint64_t stackStart, std::uint64_t stackEnd,
    bool addCallee, std::uint64_t *out, std::size_t capacity) noexcept;

// Phase one over a copy of stack bytes (for example taken at raise time).
std::size_t CrashScanStackCopy(const TCrashCodeRanges &code, const void *copy, std::size_t copyBytes,
    bool addCallee, std::uint64_t *out, std::size_t capacity) noexcept;

// Phase two: resolves the exception address (0: none) and the scanned addresses into entries
// appended to the list, keeping the kinds and levels the parameters ask for and at most
// MaxStackEntries + 1 entries in the list, then hides repeated return addresses. Never throws.
void CrashResolveStack(TCrashStackList &list, std::uint64_t exceptionAddress, const std::uint64_t *addresses,
    std::size_t count, const TCrashWalkParams &params = {});

// Both phases: walks the stack range [stackStart, stackEnd) of this process and appends entries
// (exceptionAddress 0: none). Unreadable parts are skipped. Never throws.
void CrashWalkStack(TCrashStackList &list, std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params = {});

// Same over a copy of stack bytes (for example taken at raise time).
void CrashWalkStackCopy(TCrashStackList &list, std::uint64_t exceptionAddress, const void *copy,
    std::size_t copyBytes, const TCrashWalkParams &params = {});

// Creates a list and walks into it.
std::unique_ptr<TCrashStackList> CrashWalkStackNew(std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params = {});

// Walks the calling thread from the caller's stack pointer to its stack base.
void CrashWalkCurrentThread(
    TCrashStackList &list, std::uint64_t exceptionAddress = 0, const TCrashWalkParams &params = {});

// The stack of the calling thread: [lowest address, top); false when it cannot be told.
bool CrashCurrentStackRange(std::uint64_t &base, std::uint64_t &top);

// Resolves one address into an entry (module, unit, class, procedure, line, kind).
void CrashResolveAddress(std::uint64_t address, std::uint64_t threadId, TCrashStackEntry &entry,
    bool groupStart = false, std::uint8_t groupKind = 1);

} // namespace crashreport
