#pragma once
// The events of the send flow, raised as the report sequence raises its own: the listeners of
// the process (last registered first) and the procedure variables, on the faulting thread while
// it waits for the report (here, when no thread waits).
//   actions 4 (mail begins), 5 (mail ended), 6 (web begins), 7 (web ended): clearing the flag
//     before 4 or 6 cancels that way of sending;
//   errors 5 (mail failed), 7 (web failed): setting retry repeats the step;
//   the attached-files and custom-web-fields requests.

#include "CrashCapture.h"

#include <string>
#include <utility>
#include <vector>

namespace crashreport
{

void sendActionEvent(const TCrashEventRecord &record, int action, bool &handled);
void sendErrorEvent(const TCrashEventRecord &record, int code, bool &retry);
void sendAttachedFilesEvent(const TCrashEventRecord &record, std::vector<std::string> &files);
void sendCustomWebFieldsEvent(
    const TCrashEventRecord &record, std::vector<std::pair<std::string, std::string>> &fields);

} // namespace crashreport
