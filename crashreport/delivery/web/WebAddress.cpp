#include "WebAddress.h"

#include <charconv>

namespace crashreport {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += char(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

TWebAddress Parse(std::string_view text, std::string_view defaultScheme, std::uint16_t defaultPort)
{
    TWebAddress a;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    a.scheme = Lower(defaultScheme);
    if (const std::size_t sep = text.find("://"); sep != std::string_view::npos) {
        a.scheme = Lower(text.substr(0, sep));
        text.remove_prefix(sep + 3);
    }
    std::string_view authority = text;
    std::string_view path;
    if (const std::size_t slash = text.find_first_of("/?"); slash != std::string_view::npos) {
        authority = text.substr(0, slash);
        path = text.substr(slash);
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view login = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        const std::size_t colon = login.find(':');
        a.userName = PercentDecode(login.substr(0, colon));
        if (colon != std::string_view::npos)
            a.password = PercentDecode(login.substr(colon + 1));
    }
    std::string_view host = authority;
    std::string_view port;
    if (!host.empty() && host.front() == '[') { // [IPv6]:port
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos)
            return a;
        port = host.substr(close + 1);
        host = host.substr(0, close + 1);
        if (!port.empty() && port.front() != ':')
            return a;
        if (!port.empty())
            port.remove_prefix(1);
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        port = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    a.host = std::string(host);
    a.port = defaultPort ? defaultPort : DefaultPortOf(a.scheme);
    bool portOk = true;
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        portOk = ec == std::errc() && end == port.data() + port.size() && value >= 1 && value <= 65535;
        if (portOk)
            a.port = std::uint16_t(value);
    }
    if (path.empty() || path.front() == '?')
        a.path = "/" + std::string(path);
    else
        a.path = std::string(path);
    a.basePath = a.path.substr(0, a.path.find('?'));
    if (a.basePath.back() != '/')
        a.basePath += '/';
    a.valid = !a.host.empty() && portOk && a.port != 0;
    return a;
}

} // namespace

std::uint16_t DefaultPortOf(std::string_view scheme)
{
    const std::string s = Lower(scheme);
    if (s == "https")
        return 443;
    if (s == "ftp")
        return 21;
    return 80;
}

TWebAddress ParseWebAddress(std::string_view text, std::string_view defaultScheme)
{
    return Parse(text, defaultScheme, 0);
}

bool ProxyTextInUse(std::string_view text)
{
    return !text.empty() && text.front() != ':';
}

bool ProxyBypassedFor(std::string_view host)
{
    return !host.empty() && host.find('.') == std::string_view::npos && host.front() != '[';
}

TWebAddress ParseProxyText(std::string_view text)
{
    return Parse(text, "http", 8080);
}

} // namespace crashreport
