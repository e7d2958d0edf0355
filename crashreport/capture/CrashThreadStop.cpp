#include "CrashThreadStop.h"

#include "CrashThreadRegistry.h"

#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace crashreport
{

namespace
{
    enum SlotState : int { Idle = 0, Requested = 1, Copying = 2, Done = 3 };

    // The one request in flight. The handler claims it by moving Requested to Copying; the
    // requester withdraws it by moving Requested back to Idle.
    struct StopSlot {
        std::atomic<int> state { Idle };
        std::atomic<pid_t> target { 0 };
        std::uint64_t *buffer = nullptr;
        std::size_t capacityBytes = 0;
        std::size_t copiedBytes = 0;
        TCrashCpuContext context;
    };
    StopSlot slot;
    std::mutex requestLock;

    void sleepMicroseconds(long us)
    {
        timespec ts { 0, us * 1000 };
        nanosleep(&ts, nullptr);
    }

    __attribute__((no_sanitize("address"))) void stopHandler(int, siginfo_t *, void *ucontext)
    {
        const int savedErrno = errno;
        if (slot.target.load(std::memory_order_acquire) == static_cast<pid_t>(syscall(SYS_gettid))) {
            int expected = Requested;
            if (slot.state.compare_exchange_strong(expected, Copying, std::memory_order_acq_rel)) {
                slot.context = CrashContextFromUcontext(ucontext);
                const TCrashThreadStack &stack = CrashThisThreadStack();
                const std::uint64_t sp = slot.context.rsp & ~std::uint64_t(7);
                slot.copiedBytes = 0;
                if (stack.base != 0 && sp >= stack.low && sp < stack.base) {
                    const std::size_t bytes
                        = std::min<std::size_t>(stack.base - sp, slot.capacityBytes) & ~std::size_t(7);
                    CrashRawCopy(slot.buffer, reinterpret_cast<const void *>(sp), bytes);
                    slot.copiedBytes = bytes;
                }
                slot.state.store(Done, std::memory_order_release);
            }
        }
        errno = savedErrno;
    }
} // namespace

int CrashStopSignal()
{
    return SIGRTMIN + 4;
}

void CrashInstallStopHandler()
{
    struct sigaction action {
    };
    action.sa_sigaction = stopHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(CrashStopSignal(), &action, nullptr);
}

bool CrashCopyThread(std::uint64_t threadId, TCrashThreadCopy &copy, int timeoutMs)
{
    std::lock_guard lock(requestLock);
    copy.threadId = threadId;
    copy.stopped = false;
    copy.gone = false;
    copy.stackBytes = 0;
    if (threadId == 0 || threadId == CrashCurrentThreadId())
        return false;
    slot.buffer = copy.stack.data();
    slot.capacityBytes = copy.stack.size() * 8;
    slot.copiedBytes = 0;
    slot.context = {};
    slot.target.store(static_cast<pid_t>(threadId), std::memory_order_release);
    slot.state.store(Requested, std::memory_order_release);
    if (syscall(SYS_tgkill, getpid(), static_cast<pid_t>(threadId), CrashStopSignal()) != 0) {
        copy.gone = errno == ESRCH;
        slot.state.store(Idle);
        slot.target.store(0);
        return false;
    }
    const long steps = std::max(1, timeoutMs) * 10L; // 100 µs each
    for (long i = 0; i < steps; ++i) {
        if (slot.state.load(std::memory_order_acquire) == Done)
            break;
        sleepMicroseconds(100);
    }
    int expected = Requested;
    if (slot.state.compare_exchange_strong(expected, Idle)) {
        slot.target.store(0);
        return false; // not stopped: the request is withdrawn before the handler took it
    }
    // The handler has the request: it only copies into the buffer, which is still ours.
    while (slot.state.load(std::memory_order_acquire) != Done)
        sleepMicroseconds(100);
    copy.context = slot.context;
    copy.stackBytes = slot.copiedBytes;
    copy.stopped = true;
    slot.state.store(Idle);
    slot.target.store(0);
    return true;
}

} // namespace crashreport
