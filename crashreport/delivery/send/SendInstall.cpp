// Installs the send flow, with the web step of crashreport_web, when the program links crashreport_send (as a whole archive), before
// the program's own code runs; a program that does not link it sends nothing.

#include "CrashDefaultWebStep.h"
#include "CrashWebStepInUse.h"
#include "TCrashSendFlow.h"

namespace
{
crashreport::TCrashSendFlow &installedFlow()
{
    static crashreport::TCrashSendFlow flow; // never destroyed before a late report
    return flow;
}

__attribute__((constructor(102))) void installSendFlow()
{
    crashreport::CrashSetReportSender(&installedFlow());
    crashreport::CrashSetWebStep(&crashreport::CrashDefaultWebStep());
}
} // namespace
