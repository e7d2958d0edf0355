#pragma once
// The value formats of the report: dates, durations, hexadecimal addresses, sizes.

#include "ReportClock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace crashreport {

// "Wed, 9 Dec 2026 22:13:26 +0100": weekday, day, month, year, time and the zone offset in
// whole hours.
std::string formatReportDate(const LocalDateTime &d);

// "+0100", "-0500", "+1000", "+0000".
std::string formatZoneOffset(long utcOffsetSeconds);

// "1 day, 2 hours, 3 minutes, 4 seconds"; days, hours and minutes only when not 0.
std::string formatDuration(std::int64_t seconds);

// "2026-12-09 22:13:26".
std::string formatTimestamp(const LocalDateTime &d);

// Upper-case hexadecimal with at least the given number of digits (wider values are written in
// full, never cut).
std::string formatHex(std::uint64_t value, int minDigits = 8);

// Bytes as rounded megabytes with " Mb".
std::string formatMegabytes(std::uint64_t bytes);

// The lines of a text whose lines end with CR LF (the last one may lack it).
std::vector<std::string> splitCrLfLines(const std::string &text);

// Number of characters of a UTF-8 text (continuation bytes do not count).
std::size_t utf8Length(const std::string &text);

// Pads a UTF-8 text with spaces on the right to the given number of characters.
std::string padRight(const std::string &text, std::size_t width);

// A text for one line of a report (a table cell, a label, a one-line value): every control
// character, line breaks included, becomes a blank. Control characters are C0, DEL, the C1
// range and the Unicode line and paragraph separators, so that no reader of the text sees a
// line end where the report has none.
std::string cleanOneLine(const std::string &text);

// The same for a text of several lines: CR and LF stay, every other control character becomes
// a blank.
std::string cleanKeepingLineBreaks(const std::string &text);

} // namespace crashreport
