#pragma once
// The running processes, as the crash report lists them. Plain C++ (no Qt).

#include <cstdint>
#include <string>
#include <vector>

namespace crashreport
{

// Priority classes as the report names them ("Normal", "Low", ...).
enum class TCrashPriorityClass : std::uint8_t {
    Unknown = 0,
    Normal,
    Low, // nice >= 10
    BelowNormal, // nice 1..9
    AboveNormal, // nice -1..-9
    High, // nice <= -10
    RealTime, // SCHED_FIFO / SCHED_RR
};

// "Normal", "Low", "High", "Real-Time", "Below-Normal", "Above-Normal", "" for others.
const char *CrashPriorityClassName(TCrashPriorityClass p);

struct TCrashProcess {
    std::uint32_t id = 0;
    std::string fileName; // full path of the executable ("" when not readable), else the command name
    std::string description; // the command name (comm)
    std::string version; // empty unless the file name carries one
    TCrashPriorityClass priority = TCrashPriorityClass::Unknown;
    std::uint64_t memory = 0; // resident set size in bytes
    std::uint32_t threads = 0; // 0 when unknown (printed "??")

    std::string baseName() const; // file name without folder
    std::string folder() const; // folder without the final '/'
};

// Sorted by process id.
class TCrashProcessesList
{
public:
    // Reads /proc afresh. procRoot is for tests ("/proc" by default).
    void refresh(const std::string &procRoot = "/proc");
    std::size_t count() const { return m_items.size(); }
    const TCrashProcess &operator[](std::size_t i) const { return m_items[i]; }
    const std::vector<TCrashProcess> &items() const { return m_items; }
    void clear() { m_items.clear(); }

private:
    std::vector<TCrashProcess> m_items;
};

} // namespace crashreport
