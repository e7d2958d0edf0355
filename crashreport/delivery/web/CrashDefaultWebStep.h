#pragma once
// The library's web step: plain upload (WebMode 1 HTTP, 2 HTTPS, 3 FTP) or a tracker post
// (4 BugZilla, 5 FogBugz, 6 Mantis), with progress texts from the options' text table.

#include "CrashWebStep.h"
#include "WebAddress.h"
#include "WebTransfer.h"

#include <string>

namespace crashreport {

class TCrashDefaultWebStep : public TCrashWebStep {
public:
    TCrashWebStepResult send(const TCrashWebStepRequest &request, TCrashWebProgress &progress) override;
};

TCrashWebStep &CrashDefaultWebStep();

// The destination of the options: WebAddress with WebPort, WebUser and WebPassword in force;
// for WebMode 1 to 3 the mode decides the scheme.
TWebAddress CrashWebDestination(const TCrashModuleOptions &options);
// The proxy text of the options ("" or ":..." when none) and the settings of a transfer.
std::string CrashProxyText(const TCrashModuleOptions &options);
TWebTransferSettings CrashWebTransferSettings(const TCrashModuleOptions &options);

// "%s error code: %d%s" with " (reply)" when there is one.
std::string CrashWebErrorText(const std::string &protocol, int code, const std::string &reply);
// The tracker's message for a code of 2 to 7, two line breaks, the server's status and reason.
std::string CrashTrackerErrorText(const TCrashModuleOptions &options, int code, int statusCode,
                                  const std::string &reason);

} // namespace crashreport
