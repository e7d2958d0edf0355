#pragma once
// The one error type of the mail code: a socket failure with the system's
// text, or a protocol failure whose text is the whole session log.

#include <stdexcept>
#include <string>

namespace crashreport {

class ECrashSocketError : public std::runtime_error {
public:
    explicit ECrashSocketError(const std::string &message) : std::runtime_error(message) { }
};

} // namespace crashreport
