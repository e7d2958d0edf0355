#pragma once
// A module's debug-information source besides DWARF: a map file, JDBG data or TD32 data
// found beside the module. Readers parse with bounds checks; a damaged table makes the
// reader answer nothing.

#include <cstdint>
#include <memory>
#include <string>

namespace crashreport
{

struct TCrashModule;

// The answer of a debug source for one address.
struct TCrashLocationInfo {
    std::uint64_t address = 0;
    std::string unitName; // module (unit) name
    std::string procedureName; // full name, parts joined by "."
    std::uint32_t lineOffset = 0;
    std::uint32_t line = 0;
    std::string sourceFile;
};

class TCRDebugInfoSource
{
public:
    virtual ~TCRDebugInfoSource() = default;
    // Module-relative address to the source's own addresses: the offset into the module's
    // first code segment (segment 1 of the tables).
    virtual std::uint64_t translateAddress(const TCrashModule &module, std::uint64_t address) const;
    // Looks up an address already translated; false when the source knows nothing of it.
    virtual bool getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const = 0;
    // False when the data was damaged or empty; such a source answers nothing.
    virtual bool valid() const = 0;
};

// Runs a reader's parse. A damaged table (parse gives false or throws) gives false and empties
// the reader's tables through clear, so that the reader answers nothing.
template <typename Parse, typename Clear> bool CrashParseOrClear(Parse &&parse, Clear &&clear)
{
    bool valid = false;
    try {
        valid = parse();
    } catch (...) {
        valid = false;
    }
    if (!valid)
        clear();
    return valid;
}

// Opens the debug source found beside a module file ("<name>.map", "<name>.jdbg",
// "<name>.tds", with the extension replaced or appended); nullptr when there is none.
std::shared_ptr<TCRDebugInfoSource> CrashOpenDebugSourceBeside(
    const std::string &moduleFile, std::string *foundFile = nullptr, int *kind = nullptr);

// Reads a whole file; false when it cannot be read or exceeds maxBytes.
bool CrashReadFile(const std::string &path, std::string &data, std::size_t maxBytes = 256u << 20);

} // namespace crashreport
