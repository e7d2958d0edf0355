#include "MailEnvironment.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace crashreport {

namespace {

bool isIPv4(const std::string &text)
{
    in_addr address {};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::vector<std::string_view> words(std::string_view text, std::string_view separators)
{
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(separators, pos);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        out.push_back(text.substr(start, end - start));
        pos = end;
    }
    return out;
}

} // namespace

std::vector<DnsServer> ParseResolvConf(std::string_view text)
{
    std::vector<DnsServer> servers;
    for (std::string_view line : words(text, "\r\n")) {
        const auto parts = words(line, " \t");
        if (parts.size() < 2 || parts[0] != "nameserver")
            continue;
        const std::string address(parts[1]);
        if (isIPv4(address) && address != "0.0.0.0")
            servers.push_back({ address, 53 });
    }
    return servers;
}

std::vector<DnsServer> ParseDnsServerList(std::string_view text)
{
    std::vector<DnsServer> servers;
    for (std::string_view item : words(text, ", \t")) {
        DnsServer server;
        const std::size_t colon = item.find(':');
        server.address = std::string(item.substr(0, colon));
        if (colon != std::string_view::npos) {
            const std::string_view port = item.substr(colon + 1);
            unsigned value = 0;
            const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
            if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
                continue;
            server.port = static_cast<std::uint16_t>(value);
        }
        if (isIPv4(server.address))
            servers.push_back(server);
    }
    return servers;
}

std::vector<DnsServer> MailDnsServers()
{
    if (const char *list = std::getenv("CRASHREPORT_DNS_SERVERS"))
        return ParseDnsServerList(list);
    std::ifstream file("/etc/resolv.conf");
    std::ostringstream text;
    text << file.rdbuf();
    std::vector<DnsServer> servers = ParseResolvConf(text.str());
    servers.push_back({ std::string(PublicDnsServer), 53 });
    return servers;
}

int MailTimeout(int ms)
{
    const char *bound = std::getenv("CRASHREPORT_MAIL_TIMEOUT_MS");
    if (!bound)
        return ms;
    int value = 0;
    const std::string_view text(bound);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value <= 0)
        return ms;
    return std::min(ms, value);
}

} // namespace crashreport
