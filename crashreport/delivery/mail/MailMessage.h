#pragma once
// The MIME message of one crash-report mail, built as bytes before anything
// is sent: headers, a text part, each attachment in base64 lines of 80
// characters, the closing boundary, SMTP dot transparency and the final ".".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

inline constexpr std::string_view MailBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
inline constexpr std::string_view MailMessageIdDomain = "crashreport.invalid";

// A calendar time with its offset from UTC, as the Date header shows it.
struct MailDateTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;
    int weekday = 4; // 0 Sunday .. 6 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetMinutes = 0; // east of UTC is positive
};

struct MailAttachment {
    std::string sentName;
    std::string data;
};

struct MailMessageParts {
    MailDateTime date;
    std::string senderHeader;
    std::string subject;
    std::string recipient;
    std::uint64_t messageTick = 0;
    std::string body;
    std::vector<MailAttachment> attachments;
};

// "Thu, 10 Dec 2026 04:43:31 +0100".
std::string FormatMailDate(const MailDateTime &date);
// The local time of a POSIX time stamp with the local offset from UTC.
MailDateTime LocalMailDateTime(std::int64_t unixSeconds);

// Every run of control characters (below 32 and 127) becomes one blank, so
// no header value or SMTP argument can end its line early.
std::string CleanHeaderValue(std::string_view value);

// The From header: MailFrom unchanged when it holds a double quote or "<",
// otherwise "\"<user name>\" <<address>>"; cleaned of control characters.
std::string SenderHeader(std::string_view mailFrom, std::string_view userName);
// The address for MAIL FROM: what follows the first "\" <" without the
// header's last character; the whole header when it has no such place.
std::string EnvelopeSender(std::string_view senderHeader);

// "image/png" for a ".png" name in any case, else "application/octet-stream".
std::string AttachmentContentType(std::string_view sentName);

// The headers and parts, each line ended by CR LF, before dot transparency.
std::string BuildMailMessage(const MailMessageParts &parts);
// Lone CR or LF become CR LF, a line that begins with "." gets a second "."
// in front, and a line holding only "." ends the text.
std::string MailDataPayload(std::string_view message);

} // namespace crashreport
