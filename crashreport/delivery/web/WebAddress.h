#pragma once
// Splitting an upload or tracker address and a proxy text into their parts.
//
//   [scheme://][user[:password]@]host[:port][/path][?query]
//
// The scheme is compared without regard to case; without one the caller's default applies.
// An address without a port takes 80 (http), 443 (https) or 21 (ftp); a proxy takes 8080.

#include <cstdint>
#include <string>
#include <string_view>

namespace crashreport {

struct TWebAddress {
    std::string scheme;   // lower case: "http", "https" or "ftp"
    std::string userName; // decoded from %XX
    std::string password;
    std::string host;
    std::uint16_t port = 0;
    std::string path;     // as given, with its query; "/" when none
    std::string basePath; // the path without its query, always ending in "/"
    bool valid = false;   // a host was found and the port is a number from 1 to 65535

    bool secure() const { return scheme == "https"; }
};

// defaultScheme: used when the address names none.
TWebAddress ParseWebAddress(std::string_view text, std::string_view defaultScheme = "http");

// The proxy is used only when the text is not empty and does not start with ":".
bool ProxyTextInUse(std::string_view text);
TWebAddress ParseProxyText(std::string_view text);
// Local names (a host name without a dot, such as "localhost" or "tracker") bypass the proxy.
bool ProxyBypassedFor(std::string_view host);

// Port of a scheme when the address gives none.
std::uint16_t DefaultPortOf(std::string_view scheme);

} // namespace crashreport
