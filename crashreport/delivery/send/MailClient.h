#pragma once
// The user's mail client as the send flow reaches it: "xdg-email" composes a message with the
// archive attached; "xdg-open" opens a "mailto:" link. Both are looked up on PATH and waited for.

#include <string>
#include <vector>

namespace crashreport
{

struct TCrashProgramRun {
    bool started = false;
    bool ended = false; // it ended and its exit code was read
    int exitCode = -1;
    std::string error; // the system's text when it could not be started or waited for
};

class TCrashMailClient
{
public:
    virtual ~TCrashMailClient() = default;
    virtual TCrashProgramRun compose(const std::vector<std::string> &recipients, const std::string &subject,
        const std::string &body, const std::vector<std::string> &attachments)
        = 0;
    virtual TCrashProgramRun openLink(const std::string &link) = 0;
};

// The desktop's tools (xdg-email, xdg-open).
TCrashMailClient &CrashDesktopMailClient();

} // namespace crashreport
