#pragma once
// The final reply of a request: status, headers, body and the name of the page that answered.

#include <cstdint>
#include <string>

namespace crashreport {

struct THTTPResponse {
    std::int32_t statusCode = 0;
    std::string statusText;
    std::string headers;
    std::string body;
    std::string pageName; // the last part of the final address's path, without its query

    void clear() { *this = THTTPResponse(); }
};

} // namespace crashreport
