#include "RepeatedCrash.h"

#include <ctime>
#include <optional>

namespace crashreport
{

namespace
{
    std::optional<std::time_t> parseLine(const std::string &line)
    {
        std::tm tm {};
        const char *end = strptime(line.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
        if (!end || *end != '\0')
            return std::nullopt;
        tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        if (t == static_cast<std::time_t>(-1))
            return std::nullopt;
        return t;
    }
} // namespace

bool isRepeatedCrash(
    const std::vector<std::string> &repeatList, std::uint32_t repeatLimit, std::uint32_t repeatMinutes)
{
    if (repeatLimit == 0 || repeatList.size() != repeatLimit)
        return false;
    const auto first = parseLine(repeatList.front());
    const auto last = parseLine(repeatList.back());
    if (!first || !last)
        return false;
    return std::difftime(*last, *first) <= 60.0 * repeatMinutes;
}

} // namespace crashreport
