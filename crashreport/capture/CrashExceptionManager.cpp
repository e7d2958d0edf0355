// ProcessException: one call per exception. It decides whether the exception is reported at all,
// then runs the report body on a worker thread (TExceptionThread) while the faulting thread
// waits: every 10 ms the waiting thread runs the events the worker hands to it and, when it is
// the GUI thread, lets the event loop turn without user input.

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashRaiseRecord.h"
#include "CrashThreadRegistry.h"

#include <cxxabi.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace crashreport
{

namespace
{
    // The faulting thread and the worker meet here.
    struct WaitChannel {
        std::mutex lock;
        std::condition_variable wake;
        const std::function<void()> *task = nullptr;
        bool taskDone = false;
        bool finished = false;
    };
    thread_local WaitChannel *tWorkerChannel = nullptr; // set on the worker

    const char *const SafeCallPrefix = "[SafeCall Exception]: ";

    struct ReportingFlag {
        TCrashRaiseState &state;
        explicit ReportingFlag(TCrashRaiseState &s)
            : state(s)
        {
            state.reporting = true;
        }
        ~ReportingFlag() { state.reporting = false; }
    };

    void waitForWorker(WaitChannel &channel)
    {
        TCrashToolkit *toolkit = CrashGlobals().toolkit.load();
        const bool gui = toolkit && toolkit->isGuiThread();
        std::unique_lock lock(channel.lock);
        while (!channel.finished) {
            channel.wake.wait_for(lock, std::chrono::milliseconds(10),
                [&] { return channel.finished || (channel.task && !channel.taskDone); });
            if (channel.task && !channel.taskDone) {
                const std::function<void()> *task = channel.task;
                lock.unlock();
                try {
                    (*task)();
                } catch (...) {
                }
                lock.lock();
                channel.taskDone = true;
                channel.wake.notify_all();
                continue;
            }
            if (gui && !channel.finished) {
                lock.unlock();
                try {
                    toolkit->processEvents();
                } catch (...) {
                }
                lock.lock();
            }
        }
    }
} // namespace

void CrashRunOnFaultingThread(const std::function<void()> &task)
{
    WaitChannel *channel = tWorkerChannel;
    if (!channel) {
        task();
        return;
    }
    std::unique_lock lock(channel->lock);
    channel->task = &task;
    channel->taskDone = false;
    channel->wake.notify_all();
    while (!channel->taskDone)
        channel->wake.wait_for(lock, std::chrono::milliseconds(10));
    channel->task = nullptr;
}

void *CrashExceptionObject(const std::exception_ptr &error)
{
    if (!error)
        return nullptr;
    void *object = nullptr;
    static_assert(sizeof(std::exception_ptr) == sizeof(void *));
    std::memcpy(&object, &error, sizeof object);
    return object;
}

bool CrashIsAbort(const std::exception_ptr &error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort &) {
        return true;
    } catch (...) {
    }
    return false;
}

void CrashDescribeException(const std::exception_ptr &error, std::string &className, std::string &message)
{
    className.clear();
    message.clear();
    if (!error)
        return;
    const std::type_info *type = error.__cxa_exception_type();
    if (type) {
        int status = 0;
        char *name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        className = (status == 0 && name) ? name : type->name();
        std::free(name);
    }
    try {
        std::rethrow_exception(error);
    } catch (const TActiveXException &e) {
        className = e.className();
        message = e.what();
    } catch (const std::exception &e) {
        message = e.what();
    } catch (const char *text) {
        message = text ? text : "";
    } catch (const std::string &text) {
        message = text;
    } catch (...) {
    }
    if (className.empty())
        className = "Unknown exception type";
}

bool ProcessException(TCrashReportRequest &request)
{
    TCrashGlobals &g = CrashGlobals();
    try {
        if (!g.active.load())
            return true;
        if (CrashIsAbort(request.error))
            return false;
        TCrashRaiseState &state = CrashThisRaiseState();
        if (state.reporting)
            return false; // a second exception in a thread that is reporting: no second report
        ReportingFlag reporting(state);
        if (request.className.empty())
            CrashDescribeException(request.error, request.className, request.message);
        std::unique_lock handling(g.handlingLock);
        g.stepCode = 1;
        const std::uint16_t behaviour = g.options->behaviour();
        if (!(behaviour & 0x40) && request.message.rfind(SafeCallPrefix, 0) == 0)
            return false;
        if (!g.options->active())
            return true;
        g.stepCode = 2;
        ActiveControlValues controls;
        if (TCrashToolkit *toolkit = g.toolkit.load())
            controls = toolkit->activeControls();
        if (controls.controlIsPassword)
            controls.controlText.assign(controls.controlText.size(), '*');
        if (request.threadId == 0)
            request.threadId = request.frozen ? CrashMainThreadId() : CrashCurrentThreadId();
        // Without a copy of the faulting stack, copy it here: the worker cannot walk this
        // thread's live stack.
        std::vector<std::uint64_t> ownCopy;
        if (!request.stack && !request.stackCopy) {
            ownCopy = CrashCopyCurrentStack(StackCopyValues);
            request.stackCopy = ownCopy.data();
            request.stackCopyBytes = ownCopy.size() * 8;
        }
        g.stepCode = 3;
        bool result = true;
        auto channel = std::make_shared<WaitChannel>();
        std::thread worker;
        try {
            worker = std::thread([&, channel] {
                CrashThreads().markInternal(CrashCurrentThreadId());
                tWorkerChannel = channel.get();
                TCrashRaiseState &workerState = CrashThisRaiseState();
                workerState.reporting = true;
                bool r = true;
                try {
                    r = CrashHandleReport(request, controls);
                } catch (...) {
                }
                std::lock_guard lock(channel->lock);
                result = r;
                channel->finished = true;
                channel->wake.notify_all();
            });
        } catch (...) {
            // no worker thread: the report runs here
            result = CrashHandleReport(request, controls);
            channel->finished = true;
        }
        waitForWorker(*channel);
        if (worker.joinable())
            worker.join();
        g.stepCode = 8;
        state.object = nullptr;
        state.copyBytes = 0;
        return result;
    } catch (...) {
        CrashInternalError("ProcessException", 0, "unexpected failure");
        return true;
    }
}

bool CrashReportCurrentException(int outputKind)
{
    try {
        TCrashReportRequest request;
        request.error = std::current_exception();
        request.outputKind = outputKind;
        TCrashRaiseState &state = CrashThisRaiseState();
        void *object = CrashExceptionObject(request.error);
        if (object && object == state.object) {
            request.address = state.address;
            request.context = state.context;
            if (state.copyBytes) {
                request.stackCopy = state.copy;
                request.stackCopyBytes = state.copyBytes;
            }
        }
        return ProcessException(request);
    } catch (...) {
        return true;
    }
}

std::string CrashLastReportText()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    return CrashGlobals().lastReport;
}
std::string CrashLastExceptionMessage()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    return CrashGlobals().lastMessage;
}
std::string CrashLastBugId()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    return CrashGlobals().lastBugId;
}
std::string CrashLastHtmlPage()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    return CrashGlobals().lastHtmlPage;
}
int CrashReportCount()
{
    return CrashGlobals().reportCount.load();
}
int CrashStepCode()
{
    return CrashGlobals().stepCode.load();
}
std::vector<std::string> CrashRepeatList()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    return CrashGlobals().repeatList;
}
void CrashAddCustomData(const std::string &label, const std::string &value)
{
    std::lock_guard lock(CrashGlobals().stateLock);
    CrashGlobals().customData.emplace_back(label, value);
}
void CrashClearCustomData()
{
    std::lock_guard lock(CrashGlobals().stateLock);
    CrashGlobals().customData.clear();
}
void CrashAddAttachedFile(const std::string &fileName)
{
    std::lock_guard lock(CrashGlobals().stateLock);
    CrashGlobals().attachedFiles.push_back(fileName);
}
TCrashModuleOptionsEx &CrashCurrentOptions()
{
    return *CrashGlobals().options;
}
bool CrashReportActive()
{
    return CrashGlobals().active.load();
}
void CrashSetToolkit(TCrashToolkit *toolkit)
{
    CrashGlobals().toolkit.store(toolkit);
}

} // namespace crashreport

using namespace crashreport;

bool ExceptionManager(
    const void *exceptionObject, std::uint64_t address, int outputKind, std::uint64_t moduleHandle)
{
    try {
        if (!CrashGlobals().active.load())
            return true;
        if (!exceptionObject) {
            if (!std::current_exception())
                return true;
            return CrashReportCurrentException(outputKind);
        }
        TCrashReportRequest request;
        request.error = *static_cast<const std::exception_ptr *>(exceptionObject);
        if (!request.error)
            return true;
        request.address = address;
        request.outputKind = outputKind;
        request.moduleHandle = moduleHandle;
        TCrashRaiseState &state = CrashThisRaiseState();
        if (CrashExceptionObject(request.error) == state.object && state.copyBytes) {
            request.stackCopy = state.copy;
            request.stackCopyBytes = state.copyBytes;
            request.context = state.context;
            if (!request.address)
                request.address = state.address;
        }
        return ProcessException(request);
    } catch (...) {
        return true;
    }
}

void CrashReport_CallGeneralRaise(void *object, const void *typeInfo, std::uint64_t address)
{
    CrashRecordRaise(object, static_cast<const std::type_info *>(typeInfo), address + 5,
        reinterpret_cast<std::uint64_t>(__builtin_frame_address(0)), RaiseKind::Throw);
}
