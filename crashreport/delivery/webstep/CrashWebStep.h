#pragma once
// The web step of the send flow: uploads the package (HTTP, HTTPS, FTP) or files it in an issue
// tracker (BugZilla, FogBugz, Mantis), as the options' WebMode says. The send flow owns the
// loop around it (events, retry, outcome, warnings shown in a box); the step only transfers and
// says how it went.

#include <string>
#include <utility>
#include <vector>

namespace crashreport
{

class TCrashModuleOptions;

struct TCrashWebStepRequest {
    // WebMode, WebAddress, WebPort, WebUser, WebPassword, the proxy options, the tracker texts
    // and the certificate-authority file. Never null.
    const TCrashModuleOptions *options = nullptr;
    std::vector<std::string> packageFiles; // full paths; a tracker attaches the first
    std::vector<std::pair<std::string, std::string>> customFields; // CustomWebFieldsRequest, uploads
    // For the trackers' search text and entry title, and their extra fields.
    std::string applicationVersion;
    std::string exceptionClass;
    std::string exceptionMessage;
    std::string bugId;
    std::string reproduceText;
    std::string trialId; // FogBugzTrialID
    std::string osType;
    std::string osBuild;
};

struct TCrashWebStepResult {
    bool sent = false;
    // Modes 4 to 6: the tracker's result code (0 sent, 1 closed, 2 unknown error, 3 invalid login,
    // 4 invalid selection, 5 invalid search, 6 invalid insert, 7 invalid modify); -1 otherwise.
    int trackerCode = -1;
    // When not sent: the warning's code (the name of TCrashReportErrorCode: "eeWebHTTPError",
    // "eeWebHTTPSError", "eeWebFTPError" or "eeWebTrakerError") and its whole text.
    std::string warningCode;
    std::string warningText;
};

// Where the step reports progress; the send flow shows it in the progress window.
class TCrashWebProgress
{
public:
    virtual ~TCrashWebProgress() = default;
    virtual void update(const std::string &label, int position, int maximum) = 0;
};

class TCrashWebStep
{
public:
    virtual ~TCrashWebStep() = default;
    // One attempt; never throws.
    virtual TCrashWebStepResult send(const TCrashWebStepRequest &request, TCrashWebProgress &progress) = 0;
};

} // namespace crashreport
