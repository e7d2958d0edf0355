#pragma once
// State shared by the parts of the exception manager (not for the program).

#include "CrashCapture.h"
#include "CrashModuleOptionsEx.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

namespace crashreport
{

// The raise-time stack copy covers this many 64-bit values.
inline constexpr std::size_t StackCopyValues = 25600;

// What the raise hook recorded in one thread. Constant-initialised, so that the fault handler
// can reach it without a first-use constructor.
struct TCrashRaiseState {
    std::atomic<bool> busy { false }; // the raise hook runs
    void *object = nullptr; // the thrown object
    const std::type_info *type = nullptr;
    std::uint64_t address = 0; // the raising call
    TCrashCpuContext context;
    std::uint64_t *copy = nullptr; // StackCopyValues values, mapped on the thread's first throw
    std::size_t copyBytes = 0;
    bool fromFault = false; // the object was made by the fault handler
    bool reporting = false; // ProcessException runs on this thread
};
TCrashRaiseState &CrashThisRaiseState();

// Maps the calling thread's raise-time copy buffer; async-signal-safe. False when it cannot.
bool CrashEnsureRaiseCopy(TCrashRaiseState &state);

struct TCrashGlobals {
    std::atomic<bool> initialized { false };
    std::atomic<bool> active { false };
    std::atomic<bool> hooksOn { false };
    std::string startFolder;
    TCrashModuleOptionsEx *options = nullptr; // never freed: interposed functions may read it late
    std::string programVersion;

    std::mutex handlingLock;
    std::mutex stateLock; // the lists and texts below
    std::vector<TCrashReportListener *> listeners;
    std::vector<std::pair<std::string, std::string>> customData;
    std::vector<std::string> attachedFiles;
    std::vector<std::string> repeatList;
    std::string lastReport;
    std::string lastMessage;
    std::string lastBugId;
    std::string lastHtmlPage;
    std::string userEmail;     // the address the user gave in a dialog of this run
    std::string reproduceText; // the steps to reproduce the user gave last
    std::atomic<int> reportCount { 0 };
    std::atomic<int> stepCode { 0 };
    std::atomic<TCrashToolkit *> toolkit { nullptr };
    std::atomic<std::uint64_t> freezeReportingThread { 0 };
    std::uint64_t initNanoseconds = 0;
};
TCrashGlobals &CrashGlobals();

// Internal failures: "[ERROR] - Section: ..." on standard error when a debugger is attached or
// CRASHREPORT_DEBUG is set.
void CrashInternalError(const std::string &section, std::uint64_t address, const std::string &message);
bool CrashDebugOutputWanted();

// The class name and message of an exception (demangled type name; what() of a std::exception,
// the text of a thrown string).
void CrashDescribeException(const std::exception_ptr &error, std::string &className, std::string &message);
// The object a std::exception_ptr holds.
void *CrashExceptionObject(const std::exception_ptr &error);
bool CrashIsAbort(const std::exception_ptr &error);

// Steps of the start and stop of the library (the fault handler and the hooks).
void CrashInstallFaultHandlers();
void CrashRemoveFaultHandlers();
void CrashInstallStopHandler();
void CrashPrepareMinimalReport(); // the module table and log name the minimal report uses
void CrashResolveRealFunctions();

// Called when a report starts: the warm-up loads nothing more, and what it is loading now
// it loads at normal priority where the system allows it (a report may wait for it).
void CrashWarmUpGiveWay();

// The report body on the worker thread, with the events handed to the faulting thread.
bool CrashHandleReport(TCrashReportRequest &request, const ActiveControlValues &controls);

// Events.
void CrashFireExceptionNotify(const TCrashEventRecord &record, bool handledMark, bool &handled);
void CrashFireAction(const TCrashEventRecord &record, int action, bool &flag);
void CrashFireError(const TCrashEventRecord &record, int code, bool &retry);
void CrashFireCustomData(
    const TCrashEventRecord &record, std::vector<std::pair<std::string, std::string>> &data);
// Runs a task on the faulting thread when the report runs on a worker; else here.
void CrashRunOnFaultingThread(const std::function<void()> &task);

// Restart: the same program with the same arguments in the start folder.
bool CrashRestartProgram();

} // namespace crashreport
