// The call frames of a stack copy through libdwfl's unwinder. The session of CrashDwarf.cpp is
// attached once to a "process" whose only thread is the copy being unwound: its registers come
// from the context, its memory reads are served from the copy, and nothing outside the copy is
// read, so a copy taken at raise time is unwound as the stack was then.

#include "CrashUnwind.h"

#include "CrashDwarf.h"
#include "CrashMemory.h"

#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace crashreport
{

namespace
{
    struct UnwindJob {
        const TCrashCpuContext *context = nullptr;
        const unsigned char *copy = nullptr;
        std::uint64_t start = 0; // the address the first byte of the copy was read from
        std::size_t bytes = 0;
        std::uint64_t *out = nullptr;
        std::size_t capacity = 0;
        std::size_t count = 0;
        bool first = true;
    };

    // The job in progress; set and cleared with the libdw lock held.
    UnwindJob *g_job = nullptr;
    constexpr pid_t CopyThreadId = 1;

    pid_t nextThread(Dwfl *, void *, void **threadArg)
    {
        if (*threadArg)
            return 0;
        *threadArg = g_job;
        return CopyThreadId;
    }

    bool getThread(Dwfl *, pid_t tid, void *, void **threadArg)
    {
        if (tid != CopyThreadId || !g_job)
            return false;
        *threadArg = g_job;
        return true;
    }

    bool memoryRead(Dwfl *, Dwarf_Addr address, Dwarf_Word *result, void *)
    {
        const UnwindJob *job = g_job;
        if (!job || address < job->start || address - job->start > job->bytes
            || job->bytes - (address - job->start) < sizeof(Dwarf_Word))
            return false;
        std::memcpy(result, job->copy + (address - job->start), sizeof(Dwarf_Word));
        return true;
    }

    bool setInitialRegisters(Dwfl_Thread *thread, void *threadArg)
    {
        const TCrashCpuContext &c = *static_cast<UnwindJob *>(threadArg)->context;
        // DWARF register numbers of x86-64: rax, rdx, rcx, rbx, rsi, rdi, rbp, rsp, r8..r15, rip.
        const Dwarf_Word regs[17] = { c.rax, c.rdx, c.rcx, c.rbx, c.rsi, c.rdi, c.rbp, c.rsp, c.r8, c.r9,
            c.r10, c.r11, c.r12, c.r13, c.r14, c.r15, c.rip };
        if (!dwfl_thread_state_registers(thread, 0, 17, regs))
            return false;
        dwfl_thread_state_register_pc(thread, c.rip);
        return true;
    }

    const Dwfl_Thread_Callbacks g_threadCallbacks = {
        nextThread,
        getThread,
        memoryRead,
        setInitialRegisters,
        nullptr,
        nullptr,
    };

    int onFrame(Dwfl_Frame *frame, void *arg)
    {
        auto *job = static_cast<UnwindJob *>(arg);
        Dwarf_Addr pc = 0;
        bool activation = false;
        if (!dwfl_frame_pc(frame, &pc, &activation))
            return DWARF_CB_ABORT;
        if (job->first) {
            job->first = false; // the context's own instruction, not a return address
            return DWARF_CB_OK;
        }
        if (pc == 0 || job->count >= job->capacity)
            return DWARF_CB_ABORT;
        job->out[job->count++] = pc;
        return DWARF_CB_OK;
    }
} // namespace

std::size_t CrashUnwindStackCopy(const TCrashCpuContext &context, const void *copy, std::size_t copyBytes,
    std::uint64_t *out, std::size_t capacity) noexcept
{
    if (!context.valid || context.rip == 0 || context.rsp == 0 || !copy || copyBytes < 8 || !out || capacity == 0)
        return 0;
    try {
        std::lock_guard lock(CrashDwarfMutex());
        Dwfl *dwfl = CrashDwarfSessionLocked();
        if (!dwfl)
            return 0;
        if (dwfl_pid(dwfl) <= 0 && !dwfl_attach_state(dwfl, nullptr, ::getpid(), &g_threadCallbacks, nullptr))
            return 0;
        UnwindJob job;
        job.context = &context;
        job.copy = static_cast<const unsigned char *>(copy);
        job.start = context.rsp & ~std::uint64_t(7);
        job.bytes = copyBytes;
        job.out = out;
        job.capacity = capacity;
        g_job = &job;
        dwfl_getthread_frames(dwfl, CopyThreadId, onFrame, &job);
        g_job = nullptr;
        return job.count;
    } catch (...) {
        g_job = nullptr;
        return 0;
    }
}

std::size_t CrashWalkSureFrames(TCrashStackList &list, std::uint64_t exceptionAddress,
    const TCrashCpuContext &context, const void *copy, std::size_t copyBytes,
    const TCrashWalkParams &params) noexcept
{
    try {
        std::vector<std::uint64_t> returns(MaxStackEntries);
        const std::size_t n = CrashUnwindStackCopy(context, copy, copyBytes, returns.data(), returns.size());
        // The scan over the return addresses alone gives their call sites, the same addresses
        // the full walk shows for these frames.
        TCrashCodeRanges code;
        code.prepare();
        std::vector<std::uint64_t> sites(2 * n + 1);
        const std::size_t m = CrashScanStackCopy(code, returns.data(), n * 8, false, sites.data(), sites.size());
        CrashResolveStack(list, exceptionAddress, sites.data(), m, params);
        return n;
    } catch (...) {
        return 0;
    }
}

} // namespace crashreport
