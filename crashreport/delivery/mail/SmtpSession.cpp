#include "SmtpSession.h"

#include "Base64.h"
#include "MailEnvironment.h"
#include "MailSystem.h"
#include "TCrashClientSMTP.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

namespace crashreport {

std::vector<MailAttachment> ReadMailAttachments(const std::vector<MailAttachmentFile> &files)
{
    std::vector<MailAttachment> out;
    for (const MailAttachmentFile &file : files) {
        std::ifstream in(file.path, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream data;
        data << in.rdbuf();
        if (in.bad())
            continue;
        out.push_back({ file.sentName, std::move(data).str() });
    }
    return out;
}

SmtpSessionFigures SendMailSession(const SmtpSessionRequest &request)
{
    const auto started = std::chrono::steady_clock::now();
    auto step = [&](SmtpStep s) {
        if (request.onStep)
            request.onStep(s);
    };

    TCrashClientSMTP smtp(request.host, MailTimeout(request.timeoutMs), request.port);
    smtp.setSilenceMs(MailTimeout(smtp.silenceMs()));
    if (request.onSent)
        smtp.setOnSent([&](TCrashClientSocket &, std::size_t sent, std::size_t total) { request.onSent(sent, total); });

    step(SmtpStep::Connecting);
    smtp.connect();

    const std::string sender
        = SenderHeader(request.mailFrom, request.userName.empty() ? MailUserName() : request.userName);
    const std::string envelope = CleanHeaderValue(EnvelopeSender(sender));
    const std::string recipient = CleanHeaderValue(request.recipient);
    const std::string hostName = CleanHeaderValue(request.hostName.empty() ? MailHostName() : request.hostName);

    step(SmtpStep::Greeting);
    if (request.authenticate) {
        smtp.command("EHLO " + hostName, { 250 });
        if (TCrashClientSMTP::offersExtension(smtp.lastReply(), "STARTTLS")) {
            // The password must not cross the network in clear: once the
            // server offers TLS there is no way back to a plain session.
            smtp.command("STARTTLS", { 220 });
            smtp.startTls(request.caFile);
            smtp.command("EHLO " + hostName, { 250 });
        }
        smtp.command("RSET", { 250 });
        smtp.command("AUTH LOGIN", { 334 });
        smtp.command(Base64Encode(request.login), { 334 });
        smtp.command(Base64Encode(request.password), { 235 }, "********");
    } else {
        smtp.command("HELO " + hostName, { 250 });
        smtp.command("RSET", { 250 });
    }
    smtp.command("MAIL FROM:<" + envelope + ">", { 250 });
    smtp.command("RCPT TO:<" + recipient + ">", { 250, 251 });
    smtp.command("DATA", { 354 });

    MailMessageParts parts;
    parts.date = LocalMailDateTime(static_cast<std::int64_t>(std::time(nullptr)));
    parts.senderHeader = sender;
    parts.subject = request.subject;
    parts.recipient = recipient;
    parts.messageTick = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(started.time_since_epoch()).count());
    parts.body = request.body;
    parts.attachments = ReadMailAttachments(request.attachments);
    const std::string payload = MailDataPayload(BuildMailMessage(parts));

    step(SmtpStep::SendingMessage);
    smtp.sendMessage(payload, { 250 });
    // No QUIT: the session ends by closing the socket.
    smtp.disconnect();

    SmtpSessionFigures figures;
    figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    figures.waitingSeconds = std::chrono::duration<double>(smtp.waitedTime()).count();
    return figures;
}

} // namespace crashreport
