#pragma once
// Builds the text of one crash report from its input.

#include "ReportClock.h"
#include "ReportInput.h"
#include "ReportSources.h"
#include "ReportTexts.h"

namespace crashreport {

class TCrashReportBuilder {
public:
    TCrashReportBuilder(const ReportTexts &texts, const ReportClock &clock, const ThreadInfoSource *threads = nullptr)
        : m_texts(texts), m_clock(clock), m_threads(threads)
    {
    }

    CrashReportText build(const ReportInput &input, const ReportOptions &options) const;

    // The numbered sections 1 to 7 (no header line, no final line break).
    std::string generalSections(const ReportInput &input, const ReportOptions &options) const;

private:
    const ReportTexts &m_texts;
    const ReportClock &m_clock;
    const ThreadInfoSource *m_threads;
};

// Fills the user, computer, system, network, display and focus values of the input from the
// sources given (any may be null and then leaves its values alone).
void fillSystemValues(ReportInput &input, const SystemInfoSource *system, const DisplayInfoSource *display,
                      const ActiveControlsSource *controls);

// Fills the assembler and CPU values of the input: the instructions around the exception address,
// the registers of the context, and the stack and memory dumps read without faulting.
void fillCpuValues(ReportInput &input, const TCrashCpuContext &context);

// Adds a numbered section (for example the steps to reproduce) right after the general part:
// to the report and to the general part itself.
void insertSectionAfterGeneral(CrashReportText &report, const std::string &sectionText);

} // namespace crashreport
