#pragma once
// What the user gave in the dialogs goes back into the report: the e-mail address replaces the
// value of the user's e-mail line (item 3.3), and the steps to reproduce become a numbered
// section right after the general part, in the report and in the general part alike.

#include "CrashShowStep.h"
#include "ReportInput.h"

namespace crashreport {

// The section of the steps to reproduce ("Request:", dashes, "  8.1 Request: ..."), empty for an
// empty text. `title` is text 123.
std::string CrashReproduceSection(const std::string &title, const std::string &text);

// Replaces the value of item 3.3 wherever the line is shown; nothing when it is hidden.
void CrashReplaceUserEmail(std::string &text, const std::string &email);

void CrashApplyDialogAnswers(CrashReportText &report, const TCrashShowResult &result, const std::string &requestTitle);

} // namespace crashreport
