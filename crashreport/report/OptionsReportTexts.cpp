#include "OptionsReportTexts.h"

namespace crashreport {

std::string OptionsReportTexts::text(int id) const
{
    return id < 0 ? std::string() : m_options.text(std::size_t(id));
}

ReportOptions reportOptionsFrom(const TCrashModuleOptions &options, bool consoleProgram)
{
    ReportOptions r;
    std::array<std::uint8_t, 6> bytes {};
    const std::uint64_t fields = options.reportFields();
    for (int i = 0; i < 6; ++i)
        bytes[std::size_t(i)] = std::uint8_t(fields >> (8 * i));
    r.fields = TReportFields(bytes);
    r.stackFlags = options.stackFlags();
    r.logSections = options.logSections();
    r.consoleProgram = consoleProgram;
    return r;
}

LogFileNameRules logFileNameRulesFrom(const TCrashModuleOptions &options, const std::string &modulePath,
                                      const std::string &computerName)
{
    return LogFileNameRules { modulePath, options.outputFolder(), (options.logSections() & 0x08) != 0, computerName };
}

} // namespace crashreport
