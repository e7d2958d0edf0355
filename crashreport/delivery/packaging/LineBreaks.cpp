#include "LineBreaks.h"

namespace crashreport {

std::string NormalizeLineBreaks(std::string_view text)
{
    bool lone = false;
    for (std::size_t i = 0; i < text.size() && !lone; ++i) {
        if (text[i] == '\r')
            lone = i + 1 == text.size() || text[i + 1] != '\n';
        else if (text[i] == '\n')
            lone = i == 0 || text[i - 1] != '\r';
    }
    if (!lone)
        return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace crashreport
