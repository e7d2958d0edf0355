#pragma once
// The values of the report's general sections and the small interfaces that deliver them.
// The Linux implementation of SystemInfoSource reads the system; the program side fills the
// display and focus interfaces where it knows them; tests feed fixed values.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace crashreport {

struct UserValues {
    std::string login;      // 3.1
    std::string fullName;   // 3.2
    std::string email;      // 3.3
    std::string company;    // 3.4
    std::string privileges; // 3.5
};

struct ActiveControlValues {
    std::string formClass;
    std::string formText;
    std::string controlClass;
    std::string controlText;
    bool controlIsPassword = false; // the text is reported as asterisks
};

struct DisplayValues {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int dpi = 0;
};

struct ComputerValues {
    std::string name;
    std::optional<std::uint64_t> totalMemory; // bytes
    std::optional<std::uint64_t> freeMemory;
    std::optional<std::uint64_t> totalDisk;
    std::optional<std::uint64_t> freeDisk;
    std::optional<std::int64_t> upTimeSeconds;
    std::string processor;
    std::optional<DisplayValues> display; // "unknown" in the report when absent
    std::string videoCard;
    std::string printer;
};

struct OsValues {
    std::string type;
    std::string build;
    std::string update;
    std::string language;
    std::string charset;
};

struct NetworkValues {
    std::string ipAddress;
    std::string submask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
    std::string dhcp;
};

// The operating system's view of user, computer, system and network.
class SystemInfoSource {
public:
    virtual ~SystemInfoSource() = default;
    virtual UserValues user() const = 0;
    virtual ComputerValues computer() const = 0;
    virtual OsValues operatingSystem() const = 0;
    virtual NetworkValues network() const = 0;
};

// Screen data; a toolkit side fills it. Absent: reported as "unknown".
class DisplayInfoSource {
public:
    virtual ~DisplayInfoSource() = default;
    virtual std::optional<DisplayValues> display() const = 0;
};

// The focused window and control; the program side fills it. Empty when unknown.
class ActiveControlsSource {
public:
    virtual ~ActiveControlsSource() = default;
    virtual ActiveControlValues activeControls() const = 0;
};

// What the thread registry knows about a thread, for the call-stack captions.
struct ThreadValues {
    std::string priority;  // as text; "??" is written when the thread is unknown
    std::string className; // runtime thread class, empty for plain threads
    bool isMain = false;
};

class ThreadInfoSource {
public:
    virtual ~ThreadInfoSource() = default;
    // Empty when the thread is not in the registry.
    virtual std::optional<ThreadValues> thread(std::uint64_t threadId) const = 0;
};

} // namespace crashreport
