#pragma once
// Fault-free access to this process's own memory. Reads go through process_vm_readv
// (or /proc/self/mem when that is refused), so an unmapped or protected address gives a
// failed read instead of a signal. The mapped ranges come from /proc/self/maps.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace crashreport
{

struct TCrashMapping {
    std::uint64_t start = 0;
    std::uint64_t end = 0; // one past
    bool readable = false;
    bool writable = false;
    bool executable = false;
    std::uint64_t fileOffset = 0;
    std::string path;
};

class TCrashMemory
{
public:
    // Copies len bytes at address into out; false (nothing promised about out) when any
    // byte is not readable.
    static bool read(std::uint64_t address, void *out, std::size_t len);
    static bool readable(std::uint64_t address, std::size_t len);
    template <typename T> static bool readValue(std::uint64_t address, T &value)
    {
        return read(address, &value, sizeof value);
    }
    // Settles how memory is read (and opens /proc/self/mem when the direct way is refused),
    // so that later reads neither open files nor allocate.
    static void prepare();
};

// A picture of /proc/self/maps; refresh() re-reads it.
class TCrashMemoryMap
{
public:
    TCrashMemoryMap() = default;
    void refresh();
    // Parses the text of a maps file (for tests and for refresh()).
    void parse(const std::string &text);
    const TCrashMapping *find(std::uint64_t address) const;
    // True when address lies in an executable mapping; re-reads the maps once when the
    // address is outside every known range and refreshOnMiss is set.
    bool isCode(std::uint64_t address, bool refreshOnMiss = false);
    const std::vector<TCrashMapping> &mappings() const { return m_maps; }

private:
    std::vector<TCrashMapping> m_maps; // sorted by start
    bool m_refreshedOnMiss = false;
};

// The executable ranges of the process, prepared before a stack scan so that the scan can
// tell code addresses without reading /proc/self/maps or allocating. Adjacent executable
// mappings are joined, so an instruction that crosses a mapping boundary stays whole.
class TCrashCodeRanges
{
public:
    struct Range {
        std::uint64_t start = 0;
        std::uint64_t end = 0; // one past
    };

    // Reads /proc/self/maps (allocates and reads a file: call it before a scan, never during).
    void prepare();
    // Takes the readable executable mappings of a picture of the maps.
    void assign(const TCrashMemoryMap &map);
    // The range holding address, or nullptr. Binary search; no allocation.
    const Range *find(std::uint64_t address) const;
    bool contains(std::uint64_t address) const { return find(address) != nullptr; }
    std::size_t count() const { return m_ranges.size(); }

private:
    std::vector<Range> m_ranges; // sorted, disjoint, not adjacent
};

} // namespace crashreport
