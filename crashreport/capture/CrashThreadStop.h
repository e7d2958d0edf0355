#pragma once
// Stopping another thread for a moment to copy its registers and stack.
//
// A real-time signal is sent to the thread (tgkill); its handler, on the thread itself, copies
// the registers of the interrupted context and the stack from the interrupted stack pointer to
// the stack base into a buffer prepared beforehand, and returns. Nothing in the handler
// allocates, locks or reads a file. A thread that blocks the signal or does not answer within the
// time-out is reported as not stopped; a late answer finds its request withdrawn and copies
// nothing.

#include "CrashDisassembler.h"

#include <cstdint>
#include <vector>

namespace crashreport
{

struct TCrashThreadCopy {
    std::uint64_t threadId = 0;
    bool stopped = false; // false: the thread did not answer (or ended)
    bool gone = false; // the thread no longer exists
    TCrashCpuContext context;
    std::vector<std::uint64_t> stack; // from the stack pointer upwards; sized before the stop
    std::size_t stackBytes = 0; // bytes copied
};

// Installs the stop signal's handler (SA_RESTART). At start-up.
void CrashInstallStopHandler();
// The signal used.
int CrashStopSignal();

// Copies the thread's registers and stack into copy (whose stack vector is sized by the
// caller, normally to 25600 values). Waits at most timeoutMs. Serialised process-wide.
bool CrashCopyThread(std::uint64_t threadId, TCrashThreadCopy &copy, int timeoutMs = 100);

} // namespace crashreport
