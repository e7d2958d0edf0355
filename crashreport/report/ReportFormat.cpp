#include "ReportFormat.h"

#include <cstdio>
#include <cstdlib>

namespace crashreport {

namespace {
const char *const WeekdayNames[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
const char *const MonthNames[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

// Length of the control character at text[i] (0 when there is none there). CR and LF count only
// when lineBreaksToo is set.
std::size_t controlAt(const std::string &text, std::size_t i, bool lineBreaksToo)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n')
        return lineBreaksToo ? 1 : 0;
    if (c < 0x20 || c == 0x7F)
        return 1;
    const auto next = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
    if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) // U+0080..U+009F
        return 2;
    if (c == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) // U+2028, U+2029
        return 3;
    return 0;
}

std::string replaceControls(const std::string &text, bool lineBreaksToo)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = controlAt(text, i, lineBreaksToo);
        if (n == 0) {
            out += text[i++];
        } else {
            out += ' ';
            i += n;
        }
    }
    return out;
}

void appendUnit(std::string &out, std::int64_t n, const char *unit)
{
    out += std::to_string(n);
    out += ' ';
    out += unit;
    if (n > 1)
        out += 's';
}
} // namespace

std::string formatZoneOffset(long utcOffsetSeconds)
{
    const long hours = utcOffsetSeconds / 3600; // whole hours, towards zero
    std::string digits = std::to_string(std::labs(hours));
    if (digits.size() == 1)
        digits.insert(0, "0");
    const bool negative = utcOffsetSeconds < 0 && hours != 0;
    return (negative ? "-" : "+") + digits + "00";
}

std::string formatReportDate(const LocalDateTime &d)
{
    const int wd = (d.weekday >= 0 && d.weekday < 7) ? d.weekday : 0;
    const int mo = (d.month >= 1 && d.month <= 12) ? d.month - 1 : 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s, %d %s %d %02d:%02d:%02d ", WeekdayNames[wd], d.day, MonthNames[mo],
                  d.year, d.hour, d.minute, d.second);
    return buf + formatZoneOffset(d.utcOffsetSeconds);
}

std::string formatDuration(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const std::int64_t days = seconds / 86400;
    const std::int64_t hours = seconds / 3600 % 24;
    const std::int64_t minutes = seconds / 60 % 60;
    const std::int64_t secs = seconds % 60;
    std::string out;
    if (days != 0) {
        appendUnit(out, days, "day");
        out += ", ";
    }
    if (hours != 0) {
        appendUnit(out, hours, "hour");
        out += ", ";
    }
    if (minutes != 0) {
        appendUnit(out, minutes, "minute");
        out += ", ";
    }
    appendUnit(out, secs, "second");
    return out;
}

std::string formatTimestamp(const LocalDateTime &d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                  d.second);
    return buf;
}

std::string formatHex(std::uint64_t value, int minDigits)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", minDigits, static_cast<unsigned long long>(value));
    return buf;
}

std::string formatMegabytes(std::uint64_t bytes)
{
    const std::uint64_t mb = (bytes + 512 * 1024) / (1024 * 1024);
    return std::to_string(mb) + " Mb";
}

std::vector<std::string> splitCrLfLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t e = text.find("\r\n", pos);
        if (e == std::string::npos)
            e = text.size();
        lines.push_back(text.substr(pos, e - pos));
        pos = e + 2;
    }
    return lines;
}

std::size_t utf8Length(const std::string &text)
{
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string cleanOneLine(const std::string &text)
{
    return replaceControls(text, true);
}

std::string cleanKeepingLineBreaks(const std::string &text)
{
    return replaceControls(text, false);
}

std::string padRight(const std::string &text, std::size_t width)
{
    const std::size_t len = utf8Length(text);
    if (len >= width)
        return text;
    return text + std::string(width - len, ' ');
}

} // namespace crashreport
