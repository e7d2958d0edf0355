#include "TSendThread.h"

#include "CrashInternal.h"
#include "CrashModuleOptions.h"
#include "CrashShowStep.h"
#include "CrashThreadRegistry.h"
#include "TCrashSendFlow.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace crashreport
{

namespace
{
    std::mutex runningLock;
    std::condition_variable runningChanged;
    int running = 0;

    void finished()
    {
        std::lock_guard lock(runningLock);
        --running;
        runningChanged.notify_all();
    }
} // namespace

bool TSendThread::start(
    TCrashSendFlow &flow, const TCrashModuleOptions &options, const TCrashSendRequest &request)
{
    auto ownOptions = std::make_shared<TCrashModuleOptions>(options);
    auto ownRequest = std::make_shared<TCrashSendRequest>(request);
    {
        std::lock_guard lock(runningLock);
        ++running;
    }
    try {
        std::thread([&flow, ownOptions, ownRequest] {
            TCrashEndAction action = EndContinue;
            try {
                CrashThreads().markInternal(CrashCurrentThreadId());
                std::lock_guard handling(CrashGlobals().handlingLock);
                flow.sendProcedure(*ownOptions, *ownRequest, true);
                action = TCrashSendFlow::afterSendAction(*ownOptions, *ownRequest);
                CrashReportPresenter().endReport();
                CrashEndProcess(action);
            } catch (...) {
                // nothing leaves the send thread
            }
            finished();
        }).detach();
        return true;
    } catch (...) {
        finished();
        return false;
    }
}

bool TSendThread::waitAll(int timeoutMs)
{
    std::unique_lock lock(runningLock);
    return runningChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return running == 0; });
}

bool CrashWaitForSendThreads(int timeoutMs)
{
    return TSendThread::waitAll(timeoutMs);
}

} // namespace crashreport
