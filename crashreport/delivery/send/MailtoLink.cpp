#include "MailtoLink.h"

namespace crashreport
{

std::string encodeMailtoText(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        const bool keep = byte == '-' || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z')
            || (byte >= 'a' && byte <= 'z') || byte >= 128;
        if (keep) {
            out += ch;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

std::string buildMailtoLink(const std::vector<std::string> &recipients, const std::string &subject,
    const std::string &body, const std::string &report, std::size_t maxLength)
{
    std::string head = "mailto:";
    for (std::size_t i = 0; i < recipients.size(); ++i) {
        if (i)
            head += ',';
        head += recipients[i];
    }
    head += "?Subject=" + encodeMailtoText(subject) + "&Body=";
    std::string link = head + encodeMailtoText(body + "\r\n\r\n\r\n" + report);
    if (link.size() > maxLength)
        link = head + encodeMailtoText(body);
    return link;
}

} // namespace crashreport
