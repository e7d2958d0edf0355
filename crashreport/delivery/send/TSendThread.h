#pragma once
// Sending in the background (SendFlags 0x080): a thread that holds the library's handling lock
// for its whole run (a new report waits until sending is over), runs the send procedure, then
// the after-send steps, ending or restarting the process when they say so.

#include "CrashSendStep.h"

namespace crashreport
{

class TCrashSendFlow;

class TSendThread
{
public:
    // Starts the thread with copies of the options and the request; false when no thread could
    // be started (the caller then sends itself).
    static bool start(
        TCrashSendFlow &flow, const TCrashModuleOptions &options, const TCrashSendRequest &request);
    // Waits until no send thread runs; false when one still runs after timeoutMs.
    static bool waitAll(int timeoutMs);
};

} // namespace crashreport
