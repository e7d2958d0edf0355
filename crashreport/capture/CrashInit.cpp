// "CrashReport.Init" and "CrashReport.Done": a constructor of the library that runs before the
// program's own static objects and main(), and its destructor.
//
// Init only prepares memory and reads the options: the globals, the program's options (without
// the line table), the thread registry with the main thread, the handlers (throw hook, terminate,
// faults, the stop signal), the data of the minimal fatal report; then the freeze watchdog when
// FreezeCheck is set. The module list and the symbol sources are warmed on a low-priority thread
// afterwards, so that the first report does not pay for first-use loading.

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashRaiseRecord.h"
#include "CrashThreadRegistry.h"
#include "CrashThreadStop.h"

#include "CrashDataBlock.h"
#include "CrashDwarf.h"
#include "CrashModulesList.h"
#include "CrashStackList.h"
#include "SystemInfoLinux.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <thread>
#include <time.h>

namespace crashreport
{
void CrashResolveRealCreate();

TCrashGlobals &CrashGlobals()
{
    // Never destroyed: threads and interposed functions may reach it after the program's exit.
    static TCrashGlobals *globals = new TCrashGlobals;
    return *globals;
}

bool CrashDebugOutputWanted()
{
    if (std::getenv("CRASHREPORT_DEBUG"))
        return true;
    const std::string status = readSmallFile("/proc/self/status", 1 << 16);
    const std::size_t at = status.find("TracerPid:");
    if (at == std::string::npos)
        return false;
    return std::atoi(status.c_str() + at + 10) != 0;
}

void CrashInternalError(const std::string &section, std::uint64_t address, const std::string &message)
{
    try {
        if (!CrashDebugOutputWanted())
            return;
        char addressText[24];
        std::snprintf(addressText, sizeof addressText, "%016llX", static_cast<unsigned long long>(address));
        std::fprintf(stderr, "[ERROR] - Section: %s - Address: %s - Message: \"%s\"\n", section.c_str(),
            addressText, message.c_str());
        std::fflush(stderr);
    } catch (...) {
    }
}

namespace
{
    std::terminate_handler previousTerminate = nullptr;
    std::atomic<int> terminating { 0 };

    [[noreturn]] void terminateHandler()
    {
        if (terminating.fetch_add(1) == 0 && !CrashThisRaiseState().reporting) {
            try {
                if (std::current_exception()) {
                    CrashReportCurrentException(OutputDefault);
                } else {
                    TCrashReportRequest request;
                    request.className = "std::terminate";
                    request.message = "terminate called without an active exception";
                    ProcessException(request);
                }
            } catch (...) {
            }
        } else if (!CrashThisRaiseState().reporting) {
            // Another thread is reporting its own end of the program: let it finish.
            for (;;)
                pause();
        }
        std::fflush(nullptr);
        _exit(1);
    }

    void startFailure(const char *step)
    {
        std::fprintf(stderr, "%s (Address: %016llX)\n", step,
            static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(__builtin_return_address(0))));
    }

    std::atomic<bool> warmUpDone { false };
    std::atomic<bool> warmUpYield { false }; // a report runs: load nothing more
    std::atomic<pid_t> warmUpThread { 0 };

    // Loads, once and at low priority after start, what the first report would otherwise load:
    // the module list with each module's symbols and debug source, and every module's debug
    // and call-frame information. A report that comes meanwhile shares what is loaded (the
    // lists' own locks) and never loads a part twice.
    void warmUp()
    {
        try {
            CrashThreads().markInternal(CrashCurrentThreadId());
            warmUpThread = static_cast<pid_t>(syscall(SYS_gettid));
            if (!warmUpYield.load())
                setpriority(PRIO_PROCESS, static_cast<id_t>(warmUpThread.load()), 19);
            TCrashModulesList::instance().refresh();
            TCrashStackEntry entry;
            CrashResolveAddress(reinterpret_cast<std::uint64_t>(&warmUp), CrashCurrentThreadId(), entry);
            CrashDwarfWarmUp(&warmUpYield);
        } catch (...) {
        }
        warmUpDone = true;
    }
} // namespace

void CrashWarmUpGiveWay()
{
    if (warmUpDone.load())
        return;
    warmUpYield = true;
    // What the warm-up is loading now, a report may wait for: at its low priority on a busy
    // machine that could take long. Back to normal priority where the system allows it.
    if (const pid_t thread = warmUpThread.load())
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread), 0);
}

void CrashLibraryInit()
{
    timespec started {};
    clock_gettime(CLOCK_MONOTONIC, &started);
    TCrashGlobals &g = CrashGlobals();
    if (g.initialized.exchange(true))
        return;
    try {
        char folder[4096];
        if (getcwd(folder, sizeof folder))
            g.startFolder = folder;
        auto *options = new TCrashModuleOptionsEx(CrashModuleFileOf(nullptr));
        // The options alone: the line table in the same block is read when a report needs it.
        options->loadFromLookup(
            ReadCrashOptionsFromFile(CrashModuleFileOf(reinterpret_cast<const void *>(&CrashLibraryInit))));
        g.options = options;
        g.programVersion = TCrashModulesList::programVersion();
        CrashThisRaiseState(); // the main thread's raise state
        CrashRegisterMainThread();
        CrashResolveRealThrow();
        CrashResolveRealCreate();
        CrashPrepareMinimalReport();
        previousTerminate = std::set_terminate(terminateHandler);
        CrashInstallFaultHandlers();
        CrashInstallStopHandler();
        g.active = options->active();
        g.hooksOn = true;
        if (options->freezeCheck())
            CrashStartFreezeCheck();
    } catch (...) {
        startFailure("CrashReport.Init");
    }
    timespec finished {};
    clock_gettime(CLOCK_MONOTONIC, &finished);
    g.initNanoseconds = static_cast<std::uint64_t>(
        (finished.tv_sec - started.tv_sec) * 1000000000LL + (finished.tv_nsec - started.tv_nsec));
}

void CrashStartWarmUp()
{
    static std::atomic<bool> started { false };
    if (started.exchange(true) || std::getenv("CRASHREPORT_NO_WARMUP"))
        return;
    try {
        std::thread(warmUp).detach();
    } catch (...) {
        // no warm-up: the first report loads what it needs
        warmUpDone = true;
    }
}

bool CrashWaitWarmUp(int timeoutMs)
{
    for (int waited = 0; !warmUpDone.load() && waited < timeoutMs; waited += 5) {
        timespec step { 0, 5000000 };
        nanosleep(&step, nullptr);
    }
    return warmUpDone.load();
}

std::uint64_t CrashInitNanoseconds()
{
    return CrashGlobals().initNanoseconds;
}

void CrashLibraryDone()
{
    TCrashGlobals &g = CrashGlobals();
    if (!g.initialized.load())
        return;
    try {
        CrashStopFreezeCheck();
        std::lock_guard wait(g.handlingLock);
        g.active = false;
        CrashRemoveFaultHandlers();
        if (previousTerminate)
            std::set_terminate(previousTerminate);
        // The registry, options and buffers stay: a thread that still runs may reach them.
    } catch (...) {
        startFailure("CrashReport.Done");
    }
}

} // namespace crashreport

__attribute__((constructor(101))) static void CrashReportInit()
{
    crashreport::CrashLibraryInit();
}

__attribute__((destructor(101))) static void CrashReportDone()
{
    crashreport::CrashLibraryDone();
}
