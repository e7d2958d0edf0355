#include "LogSaving.h"

#include "TLogFile.h"

#include <exception>

namespace crashreport {

LogSaveResult saveReportToLog(const TCrashModuleOptions &options, const std::string &logFileName,
                              const std::string &report, const std::string &programVersion)
{
    LogSaveResult result;
    try {
        TLogFile log(logFileName);
        if ((options.logSections() & 0x04) && !programVersion.empty())
            log.deleteOnVersionChange(programVersion);
        log.addReport(report, options.reportsToKeep());
        result.wholeLog = log.text();
        if (options.keepLogFile()) {
            result.saved = log.save();
            result.error = log.errorString();
        }
    } catch (const std::exception &e) {
        result.saved = false;
        result.error = e.what();
    }
    return result;
}

} // namespace crashreport
