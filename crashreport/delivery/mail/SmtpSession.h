#pragma once
// One SMTP session that delivers the report mail to one recipient.

#include "MailMessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace crashreport {

struct MailAttachmentFile {
    std::string path;
    std::string sentName;
};

enum class SmtpStep { Connecting, Greeting, SendingMessage };

struct SmtpSessionRequest {
    std::string host;
    std::uint16_t port = 25;
    bool authenticate = false;
    std::string login;
    std::string password;
    std::string mailFrom;
    std::string recipient;
    std::string subject;
    std::string body;
    std::vector<MailAttachmentFile> attachments; // files that do not exist are left out
    // Certificate authorities for STARTTLS; empty: the system's.
    std::string caFile;
    int timeoutMs = 30000;
    // Empty: the account's name and the machine's host name.
    std::string userName;
    std::string hostName;
    std::function<void(SmtpStep)> onStep;
    std::function<void(std::size_t sent, std::size_t total)> onSent;
};

// Time spent in one session, for the benchmark and the progress display.
struct SmtpSessionFigures {
    double wallSeconds = 0;
    double waitingSeconds = 0;
};

// Reads the attachment files that exist.
std::vector<MailAttachment> ReadMailAttachments(const std::vector<MailAttachmentFile> &files);

// Runs the whole dialogue; raises ECrashSocketError (the session log as its
// text for protocol errors) on any failure. With login, a server that offers
// STARTTLS is only spoken to over a verified TLS connection.
SmtpSessionFigures SendMailSession(const SmtpSessionRequest &request);

} // namespace crashreport
