#pragma once
// The report's view of the crash-report options: texts by id and the flags that shape it.

#include "CrashModuleOptions.h"
#include "LogFileName.h"
#include "ReportInput.h"
#include "ReportTexts.h"

namespace crashreport {

class OptionsReportTexts final : public ReportTexts {
public:
    explicit OptionsReportTexts(const TCrashModuleOptions &options) : m_options(options) { }
    std::string text(int id) const override;

private:
    const TCrashModuleOptions &m_options;
};

// ReportFields, StackFlags and LogSections of the options.
ReportOptions reportOptionsFrom(const TCrashModuleOptions &options, bool consoleProgram = false);

// The log-file name rules of the options for a module (LogSections bit 0x08: computer name).
LogFileNameRules logFileNameRulesFrom(const TCrashModuleOptions &options, const std::string &modulePath,
                                      const std::string &computerName);

} // namespace crashreport
