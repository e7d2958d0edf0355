#pragma once
// The send flow of a report: whether to send, the files to send, the archive, mail and web
// delivery with their events, the outcome shown to the user, the kept archive of a failed send,
// and the after-send steps (repeated-crash check, terminate or restart).
//
// The program installs it by linking crashreport_send (see SendInstall.cpp); nothing is sent
// unless the options set MailMode or WebMode.

#include "CrashSendStep.h"

namespace crashreport
{

class CrashWarningSink;
class TCrashMailClient;

class TCrashSendFlow final : public TCrashReportSender
{
public:
    // Null: standard error, and the desktop's mail tools.
    explicit TCrashSendFlow(CrashWarningSink *warnings = nullptr, TCrashMailClient *mailClient = nullptr);

    // With SendFlags 0x080 and a report on its worker, a TSendThread takes the sending and the
    // after-send steps over (detached); otherwise they run here.
    TCrashSendOutcome send(const TCrashModuleOptions &options, const TCrashSendRequest &request) override;

    // The send procedure alone; true when every configured way succeeded.
    bool sendProcedure(const TCrashModuleOptions &options, const TCrashSendRequest &request, bool background);

    // A send mode is set, the report is no duplicate, and the user asked or was not asked.
    static bool mustSend(const TCrashModuleOptions &options, const TCrashSendRequest &request);
    // The repeated-crash check on top of the action asked for before sending.
    static TCrashEndAction afterSendAction(
        const TCrashModuleOptions &options, const TCrashSendRequest &request);

private:
    CrashWarningSink *m_warnings;
    TCrashMailClient *m_mailClient;
};

// Waits until no TSendThread runs; false when one still runs after timeoutMs.
bool CrashWaitForSendThreads(int timeoutMs);

} // namespace crashreport
