#pragma once
// The readable options file kept in the repository, from which the build
// tool writes a module's crash data block.
//
//   # comment (also ";")
//   KeepLogFile = 1
//   ReportsToKeep = -1
//   LeakFlags = 30
//   MailSubject = "Crash report of Vetu"
//   Text.26 = The application has stopped.\r\nSorry.
//   Filter.1.Class = std::bad_alloc
//   Filter.1.Message = Not enough memory.
//   Filter.1.HandlerKind = 2
//
// Keys are the stored option names (LogActive ... ZipPassword, MailMessage,
// TextSetName), "CAFile" (the certificate-authority file of secure connections, kept in the
// block as its own stream), "Text.<id>" for id 0..157, "Filter.<n>.<Active|Class|Message|
// DialogOverride|HandlerKind|FilterAction|Spare>" (filters in order of n) and
// "LeakUseMainOptions" (a byte of the block header). Numbers are decimal or
// 0x hexadecimal. A value may be put in double quotes to keep blanks at its
// ends; "\r", "\n", "\t", "\"" and "\\" are escapes in every value. Anything
// not named keeps its default. Unknown keys, repeated keys and values out of
// range are errors, reported with their line number.

#include "CrashModuleOptions.h"

#include <string>
#include <string_view>

namespace crashreport {

struct TCrashOptionsFile {
    TCrashModuleOptions options;
    std::uint8_t leakUseMainOptions = 0;
};

bool ParseCrashOptionsText(std::string_view text, TCrashOptionsFile &out, std::string &error);

} // namespace crashreport
