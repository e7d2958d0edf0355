#pragma once
// The mail-exchanger question and the reading of its answer (DNS over UDP).
// Pure functions on bytes: no socket here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crashreport {

inline constexpr std::uint16_t MxQueryId = 0x4141;

// The text after the first "@" of an address; the whole text without one.
std::string MailDomain(std::string_view address);

// Header 41 41 01 00 00 01 00 00 00 00 00 00, the domain as length-prefixed
// labels, then 00 00 0F 00 01. Nothing for a domain that no DNS name can
// hold (an empty or over-long label, a name over 253 characters).
std::optional<std::string> BuildMxQuery(std::string_view domain);

// The exchange name of the first MX record of an answer to the query for
// domain, or nothing. Every read is bounded by the packet, compression
// pointers are followed a limited number of times, and an answer whose
// identifier or question differs from the query is not taken.
std::optional<std::string> ParseMxAnswer(std::string_view packet, std::string_view domain);
// True when the packet is a response to the query for domain (identifier
// and question match), whatever it holds after the question.
bool IsMxResponse(std::string_view packet, std::string_view domain);

} // namespace crashreport
