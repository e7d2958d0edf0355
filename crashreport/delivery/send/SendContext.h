#pragma once
// The state of one run of the send procedure, shared by its steps (files, package, mail, web).

#include "CrashSendStep.h"
#include "CrashShowStep.h"
#include "CrashWarning.h"

#include <string>
#include <vector>

namespace crashreport
{

class TCrashMailClient;
class TCrashModuleOptions;
class TCrashWebStep;

// Names of TCrashReportErrorCode, as the warning channel writes them.
inline constexpr const char *eeEmailMAPIError = "eeEmailMAPIError";
inline constexpr const char *eeEmailShellError = "eeEmailShellError";
inline constexpr const char *eeEmailSMTPError = "eeEmailSMTPError";
inline constexpr const char *eeWebHTTPError = "eeWebHTTPError";
inline constexpr const char *eeWebHTTPSError = "eeWebHTTPSError";
inline constexpr const char *eeWebFTPError = "eeWebFTPError";
inline constexpr const char *eeWebTrakerError = "eeWebTrakerError";

struct TCrashSendContext {
    TCrashSendContext(const TCrashModuleOptions &o, const TCrashSendRequest &r, TCrashReportPresenter &p,
        TCrashMailClient &m, TCrashWebStep *w, CrashWarningSink &s, bool b)
        : options(o)
        , request(r)
        , presenter(p)
        , mailClient(m)
        , webStep(w)
        , warnings(s)
        , background(b)
    {
    }

    const TCrashModuleOptions &options;
    const TCrashSendRequest &request;
    TCrashReportPresenter &presenter;
    TCrashMailClient &mailClient;
    TCrashWebStep *webStep = nullptr;
    CrashWarningSink &warnings;
    bool background = false; // on a TSendThread

    bool bugClosed = false; // the tracker said the bug is closed
    bool progressShown = false;

    std::string folder; // private temporary folder of this send; empty: none could be made
    std::string reportFile;
    std::string htmlFile;
    std::string xmlFile;
    std::string archive;
    std::vector<std::string> package; // the archive, or nothing
    std::string computerName;

    // The options' text of that id.
    std::string text(int id) const;
};

// The warning channel: standard error (or the context's sink), and with the progress window
// shown, a message box "Error." for the delivery codes.
void sendWarning(TCrashSendContext &context, const std::string &code, const std::string &text);

// The progress window (SendFlags 0x001, windows available); label updates only when shown.
void openSendProgress(TCrashSendContext &context);
void updateSendProgress(TCrashSendContext &context, const std::string &label, int percent);
void closeSendProgress(TCrashSendContext &context);

// The files of step 1 in the private temporary folder; their removal with the folder.
void writeSendFiles(TCrashSendContext &context);
void removeSendFiles(TCrashSendContext &context);
// Packs the files to send into the archive; forMail leaves the report text out with AppendLogs.
void packSendFiles(TCrashSendContext &context, bool forMail);

bool sendByMail(TCrashSendContext &context);
bool sendToWeb(TCrashSendContext &context);

} // namespace crashreport
