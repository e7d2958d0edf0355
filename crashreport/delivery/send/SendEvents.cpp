#include "SendEvents.h"

#include "CrashInternal.h"

namespace crashreport
{

void sendActionEvent(const TCrashEventRecord &record, int action, bool &handled)
{
    handled = true;
    CrashFireAction(record, action, handled);
}

void sendErrorEvent(const TCrashEventRecord &record, int code, bool &retry)
{
    retry = false;
    CrashFireError(record, code, retry);
}

void sendAttachedFilesEvent(const TCrashEventRecord &record, std::vector<std::string> &files)
{
    CrashRunOnFaultingThread([&] {
        CrashReport_AttachedFilesRequestEvent(&record, &files);
        try {
            if (auto procedure = CrashEventProcedures().attachedFilesRequest)
                procedure(record, files);
        } catch (...) {
            // a listener's failure never reaches the send flow
        }
    });
}

void sendCustomWebFieldsEvent(
    const TCrashEventRecord &record, std::vector<std::pair<std::string, std::string>> &fields)
{
    CrashRunOnFaultingThread([&] {
        CrashReport_CustomWebFieldsRequestEvent(&record, &fields);
        try {
            if (auto procedure = CrashEventProcedures().customWebFieldsRequest)
                procedure(record, fields);
        } catch (...) {
            // a listener's failure never reaches the send flow
        }
    });
}

} // namespace crashreport
