#include "ReportClock.h"

#include <time.h>

namespace crashreport {

LocalDateTime breakDown(std::time_t t, long utcOffsetSeconds)
{
    std::time_t shifted = t + utcOffsetSeconds;
    std::tm tm {};
    gmtime_r(&shifted, &tm);
    LocalDateTime d;
    d.year = tm.tm_year + 1900;
    d.month = tm.tm_mon + 1;
    d.day = tm.tm_mday;
    d.weekday = tm.tm_wday;
    d.hour = tm.tm_hour;
    d.minute = tm.tm_min;
    d.second = tm.tm_sec;
    d.utcOffsetSeconds = utcOffsetSeconds;
    return d;
}

std::time_t SystemReportClock::now() const
{
    return std::time(nullptr);
}

LocalDateTime SystemReportClock::toLocal(std::time_t t) const
{
    std::tm tm {};
    if (!localtime_r(&t, &tm))
        return breakDown(t, 0);
    return breakDown(t, tm.tm_gmtoff);
}


} // namespace crashreport
