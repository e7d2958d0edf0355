#pragma once
// The Linux source of the report's user, computer, system and network values.
//
// Files are read below a root folder ("/" normally) so that tests can give fixed copies of
// /proc, /etc and /sys. The default printer is taken from $PRINTER, $LPDEST or the "Default"
// line of the CUPS lpoptions files; no command is run.

#include "ReportInput.h"
#include "ReportSources.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crashreport {

class LinuxSystemInfo final : public SystemInfoSource {
public:
    // root: folder that stands for "/" when reading files; diskPath: file system of the disk items.
    explicit LinuxSystemInfo(std::string root = "/", std::string diskPath = "/");

    UserValues user() const override;
    ComputerValues computer() const override;
    OsValues operatingSystem() const override;
    NetworkValues network() const override;

private:
    std::string path(const char *absolute) const;
    std::string m_root;
    std::string m_diskPath;
};

// Parsers of the system files, used by LinuxSystemInfo.
struct MemInfo {
    std::optional<std::uint64_t> total; // bytes
    std::optional<std::uint64_t> available;
};
MemInfo parseMemInfo(const std::string &text);
// "2 x Intel(R) Core(TM) i5" (count only when above 1), empty when unknown.
std::string parseCpuInfo(const std::string &text);
// PRETTY_NAME, else NAME and VERSION.
std::string parseOsRelease(const std::string &text);
// The name servers in order.
std::vector<std::string> parseResolvConf(const std::string &text);
// Gateway of the default route as dotted text (of the interface when given), empty when none.
std::string parseDefaultGateway(const std::string &routeText, const std::string &interfaceName = {});
// The default printer named in an lpoptions file, empty when none.
std::string parseLpOptionsDefault(const std::string &text);
// Language ("en_US") and character set ("UTF-8") of a locale name such as "en_US.UTF-8@euro".
std::pair<std::string, std::string> splitLocaleName(const std::string &name);
// The first field of a passwd gecos entry.
std::string fullNameFromGecos(const std::string &gecos);

// The command line from /proc/self/cmdline's NUL-separated arguments; arguments with blanks or
// quotes, and empty ones, are put in double quotes.
std::string joinCommandLine(const std::string &cmdline);
// Start time of a process from its /proc/<pid>/stat and the boot time in /proc/stat.
std::optional<std::time_t> processStartTime(const std::string &statText, const std::string &procStatText,
                                            long ticksPerSecond);
// Module name, command line and start time of this process, with the version values given; a
// build time of 0 becomes the modification time of the program file.
ApplicationValues currentApplicationValues(const std::string &version, const std::string &description = {},
                                           std::time_t buildTime = 0);

// Whole file as text; empty when unreadable. Reads at most maxBytes.
std::string readSmallFile(const std::string &path, std::size_t maxBytes = 1 << 20);

} // namespace crashreport
