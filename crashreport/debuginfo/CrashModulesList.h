#pragma once
// The loaded modules of the process, as the crash report lists them.
// Plain C++ (no Qt): the report code and the walker share these records.

#include "CrashModuleOptionsEx.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace crashreport
{

class TCRDebugInfoSource;
class TCrashLineTable;

// One named procedure of a module (exported or local ELF symbol), module-relative.
struct TCrashFunction {
    std::uint64_t offset = 0; // address minus the module's load address
    std::uint64_t size = 0; // 0 when the symbol carries no size
    std::string name; // mangled as stored in the symbol table
};

// The nearest-procedure table of one module, sorted by offset.
class TCrashFunctionsList
{
public:
    void add(std::uint64_t offset, std::uint64_t size, std::string name);
    void sort(); // after the last add
    // The last procedure at or below the offset, or nullptr.
    const TCrashFunction *findNearest(std::uint64_t offset) const;
    std::size_t count() const { return m_items.size(); }
    const std::vector<TCrashFunction> &items() const { return m_items; }

private:
    std::vector<TCrashFunction> m_items;
};

// Which source answers for a module's addresses (besides its own line table).
enum class TCrashDebugSourceKind : std::uint8_t {
    None = 0, // only the procedure table
    Dwarf = 1, // DWARF in the file or a separate debug file
    MapFile = 2, // "<module>.map"
    Jdbg = 3, // "<module>.jdbg"
    TD32 = 4, // "<module>.tds"
};

// One loaded module. Records are owned by TCrashModulesList and stay valid
// (shared ownership) while a stack entry refers to them.
struct TCrashModule {
    std::uint64_t handle = 0; // load address: the lowest mapped address of the module
    std::uint64_t startAddress = 0; // same as handle
    std::uint64_t endAddress = 0; // one past the highest mapped address
    std::uint64_t loadBias = 0; // added to the file's virtual addresses (dlpi_addr)
    std::uint64_t codeOffset = 0; // file virtual address of the first executable segment
    std::string fileName; // full path
    std::string description; // version description, empty when none is known
    std::string version; // "6.4.2" from libfoo.so.6.4.2, or the program's own version
    std::uint64_t size = 0; // file size in bytes
    std::time_t modified = 0; // file modification time (seconds since the epoch, UTC)
    // Build time: the one the build tool wrote into the module's data block; without one, the
    // modification time of the module file (which copying changes); 0 when neither is known.
    std::time_t buildTime = 0;
    bool isMainProgram = false;
    bool hasLibraryData = false; // the module carries the library's options data block
    // The module's own options, read from its data block; nullptr without a sound block.
    std::shared_ptr<const TCrashModuleOptionsEx> options;
    TCrashFunctionsList functions; // exported and local procedures
    TCrashDebugSourceKind debugSourceKind = TCrashDebugSourceKind::None;
    std::string debugSourceFile; // file that carries the debug information
    std::shared_ptr<TCRDebugInfoSource> debugSource; // map/JDBG/TD32 reader, may be empty
    std::shared_ptr<const TCrashLineTable> lineTable; // the module's own line table, may be empty

    bool contains(std::uint64_t address) const { return address >= startAddress && address < endAddress; }
    std::string baseName() const; // file name without folder
    std::string folder() const; // folder without the final '/'
};

using TCrashModulePtr = std::shared_ptr<const TCrashModule>;

// The module list, sorted by handle. Thread-safe.
class TCrashModulesList
{
public:
    // The record of the module holding the address, made on first use; nullptr when the
    // address is in no module.
    TCrashModulePtr findByAddress(std::uint64_t address);
    // The record of a module by handle (load address), made on first use.
    TCrashModulePtr findByHandle(std::uint64_t handle);
    // Drops modules that are no longer loaded, adds the loaded ones, sorts by handle.
    void refresh();
    // Drops records whose file's modification time changed, so they are read again.
    void dropChanged();
    std::vector<TCrashModulePtr> snapshot() const; // sorted by handle
    std::size_t count() const;
    void clear();

    // The process-wide list (refreshed on demand).
    static TCrashModulesList &instance();

    // The version reported for the program itself (set by the host program).
    static void setProgramVersion(std::string version);
    static std::string programVersion();

private:
    mutable std::recursive_mutex m_mutex;
    std::vector<std::shared_ptr<TCrashModule>> m_items;
};

} // namespace crashreport
