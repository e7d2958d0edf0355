#pragma once
// Time as the report sees it: an injectable clock, so that report dates and durations can be
// tested with fixed values.

#include <ctime>

namespace crashreport {

// A moment broken down in local time, with the offset of the local zone from UTC.
struct LocalDateTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int weekday = 4; // 0 Sunday .. 6 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    long utcOffsetSeconds = 0; // east of UTC is positive
};

class ReportClock {
public:
    virtual ~ReportClock() = default;
    // Seconds since the epoch (UTC).
    virtual std::time_t now() const = 0;
    // The moment in the local time zone.
    virtual LocalDateTime toLocal(std::time_t t) const = 0;
};

// The system's clock and time zone.
class SystemReportClock final : public ReportClock {
public:
    std::time_t now() const override;
    LocalDateTime toLocal(std::time_t t) const override;
};

// Breaks a UTC moment down after adding the offset (no zone rules).
LocalDateTime breakDown(std::time_t t, long utcOffsetSeconds);

} // namespace crashreport
