#include "SendLists.h"

namespace crashreport
{

std::vector<std::string> splitSendList(std::string_view text)
{
    std::vector<std::string> items;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(",;", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && blank(text[first]))
            ++first;
        while (last > first && blank(text[last - 1]))
            --last;
        if (last > first)
            items.emplace_back(text.substr(first, last - first));
        start = end + 1;
    }
    return items;
}

} // namespace crashreport
