#include "CrashWarning.h"

#include "ReportFormat.h"

#include <cerrno>
#include <unistd.h>

namespace crashreport
{

std::string formatCrashWarning(const std::string &code, std::uint64_t address, const std::string &message)
{
    return "[WARNING] - Code: " + cleanOneLine(code) + " - Address: " + formatHex(address, 16)
        + " - Message: \"" + cleanOneLine(message) + "\"";
}

namespace
{
    class StandardErrorWarnings final : public CrashWarningSink
    {
    public:
        void warning(const std::string &code, std::uint64_t address, const std::string &message) override
        {
            const std::string line = formatCrashWarning(code, address, message) + "\n";
            std::size_t done = 0;
            while (done < line.size()) {
                const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return;
                done += std::size_t(n);
            }
        }
    };
} // namespace

CrashWarningSink &standardErrorWarnings()
{
    static StandardErrorWarnings sink;
    return sink;
}

} // namespace crashreport
