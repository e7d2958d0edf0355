#pragma once
// The warning channel: failures that do not stop a report (a log that cannot be read, a mail
// that cannot be sent) are written to standard error as one line each,
//   [WARNING] - Code: eeLogError - Address: 0000555555559A10 - Message: "..."

#include <cstdint>
#include <string>

namespace crashreport
{

// Names of the warning codes, as the line shows them.
inline constexpr const char *WarningCodeLogError = "eeLogError";

// The line for one warning, without its line break. The message is cleaned of control
// characters, so that one warning is always one line.
std::string formatCrashWarning(const std::string &code, std::uint64_t address, const std::string &message);

class CrashWarningSink
{
public:
    virtual ~CrashWarningSink() = default;
    virtual void warning(const std::string &code, std::uint64_t address, const std::string &message) = 0;
};

// The channel of the process: standard error, each line written in one piece.
CrashWarningSink &standardErrorWarnings();

} // namespace crashreport
