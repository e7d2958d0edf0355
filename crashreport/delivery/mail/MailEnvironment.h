#pragma once
// Settings of the mail code that come from the environment rather than from
// the options, for test set-ups and unusual networks:
//   CRASHREPORT_DNS_SERVERS  "addr[:port],addr[:port],..." replaces the name
//                            servers of /etc/resolv.conf and the public
//                            last resort (an empty value: no server at all)
//   CRASHREPORT_MAIL_TIMEOUT_MS  an upper bound in milliseconds for every
//                            time-out and wait of the mail code

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

struct DnsServer {
    std::string address;
    std::uint16_t port = 53;
    bool operator==(const DnsServer &) const = default;
};

inline constexpr std::string_view PublicDnsServer = "8.8.8.8";

// "nameserver" lines of a resolv.conf text, in order: IPv4 addresses only
// (the look-up speaks IPv4), 0.0.0.0 skipped.
std::vector<DnsServer> ParseResolvConf(std::string_view text);
// "addr[:port]" items separated by "," or blanks; bad items are skipped.
std::vector<DnsServer> ParseDnsServerList(std::string_view text);
// The servers to ask, in order: the environment's list when set, otherwise
// those of /etc/resolv.conf followed by the public server.
std::vector<DnsServer> MailDnsServers();

// ms, or the environment's bound when that is smaller.
int MailTimeout(int ms);

} // namespace crashreport
