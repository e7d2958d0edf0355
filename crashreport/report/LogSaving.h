#pragma once
// Keeping one report in the log file as the options say: the limit of ReportsToKeep, saving only
// with KeepLogFile, and the deletion of a log written by another version of the program.
//
// A log that exists but cannot be read is left as it is: the failure goes to the warning channel
// and the report is kept in a new log beside it, named with a number before the extension
// ("vetu-config.1.crashlog"); the first such name that is free or readable is used.

#include "CrashModuleOptions.h"
#include "CrashWarning.h"

#include <cstdint>
#include <string>

namespace crashreport
{

struct LogSaveResult {
    bool saved = false; // the log on disk now holds the report
    std::string error; // why saving failed; empty when it did not
    std::string wholeLog; // every stored report, for sending the whole log
    std::string fileName; // the log that took the report (another one when the first is unreadable)
};

// How many numbered names are tried beside an unreadable log.
inline constexpr int MaxNumberedLogs = 99;

// "dir/vetu-config.crashlog" with number 2 gives "dir/vetu-config.2.crashlog"; a name without an
// extension gets ".2" at its end.
std::string numberedLogFileName(const std::string &fileName, int number);

// LogSections 0x04 with programVersion given: a log whose last report names another version is
// deleted first. Warnings carry the exception address and go to the given sink (standard error
// when none is given). Never throws.
LogSaveResult saveReportToLog(const TCrashModuleOptions &options, const std::string &logFileName,
    const std::string &report, const std::string &programVersion = {}, std::uint64_t exceptionAddress = 0,
    CrashWarningSink *warnings = nullptr);

} // namespace crashreport
