#include "MailMessage.h"

#include "Base64.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace crashreport {

namespace {

constexpr const char *DayNames[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
constexpr const char *MonthNames[]
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
constexpr std::size_t Base64LineLength = 80;

bool isControl(unsigned char c) { return c < 32 || c == 127; }

bool hasNonAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 128)
            return true;
    return false;
}

} // namespace

std::string FormatMailDate(const MailDateTime &date)
{
    const int weekday = date.weekday >= 0 && date.weekday < 7 ? date.weekday : 0;
    const int month = date.month >= 1 && date.month <= 12 ? date.month : 1;
    // Half-hour zones keep their minutes: "+0530", not "+0500".
    const int offset = std::abs(date.utcOffsetMinutes);
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d", DayNames[weekday], date.day,
        MonthNames[month - 1], date.year, date.hour, date.minute, date.second,
        date.utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
    return text;
}

MailDateTime LocalMailDateTime(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm local {};
    localtime_r(&t, &local);
    MailDateTime date;
    date.year = local.tm_year + 1900;
    date.month = local.tm_mon + 1;
    date.day = local.tm_mday;
    date.weekday = local.tm_wday;
    date.hour = local.tm_hour;
    date.minute = local.tm_min;
    date.second = local.tm_sec;
    date.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return date;
}

std::string CleanHeaderValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    bool inRun = false;
    for (unsigned char c : value) {
        if (isControl(c)) {
            if (!inRun)
                out += ' ';
            inRun = true;
        } else {
            out += static_cast<char>(c);
            inRun = false;
        }
    }
    return out;
}

std::string SenderHeader(std::string_view mailFrom, std::string_view userName)
{
    if (mailFrom.find('"') != std::string_view::npos || mailFrom.find('<') != std::string_view::npos)
        return CleanHeaderValue(mailFrom);
    std::string header = "\"";
    header += userName;
    header += "\" <";
    header += mailFrom;
    header += '>';
    return CleanHeaderValue(header);
}

std::string EnvelopeSender(std::string_view senderHeader)
{
    const std::size_t at = senderHeader.find("\" <");
    if (at == std::string_view::npos)
        return std::string(senderHeader);
    std::string_view rest = senderHeader.substr(at + 3);
    if (!rest.empty())
        rest.remove_suffix(1);
    return std::string(rest);
}

std::string AttachmentContentType(std::string_view sentName)
{
    if (sentName.size() >= 4) {
        std::string ext(sentName.substr(sentName.size() - 4));
        for (char &c : ext)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (ext == ".PNG")
            return "image/png";
    }
    return "application/octet-stream";
}

std::string BuildMailMessage(const MailMessageParts &parts)
{
    const std::string boundary(MailBoundary);
    std::size_t size = 1024 + parts.body.size();
    for (const MailAttachment &file : parts.attachments)
        size += 512 + file.data.size() / 3 * 4 + file.data.size() / 30;
    std::string m;
    m.reserve(size);
    m += "Date: " + FormatMailDate(parts.date) + "\r\n";
    m += "From: " + CleanHeaderValue(parts.senderHeader) + "\r\n";
    m += "Subject: " + CleanHeaderValue(parts.subject) + "\r\n";
    m += "To: <" + CleanHeaderValue(parts.recipient) + ">\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\";\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Message-ID: <" + std::to_string(parts.messageTick) + "@" + std::string(MailMessageIdDomain) + ">\r\n";
    m += "\r\n";
    m += "This is a multi-part message in MIME format\r\n";
    m += "\r\n";
    m += "--" + boundary + "\r\n";
    // The report is UTF-8; declaring it 7-bit ASCII would mislabel it.
    if (hasNonAscii(parts.body)) {
        m += "Content-Type: text/plain; charset=UTF-8\r\n";
        m += "Content-Transfer-Encoding: 8bit\r\n";
    } else {
        m += "Content-Type: text/plain\r\n";
        m += "Content-Transfer-Encoding: 7bit\r\n";
    }
    m += "\r\n";
    m += parts.body;
    // The closing boundary must begin a line of its own.
    if (parts.attachments.empty() && !parts.body.empty() && parts.body.back() != '\n')
        m += "\r\n";
    for (const MailAttachment &file : parts.attachments) {
        const std::string name = CleanHeaderValue(file.sentName);
        m += "\r\n";
        m += "--" + boundary + "\r\n";
        m += "Content-Type: " + AttachmentContentType(name) + ";\r\n";
        m += "        name=\"" + name + "\"\r\n";
        m += "Content-Transfer-Encoding: base64\r\n";
        m += "Content-Disposition: attachment;\r\n";
        m += "        filename=\"" + name + "\"\r\n";
        m += "\r\n";
        const std::string encoded = Base64Encode(file.data);
        for (std::size_t pos = 0; pos < encoded.size(); pos += Base64LineLength) {
            m.append(encoded.data() + pos, std::min(Base64LineLength, encoded.size() - pos));
            m.append("\r\n", 2);
        }
        m += "\r\n";
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

std::string MailDataPayload(std::string_view message)
{
    std::string out;
    out.reserve(message.size() + message.size() / 64 + 8);
    std::size_t pos = 0;
    while (pos < message.size()) {
        // One line: its text up to a CR or LF, then the line break.
        const std::size_t end = std::min(message.find_first_of("\r\n", pos), message.size());
        if (message[pos] == '.')
            out += '.';
        out.append(message.data() + pos, end - pos);
        out.append("\r\n", 2);
        pos = end;
        if (pos < message.size()) {
            if (message[pos] == '\r' && pos + 1 < message.size() && message[pos + 1] == '\n')
                ++pos;
            ++pos;
        }
    }
    out.append(".\r\n", 3);
    return out;
}

} // namespace crashreport
