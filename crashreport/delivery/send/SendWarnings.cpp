#include "SendContext.h"

#include "CrashModuleOptions.h"

#include <cstring>

namespace crashreport
{

std::string TCrashSendContext::text(int id) const
{
    return options.text(static_cast<std::size_t>(id));
}

void sendWarning(TCrashSendContext &context, const std::string &code, const std::string &text)
{
    context.warnings.warning(code, context.request.record.address, text);
    static const char *const shownCodes[]
        = { eeEmailSMTPError, eeWebHTTPError, eeWebHTTPSError, eeWebFTPError, eeWebTrakerError };
    if (!context.progressShown)
        return;
    for (const char *shown : shownCodes)
        if (code == shown) {
            context.presenter.messageBox("Error.", text, 1);
            return;
        }
}

void openSendProgress(TCrashSendContext &context)
{
    const TCrashModuleOptions &o = context.options;
    if (!(o.sendFlags() & 0x001) || (o.mailMode() == 0 && o.webMode() == 0)
        || !context.request.canShowWindows)
        return;
    context.presenter.progressOpen(!context.background);
    context.progressShown = true;
}

void updateSendProgress(TCrashSendContext &context, const std::string &label, int percent)
{
    if (context.progressShown)
        context.presenter.progressUpdate(label, percent, 100);
}

void closeSendProgress(TCrashSendContext &context)
{
    if (!context.progressShown)
        return;
    context.presenter.progressClose();
    context.progressShown = false;
}

} // namespace crashreport
