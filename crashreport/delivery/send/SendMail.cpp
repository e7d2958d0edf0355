// Sending by mail: through the user's mail client (MailMode 1, with the "mailto:" link as its
// fall-back), through the mail server MailHost (2), or to each recipient's mail exchanger (3).

#include "SendContext.h"

#include "CrashModuleOptions.h"
#include "CrashSocketError.h"
#include "MailClient.h"
#include "MailtoLink.h"
#include "MxLookup.h"
#include "SendEvents.h"
#include "SendLists.h"
#include "SmtpSession.h"

#include <filesystem>

namespace crashreport
{

namespace
{
    // Every run of control characters becomes one blank.
    std::string subjectLine(const std::string &subject)
    {
        std::string out;
        bool inRun = false;
        for (const char ch : subject) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte < 32 || byte == 127) {
                if (!inRun)
                    out += ' ';
                inRun = true;
            } else {
                out += ch;
                inRun = false;
            }
        }
        return out;
    }

    bool sendBySmtp(TCrashSendContext &context, const std::vector<std::string> &recipients,
        const std::string &subject, const std::string &body)
    {
        const TCrashModuleOptions &o = context.options;
        openSendProgress(context);
        bool anySent = false;
        if (recipients.empty())
            sendWarning(context, eeEmailSMTPError, "[SMTP] No recipient is given.");
        for (std::size_t i = 0; i < recipients.size(); ++i) {
            const std::string prefix = context.text(111) + " " + std::to_string(i + 1) + "/"
                + std::to_string(recipients.size()) + ": ";
            updateSendProgress(context, prefix, 0);
            try {
                SmtpSessionRequest r;
                if (o.mailMode() == 3) {
                    updateSendProgress(context, prefix + context.text(112), 0);
                    r.host = LookUpMailExchanger(recipients[i], 30000);
                } else {
                    r.host = o.mailHost();
                    r.login = o.mailUser();
                    r.password = o.mailPassword();
                    r.authenticate = !r.login.empty() || !r.password.empty();
                }
                r.port = o.mailPort();
                r.caFile = o.caFile();
                r.mailFrom = o.mailFrom();
                r.recipient = recipients[i];
                r.subject = subject;
                r.body = body;
                for (const std::string &file : context.package)
                    r.attachments.push_back({ file, std::filesystem::path(file).filename().string() });
                r.onStep = [&](SmtpStep step) {
                    const int id = step == SmtpStep::Connecting ? 114
                        : step == SmtpStep::Greeting            ? 115
                                                                : 116;
                    updateSendProgress(context, prefix + context.text(id), 0);
                };
                r.onSent = [&](std::size_t sent, std::size_t total) {
                    updateSendProgress(context, prefix + context.text(116),
                        total ? static_cast<int>(sent * 100 / total) : 100);
                };
                SendMailSession(r);
                anySent = true;
            } catch (const std::exception &e) {
                sendWarning(context, eeEmailSMTPError, std::string("[SMTP] ") + e.what());
            } catch (...) {
                sendWarning(context, eeEmailSMTPError, "General 'SMTP' error.");
            }
        }
        closeSendProgress(context);
        return anySent;
    }

    bool sendByClient(TCrashSendContext &context, const std::vector<std::string> &recipients,
        const std::string &subject, const std::string &body)
    {
        const TCrashProgramRun composed
            = context.mailClient.compose(recipients, subjectLine(subject), body, context.package);
        if (composed.ended && composed.exitCode == 0)
            return true;
        sendWarning(context, eeEmailMAPIError,
            composed.started ? "Cannot send the MAPI message." : "Cannot open the MAPI dll.");

        const std::string link = buildMailtoLink(recipients, subject, body, context.request.reportText);
        const TCrashProgramRun opened = context.mailClient.openLink(link);
        if (!opened.started) {
            sendWarning(context, eeEmailShellError, opened.error);
            return false;
        }
        if (!opened.ended) {
            sendWarning(context, eeEmailShellError, opened.error);
            return false;
        }
        if (opened.exitCode != 0) {
            sendWarning(context, eeEmailShellError,
                "The mail link could not be opened (exit code " + std::to_string(opened.exitCode) + ").");
            return false;
        }
        return true;
    }
} // namespace

bool sendByMail(TCrashSendContext &context)
{
    const TCrashModuleOptions &o = context.options;
    const TCrashEventRecord &record = context.request.record;
    bool handled = true;
    sendActionEvent(record, 4, handled);
    if (!handled)
        return false;
    bool sent = false;
    for (;;) {
        const std::vector<std::string> recipients = splitSendList(o.mailAddresses());
        const std::string subject = o.mailSubject();
        std::string body = o.mailMessage();
        if (o.appendLogs())
            body += "\r\n\r\n\r\n" + context.request.reportText;
        switch (o.mailMode()) {
        case 1:
            sent = sendByClient(context, recipients, subject, body);
            break;
        case 2:
        case 3:
            sent = sendBySmtp(context, recipients, subject, body);
            break;
        default:
            sent = false;
            break;
        }
        if (sent)
            break;
        bool retry = false;
        sendErrorEvent(record, 5, retry);
        if (!retry)
            break;
    }
    bool flag = true;
    sendActionEvent(record, 5, flag);
    return sent;
}

} // namespace crashreport
