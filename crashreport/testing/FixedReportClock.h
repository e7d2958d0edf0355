#pragma once
// A report clock that stands still, with a fixed zone offset: for tests and benchmarks that need
// reproducible dates. The program itself uses SystemReportClock.

#include "ReportClock.h"

namespace crashreport {

class FixedReportClock final : public ReportClock {
public:
    FixedReportClock(std::time_t now, long utcOffsetSeconds) : m_now(now), m_offset(utcOffsetSeconds) { }
    std::time_t now() const override { return m_now; }
    LocalDateTime toLocal(std::time_t t) const override { return breakDown(t, m_offset); }
    void setNow(std::time_t now) { m_now = now; }

private:
    std::time_t m_now;
    long m_offset;
};

} // namespace crashreport
