// What the raise hook records: object, type, the raising call, the callee-saved registers and a
// copy of the stack from the raising frame to the stack base, into a per-thread buffer mapped on
// the thread's first throw. A process-wide buffer would lose the throw site when another thread
// throws before the first one is reported.

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashRaiseRecord.h"
#include "CrashThreadRegistry.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>

namespace crashreport
{

namespace
{
    thread_local TCrashRaiseState tRaise;

    bool isAbortType(const std::type_info *type, void *object)
    {
        if (!type)
            return false;
        void *adjusted = object;
        return typeid(EAbort) == *type || typeid(EAbort).__do_catch(type, &adjusted, 1);
    }

    struct CalleeSaved {
        std::uint64_t rbx, r12, r13, r14, r15;
    };

    [[gnu::always_inline]] inline CalleeSaved readCalleeSaved()
    {
        CalleeSaved r;
        asm volatile("mov %%rbx, %0\n\tmov %%r12, %1\n\tmov %%r13, %2\n\tmov %%r14, %3\n\tmov %%r15, %4"
                     : "=m"(r.rbx), "=m"(r.r12), "=m"(r.r13), "=m"(r.r14), "=m"(r.r15));
        return r;
    }
} // namespace

TCrashRaiseState &CrashThisRaiseState()
{
    return tRaise;
}

bool CrashEnsureRaiseCopy(TCrashRaiseState &state)
{
    if (state.copy)
        return true;
    void *memory
        = mmap(nullptr, StackCopyValues * 8, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return false;
    state.copy = static_cast<std::uint64_t *>(memory);
    return true;
}

void CrashReleaseRaiseCopy()
{
    if (tRaise.copy) {
        munmap(tRaise.copy, StackCopyValues * 8);
        tRaise.copy = nullptr;
        tRaise.copyBytes = 0;
    }
}

__attribute__((no_sanitize("address"))) void CrashRecordRaise(void *object, const std::type_info *type,
    std::uint64_t returnAddress, std::uint64_t frame, RaiseKind kind) noexcept
{
    if (!CrashGlobals().hooksOn.load(std::memory_order_relaxed))
        return;
    TCrashRaiseState &state = tRaise;
    bool expected = false;
    if (!state.busy.compare_exchange_strong(expected, true, std::memory_order_acquire))
        return;
    const int savedErrno = errno;
    do {
        // Throws inside a report (a listener's, the library's own) keep the record of the
        // exception being reported.
        if (state.reporting)
            break;
        if (kind == RaiseKind::Rethrow && state.object)
            break; // the rethrown object keeps its throw site
        if (kind == RaiseKind::RethrowPointer && object && object == state.object)
            break;
        if (state.fromFault) {
            // The fault handler recorded the context of the fault; this is the object it throws.
            state.object = object;
            state.type = type;
            state.fromFault = false;
            break;
        }
        state.object = object;
        state.type = type;
        state.copyBytes = 0;
        state.address = returnAddress >= 5 ? returnAddress - 5 : returnAddress;
        if (isAbortType(type, object))
            break;
        const CalleeSaved regs = readCalleeSaved();
        TCrashCpuContext &c = state.context;
        c = TCrashCpuContext {};
        c.valid = true;
        c.rip = state.address;
        c.rsp = frame + 16; // above the hook's saved frame pointer and return address
        c.rbp = *reinterpret_cast<const std::uint64_t *>(frame);
        c.rbx = regs.rbx;
        c.r12 = regs.r12;
        c.r13 = regs.r13;
        c.r14 = regs.r14;
        c.r15 = regs.r15;
        TCrashThreadStack &stack = CrashThisThreadStack();
        if (stack.base == 0 && !CrashReadThreadStack(stack))
            break;
        if (c.rsp >= stack.base || c.rsp < stack.low || !CrashEnsureRaiseCopy(state))
            break; // skipped: the stack cannot be read
        const std::size_t values = std::min<std::size_t>((stack.base - c.rsp) / 8, StackCopyValues);
        CrashRawCopy(state.copy, reinterpret_cast<const void *>(c.rsp), values * 8);
        state.copyBytes = values * 8;
    } while (false);
    errno = savedErrno;
    state.busy.store(false, std::memory_order_release);
}

} // namespace crashreport
