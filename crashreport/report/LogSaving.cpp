#include "LogSaving.h"

#include "TLogFile.h"

#include <exception>
#include <optional>

namespace crashreport
{

std::string numberedLogFileName(const std::string &fileName, int number)
{
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart) // no extension, or a name such as ".crashlog"
        dot = fileName.size();
    return fileName.substr(0, dot) + "." + std::to_string(number) + fileName.substr(dot);
}

LogSaveResult saveReportToLog(const TCrashModuleOptions &options, const std::string &logFileName,
    const std::string &report, const std::string &programVersion, std::uint64_t exceptionAddress,
    CrashWarningSink *warnings)
{
    LogSaveResult result;
    try {
        std::optional<TLogFile> log;
        log.emplace(logFileName);
        if (log->isUnreadable()) {
            const std::string failure = log->errorString();
            for (int n = 1; n <= MaxNumberedLogs && log->isUnreadable(); ++n)
                log.emplace(numberedLogFileName(logFileName, n));
            std::string message = failure + "; the log is left as it is";
            if (log->isUnreadable())
                message += ", and no log beside it could take the report";
            else
                message += " and the report is kept in \"" + log->fileName() + "\"";
            (warnings ? *warnings : standardErrorWarnings())
                .warning(WarningCodeLogError, exceptionAddress, message);
            if (log->isUnreadable()) {
                result.error = message;
                result.wholeLog = report + "\r\n\r\n\r\n"; // there is still this report to send
                return result;
            }
        }
        result.fileName = log->fileName();
        if ((options.logSections() & 0x04) && !programVersion.empty())
            log->deleteOnVersionChange(programVersion);
        log->addReport(report, options.reportsToKeep());
        result.wholeLog = log->text();
        if (options.keepLogFile()) {
            result.saved = log->save();
            result.error = log->errorString();
        }
    } catch (const std::exception &e) {
        result.saved = false;
        result.error = e.what();
    }
    return result;
}

} // namespace crashreport
