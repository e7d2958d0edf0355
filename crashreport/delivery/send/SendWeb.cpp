// Sending to the web destination through the installed web step, with the events, the retry
// loop and the tracker's result codes.

#include "SendContext.h"

#include "CrashModuleOptions.h"
#include "CrashWebStepInUse.h"
#include "SendEvents.h"

#include <atomic>

namespace crashreport
{

namespace
{
    std::atomic<TCrashWebStep *> installedWebStep { nullptr };

    class ProgressToWindow final : public TCrashWebProgress
    {
    public:
        explicit ProgressToWindow(TCrashSendContext &context)
            : m_context(context)
        {
        }
        void update(const std::string &label, int position, int maximum) override
        {
            if (m_context.progressShown)
                m_context.presenter.progressUpdate(label, position, maximum);
        }

    private:
        TCrashSendContext &m_context;
    };

    const char *webWarningCode(int webMode)
    {
        switch (webMode) {
        case 2:
            return eeWebHTTPSError;
        case 3:
            return eeWebFTPError;
        case 4:
        case 5:
        case 6:
            return eeWebTrakerError;
        default:
            return eeWebHTTPError;
        }
    }

    // Texts 147, 148, 150, 149, 151, 152 for the tracker's codes 2 to 7.
    int trackerTextId(int code)
    {
        static const int ids[] = { 147, 148, 150, 149, 151, 152 };
        return code >= 2 && code <= 7 ? ids[code - 2] : 147;
    }

    bool attempt(TCrashSendContext &context, const std::vector<std::pair<std::string, std::string>> &fields)
    {
        const TCrashModuleOptions &o = context.options;
        const TCrashSendRequest &r = context.request;
        TCrashWebStep *step = context.webStep;
        if (!step) {
            sendWarning(context, eeWebHTTPError, "No web delivery is available in this program.");
            return false;
        }
        TCrashWebStepRequest web;
        web.options = &o;
        web.packageFiles = context.package;
        web.customFields = fields;
        web.applicationVersion = r.applicationVersion;
        web.exceptionClass = r.record.className;
        web.exceptionMessage = r.record.message;
        web.bugId = r.bugId;
        web.reproduceText = r.reproduceText;
        web.trialId = o.trackerIdentifier();
        web.osType = r.osType;
        web.osBuild = r.osBuild;
        ProgressToWindow progress(context);
        TCrashWebStepResult result;
        try {
            result = step->send(web, progress);
        } catch (const std::exception &e) {
            sendWarning(context, webWarningCode(o.webMode()), std::string("[Web] ") + e.what());
            return false;
        } catch (...) {
            sendWarning(context, webWarningCode(o.webMode()), "General 'Web' error.");
            return false;
        }
        const bool tracker = o.webMode() >= 4 && o.webMode() <= 6;
        if (tracker && result.trackerCode >= 0) {
            if (result.trackerCode == 0)
                return true;
            if (result.trackerCode == 1) {
                context.bugClosed = true;
                if (context.progressShown)
                    context.presenter.messageBox(context.text(0), context.text(146), 0);
                return true;
            }
            // The step gives the server's part ("Error Code: ..."); the message of the code leads.
            const std::string message = context.text(trackerTextId(result.trackerCode));
            std::string text = result.warningText;
            if (text.rfind(message, 0) != 0)
                text = message + "\r\n\r\n" + text;
            sendWarning(context, eeWebTrakerError, text);
            return false;
        }
        if (result.sent)
            return true;
        sendWarning(context, result.warningCode.empty() ? webWarningCode(o.webMode()) : result.warningCode,
            result.warningText);
        return false;
    }
} // namespace

void CrashSetWebStep(TCrashWebStep *step)
{
    installedWebStep.store(step);
}

TCrashWebStep *CrashWebStepInUse()
{
    return installedWebStep.load();
}

bool sendToWeb(TCrashSendContext &context)
{
    const TCrashEventRecord &record = context.request.record;
    bool handled = true;
    sendActionEvent(record, 6, handled);
    if (!handled)
        return false;
    std::vector<std::pair<std::string, std::string>> fields;
    sendCustomWebFieldsEvent(record, fields);
    bool sent = false;
    for (;;) {
        openSendProgress(context);
        sent = attempt(context, fields);
        closeSendProgress(context);
        if (sent)
            break;
        bool retry = false;
        sendErrorEvent(record, 7, retry);
        if (!retry)
            break;
    }
    bool flag = true;
    sendActionEvent(record, 7, flag);
    return sent;
}

} // namespace crashreport
