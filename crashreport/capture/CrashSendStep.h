#pragma once
// The send step of a report: where the report sequence hands a saved report to delivery, and
// where the after-send steps (the repeated-crash check, terminate or restart) are decided.
// Until a sender is installed nothing is sent and the report sequence ends the process itself
// when that was asked for.

#include "CrashCapture.h"

#include <ctime>
#include <string>
#include <vector>

namespace crashreport
{

class TCrashModuleOptions;

// How a report ends once it has been sent: go on, terminate, or restart and terminate.
enum TCrashEndAction : int { EndContinue = 0, EndTerminate = 1, EndRestart = 2 };

struct TCrashSendRequest {
    std::string reportText; // the report, or the whole log when the options ask for it
    std::string logFileName;
    std::vector<std::string> attachedFiles;
    std::string screenshotFile; // empty: none
    std::string reproduceText;
    std::string emailAddress;

    // What the send events receive, and the facts of the exception for the trackers.
    TCrashEventRecord record;
    std::string bugId;
    std::time_t exceptionTime = 0;
    std::string applicationVersion;
    std::string osType;
    std::string osBuild;

    // Whether the report is to be sent at all.
    int dialogStyle = 0; // in force after the filters; 0: no dialog, so nobody could be asked
    bool sendRequested = false; // the user asked to send
    bool duplicate = false; // the log already holds the same error

    std::string lastHtmlPage; // SendFlags 0x040; empty: none
    std::vector<std::string> xmlReports; // the reports of the XML copy (SendFlags 0x008)
    bool canShowWindows = false; // the progress window and message boxes can be shown
    bool onWorkerThread = false; // the report runs on its worker, so sending may go to the background

    // The after-send steps.
    TCrashEndAction endAction = EndContinue; // asked for before sending (user or filter)
    std::vector<std::string> repeatList; // the RepeatList after this report was added
};

struct TCrashSendOutcome {
    bool attempted = false; // the send procedure ran
    bool sent = false; // every configured way succeeded
    // After the repeated-crash check; the report sequence carries it out.
    TCrashEndAction endAction = EndContinue;
    // A background send thread took the rest over, ending the process included.
    bool detached = false;
};

class TCrashReportSender
{
public:
    virtual ~TCrashReportSender() = default;
    // Sends when the report is to be sent, then runs the after-send steps. Never throws.
    virtual TCrashSendOutcome send(const TCrashModuleOptions &options, const TCrashSendRequest &request) = 0;
};

// The sender in use, or null: none installed.
TCrashReportSender *CrashReportSender();
void CrashSetReportSender(TCrashReportSender *sender);

// Ends the process with exit code 1; EndRestart first starts the program again (same arguments,
// start folder). EndContinue returns at once.
void CrashEndProcess(TCrashEndAction action);

} // namespace crashreport
