// Every thread of the process, whoever creates it (the program, Qt's QThread, std::thread), is
// started through pthread_create, which the library interposes: the new thread runs a start
// wrapper that registers it, gives it an alternate signal stack for the fault handler, reports an
// exception that escapes its routine (output kind 0; the thread ends, the process goes on) and
// removes the record when the thread ends.

#include "CrashInternal.h"
#include "CrashThreadRegistry.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace crashreport
{
void CrashReleaseAltStack();
void CrashReleaseRaiseCopy();

namespace
{
    using CreateFunction = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    std::atomic<CreateFunction> realCreate { nullptr };

    CreateFunction realPthreadCreate()
    {
        CreateFunction f = realCreate.load(std::memory_order_acquire);
        if (!f) {
            f = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
            if (!f)
                std::abort();
            realCreate.store(f, std::memory_order_release);
        }
        return f;
    }

    struct StartBlock {
        void *(*routine)(void *) = nullptr;
        void *parameter = nullptr;
        std::shared_ptr<const std::vector<std::uint64_t>> creatorStack;
        std::uint64_t creatorThreadId = 0;
    };

    struct Unregister {
        ~Unregister()
        {
            CrashThreads().remove(CrashCurrentThreadId());
            CrashReleaseRaiseCopy();
            CrashReleaseAltStack();
        }
    };

    void *threadStart(void *argument)
    {
        StartBlock block = std::move(*static_cast<StartBlock *>(argument));
        delete static_cast<StartBlock *>(argument);
        CrashRegisterThisThread(
            false, block.routine, block.parameter, std::move(block.creatorStack), block.creatorThreadId);
        Unregister unregister;
        try {
            return block.routine(block.parameter);
        } catch (abi::__forced_unwind &) {
            throw; // pthread_exit and cancellation end the thread as they should
        } catch (...) {
            CrashReportCurrentException(OutputDefault);
        }
        return nullptr;
    }
} // namespace

void CrashResolveRealCreate()
{
    realPthreadCreate();
}

} // namespace crashreport

extern "C" int pthread_create(
    pthread_t *thread, const pthread_attr_t *attr, void *(*routine)(void *), void *parameter)
{
    using namespace crashreport;
    const CreateFunction create = realPthreadCreate();
    if (!CrashGlobals().hooksOn.load(std::memory_order_relaxed))
        return create(thread, attr, routine, parameter);
    auto *block = new (std::nothrow) StartBlock;
    if (!block)
        return create(thread, attr, routine, parameter);
    block->routine = routine;
    block->parameter = parameter;
    block->creatorThreadId = CrashCurrentThreadId();
    try {
        auto copy = CrashCopyCurrentStack(StackCopyValues);
        if (!copy.empty())
            block->creatorStack = std::make_shared<const std::vector<std::uint64_t>>(std::move(copy));
    } catch (...) {
        // no copy of the creator's stack: the thread is still registered
    }
    const int rc = create(thread, attr, threadStart, block);
    if (rc != 0)
        delete block;
    return rc;
}

void CrashReport_CallCreateThread(const TCrashThreadRecordC *record)
{
    using namespace crashreport;
    try {
        CrashThreads().dropDead();
        TCrashThreadRecord r;
        r.threadId = record && record->threadId ? record->threadId : CrashCurrentThreadId();
        if (record) {
            r.stackBase = record->stackBase;
            r.startRoutine = record->startRoutine;
            r.parameter = record->parameter;
            if (record->className)
                r.className = record->className;
        }
        CrashThreads().add(std::move(r));
    } catch (...) {
    }
}

void CrashReport_CallResumeThread(std::uint64_t threadId, const TCrashThreadRecordC *record)
{
    using namespace crashreport;
    try {
        if (CrashThisRaiseState().reporting)
            return;
        auto found = CrashThreads().find(threadId);
        if (!found)
            return;
        TCrashThreadRecord r = *found;
        if (record) {
            if (record->stackBase)
                r.stackBase = record->stackBase;
            r.startRoutine = record->startRoutine;
            r.parameter = record->parameter;
            if (record->className)
                r.className = record->className;
        }
        r.started = true;
        CrashThreads().add(std::move(r));
    } catch (...) {
    }
}

void CrashReport_CallExitThread(void)
{
    using namespace crashreport;
    try {
        CrashThreads().remove(CrashCurrentThreadId());
    } catch (...) {
    }
}
