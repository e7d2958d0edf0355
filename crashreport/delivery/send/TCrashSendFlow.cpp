#include "TCrashSendFlow.h"

#include "CrashModuleOptions.h"
#include "CrashWebStepInUse.h"
#include "KeptArchives.h"
#include "MailClient.h"
#include "RepeatedCrash.h"
#include "SendContext.h"
#include "SentFileName.h"
#include "TSendThread.h"

#include <filesystem>

namespace crashreport
{

TCrashSendFlow::TCrashSendFlow(CrashWarningSink *warnings, TCrashMailClient *mailClient)
    : m_warnings(warnings)
    , m_mailClient(mailClient)
{
}

bool TCrashSendFlow::mustSend(const TCrashModuleOptions &options, const TCrashSendRequest &request)
{
    return (options.mailMode() != 0 || options.webMode() != 0) && !request.duplicate
        && (request.sendRequested || request.dialogStyle == 0);
}

TCrashEndAction TCrashSendFlow::afterSendAction(
    const TCrashModuleOptions &options, const TCrashSendRequest &request)
{
    if (options.repeatAction() != 0
        && isRepeatedCrash(request.repeatList, options.repeatLimit(), options.repeatMinutes()))
        return options.repeatAction() == 2 ? EndRestart : EndTerminate;
    return request.endAction;
}

bool TCrashSendFlow::sendProcedure(
    const TCrashModuleOptions &options, const TCrashSendRequest &request, bool background)
{
    TCrashSendContext context(options, request, CrashReportPresenter(),
        m_mailClient ? *m_mailClient : CrashDesktopMailClient(), CrashWebStepInUse(),
        m_warnings ? *m_warnings : standardErrorWarnings(), background);
    context.computerName = sendComputerName();
    bool sent = true;
    try {
        // 1. The files.
        writeSendFiles(context);
        // 2. Mail.
        if (options.mailMode() != 0) {
            packSendFiles(context, true);
            sent = sendByMail(context) && sent;
        }
        // 3. Web, with the mail package when it holds the same files.
        if (options.webMode() != 0) {
            if (options.mailMode() == 0 || options.appendLogs())
                packSendFiles(context, false);
            sent = sendToWeb(context) && sent;
        }
        closeSendProgress(context);
        // 4. The report on the clipboard.
        if (!sent && (options.behaviour() & 0x10))
            context.presenter.copyToClipboard(request.reportText);
        // 5. The outcome.
        if ((options.sendFlags() & 0x002) && !context.bugClosed)
            context.presenter.messageBox(context.text(0), context.text(sent ? 144 : 145), sent ? 0 : 1);
        // 6. The archive of a failed send, beside the log.
        if (!sent && (options.behaviour() & 0x20) && !context.archive.empty()
            && !request.logFileName.empty()) {
            const std::string folder = std::filesystem::path(request.logFileName).parent_path().string();
            const std::string name = sentFileName(
                "BugReport.zip", options.sendFlags(), request.exceptionTime, context.computerName);
            std::string error;
            if (!keepFailedArchive(context.archive, folder.empty() ? "." : folder, name, error))
                context.warnings.warning(
                    "eeNone", request.record.address, "Cannot keep the archive: " + error);
        }
    } catch (const std::exception &e) {
        sent = false;
        context.warnings.warning("eeNone", request.record.address, std::string("[Send] ") + e.what());
    } catch (...) {
        sent = false;
        context.warnings.warning("eeNone", request.record.address, "General 'Send' error.");
    }
    // 7. Nothing stays in the temporary folder.
    closeSendProgress(context);
    removeSendFiles(context);
    return sent;
}

TCrashSendOutcome TCrashSendFlow::send(const TCrashModuleOptions &options, const TCrashSendRequest &request)
{
    TCrashSendOutcome outcome;
    outcome.endAction = request.endAction;
    try {
        if (mustSend(options, request)) {
            outcome.attempted = true;
            if ((options.sendFlags() & 0x080) && request.onWorkerThread
                && TSendThread::start(*this, options, request)) {
                outcome.detached = true;
                return outcome;
            }
            outcome.sent = sendProcedure(options, request, false);
        }
        outcome.endAction = afterSendAction(options, request);
    } catch (...) {
        // the report sequence goes on as asked before sending
    }
    return outcome;
}

} // namespace crashreport
