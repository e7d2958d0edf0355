#pragma once
// Keeping one report in the log file as the options say: the limit of ReportsToKeep, saving only
// with KeepLogFile, and the deletion of a log written by another version of the program.

#include "CrashModuleOptions.h"

#include <string>

namespace crashreport {

struct LogSaveResult {
    bool saved = false;    // the log on disk now holds the report
    std::string error;     // why saving failed; empty when it did not
    std::string wholeLog;  // every stored report, for sending the whole log
};

// LogSections 0x04 with programVersion given: a log whose last report names another version is
// deleted first. Never throws.
LogSaveResult saveReportToLog(const TCrashModuleOptions &options, const std::string &logFileName,
                              const std::string &report, const std::string &programVersion = {});

} // namespace crashreport
