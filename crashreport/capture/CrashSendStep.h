#pragma once
// The send step of a report: where the report sequence hands a saved report to delivery.
// Until a sender is installed nothing is sent.

#include <string>
#include <vector>

namespace crashreport
{

class TCrashModuleOptions;

struct TCrashSendRequest {
    std::string reportText; // the report, or the whole log when the options ask for it
    std::string logFileName;
    std::vector<std::string> attachedFiles;
    std::string screenshotFile; // empty: none
    std::string reproduceText;
    std::string emailAddress;
};

class TCrashReportSender
{
public:
    virtual ~TCrashReportSender() = default;
    // Sends as the options say; true when it was sent. Never throws.
    virtual bool send(const TCrashModuleOptions &options, const TCrashSendRequest &request) = 0;
};

// The sender in use, or null: none installed.
TCrashReportSender *CrashReportSender();
void CrashSetReportSender(TCrashReportSender *sender);

} // namespace crashreport
